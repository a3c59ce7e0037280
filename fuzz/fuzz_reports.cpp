// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes orb-grade's report writers with random gradings: the bytes choose the cases, the
// submissions and their results, names and texts included. Every writer must cope; the JSON
// and Gradescope reports must be valid JSON with one entry per submission, the JUnit report
// well-formed XML, and the TAP report must plan as many tests as it reports.

#include "fuzzsupport.h"

#include "grade/reports.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

namespace {

class Bytes {
public:
    Bytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    int next(int limit)
    {
        if (position_ >= size_ || limit <= 0)
            return 0;
        return int(data_[position_++]) % limit;
    }
    // Up to 12 characters, mostly ASCII, some Cyrillic, quotes, markup and control characters.
    QString text()
    {
        static const QString alphabet =
            QStringLiteral("ab1 ,;\"'<>&\\\n\r\tяЖ\u2028\U0001F600") + QChar(0) + QChar(0x7F);
        QString result;
        for (int length = next(13); length > 0; --length) {
            const QChar c = alphabet[next(int(alphabet.size()))];
            result += c;
            if (c.isHighSurrogate() && next(2))
                result += alphabet[alphabet.size() - 1 - 2];
        }
        return result;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t position_ = 0;
};

QByteArray written(void (*writer)(QIODevice &, const orb::GradeRun &), const orb::GradeRun &run)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writer(buffer, run);
    return buffer.data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    if (size > 4096)
        return 0;
    Bytes bytes(data, size);
    orb::TestFile tests;
    for (int count = bytes.next(5) + 1; count > 0; --count) {
        orb::TestCase testCase;
        testCase.name = bytes.text();
        testCase.line = bytes.next(200) + 1;
        testCase.points = bytes.next(11);
        tests.cases << testCase;
    }
    std::vector<orb::SubmissionResult> results;
    for (int count = bytes.next(5); count > 0; --count) {
        orb::SubmissionResult result;
        result.name = bytes.text();
        result.document = orb::CaseStatus(bytes.next(6));
        if (result.document == orb::CaseStatus::Unreadable)
            result.readError = bytes.text();
        for (int cell = bytes.next(3); cell > 0; --cell)
            result.wrongCells << bytes.text();
        if (result.document == orb::CaseStatus::Passed ||
            result.document == orb::CaseStatus::Wrong) {
            for (const orb::TestCase &testCase : tests.cases) {
                orb::CaseResult caseResult;
                caseResult.status = orb::CaseStatus(bytes.next(4));
                caseResult.maxPoints = testCase.points;
                caseResult.points =
                    caseResult.status == orb::CaseStatus::Passed ? testCase.points : 0;
                caseResult.steps = bytes.next(256) * 4;
                caseResult.end = orb::RunStatus(bytes.next(3));
                for (int m = bytes.next(3); m > 0; --m)
                    caseResult.mismatches
                        << orb::Mismatch{bytes.text(), bytes.text(), bytes.text()};
                if (bytes.next(3) == 0) {
                    orb::Divergence d;
                    d.kind = orb::Divergence::Kind(bytes.next(4));
                    d.index = bytes.next(100) + 1;
                    d.studentStep = bytes.next(100);
                    d.referenceStep = bytes.next(100);
                    d.studentOperation = bytes.text();
                    d.referenceOperation = bytes.text();
                    d.studentRow = bytes.next(10);
                    d.referenceRow = bytes.next(10);
                    d.studentEnd = bytes.text();
                    caseResult.divergence = d;
                }
                result.points += caseResult.points;
                result.cases.push_back(caseResult);
            }
        }
        results.push_back(result);
    }
    const orb::GradeRun run{tests, bytes.text(), bytes.next(2) ? bytes.text() : QString(), results,
                            1 + int(bytes.next(3))};

    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(written(orb::writeJsonReport, run), &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError && json.isObject());

    QXmlStreamReader junit(written(orb::writeJunitReport, run));
    while (!junit.atEnd())
        junit.readNext();
    if (junit.hasError())
        std::fprintf(stderr, "%s\n", qPrintable(junit.errorString()));
    FUZZ_CHECK(!junit.hasError());

    const QList<QByteArray> tap = written(orb::writeTapReport, run).split('\n');
    int planned = -1;
    int reported = 0;
    for (const QByteArray &line : tap) {
        if (line.startsWith("1.."))
            planned = line.mid(3).toInt();
        else if (line.startsWith("ok ") || line.startsWith("not ok "))
            ++reported;
    }
    FUZZ_CHECK(planned == reported);

    for (const orb::SubmissionResult &result : results) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        orb::writeGradescopeResult(buffer, run, result);
        FUZZ_CHECK(QJsonDocument::fromJson(buffer.data(), &error).isObject());
    }
    written(orb::writeCsvReport, run);
    written(orb::writeTable, run);
    return 0;
}
