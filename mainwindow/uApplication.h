#pragma once

// The application object: the program's last line of defence. An exception
// that escapes an event handler is shown in an error box and the program
// carries on.

#include <QApplication>

#include <functional>

class TApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override;

    // Runs work and shows what it throws. Commands catch their failures here,
    // before they unwind through Qt's own event handling.
    static void ReportErrors(const std::function<void()> &work);

    // A modal error box with one OK button over the active window; from any
    // thread, waiting until it is closed.
    static void ShowError(const QString &text);
};
