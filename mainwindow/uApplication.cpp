#include "mainwindow/uApplication.h"

#include <QMessageBox>

#include <exception>

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

void TApplication::ShowError(const QString &text)
{
    QMessageBox::critical(activeWindow(), QStringLiteral("RELIEVA"), text, QMessageBox::Ok);
}
