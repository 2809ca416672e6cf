#pragma once

// How long work tells how far it has got, and learns that it is to stop.

#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>

namespace bil {

enum class Doing
{
    Reading,
    Writing
};

// Hears, band by band, what the work is doing to which file and the share of
// all of it done so far, from 0 to 1. Giving false stops the work: it throws
// Cancelled, having undone what it had begun. Called from any of the work's
// threads, one call at a time.
using Progress = std::function<bool(Doing doing, const QString &file, double done)>;

// Thrown by work whose Progress asked it to stop. No error: nothing is said.
struct Cancelled
{
};

// One piece of work counted in steps of any unit (cells, rows) for its
// Progress, which may be unset. Advanced from any thread.
class Steps
{
public:
    Steps(Progress progress, Doing doing, int64_t total);

    // The file worked on from now on.
    void on(const QString &file);
    // n more steps are done. Throws Cancelled once the Progress has said stop,
    // from every thread that advances after it.
    void advance(int64_t n);

private:
    Progress progress;
    Doing doing;
    int64_t total;
    std::mutex lock;
    QString file;
    int64_t done = 0;
    bool stopped = false;
};

} // namespace bil
