// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/testfile.h"

#include "app/fileaccess.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace orb {

bool TestCase::needsReference() const
{
    return std::any_of(expects.cbegin(), expects.cend(),
                       [](const ExpectItem &item) { return item.fromReference; });
}

bool TestFile::needsReference() const
{
    return std::any_of(cases.cbegin(), cases.cend(),
                       [](const TestCase &c) { return c.needsReference(); });
}

int TestFile::maxPoints() const
{
    int total = 0;
    for (const TestCase &c : cases)
        total += c.points;
    return total;
}

int TestFile::caseIndex(const QString &name) const
{
    for (qsizetype i = 0; i < cases.size(); ++i) {
        if (cases[i].name == name)
            return int(i);
    }
    return -1;
}

namespace {

struct LineError {
    int line;
    QString what;
};

// Items are separated by blanks or commas.
QList<QStringView> splitItems(QStringView text)
{
    QList<QStringView> items;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool separator = i == text.size() || text[i].isSpace() || text[i] == u',';
        if (separator && start >= 0) {
            items << text.mid(start, i - start);
            start = -1;
        } else if (!separator && start < 0) {
            start = i;
        }
    }
    return items;
}

// One NAME=VALUE item with the names and value rules of an expectations file.
std::optional<Expectation> parseItem(QStringView name, QStringView value, QString *error)
{
    QString message;
    const QString line = name.toString() + u'=' + value.toString();
    std::optional<QList<Expectation>> parsed = parseExpectations(line, &message);
    if (!parsed) {
        // "1: what is wrong": the line number is ours to give.
        *error = message.mid(message.indexOf(u':') + 2);
        return std::nullopt;
    }
    const Expectation &item = parsed->constFirst();
    // A case runs to its end: nothing sets a breakpoint, so such a case could never pass.
    if (item.kind == Expectation::Kind::End && item.value == RunBreak) {
        *error = u"end must be success, stopped or limit in a test file, not break"_s;
        return std::nullopt;
    }
    return item;
}

QStringView withoutComment(QStringView line)
{
    if (const qsizetype hash = line.indexOf(u'#'); hash >= 0)
        line = line.left(hash);
    return line.trimmed();
}

// The first word of a line: its keyword, if it has one.
QStringView keywordOf(QStringView rawLine)
{
    const QStringView line = withoutComment(rawLine);
    qsizetype end = 0;
    while (end < line.size() && !line[end].isSpace())
        ++end;
    return line.left(end);
}

std::optional<int> parseDecimal(QStringView text, int low, int high)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const qint64 value = text.toLongLong();
    if (value < low || value > high)
        return std::nullopt;
    return int(value);
}

std::optional<int> parseHexValue(QStringView text)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    bool ok = false;
    const int value = text.toInt(&ok, 16);
    if (!ok || text.startsWith(u'+') || text.startsWith(u'-'))
        return std::nullopt;
    return value;
}

class Parser {
public:
    Parser(const QString &fileName) : fileName_(fileName) {}

    std::optional<TestFile> parse(QStringView text, LineError *error);

private:
    bool parseLine(QStringView line);
    bool parseItems(QStringView text, bool expect, QList<Expectation> *sets,
                    QList<ExpectItem> *expects);
    bool parseBytes(QStringView text, const QString &keyword, QList<int> *bytes);
    bool parseMessages(QStringView text, TestCase *c);
    bool fail(const QString &what)
    {
        error_ = {lineNumber_, what};
        return false;
    }
    TestCase *current() { return file_.cases.isEmpty() ? nullptr : &file_.cases.last(); }
    bool finishCase();

    QString fileName_;
    TestFile file_;
    int lineNumber_ = 0;
    int defaultMaxSteps_ = defaultMaxSteps;
    int defaultPoints_ = 1;
    bool hasCaseLines_ = false;
    LineError error_{0, {}};
};

std::optional<TestFile> Parser::parse(QStringView text, LineError *error)
{
    // Without `case` lines the whole file is one case: it opens before the first line.
    for (const QStringView line : text.tokenize(u'\n')) {
        if (keywordOf(line) == u"case"_s) {
            hasCaseLines_ = true;
            break;
        }
    }
    if (!hasCaseLines_) {
        TestCase single;
        single.name = QFileInfo(fileName_).completeBaseName();
        if (single.name.isEmpty())
            single.name = fileName_;
        single.line = 1;
        file_.cases << single;
    }
    for (const QStringView rawLine : text.tokenize(u'\n')) {
        ++lineNumber_;
        const QStringView line = withoutComment(rawLine);
        if (!line.isEmpty() && !parseLine(line)) {
            *error = error_;
            return std::nullopt;
        }
    }
    if (!finishCase()) {
        *error = error_;
        return std::nullopt;
    }
    if (file_.cases.isEmpty()) {
        *error = {lineNumber_ > 0 ? lineNumber_ : 1, u"the file has no case"_s};
        return std::nullopt;
    }
    qint64 total = 0;
    for (const TestCase &c : std::as_const(file_.cases)) {
        total += c.points;
        if (total > maxTotalPoints) {
            *error = {c.line, u"the points of the cases up to this one add up to %1, more than "
                              u"the %2 a file may give"_s.arg(total)
                                  .arg(maxTotalPoints)};
            return std::nullopt;
        }
    }
    if (!hasCaseLines_) {
        file_.cases.first().maxSteps = defaultMaxSteps_;
        file_.cases.first().points = defaultPoints_;
    }
    return file_;
}

bool Parser::finishCase()
{
    TestCase *c = current();
    if (!c)
        return true;
    if (c->expects.isEmpty() && !c->checksDisplay && !c->checksMessages) {
        error_ = {c->line, u"case \"%1\" has neither expect nor display"_s.arg(c->name)};
        return false;
    }
    return true;
}

bool Parser::parseLine(QStringView line)
{
    const QStringView keyword = keywordOf(line);
    const QStringView rest = line.mid(keyword.size()).trimmed();

    if (keyword == u"max-steps"_s || keyword == u"points"_s) {
        const bool steps = keyword == u"max-steps"_s;
        const std::optional<int> value =
            steps ? parseDecimal(rest, 1, maxMaxSteps) : parseDecimal(rest, 0, maxCasePoints);
        if (!value) {
            return fail(
                steps ? u"max-steps takes a number from 1 to %1, not \"%2\""_s.arg(maxMaxSteps)
                            .arg(rest)
                      : u"points takes a number from 0 to %1, not \"%2\""_s.arg(maxCasePoints)
                            .arg(rest));
        }
        TestCase *c = hasCaseLines_ ? current() : nullptr;
        if (steps)
            (c ? c->maxSteps : defaultMaxSteps_) = *value;
        else
            (c ? c->points : defaultPoints_) = *value;
        return true;
    }
    if (keyword == u"case"_s) {
        if (!finishCase())
            return false;
        if (rest.isEmpty())
            return fail(u"a case needs a name"_s);
        const QString name = rest.toString();
        if (const int other = file_.caseIndex(name); other >= 0)
            return fail(u"a case named \"%1\" is already on line %2"_s.arg(name).arg(
                file_.cases[other].line));
        TestCase c;
        c.name = name;
        c.line = lineNumber_;
        c.maxSteps = defaultMaxSteps_;
        c.points = defaultPoints_;
        file_.cases << c;
        return true;
    }

    TestCase *c = current();
    const bool known = keyword == u"set"_s || keyword == u"expect"_s || keyword == u"input"_s ||
                       keyword == u"display"_s || keyword == u"messages"_s;
    // A bare NAME=VALUE line, as an expectations file holds: one expect item.
    static const QRegularExpression bareItem(u"^[^\\s=]+\\s*="_s);
    const bool bare = !known && bareItem.match(line).hasMatch();
    if (!known && !bare)
        return fail(u"unknown keyword \"%1\""_s.arg(keyword));
    if (!c)
        return fail(u"%1 before the first case"_s.arg(bare ? u"NAME=VALUE"_s : keyword));

    if (bare) {
        const qsizetype equals = line.indexOf(u'=');
        const QStringView name = line.left(equals).trimmed();
        const QStringView value = line.mid(equals + 1).trimmed();
        QString error;
        ExpectItem item;
        item.line = lineNumber_;
        item.fromReference = value == u"?"_s;
        std::optional<Expectation> e =
            parseItem(name, item.fromReference ? u"0"_s : value.toString(), &error);
        if (!e && item.fromReference && name.compare(u"end"_s, Qt::CaseInsensitive) == 0)
            e = parseItem(name, u"success"_s, &error);
        if (!e)
            return fail(error);
        for (const ExpectItem &other : std::as_const(c->expects)) {
            if (other.line == lineNumber_ && other.expectation.name == e->name)
                return fail(u"%1 is already on this line"_s.arg(e->name));
        }
        item.expectation = *e;
        c->expects << item;
        return true;
    }
    if (keyword == u"set"_s)
        return parseItems(rest, false, &c->sets, nullptr);
    if (keyword == u"expect"_s)
        return parseItems(rest, true, nullptr, &c->expects);
    if (keyword == u"input"_s)
        return parseBytes(rest, u"input"_s, &c->inputs);
    if (keyword == u"messages"_s)
        return parseMessages(rest, c);
    c->checksDisplay = true;
    return parseBytes(rest, u"display"_s, &c->display);
}

bool Parser::parseItems(QStringView text, bool expect, QList<Expectation> *sets,
                        QList<ExpectItem> *expects)
{
    const QString keyword = expect ? u"expect"_s : u"set"_s;
    const QList<QStringView> items = splitItems(text);
    if (items.isEmpty())
        return fail(u"%1 takes NAME=VALUE items"_s.arg(keyword));
    QStringList seen;
    for (const QStringView item : items) {
        const qsizetype equals = item.indexOf(u'=');
        if (equals <= 0)
            return fail(u"expected NAME=VALUE, got \"%1\""_s.arg(item));
        const QStringView name = item.left(equals);
        const QStringView value = item.mid(equals + 1);
        const bool unknown = value == u"?"_s;
        if (unknown && !expect)
            return fail(u"? takes the reference's value: only in expect"_s);
        const bool isEnd = name.compare(u"end"_s, Qt::CaseInsensitive) == 0;
        if (isEnd && !expect)
            return fail(u"end cannot be set, only expected"_s);
        QString error;
        const QString placeholder = isEnd ? u"success"_s : u"0"_s;
        const std::optional<Expectation> e =
            parseItem(name, unknown ? placeholder : value.toString(), &error);
        if (!e)
            return fail(error);
        if (seen.contains(e->name))
            return fail(u"%1 is named twice on this line"_s.arg(e->name));
        // R is the lower half of РК1: the engine never holds more in it.
        if (!expect && e->kind == Expectation::Kind::Register && e->name == u"R"_s && e->value > 15)
            return fail(u"R holds 0 to F, not \"%1\""_s.arg(value));
        seen << e->name;
        if (expect)
            expects->append(ExpectItem{*e, unknown, lineNumber_});
        else
            sets->append(*e);
    }
    return true;
}

bool Parser::parseBytes(QStringView text, const QString &keyword, QList<int> *bytes)
{
    for (const QStringView item : splitItems(text)) {
        const std::optional<int> value = parseHexValue(item);
        if (!value)
            return fail(u"%1 takes hexadecimal bytes (00 to FF), not \"%2\""_s.arg(keyword, item));
        bytes->append(*value);
    }
    if (keyword == u"input"_s && splitItems(text).isEmpty())
        return fail(u"input takes hexadecimal bytes (00 to FF)"_s);
    return true;
}

bool Parser::parseMessages(QStringView text, TestCase *c)
{
    if (c->checksMessages)
        return fail(u"messages is already given for this case"_s);
    c->checksMessages = true;
    // Nothing after the keyword expects neither message.
    for (const QStringView item : splitItems(text)) {
        const int signal = messageSignal(item);
        if (signal == 0)
            return fail(u"messages takes overflow and opcode-error, not \"%1\""_s.arg(item));
        c->messages.append(signal);
    }
    return true;
}

} // namespace

int messageSignal(QStringView name)
{
    if (name == u"overflow"_s)
        return 68;
    if (name == u"opcode-error"_s)
        return 69;
    return 0;
}

QString messageName(int signal)
{
    return signal == 68 ? u"overflow"_s : signal == 69 ? u"opcode-error"_s : QString();
}

std::optional<TestFile> parseTestFile(const QByteArray &bytes, const QString &fileName,
                                      QString *error)
{
    auto failAt = [&](int line, const QString &what) {
        if (error)
            *error = u"%1:%2: %3"_s.arg(fileName).arg(line).arg(what);
        return std::nullopt;
    };
    if (bytes.size() > maxTestFileBytes)
        return failAt(1, u"the file is larger than 1 MiB"_s);
    // UTF-8 with or without a byte order mark; the line of the first byte that is not UTF-8
    // is the line to mend.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        const qsizetype bad = text.indexOf(QChar::ReplacementCharacter);
        const int line = int(QStringView(text).left(bad < 0 ? text.size() : bad).count(u'\n')) + 1;
        return failAt(line, u"the file is not UTF-8 text"_s);
    }
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        return failAt(int(QStringView(text).left(nul).count(u'\n')) + 1, u"a NUL character"_s);
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    LineError lineError;
    Parser parser(fileName);
    std::optional<TestFile> file = parser.parse(text, &lineError);
    if (!file)
        return failAt(lineError.line, lineError.what);
    return file;
}

std::optional<TestFile> readTestFile(const QString &path, QString *error, bool *unreadable)
{
    if (unreadable)
        *unreadable = false;
    QFile file;
    auto cannotRead = [&](const QString &why) {
        if (error)
            *error = u"cannot read the test file %1: %2"_s.arg(shownPath(path), why);
        if (unreadable)
            *unreadable = true;
        return std::nullopt;
    };
    OpenError openError;
    if (!openRegularFile(file, path, &openError))
        return cannotRead(openError.message);
    // One byte past the limit tells an oversized file without reading it all.
    const QByteArray bytes = file.read(maxTestFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return cannotRead(file.errorString());
    return parseTestFile(bytes, path, error);
}

} // namespace orb
