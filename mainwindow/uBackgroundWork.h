#pragma once

// Long work (an open, a save) on a thread of its own while the window's
// events go on being handled, with how far it has got and a way to stop it.

#include "elevation/uBILProgress.h"

#include <QObject>

#include <atomic>
#include <functional>

class TBackgroundWork : public QObject
{
    Q_OBJECT

public:
    // Work that ends sooner shows nothing.
    static constexpr int QuietMilliseconds = 500;

    using QObject::QObject;

    // Runs work on a thread of its own, handing it the Progress to report to,
    // and returns when it has ended, the events of this thread handled
    // meanwhile. doing and file are what it does until it first reports.
    // Rethrows what work throws; gives false when it was cancelled. One at a time.
    bool run(bil::Doing doing, const QString &file,
             const std::function<void(const bil::Progress &)> &work);
    bool running() const { return stopFlag != nullptr; }
    // Asks the work under way to stop at its next band.
    void cancel();

signals:
    // From QuietMilliseconds after the start, ten times a second, while the work goes on.
    void progressed(bil::Doing doing, const QString &file, double done);
    // The work has ended: what progressed showed can go.
    void ended();

private:
    std::atomic<bool> *stopFlag = nullptr;
};
