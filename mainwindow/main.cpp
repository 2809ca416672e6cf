// Start-up: the modules' own start-up work, then either the command line
// (no display needed) or the application object, the three windows once
// each and the event loop.
#include "cli/uCliExport.h"
#include "components/uFMXFrmAbout.h"
#include "components/uFMXTheme.h"
#include "elevation/uFMXBILUtils.h"
#include "mainwindow/uApplication.h"
#include "mainwindow/uFrmMain.h"
#include "mainwindow/uFrmOption.h"
#include "mainwindow/uQtTranslations.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMetaObject>

int main(int argc, char **argv)
{
    LoadColorTable();
    // Decided before any GUI application object exists: that one would need a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (WantsCommandLine(arguments)) {
        QCoreApplication app(argc, argv);
        return RunCommandLine(QCoreApplication::arguments());
    }

    TApplication app(argc, argv);
    const auto qtTexts = InstallQtTranslations();
    // The desktop's settings come over D-Bus, which needs the application object.
    InitializeTheme();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/relieva-%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    // Ties the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.relieva.Relieva"));

    TFMXFrmAbout *about = nullptr;
    TFrmMain FrmMain([&about] { about->Execute(); });
    TFMXFrmAbout FMXFrmAbout(&FrmMain);
    about = &FMXFrmAbout;
    BILAskLayout = [&FrmMain] { TFrmOption(&FrmMain).Execute(); };
    BILShowError = TApplication::ShowError;

    FrmMain.show();
    // relieva FILE: opened from the event loop, where the layout dialog and
    // the application's error box work as for the Open button.
    const QStringList files = QCoreApplication::arguments().sliced(1);
    FrmMain.showStartNote(!files.isEmpty());
    if (!files.isEmpty())
        QMetaObject::invokeMethod(
            &FrmMain, [&FrmMain, file = files.constFirst()] { FrmMain.openFile(file); },
            Qt::QueuedConnection);
    const int result = QApplication::exec();
    BILAskLayout = nullptr;
    BILShowError = nullptr;
    return result;
}
