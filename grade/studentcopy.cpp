// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/studentcopy.h"

#include "grade/caserun.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// The file's lines, each with its own line end, split where the parser splits them (LF, CR LF
// or a lone CR), so that line numbers agree with the parse.
QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || bytes[i] == '\r') {
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            lines << bytes.mid(start, i + 1 - start);
            start = i + 1;
        }
    }
    if (start < bytes.size())
        lines << bytes.mid(start);
    return lines;
}

QByteArray contentOf(const QByteArray &line)
{
    QByteArray text = line;
    if (const qsizetype hash = text.indexOf('#'); hash >= 0)
        text.truncate(hash);
    return text.trimmed();
}

bool isCommentOnly(const QByteArray &line)
{
    return contentOf(line).isEmpty() && line.contains('#');
}

// The line with each NAME=? of `items` (all of that line) written with its value.
QByteArray fillLine(const QByteArray &line, const QList<const ExpectItem *> &items)
{
    qsizetype hash = line.indexOf('#');
    if (hash < 0)
        hash = line.size();
    QString code = QString::fromUtf8(line.left(hash));
    static const QRegularExpression unknown(u"([^\\s,=]+)\\s*=\\s*\\?(?=[\\s,]|$)"_s);
    QString filled;
    qsizetype last = 0;
    for (const QRegularExpressionMatch &match : unknown.globalMatch(code)) {
        QString error;
        const std::optional<QList<Expectation>> parsed =
            parseExpectations(match.captured(1) + u"=0"_s, &error);
        const QString name =
            parsed && !parsed->isEmpty() ? parsed->constFirst().name : match.captured(1);
        const auto item = std::find_if(items.cbegin(), items.cend(), [&](const ExpectItem *i) {
            return i->expectation.name.compare(name, Qt::CaseInsensitive) == 0 ||
                   (i->expectation.kind == Expectation::Kind::End &&
                    match.captured(1).compare(u"end"_s, Qt::CaseInsensitive) == 0);
        });
        if (item == items.cend())
            continue;
        const qsizetype question = match.capturedEnd(0) - 1;
        filled += code.mid(last, question - last);
        filled += expectationValueText((*item)->expectation, (*item)->expectation.value);
        last = question + 1;
    }
    filled += code.mid(last);
    return filled.toUtf8() + line.mid(hash);
}

} // namespace

std::optional<QByteArray> makeStudentCopy(const QByteArray &bytes, const TestFile &tests,
                                          const QString &fileName, QString *error)
{
    const QList<QByteArray> lines = splitLines(bytes);
    std::vector<bool> keep(size_t(lines.size()), true);
    std::vector<int> caseLines;
    for (const TestCase &c : tests.cases)
        caseLines.push_back(c.line);
    const bool hasCaseLines = std::any_of(lines.cbegin(), lines.cend(), [](const QByteArray &l) {
        const QByteArray content = contentOf(l);
        return content == "case" || content.startsWith("case ") || content.startsWith("case\t");
    });
    int visibleCount = 0;
    for (qsizetype k = 0; k < tests.cases.size(); ++k) {
        const TestCase &c = tests.cases[k];
        if (c.visible()) {
            ++visibleCount;
            continue;
        }
        if (!hasCaseLines)
            break;
        // From the case's own line to the next case's, with the comment lines right above it
        // (a blank line parts a comment from the case below it).
        qsizetype first = c.line - 1;
        qsizetype end = k + 1 < tests.cases.size() ? tests.cases[k + 1].line - 1 : lines.size();
        while (first > 0 && isCommentOnly(lines[first - 1]))
            --first;
        // The comments right above the next case are that case's.
        if (k + 1 < tests.cases.size()) {
            while (end > first + 1 && isCommentOnly(lines[end - 1]))
                --end;
        }
        for (qsizetype i = first; i < end; ++i)
            keep[size_t(i)] = false;
    }
    if (visibleCount == 0) {
        *error = u"%1: every case is hidden, so a student copy would have none"_s.arg(fileName);
        return std::nullopt;
    }

    QHash<int, QList<const ExpectItem *>> unknowns;
    for (const TestCase &c : tests.cases) {
        if (!c.visible())
            continue;
        for (const ExpectItem &item : c.expects) {
            if (item.fromReference)
                unknowns[item.line] << &item;
        }
    }
    QByteArray copy;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!keep[size_t(i)])
            continue;
        const auto found = unknowns.constFind(int(i + 1));
        copy += found == unknowns.cend() ? lines[i] : fillLine(lines[i], *found);
    }

    // The copy must read back as the visible cases with every value known.
    QString parseError;
    const std::optional<TestFile> check = parseTestFile(copy, fileName, &parseError);
    bool same = check && check->cases.size() == visibleCount && !check->needsReference();
    if (same) {
        qsizetype j = 0;
        for (const TestCase &c : tests.cases) {
            if (!c.visible())
                continue;
            const TestCase &d = check->cases[j++];
            same = same && d.name == c.name && d.expects.size() == c.expects.size() &&
                   d.points == c.points && d.maxSteps == c.maxSteps;
            for (qsizetype e = 0; same && e < c.expects.size(); ++e)
                same = d.expects[e].expectation.value == c.expects[e].expectation.value;
        }
    }
    if (!same) {
        *error = u"%1: the student copy does not read back as the visible cases%2"_s.arg(
            fileName, parseError.isEmpty() ? QString() : u" ("_s + parseError + u')');
        return std::nullopt;
    }
    return copy;
}

} // namespace orb
