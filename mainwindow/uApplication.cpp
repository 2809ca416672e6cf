#include "mainwindow/uApplication.h"

#include <QMessageBox>

#include <exception>

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
    } catch (const std::exception &e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("An unexpected error occurred."));
    }
}

void TApplication::ShowError(const QString &text)
{
    QMessageBox::critical(activeWindow(), QStringLiteral("RELIEVA"), text, QMessageBox::Ok);
}
