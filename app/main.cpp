#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The pictures are compiled into the static library; its resources need registering.
    Q_INIT_RESOURCE(orb);
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return application.exec();
}
