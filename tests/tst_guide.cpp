// SPDX-License-Identifier: GPL-3.0-or-later
//
// The user guides against the program: the tables of ALU functions and microoperations in the
// Russian guide and in the README say what the microoperation code does and shows, the signal
// numbers they list are exactly the program's, every key list names the help key, the links
// and pictures of both guides (the teachers' part too, which the help window never shows) lead
// somewhere, and the static checks' codes they explain are the ones orb-check reports.

#include "app/helpwindow.h"
#include "cells/celllanguage.h"
#include "sim/microops.h"
#include "coretestutil.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <functional>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

QString sourceText(const char *path)
{
    return QString::fromUtf8(
        testutil::readAll(QStringLiteral(ORB_SOURCE_DIR "/") + QLatin1String(path)));
}

// The rows of the first table after the line `heading`, each split into its trimmed cells;
// the heading row and the separator row are left out.
QList<QStringList> tableAfter(const QString &text, const QString &heading)
{
    QList<QStringList> rows;
    const QStringList lines = text.split(u'\n');
    const qsizetype start = lines.indexOf(heading);
    if (start < 0)
        return rows;
    bool inTable = false;
    int row = 0;
    for (qsizetype i = start + 1; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (!line.startsWith(u'|')) {
            if (inTable)
                break;
            continue;
        }
        inTable = true;
        if (row++ < 2)
            continue;
        QStringList cells = line.mid(1, line.size() - 2).split(u'|');
        for (QString &cell : cells)
            cell = cell.trimmed();
        rows << cells;
    }
    return rows;
}

QString unquoted(QString cell)
{
    return cell.remove(u'`');
}

// The texts in backticks of a cell.
QStringList codeSpans(const QString &cell)
{
    static const QRegularExpression code(u"`([^`]*)`"_s);
    QStringList spans;
    for (const QRegularExpressionMatch &match : code.globalMatch(cell))
        spans << match.captured(1);
    return spans;
}

QSet<int> numbersIn(const QString &text)
{
    static const QRegularExpression number(u"\\d+"_s);
    QSet<int> numbers;
    for (const QRegularExpressionMatch &match : number.globalMatch(text))
        numbers.insert(match.captured().toInt());
    return numbers;
}

QSet<int> microoperationNumbers()
{
    QSet<int> numbers;
    for (int n = 20; n <= 70; ++n) {
        if (isSignalNumber(n))
            numbers.insert(n);
    }
    return numbers;
}

// What the execution window writes after "Выполнена микрооперация yN :" for a signal.
QString windowText(int signal, int aluFunction, bool countDown)
{
    Operation operation;
    operation.kind = Operation::Kind::Microoperation;
    operation.signal = quint8(signal);
    operation.aluFunction = quint8(aluFunction);
    operation.countDown = countDown;
    const QString prefix = u"Выполнена микрооперация y%1 :    "_s.arg(signal);
    const QString text = operation.text();
    return text.startsWith(prefix) ? text.mid(prefix.size()) : u"?"_s + text;
}

// The lines of a Markdown section: from its heading to the next heading of the same or a
// higher level.
QStringList sectionLines(const QString &text, const QString &heading)
{
    const QStringList lines = text.split(u'\n');
    const qsizetype start = lines.indexOf(heading);
    if (start < 0)
        return {};
    const qsizetype level = heading.indexOf(u' ');
    QStringList section;
    for (qsizetype i = start + 1; i < lines.size(); ++i) {
        const qsizetype hashes = lines[i].indexOf(u' ');
        if (lines[i].startsWith(u'#') && hashes > 0 && hashes <= level &&
            lines[i].left(hashes) == QString(hashes, u'#'))
            break;
        section << lines[i];
    }
    return section;
}

// The codes a section's table explains: rows whose first cell is a code span.
QSet<QString> explainedCodes(const QString &text, const QString &heading)
{
    static const QRegularExpression row(u"^\\| `([^`]+)` \\|"_s);
    QSet<QString> codes;
    for (const QString &line : sectionLines(text, heading)) {
        const QRegularExpressionMatch match = row.match(line);
        if (match.hasMatch())
            codes.insert(match.captured(1));
    }
    return codes;
}

// The anchors of every heading, as the help window and repository viewers make them (a
// repeated heading gets -1, -2, ...).
QSet<QString> headingAnchors(const QString &text)
{
    static const QRegularExpression heading(u"^#+ (.+)$"_s, QRegularExpression::MultilineOption);
    QSet<QString> anchors;
    QHash<QString, int> seen;
    for (const QRegularExpressionMatch &match : heading.globalMatch(text)) {
        QString anchor = HelpWindow::headingAnchor(match.captured(1));
        const int count = seen.value(anchor, 0);
        seen.insert(anchor, count + 1);
        if (count > 0)
            anchor += u'-' + QString::number(count);
        anchors.insert(anchor);
    }
    return anchors;
}

} // namespace

class TestGuide : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    // Each F row names the fields that select it and both functions as the program
    // writes them with the operands X and Y; "—" where the arithmetic function is missing.
    void russianAluTable()
    {
        const QList<QStringList> rows =
            tableAfter(sourceText("docs/guide.ru.md"), u"#### Функции АЛУ"_s);
        QCOMPARE(rows.size(), 16);
        for (int f = 0; f < 16; ++f) {
            const QStringList &row = rows[f];
            QCOMPARE(row.size(), 4);
            QCOMPARE(row[0].toInt(), f);
            ControlFields fields;
            if (row[1] != u"—") {
                for (const QString &field : row[1].split(u", "_s)) {
                    const int number = field.mid(1).toInt();
                    QVERIFY2(number >= 11 && number <= 14, qPrintable(field));
                    fields.marks[size_t(number)] = 1;
                }
            }
            QCOMPARE(fields.aluFunction(), f);
            for (const bool logic : {false, true}) {
                const QString expected = aluText(f, logic, u"X"_s, u"Y"_s);
                QCOMPARE(unquoted(row[logic ? 3 : 2]), expected.isEmpty() ? u"—"_s : expected);
            }
        }
    }

    // The signal rows are the program's microoperations, each with the text the execution
    // window shows, the ALU ones with F(X, Y) standing for the row's function.
    void russianMicrooperationTable()
    {
        const QList<QStringList> rows =
            tableAfter(sourceText("docs/guide.ru.md"), u"#### Микрооперации"_s);
        QSet<int> listed;
        static const QRegularExpression aluCall(u"F\\((.+), (.+)\\)$"_s);
        for (const QStringList &row : rows) {
            QCOMPARE(row.size(), 4);
            QVERIFY2(row[0].startsWith(u'y'), qPrintable(row[0]));
            const int signal = row[0].mid(1).toInt();
            QVERIFY2(!listed.contains(signal), qPrintable(row[0]));
            listed.insert(signal);
            const QStringList shown = codeSpans(row[2]);
            QVERIFY2(!shown.isEmpty(), qPrintable(row[0]));
            if (signal == 47) {
                QCOMPARE(shown, (QStringList{windowText(47, 0, false), windowText(47, 0, true)}));
                continue;
            }
            QCOMPARE(shown.size(), 1);
            const QRegularExpressionMatch call = aluCall.match(shown[0]);
            if (!call.hasMatch()) {
                QCOMPARE(shown[0], windowText(signal, 0, false));
                continue;
            }
            // Function 9 (y11, y14) is X + Y: the text names the operands in their order.
            QString expected = shown[0];
            expected.replace(call.capturedStart(), call.capturedLength(),
                             aluText(9, false, call.captured(1), call.captured(2)));
            QCOMPARE(windowText(signal, 9, false), expected);
        }
        QCOMPARE(listed, microoperationNumbers());

        const QList<QStringList> fields =
            tableAfter(sourceText("docs/guide.ru.md"), u"#### Управляющие поля"_s);
        QSet<int> fieldNumbers;
        for (const QStringList &row : fields)
            fieldNumbers.unite(numbersIn(row[0]));
        QSet<int> programFields;
        for (int n = 0; n < 20; ++n) {
            if (isSignalNumber(n))
                programFields.insert(n);
        }
        QCOMPARE(fieldNumbers, programFields);
    }

    // The sentence that names the numbers without a signal, in both guides.
    void unusedNumbers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("marker");
        QTest::newRow("guide") << u"docs/guide.ru.md"_s << u"не используются"_s;
        QTest::newRow("README") << u"README.md"_s << u"are missing"_s;
    }
    void unusedNumbers()
    {
        QFETCH(QString, path);
        QFETCH(QString, marker);
        const QString text = sourceText(path.toLatin1().constData());
        const qsizetype end = text.indexOf(marker);
        QVERIFY(end > 0);
        // The sentence, or the bracket, that holds the list.
        const qsizetype start = qMax(text.lastIndexOf(u'.', end), text.lastIndexOf(u'(', end)) + 1;
        QSet<int> unused;
        for (int n = 20; n <= 70; ++n)
            unused.insert(n);
        unused.subtract(microoperationNumbers());
        QCOMPARE(numbersIn(text.mid(start, end - start)), unused);
    }

    // The English tables: the same functions in the README's wording, and the same signals.
    void readmeTables()
    {
        const QString readme = sourceText("README.md");
        const QList<QStringList> alu = tableAfter(readme, u"### The signals"_s);
        QCOMPARE(alu.size(), 8);
        for (const QStringList &row : alu) {
            QCOMPARE(row.size(), 7);
            for (const int column : {0, 4}) {
                const int f = row[column].toInt();
                for (const bool logic : {false, true}) {
                    QString cell = row[column + (logic ? 2 : 1)];
                    cell.replace(u", 1 enters"_s, u" (1)"_s).replace(u", 0 enters"_s, u" (0)"_s);
                    cell.replace(u'−', u'-');
                    const QString expected = aluText(f, logic, u"X"_s, u"Y"_s);
                    QCOMPARE(cell, expected.isEmpty() ? u"—"_s : expected);
                }
            }
        }
        const QString signalsHeading = u"The microoperations; the last column is the register "
                                       u"whose new value sets Z (zero) or N"_s;
        const qsizetype at = readme.indexOf(signalsHeading);
        QVERIFY(at > 0);
        const QList<QStringList> rows =
            tableAfter(readme.mid(at), readme.mid(at).section(u'\n', 0, 0));
        QSet<int> listed;
        for (const QStringList &row : rows) {
            for (const int column : {0, 4}) {
                if (row.value(column).startsWith(u'y'))
                    listed.insert(row[column].mid(1).toInt());
            }
        }
        QCOMPARE(listed, microoperationNumbers());
    }

    // Every link inside a guide lands on one of its headings and every picture is a file
    // beside it, in the parts the help window does not show as well.
    void linksAndPictures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("guide") << u"docs/guide.ru.md"_s;
        QTest::newRow("README") << u"README.md"_s;
    }
    void linksAndPictures()
    {
        QFETCH(QString, path);
        const QString text = sourceText(path.toLatin1().constData());
        const QSet<QString> anchors = headingAnchors(text);
        static const QRegularExpression link(u"\\]\\(#([^)]+)\\)"_s);
        int links = 0;
        for (const QRegularExpressionMatch &match : link.globalMatch(text)) {
            QVERIFY2(anchors.contains(match.captured(1)), qPrintable(match.captured(1)));
            ++links;
        }
        QVERIFY(links > 0);
        static const QRegularExpression picture(u"!\\[[^\\]]*\\]\\(([^)]+)\\)"_s);
        const QString folder = QFileInfo(QStringLiteral(ORB_SOURCE_DIR "/") + path).path();
        int pictures = 0;
        for (const QRegularExpressionMatch &match : picture.globalMatch(text)) {
            QVERIFY2(QFileInfo(folder + u'/' + match.captured(1)).isFile(),
                     qPrintable(match.captured(1)));
            ++pictures;
        }
        QVERIFY(pictures >= 6);
    }

    // Both guides explain every code orb-check can report, as its report's schema lists them,
    // and no other.
    void findingCodes()
    {
        const QJsonObject schema =
            QJsonDocument::fromJson(
                testutil::readAll(QStringLiteral(ORB_SOURCE_DIR "/check/orb-check.schema.json")))
                .object();
        QSet<QString> codes;
        std::function<void(const QJsonValue &)> collect = [&](const QJsonValue &value) {
            if (value.isObject()) {
                const QJsonObject object = value.toObject();
                for (auto it = object.begin(); it != object.end(); ++it) {
                    if (it.key() == u"code"_s && it->isObject()) {
                        for (const QJsonValue &choice : it->toObject()[u"anyOf"_s].toArray()) {
                            for (const QJsonValue &code : choice.toObject()[u"enum"_s].toArray())
                                codes.insert(code.toString());
                        }
                    }
                    collect(*it);
                }
            } else if (value.isArray()) {
                for (const QJsonValue &item : value.toArray())
                    collect(item);
            }
        };
        collect(schema);
        QVERIFY(codes.contains(u"no-success"_s));
        codes.insert(u"load-…"_s);
        QCOMPARE(
            explainedCodes(sourceText("docs/guide.ru.md"), u"### Проверка таблицы до запуска"_s),
            codes);
        QCOMPARE(
            explainedCodes(sourceText("README.md"), u"### Checking a table before running it"_s),
            codes);
    }

    // The help key is in every list of keys a user may read.
    void keyListsNameF1()
    {
        const QString guide = sourceText("docs/guide.ru.md");
        const QList<QStringList> keys = tableAfter(guide, u"### Клавиши"_s);
        bool found = false;
        for (const QStringList &row : keys)
            found = found || (row.value(1) == u"F1" && row.value(0).contains(u"окно выполнения"));
        QVERIFY(found);
        QVERIFY(sourceText("README.md").contains(u"F1 opens"_s));
        QVERIFY(sourceText("packaging/io.github.orbsim.Orb.metainfo.xml.in").contains(u"F1"_s));
    }
};

QTEST_APPLESS_MAIN(TestGuide)
#include "tst_guide.moc"
