#include "app/mainwindow.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The pictures are compiled into the static library; its resources need registering.
    Q_INIT_RESOURCE(orb);
    QApplication application(argc, argv);
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orbsim.Orb"));
    MainWindow window;
    window.show();
    orb::openFromArguments(window, QCoreApplication::arguments());
    return application.exec();
}
