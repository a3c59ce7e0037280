// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes the test-file parser with any bytes: it never reads past its input, a mistake names a
// line of the file, and a file it accepts holds only cases it can run; written back as a test
// file of its own, that file parses to the same cases.

#include "fuzzsupport.h"

#include "grade/caserun.h"
#include "grade/testfile.h"

#include <QStringDecoder>

namespace {

QString itemText(const orb::Expectation &e, bool fromReference)
{
    return e.name + u'=' +
           (fromReference ? QStringLiteral("?") : orb::expectationValueText(e, e.value));
}

QByteArray writeBack(const orb::TestFile &file)
{
    QString text;
    for (const orb::TestCase &c : file.cases) {
        text += QStringLiteral("case ") + c.name + u'\n';
        text += QStringLiteral("max-steps %1\npoints %2\n").arg(c.maxSteps).arg(c.points);
        for (const orb::Expectation &e : c.sets)
            text += QStringLiteral("set ") + itemText(e, false) + u'\n';
        for (const int byte : c.inputs)
            text += QStringLiteral("input ") + orb::formatHex(byte) + u'\n';
        for (const orb::ExpectItem &item : c.expects)
            text +=
                QStringLiteral("expect ") + itemText(item.expectation, item.fromReference) + u'\n';
        if (c.checksDisplay)
            text += QStringLiteral("display\n");
        for (const int byte : c.display)
            text += QStringLiteral("display ") + orb::formatHex(byte) + u'\n';
    }
    return text.toUtf8();
}

void checkSame(const orb::Expectation &a, const orb::Expectation &b)
{
    FUZZ_CHECK(a.kind == b.kind);
    FUZZ_CHECK(a.name == b.name);
    FUZZ_CHECK(a.index == b.index);
    FUZZ_CHECK(a.value == b.value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<orb::TestFile> file =
        orb::parseTestFile(bytes, QStringLiteral("f.orbtest"), &error);
    if (!file) {
        // "f.orbtest:LINE: what", LINE a line of the file.
        FUZZ_CHECK(error.startsWith(QStringLiteral("f.orbtest:")));
        const qsizetype colon = error.indexOf(u':', 10);
        FUZZ_CHECK(colon > 10);
        bool ok = false;
        const int line = error.mid(10, colon - 10).toInt(&ok);
        FUZZ_CHECK(ok && line >= 1);
        FUZZ_CHECK(line <= bytes.count('\n') + bytes.count('\r') + 1);
        FUZZ_CHECK(error.size() > colon + 2);
        return 0;
    }
    FUZZ_CHECK(!file->cases.isEmpty());
    for (const orb::TestCase &c : file->cases) {
        FUZZ_CHECK(!c.name.isEmpty());
        FUZZ_CHECK(!c.name.contains(u'\n') && !c.name.contains(u'#'));
        FUZZ_CHECK(c.maxSteps >= 1 && c.maxSteps <= orb::maxMaxSteps);
        FUZZ_CHECK(c.points >= 0 && c.points <= orb::maxCasePoints);
        FUZZ_CHECK(!c.expects.isEmpty() || c.checksDisplay);
        for (const orb::Expectation &e : c.sets) {
            FUZZ_CHECK(e.kind != orb::Expectation::Kind::End);
            FUZZ_CHECK(e.value >= 0 && e.value <= 255);
        }
        for (const int byte : c.inputs + c.display)
            FUZZ_CHECK(byte >= 0 && byte <= 255);
    }
    // Names are kept trimmed and without '#', so a case written back reads as itself (a file
    // without case lines is named after the file, which writes back the same).
    QString again;
    const std::optional<orb::TestFile> reread =
        orb::parseTestFile(writeBack(*file), QStringLiteral("f.orbtest"), &again);
    FUZZ_CHECK(reread.has_value());
    FUZZ_CHECK(reread->cases.size() == file->cases.size());
    for (qsizetype i = 0; i < file->cases.size(); ++i) {
        const orb::TestCase &a = file->cases[i];
        const orb::TestCase &b = reread->cases[i];
        FUZZ_CHECK(a.name == b.name && a.maxSteps == b.maxSteps && a.points == b.points);
        FUZZ_CHECK(a.inputs == b.inputs && a.display == b.display);
        FUZZ_CHECK(a.checksDisplay == b.checksDisplay);
        FUZZ_CHECK(a.sets.size() == b.sets.size() && a.expects.size() == b.expects.size());
        for (qsizetype k = 0; k < a.sets.size(); ++k)
            checkSame(a.sets[k], b.sets[k]);
        for (qsizetype k = 0; k < a.expects.size(); ++k) {
            checkSame(a.expects[k].expectation, b.expects[k].expectation);
            FUZZ_CHECK(a.expects[k].fromReference == b.expects[k].fromReference);
        }
    }
    return 0;
}
