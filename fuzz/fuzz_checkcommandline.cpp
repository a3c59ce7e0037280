// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes orb-check's command line with any bytes (see toolcommandline.h): whatever the
// arguments, the status is one orb-check documents, and a usage error says what is wrong.

#include "fuzzsupport.h"
#include "toolcommandline.h"

#include "check/checker.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    const QStringList arguments = fuzz::toolArguments("orb-check", data, size);
    if (arguments.isEmpty())
        return 0;
    const fuzz::ToolFolder folder;
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = orb::checkCommandLine(arguments, out, err);
    FUZZ_CHECK(status == orb::CheckClean || status == orb::CheckWarnings ||
               status == orb::CheckErrors || status == orb::CheckWrongCells ||
               status == orb::CheckUnreadable || status == orb::CheckNotWritten ||
               status == orb::CheckUsage);
    if (status == orb::CheckUsage) {
        FUZZ_CHECK(!err.data().isEmpty());
        FUZZ_CHECK(err.data().endsWith('\n'));
    }
    return 0;
}
