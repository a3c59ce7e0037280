// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/reportsupport.h"

#include <QXmlStreamWriter>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// Text as XML 1.0 can hold it: a character it cannot (control characters other than tab and
// line ends, lone surrogates, U+FFFE, U+FFFF), which a file name or a cell read from a file may
// carry, becomes U+FFFD; the writer would otherwise drop it and lose the rest of the report.
QString xmlText(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || QChar::isSurrogate(c) ||
            c == 0xFFFE || c == 0xFFFF)
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

void writeJunitReport(QIODevice &out, const GradeRun &run)
{
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    int failures = 0;
    int errors = 0;
    for (const SubmissionResult &s : run.results) {
        for (const CaseResult &c : s.cases) {
            if (!caseRan(c))
                ++errors;
            else if (c.status != CaseStatus::Passed)
                ++failures;
        }
    }
    const int caseCount = int(run.results.size() * size_t(run.tests.cases.size()));
    xml.writeStartElement(u"testsuites"_s);
    xml.writeAttribute(u"name"_s, u"orb-grade"_s);
    xml.writeAttribute(u"tests"_s, QString::number(caseCount));
    xml.writeAttribute(u"failures"_s, QString::number(failures));
    xml.writeAttribute(u"errors"_s, QString::number(errors));
    for (const SubmissionResult &s : run.results) {
        int suiteFailures = 0;
        for (const CaseResult &c : s.cases)
            suiteFailures += caseRan(c) && c.status != CaseStatus::Passed;
        xml.writeStartElement(u"testsuite"_s);
        xml.writeAttribute(u"name"_s, xmlText(shown(s.name)));
        xml.writeAttribute(u"tests"_s, QString::number(s.cases.size()));
        xml.writeAttribute(u"failures"_s, QString::number(suiteFailures));
        xml.writeAttribute(
            u"errors"_s,
            QString::number(s.document == CaseStatus::Passed ? 0 : int(s.cases.size())));
        xml.writeAttribute(u"skipped"_s, u"0"_s);
        xml.writeStartElement(u"properties"_s);
        xml.writeEmptyElement(u"property"_s);
        xml.writeAttribute(u"name"_s, u"points"_s);
        xml.writeAttribute(u"value"_s, pointsText(s.points, run.tests.maxPoints()));
        xml.writeEndElement();
        for (size_t i = 0; i < s.cases.size(); ++i) {
            const CaseResult &c = s.cases[i];
            xml.writeStartElement(u"testcase"_s);
            xml.writeAttribute(u"name"_s, xmlText(shown(run.tests.cases[qsizetype(i)].name)));
            xml.writeAttribute(u"classname"_s, xmlText(shown(s.name)));
            if (!caseRan(c)) {
                xml.writeStartElement(u"error"_s);
                xml.writeAttribute(u"type"_s, caseStatusName(c.status));
                xml.writeAttribute(u"message"_s, xmlText(shown(s.firstProblem(run.tests))));
                xml.writeCharacters(
                    xmlText(s.readError.isEmpty() ? s.wrongCells.join(u'\n') : s.readError));
                xml.writeEndElement();
            } else if (c.status != CaseStatus::Passed) {
                const QStringList messages = caseMessages(c);
                xml.writeStartElement(u"failure"_s);
                xml.writeAttribute(u"type"_s, caseStatusName(c.status));
                xml.writeAttribute(
                    u"message"_s,
                    xmlText(messages.isEmpty() ? caseStatusName(c.status) : messages.first()));
                xml.writeCharacters(xmlText(messages.join(u'\n')));
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
}

} // namespace orb
