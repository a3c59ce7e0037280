// orb-run: runs an ORB microprogram document without a window (see run/runner.h).

#include "grade/gradecli.h"
#include "run/runner.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
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
    const QStringList arguments = QCoreApplication::arguments();
    // A test file's cases are graded as orb-grade grades them.
    if (arguments.contains(QStringLiteral("--tests")) ||
        std::any_of(arguments.cbegin(), arguments.cend(),
                    [](const QString &a) { return a.startsWith(QStringLiteral("--tests=")); }))
        return orb::runTestsCommandLine(arguments, out, err);
    return orb::runCommandLine(arguments, out, err);
}
