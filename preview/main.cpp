// SPDX-License-Identifier: GPL-3.0-or-later

#include "preview/mainwindow.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // Answered before any window or display is needed, as the command-line programs answer it.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("orb-preview " ORB_VERSION "\n", stdout);
        return 0;
    }
    QApplication app(argc, argv);
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orbsim.OrbPreview"));
    MainWindow window;
    window.show();
    return app.exec();
}
