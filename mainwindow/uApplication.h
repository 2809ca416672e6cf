#pragma once

// The application object: the program's last line of defence. An exception
// that escapes an event handler is shown in an error box and the program
// carries on.

#include <QApplication>

class TApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override;

    // A modal error box with one OK button over the active window.
    static void ShowError(const QString &text);
};
