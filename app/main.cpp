// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "app/startup.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // Answered before any window or display is needed, as the command-line programs answer it.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("orb " ORB_VERSION "\n", stdout);
        return 0;
    }
    QApplication application(argc, argv);
    // Qt's standard texts in Russian; without the system's translations they stay English.
    orb::installQtTranslations(&application);
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orbsim.Orb"));
    MainWindow window;
    window.show();
    orb::openFromArguments(window, QCoreApplication::arguments());
    return application.exec();
}
