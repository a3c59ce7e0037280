// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes orb-grade's command line with any bytes (see toolcommandline.h): whatever the
// arguments, the status is one orb-grade documents, and a usage error says what is wrong.

#include "fuzzsupport.h"
#include "toolcommandline.h"

#include "grade/gradecli.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    const QStringList arguments = fuzz::toolArguments("orb-grade", data, size);
    if (arguments.isEmpty())
        return 0;
    const fuzz::ToolFolder folder;
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = orb::runGradeCommandLine(arguments, out, err);
    FUZZ_CHECK(status == orb::GradeAllPassed || status == orb::GradeSomeFailed ||
               status == orb::GradeUnusable || status == orb::GradeWriteFailed ||
               status == orb::GradeUsage);
    if (status == orb::GradeUsage || status == orb::GradeUnusable)
        FUZZ_CHECK(!err.data().isEmpty());
    return 0;
}
