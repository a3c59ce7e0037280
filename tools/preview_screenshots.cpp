// SPDX-License-Identifier: GPL-3.0-or-later
//
// preview-screenshots: renders orb-preview's start window to a PNG file. It links only
// orb-preview's own library, which shares no code with ORB.
//
// Usage: preview-screenshots OUTPUT_FOLDER

#include "preview/mainwindow.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: preview-screenshots OUTPUT_FOLDER\n");
        return 64;
    }
    const QDir folder(arguments[1]);
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "preview-screenshots: cannot create %s\n", qPrintable(arguments[1]));
        return 1;
    }

    MainWindow window;
    window.show();
    QApplication::processEvents();
    QApplication::processEvents();
    const QString path = folder.filePath(QStringLiteral("preview.png"));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "preview-screenshots: cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    return 0;
}
