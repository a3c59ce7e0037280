// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-check: static checks of ORB microprogram documents (see check/checker.h).

#include "check/checker.h"

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
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const int status = orb::checkCommandLine(QCoreApplication::arguments(), out, err);
    // A report that the system could not take is no report.
    if (std::fflush(stdout) != 0 && status != orb::CheckUsage)
        return orb::CheckNotWritten;
    return status;
}
