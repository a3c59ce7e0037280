// SPDX-License-Identifier: GPL-3.0-or-later

#include "preview/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orbsim.OrbPreview"));
    MainWindow window;
    window.show();
    return app.exec();
}
