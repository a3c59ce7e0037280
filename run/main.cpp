// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run: runs an ORB microprogram document without a window (see run/runner.h).

#include "grade/gradecli.h"
#include "run/runner.h"

#include "app/fileaccess.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <csignal>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // A reader that goes away (orb-run --trace … | head) makes a write fail with EPIPE, which
    // the runner turns into its own exit status instead of dying of the signal.
    std::signal(SIGPIPE, SIG_IGN);
    // A closed standard stream stays closed: a file opened later must not take its number and
    // receive the output. Read-only /dev/null in its place makes every write to it fail.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            const int placeholder = open("/dev/null", O_RDONLY);
            if (placeholder >= 0 && placeholder != fd) {
                dup2(placeholder, fd);
                close(placeholder);
            }
        }
    }
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orb-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORB_VERSION));
    // The runner buffers its own output and checks every write.
    QFile in;
    QFile out;
    QFile err;
    in.open(fileno(stdin), QIODevice::ReadOnly | QIODevice::Unbuffered);
    out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(fileno(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);
    // File names keep their bytes: a name that is not UTF-8 still opens.
    const QStringList arguments = orb::argumentsFromNative(argc, argv);
    // A test file's cases are graded as orb-grade grades them. Options end at "--"; a single
    // dash is a long option too, as the parsers read it.
    const auto first = arguments.isEmpty() ? arguments.cend() : arguments.cbegin() + 1;
    const auto optionsEnd = std::find(first, arguments.cend(), QStringLiteral("--"));
    const bool tests = std::any_of(first, optionsEnd, [](const QString &a) {
        return a == QStringLiteral("--tests") || a == QStringLiteral("-tests") ||
               a.startsWith(QStringLiteral("--tests=")) || a.startsWith(QStringLiteral("-tests="));
    });
    if (tests)
        return orb::runTestsCommandLine(arguments, out, err);
    return orb::runCommandLine(arguments, &in, out, err);
}
