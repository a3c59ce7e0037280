// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-grade: grades many ORB documents against a teacher's test file (see grade/gradecli.h).

#include "grade/gradecli.h"

#include "app/fileaccess.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orb-grade"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORB_VERSION));
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const int status = orb::runGradeCommandLine(orb::argumentsFromNative(argc, argv), out, err,
                                                isatty(fileno(stderr)) != 0);
    // A table or report that could not reach standard output is a failed write.
    if (!out.flush() || out.error() != QFileDevice::NoError) {
        err.write("orb-grade: cannot write to standard output: " + out.errorString().toUtf8() +
                  '\n');
        return orb::GradeWriteFailed;
    }
    return status;
}
