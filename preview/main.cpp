#include "preview/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The pictures live in a static library; its resources must be registered by hand.
    Q_INIT_RESOURCE(preview);
    QApplication app(argc, argv);
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orbsim.OrbPreview"));
    MainWindow window;
    window.show();
    return app.exec();
}
