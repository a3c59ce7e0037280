// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-check: static checks of ORB microprogram documents (see check/checker.h).

#include "check/checker.h"

#include "app/fileaccess.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orb-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORB_VERSION));
    QFile out;
    QFile err;
    // On the descriptors, not the C streams: a write the system refuses (a full disk) fails
    // here, where it can be reported, and not in a buffer flushed at exit.
    out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(fileno(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);
    return orb::checkCommandLine(orb::argumentsFromNative(argc, argv), out, err);
}
