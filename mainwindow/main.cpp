#include "elevation/uFMXBILUtils.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char **argv)
{
    LoadColorTable();
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(BILCaption());
    window.show();
    return app.exec();
}
