#include "mainwindow/uApplication.h"

#include <QMessageBox>
#include <QThread>

#include <exception>
#include <new>

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    ReportErrors([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void TApplication::ReportErrors(const std::function<void()> &work)
{
    try {
        work();
    } catch (const std::bad_alloc &) {
        // The core says what it was doing; this is what is left elsewhere.
        ShowError(QStringLiteral("Not enough memory to finish this command."));
    } catch (const std::exception &e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("An unexpected error occurred."));
    }
}

void TApplication::ShowError(const QString &text)
{
    // Work in the background says so too; its box is shown by the interface's thread.
    if (QThread::currentThread() != qApp->thread()) {
        QMetaObject::invokeMethod(
            qApp, [text] { ShowError(text); }, Qt::BlockingQueuedConnection);
        return;
    }
    QMessageBox::critical(activeWindow(), QStringLiteral("RELIEVA"), text, QMessageBox::Ok);
}
