// orb-run: runs an ORB microprogram document without a window (see run/runner.h).

#include "run/runner.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orb-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORB_VERSION));
    // The runner buffers its own output.
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    return orb::runCommandLine(QCoreApplication::arguments(), out, err);
}
