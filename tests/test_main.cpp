// Runs every suite inside the program's own application object on the
// offscreen platform, under the user's locale so that no parse leans on the
// C locale.
#include "mainwindow/uApplication.h"

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setlocale(LC_ALL, "");
    TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
