// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-mimetype: the MIME type Qt gives a file, by name and contents, as the desktop's file
// manager would; the install test points XDG_DATA_DIRS at an installed tree and asks it
// whether ORB documents are known there.
//
// Usage: orb-mimetype FILE...   (one type name per line)

#include <QCoreApplication>
#include <QMimeDatabase>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: orb-mimetype FILE...\n");
        return 64;
    }
    const QMimeDatabase database;
    for (const QString &file : files)
        std::printf("%s\n", qPrintable(database.mimeTypeForFile(file).name()));
    return 0;
}
