#include "preview/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The pictures live in a static library; its resources must be registered by hand.
    Q_INIT_RESOURCE(preview);
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
