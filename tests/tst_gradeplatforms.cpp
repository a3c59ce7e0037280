// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-grade on learning platforms: case visibility, the student's copy of a test file, what
// each platform's report tells a student (and hides), and the limits a platform imposes.

#include "grade/studentcopy.h"
#include "grade/testfile.h"

#include "coretestutil.h"
#include "gradetestutil.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace orb;
using namespace testutil;
using namespace gradetest;
using namespace Qt::StringLiterals;

namespace {

// A class graded against sumTests: the right table, one with a wrong last step, one that loops,
// one with red cells and a file that is no document. The hidden case's data and expected values
// (D5, B1) and name must never reach a student.
const QByteArray classTests = "max-steps 100\n"
                              "case 25 + 17\n set M00=25 M01=17\n expect end=success M02=3C\n"
                              " points 2\n"
                              "case перенос\n set M00=FF M01=01\n expect M02=00\n"
                              "# не показывать\ncase секрет\n visibility hidden\n"
                              " set M00=D5 M01=DC\n expect M02=B1\n points 3\n"
                              "case позже\n visibility after-due-date\n set M00=01 M01=01\n"
                              " expect M02=02\n";

QStringList replaced(QStringList rows, int index, const QString &row)
{
    rows[index] = row;
    return rows;
}

struct Member {
    const char *name;
    QByteArray text;
    int points;
};

const QList<Member> &classMembers()
{
    static const QList<Member> members{
        {"right", documentText(sumRows), 7},
        // Stores ОП[01] + 1: right only where the data make it so (the after-due-date case).
        {"wrong", documentText(replaced(sumRows, 4, u"4|5||y31,y45"_s)), 1},
        // Never ends; right only where nothing but memory is expected (carry out).
        {"loops", documentText({u"0|0||y43"_s}), 1},
        {"red", documentText({u"12a|1||y43"_s}), 0},
        {"unreadable", QByteArray("not a document"), 0},
    };
    return members;
}

// The student-facing text of a report: classroom's is base64.
QString studentText(const QString &format, const QByteArray &bytes)
{
    if (format == u"classroom"_s)
        return QString::fromUtf8(QByteArray::fromBase64(bytes.trimmed()));
    return QString::fromUtf8(bytes);
}

} // namespace

class TestGradePlatforms : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { failOnAnyWarning(); }

    void visibility_data();
    void visibility();
    void studentCopy_data();
    void studentCopy();
    void studentReportsHideHiddenCases_data();
    void studentReportsHideHiddenCases();
    void feedbackLevels_data();
    void feedbackLevels();
    void platformShapes();
    void codeRunnerNeverWritesToStandardError();
    void deadline();
    void addressSpaceLimit();
    void copies();
    void htmlReportInChromium();
    void assignments_data();
    void assignments();

private:
    QTemporaryDir dir_;
    QString tests_;     // classTests
    QString reference_; // the sum program
    QString file(const QString &name, const QByteArray &bytes)
    {
        return writeFile(dir_.filePath(name), bytes);
    }
};

void TestGradePlatforms::initTestCase()
{
    failOnAnyWarning();
    tests_ = file(u"class.orbtest"_s, classTests);
    reference_ = file(u"ref.orb"_s, documentText(sumRows));
}

void TestGradePlatforms::visibility_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("visibilities"); // or the error
    QTest::newRow("default visible")
        << QByteArray("case a\n expect A=1\n") << QStringList{u"visible"_s};
    QTest::newRow("each of its own")
        << QByteArray("case a\n visibility hidden\n expect A=1\ncase b\n expect A=1\n"
                      "case c\n expect A=1\n visibility after-due-date\n"
                      "case d\n visibility after-published\n expect A=1\n")
        << QStringList{u"hidden"_s, u"visible"_s, u"after-due-date"_s, u"after-published"_s};
    QTest::newRow("default before the cases")
        << QByteArray("visibility hidden\ncase a\n expect A=1\ncase b\n visibility visible\n"
                      " expect A=1\n")
        << QStringList{u"hidden"_s, u"visible"_s};
    QTest::newRow("a file without cases")
        << QByteArray("visibility hidden\nA=1\n") << QStringList{u"hidden"_s};
    QTest::newRow("unknown word")
        << QByteArray("case a\n visibility secret\n expect A=1\n")
        << QStringList{u"t.orbtest:2: visibility takes visible, hidden, after-due-date or "
                       u"after-published, not \"secret\""_s};
}

void TestGradePlatforms::visibility()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, visibilities);
    QString error;
    const std::optional<TestFile> tests = parseTestFile(text, u"t.orbtest"_s, &error);
    QStringList got;
    if (tests) {
        for (const TestCase &c : tests->cases)
            got << caseVisibilityName(c.visibility);
    } else {
        got << error;
    }
    QCOMPARE(got, visibilities);
}

void TestGradePlatforms::studentCopy_data()
{
    QTest::addColumn<QByteArray>("teacher");
    QTest::addColumn<QByteArray>("student"); // or the error on standard error
    QTest::addColumn<int>("status");
    QTest::newRow("hidden cases and their comments go")
        << QByteArray("# Сумма двух байтов\nmax-steps 100\n\n"
                      "case 25 + 17\n set M00=25 M01=17\n expect M02=3C\n\n"
                      "# перенос: не показывать\ncase перенос\n visibility hidden\n"
                      " # FF + 01 = 00\n set M00=FF M01=01\n expect M02=00\n\n"
                      "# нули\ncase ноль\n expect M02=00\n"
                      "case later\n visibility after-due-date\n expect M02=00\n")
        << QByteArray("# Сумма двух байтов\nmax-steps 100\n\n"
                      "case 25 + 17\n set M00=25 M01=17\n expect M02=3C\n\n"
                      "# нули\ncase ноль\n expect M02=00\n")
        << 0;
    QTest::newRow("? filled in, CR LF and comments kept")
        << QByteArray("case a\r\n set M00=30 M01=12\r\n expect M02=? end=?  # от эталона\r\n"
                      " RB = ?\r\ncase b\r\n visibility hidden\r\n expect M02=?\r\n")
        << QByteArray("case a\r\n set M00=30 M01=12\r\n expect M02=42 end=success  # от эталона\r\n"
                      " RB = 42\r\n")
        << 0;
    QTest::newRow("every case hidden")
        << QByteArray("visibility hidden\ncase a\n expect M02=00\n")
        << QByteArray(": every case is hidden, so a student copy would have none") << 64;
}

void TestGradePlatforms::studentCopy()
{
    QFETCH(QByteArray, teacher);
    QFETCH(QByteArray, student);
    QFETCH(int, status);
    const QString tests =
        file(QString::fromLatin1(QTest::currentDataTag()) + u".orbtest"_s, teacher);
    const QString copy = dir_.filePath(u"copy/student.orbtest"_s);
    QDir().mkpath(QFileInfo(copy).path());
    QFile::remove(copy);
    const Outcome o = grade({u"--student-copy"_s, copy, u"--reference"_s, reference_, tests});
    QCOMPARE(o.status, status);
    if (status != 0) {
        QVERIFY2(o.err.contains(QString::fromUtf8(student)), qPrintable(o.err));
        QVERIFY(!QFile::exists(copy));
        return;
    }
    QVERIFY2(o.err.isEmpty() && o.out.isEmpty(), qPrintable(o.err + o.out));
    QCOMPARE(readAll(copy), student);
    // The copy grades the reference without it.
    const Outcome graded = grade({u"--quiet"_s, copy, reference_});
    QVERIFY2(graded.status == 0, qPrintable(graded.out + graded.err));
}

void TestGradePlatforms::studentReportsHideHiddenCases_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("points");
    for (const char *format : {"gradescope", "classroom", "coderunner", "vpl"}) {
        for (const Member &m : classMembers())
            QTest::addRow("%s %s", format, m.name)
                << QString::fromLatin1(format) << QString::fromLatin1(m.name) << m.points;
    }
}

void TestGradePlatforms::studentReportsHideHiddenCases()
{
    QFETCH(QString, format);
    QFETCH(QString, member);
    QFETCH(int, points);
    const auto m =
        std::find_if(classMembers().cbegin(), classMembers().cend(),
                     [&](const Member &m) { return member == QLatin1StringView(m.name); });
    const QString submission = file(u"class/%1.orb"_s.arg(member), m->text);
    // A gradescope PATH ending in .json is one file.
    const QString out = dir_.filePath(u"reports/%1-%2.json"_s.arg(format, member));
    QDir().mkpath(QFileInfo(out).path());
    qputenv("VPL_GRADEMIN", "0");
    qputenv("VPL_GRADEMAX", "70");
    const Outcome o = grade({u"--reference"_s, reference_, u"--student-feedback"_s, u"divergence"_s,
                             u"--report"_s, format + u':' + out, tests_, submission});
    QCOMPARE(o.status, points == 7 ? 0 : 1);
    QVERIFY2(o.err.isEmpty(), qPrintable(o.err));
    const QString report = studentText(format, readAll(out));
    // Whatever the verdict, nothing of the hidden cases but whether they passed.
    for (const QString &secret :
         {u"D5"_s, u"DC"_s, u"B1"_s, u"секрет"_s, u"не показывать"_s, u"позже"_s})
        QVERIFY2(!report.contains(secret), qPrintable(secret + u" in "_s + report));
    QVERIFY2(report.contains(u"скрытый тест 1"_s) && report.contains(u"скрытый тест 2"_s),
             qPrintable(report));
    // The points of the whole, each in the platform's own terms (7 of 7 points here).
    if (format == u"vpl"_s) {
        QVERIFY2(report.endsWith(u"\nGrade :=>> %1\n"_s.arg(points * 10)), qPrintable(report));
        return;
    }
    const QString schema = format == u"gradescope"_s  ? u"gradescope-results.schema.json"_s
                           : format == u"classroom"_s ? u"classroom-result.schema.json"_s
                                                      : u"coderunner-result.schema.json"_s;
    const QString decoded = out + u".decoded.json"_s;
    writeAll(decoded, report.toUtf8());
    QCOMPARE(schemaErrors(decoded, schemaPath(schema)), QString());
    const QJsonObject json = jsonOf(report.toUtf8());
    int sum = 0;
    if (format == u"coderunner"_s) {
        QCOMPARE(json[u"fraction"_s].toDouble(), points / 7.0);
        const QJsonArray rows = json[u"testresults"_s].toArray();
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[3][4].toInt() + rows[4][4].toInt(), 2); // ishidden
        return;
    }
    for (const QJsonValue &t : json[u"tests"_s].toArray())
        sum += t[u"score"_s].toInt();
    QCOMPARE(sum, points);
    if (format == u"gradescope"_s) {
        QCOMPARE(json[u"score"_s].toInt(), points);
        QCOMPARE(json[u"tests"_s][2][u"visibility"_s].toString(), u"hidden"_s);
        QCOMPARE(json[u"tests"_s][3][u"visibility"_s].toString(), u"after_due_date"_s);
    } else {
        QCOMPARE(json[u"max_score"_s].toInt(), 7);
        const QString status = points == 7                                       ? u"pass"_s
                               : member == u"red"_s || member == u"unreadable"_s ? u"error"_s
                                                                                 : u"fail"_s;
        QCOMPARE(json[u"status"_s].toString(), status);
    }
}

void TestGradePlatforms::feedbackLevels_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QString values = u"M02: ожидалось 3C, получено 18"_s;
    const QString divergence = u"первое расхождение с эталоном: 8-я микрооперация"_s;
    QTest::newRow("result") << u"result"_s
                            << QStringList{u"не зачтён: результат не тот, что ожидался"_s}
                            << QStringList{values, divergence};
    QTest::newRow("values") << u"values"_s << QStringList{values} << QStringList{divergence};
    QTest::newRow("divergence")
        << u"divergence"_s
        << QStringList{values, divergence,
                       u"не те управляющие поля строки; после неё не то значение: A = 18"_s}
        << QStringList{};
}

void TestGradePlatforms::feedbackLevels()
{
    QFETCH(QString, level);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const QString wrong = file(u"levels/wrong.orb"_s, classMembers()[1].text);
    const Outcome o = grade({u"--reference"_s, reference_, u"--student-feedback"_s, level,
                             u"--report"_s, u"classroom:-"_s, tests_, wrong});
    QCOMPARE(o.status, 1);
    const QString report = studentText(u"classroom"_s, o.out.toUtf8());
    for (const QString &text : present)
        QVERIFY2(report.contains(text), qPrintable(text + u" not in "_s + report));
    for (const QString &text : absent)
        QVERIFY2(!report.contains(text), qPrintable(text + u" in "_s + report));
    // The reference's own microoperation at the divergence is the answer: never told.
    QVERIFY2(!report.contains(u"A + B"_s), qPrintable(report));
    // The teacher's report has it all.
    const Outcome teacher =
        grade({u"--reference"_s, reference_, u"--report"_s, u"json:-"_s, tests_, wrong});
    QVERIFY(teacher.out.contains(u"A + B"_s));
    QCOMPARE(grade({u"--student-feedback"_s, u"all"_s, tests_, wrong}).status, 64);
}

void TestGradePlatforms::platformShapes()
{
    const QString right = file(u"shapes/right.orb"_s, documentText(sumRows));
    // Classroom: base64 on one line, nothing else.
    Outcome o = grade({u"--report"_s, u"classroom:-"_s, tests_, right});
    QCOMPARE(o.status, 0);
    QVERIFY2(QRegularExpression(u"^[A-Za-z0-9+/=]+\n$"_s).match(o.out).hasMatch(),
             qPrintable(o.out));
    // VPL: the comment block, then the grade as the last line; the range from the environment.
    qputenv("VPL_GRADEMIN", "2");
    qputenv("VPL_GRADEMAX", "5");
    o = grade({u"--report"_s, u"vpl:-"_s, tests_, right});
    QStringList lines = o.out.split(u'\n');
    QCOMPARE(lines.first(), u"<|--"_s);
    QCOMPARE(lines.mid(lines.size() - 3), (QStringList{u"--|>"_s, u"Grade :=>> 5"_s, QString()}));
    const qsizetype first = lines.indexOf(u"-25 + 17: 2 из 2"_s);
    QVERIFY2(first > 0 && lines[first + 1] == u">зачтён"_s, qPrintable(o.out));
    const qsizetype hidden = lines.indexOf(u"-скрытый тест 1: 3 из 3"_s);
    QVERIFY2(hidden > 0 && lines[hidden + 1] == u">скрытый тест: зачтён"_s, qPrintable(o.out));
    qunsetenv("VPL_GRADEMIN");
    qunsetenv("VPL_GRADEMAX");
    // A name cannot end the block or forge the grade.
    const QString forged =
        file(u"forged.orbtest"_s, "case x\n expect M02=01\ncase y\n expect M02=02\n");
    const QString sneaky = file(u"forged/a\n--|>\nGrade :=>> 10\n.orb"_s, "not a document");
    o = grade({u"--report"_s, u"vpl:-"_s, forged, sneaky});
    lines = o.out.split(u'\n');
    QCOMPARE(lines.count(u"--|>"_s), 1);
    QCOMPARE(lines.filter(QRegularExpression(u"^Grade :=>>"_s)), QStringList{u"Grade :=>> 0"_s});
    // Several documents where a platform grades one: 0 points and why, in Russian.
    file(u"shapes/second.orb"_s, documentText(sumRows));
    o = grade({u"--report"_s, u"classroom:-"_s, tests_, dir_.filePath(u"shapes"_s)});
    const QJsonObject several = jsonOf(o.out.toUtf8(), true);
    QCOMPARE(several[u"status"_s].toString(), u"error"_s);
    QVERIFY(several[u"tests"_s][0][u"message"_s].toString().startsWith(u"не проверен"_s));
}

void TestGradePlatforms::codeRunnerNeverWritesToStandardError()
{
    const QString right = file(u"cr/right.orb"_s, documentText(sumRows));
    const QString bad = file(u"cr/bad.orbtest"_s, "case a\n expekt M02=01\n");
    const QString out = dir_.filePath(u"cr/result.json"_s);
    struct Row {
        QStringList arguments;
        int status;
        QString why;
    };
    const QList<Row> rows{
        {{bad, right}, 64, u"bad.orbtest:2: unknown keyword"_s},
        {{file(u"cr/t.orbtest"_s, "case a\n expect M02=?\n"), right}, 64, u"--reference"_s},
        {{u"--jobs"_s, u"0"_s, bad, right}, 64, u"-j takes a number"_s},
        {{file(u"cr/ok.orbtest"_s, "case a\n expect M02=00\n"), dir_.filePath(u"cr/none"_s)},
         64,
         u"no such file"_s},
    };
    for (const Row &row : rows) {
        for (const QString &path : {u"-"_s, out}) {
            QFile::remove(out);
            const Outcome o =
                grade(QStringList{u"--report"_s, u"coderunner:"_s + path} + row.arguments);
            QCOMPARE(o.status, row.status);
            QVERIFY2(o.err.isEmpty(), qPrintable(o.err));
            const QByteArray json = path == u"-"_s ? o.out.toUtf8() : readAll(out);
            const QJsonObject result = jsonOf(json);
            QCOMPARE(result[u"fraction"_s].toDouble(-1), 0.0);
            const QString prologue = result[u"prologuehtml"_s].toString();
            QVERIFY2(prologue.contains(row.why), qPrintable(prologue));
            QVERIFY2(!prologue.contains(u"\"expekt"_s), qPrintable(prologue)); // escaped
        }
    }
}

void TestGradePlatforms::deadline()
{
    // The second case would run for minutes; the deadline reports it not-run and still writes.
    const QString tests =
        file(u"deadline.orbtest"_s, "case quick\n expect end=stopped\n"
                                    "case endless\n max-steps 100000000\n expect end=success\n"
                                    "case after\n expect end=stopped\n");
    const QString loops = file(u"deadline/loops.orb"_s, documentText({u"0|0||y43"_s}));
    const QString out = dir_.filePath(u"deadline-out"_s);
    QDir().mkpath(out);
    const Outcome o =
        grade({u"--deadline"_s, u"0.5"_s, u"--report"_s, u"json:"_s + out + u"/r.json"_s,
               u"--report"_s, u"classroom:"_s + out + u"/c.txt"_s, tests, loops});
    QCOMPARE(o.status, 3);
    QStringList statuses;
    const QJsonObject json = jsonOf(readAll(out + u"/r.json"_s));
    for (const QJsonValue &c : json[u"submissions"_s][0][u"cases"_s].toArray())
        statuses << c[u"status"_s].toString();
    QCOMPARE(statuses, (QStringList{u"loops"_s, u"not-run"_s, u"not-run"_s}));
    QCOMPARE(schemaErrors(out + u"/r.json"_s), QString());
    const QJsonObject classroom = jsonOf(readAll(out + u"/c.txt"_s), true);
    QCOMPARE(classroom[u"tests"_s][1][u"status"_s].toString(), u"error"_s);
    QVERIFY(o.out.contains(u"not-run"_s));
    QCOMPARE(grade({u"--deadline"_s, u"-1"_s, tests, loops}).status, 64);
}

void TestGradePlatforms::addressSpaceLimit()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves far more address space than the limit allows");
#endif
    // As a Jobe sandbox runs it: 1,000,000 KB of address space, one job or many.
    const QString folder = dir_.filePath(u"limit"_s);
    for (int i = 0; i < 64; ++i)
        file(u"limit/s%1.orb"_s.arg(i, 2, 10, QChar(u'0')),
             documentText(i % 2 ? sumRows : QStringList{u"0|0||y43"_s}));
    for (const QString &jobs : {u"1"_s, u"64"_s}) {
        const auto limited = [&](const QString &report, const QString &submissions) {
            return runProcess(u"sh"_s,
                              {u"-c"_s, u"ulimit -v 1000000 && exec \"$0\" \"$@\""_s,
                               builtProgram(u"orb-grade"_s), u"--jobs"_s, jobs, u"--report"_s,
                               report, tests_, submissions},
                              {.seconds = 120});
        };
        const ProcessOutcome one = limited(u"coderunner:-"_s, folder + u"/s01.orb"_s);
        QCOMPARE(one.status, 0);
        QCOMPARE(one.err, QString());
        QCOMPARE(QJsonDocument::fromJson(one.out.toUtf8())[u"fraction"_s].toDouble(), 1.0);
        const ProcessOutcome all = limited(u"json:-"_s, folder);
        QCOMPARE(all.status, 1);
        // Either all threads or a note that fewer ran.
        QVERIFY2(all.err.isEmpty() ||
                     all.err.contains(u"note: an address-space limit of 1000000 KB"_s),
                 qPrintable(all.err));
        const QJsonObject json = jsonOf(all.out.toUtf8());
        QCOMPARE(json[u"totals"_s][u"passedAll"_s].toInt(), 32);
    }
}

void TestGradePlatforms::copies()
{
    // b is a's file; c is a's table with states renumbered and rows reordered; e is d's table
    // with other memory; f only looks like a (one signal differs).
    QStringList renumbered;
    for (const QString &row : sumRows) {
        QStringList cells = row.split(u'|');
        for (const int k : {0, 1})
            cells[k] = cells[k] == u"0"_s ? u"0"_s : QString::number(cells[k].toInt() * 10 + 3);
        renumbered.prepend(cells.join(u'|'));
    }
    const QStringList other{u"0|1||y43"_s, u"1|1||y70"_s};
    file(u"copies/a.orb"_s, documentText(sumRows));
    file(u"copies/b.orb"_s, documentText(sumRows));
    file(u"copies/c.orb"_s, documentText(renumbered));
    file(u"copies/d.orb"_s, documentText(other));
    file(u"copies/e.orb"_s, documentText(other, {1, 2, 3}));
    file(u"copies/f.orb"_s, documentText(replaced(sumRows, 6, u"6|7||y25,y60,y47"_s)));
    const QString html = dir_.filePath(u"copies.html"_s);
    const Outcome o = grade({u"--report"_s, u"json:-"_s, u"--report"_s, u"html:"_s + html, tests_,
                             dir_.filePath(u"copies"_s)});
    QStringList groups;
    for (const QJsonValue &g : QJsonDocument::fromJson(o.out.toUtf8())[u"copies"_s].toArray()) {
        QStringList names;
        for (const QJsonValue &n : g[u"submissions"_s].toArray())
            names << n.toString();
        groups << g[u"kind"_s].toString() + u": "_s + names.join(u' ');
    }
    QCOMPARE(groups, (QStringList{u"same-file: a.orb b.orb"_s, u"same-table: a.orb b.orb c.orb"_s,
                                  u"same-table: d.orb e.orb"_s}));
    const QString page = QString::fromUtf8(readAll(html));
    QVERIFY(page.contains(u"<li class=\"same-table\">"_s));
    QVERIFY(page.contains(u"d.orb, e.orb</li>"_s));
}

void TestGradePlatforms::htmlReportInChromium()
{
    const QString chromium = QStandardPaths::findExecutable(u"chromium"_s);
    if (chromium.isEmpty())
        QSKIP("chromium is not installed (make deps installs it)");
    const QString folder = dir_.filePath(u"html"_s);
    // The class members' documents: right, wrong, loops, red, unreadable.
    const QStringList names{u"Иванов Пётр"_s, u"Смирнова <b>Анна</b>"_s, u"Ёлкин & Co"_s,
                            u"Кузнецов"_s, u"Zeta"_s};
    for (qsizetype i = 0; i < names.size(); ++i)
        file(u"html/%1.orb"_s.arg(names[i]), classMembers()[i].text);
    const QString html = dir_.filePath(u"class.html"_s);
    const Outcome o =
        grade({u"--reference"_s, reference_, u"--report"_s, u"html:"_s + html, tests_, folder});
    QCOMPARE(o.status, 1);
    // The page needs nothing from outside.
    const QString page = QString::fromUtf8(readAll(html));
    QVERIFY(!page.contains(u"http"_s));
    QVERIFY(!page.contains(u"src="_s) && !page.contains(u"href="_s) &&
            !page.contains(u"@import"_s));
    auto browser = [&](const QStringList &extra) {
        QTemporaryDir profile;
        return runProcess(chromium,
                          QStringList{u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s,
                                      u"--disable-quic"_s, u"--no-first-run"_s,
                                      u"--disable-background-networking"_s,
                                      u"--disable-component-update"_s, u"--disable-sync"_s,
                                      u"--user-data-dir="_s + profile.path()} +
                              extra,
                          {.seconds = 120})
            .out;
    };
    // Sorted by points by the page's own script, highest first.
    const QString dom =
        browser({u"--dump-dom"_s, QUrl::fromLocalFile(html).toString() + u"#sort=points"_s});
    QVERIFY2(dom.contains(u"data-ready=\"yes\""_s), qPrintable(dom.left(2000)));
    QStringList rows;
    static const QRegularExpression row(u"<tr class=\"submission\" data-name=\"([^\"]*)\" "
                                        u"data-points=\"(\\d+)\""_s);
    for (const QRegularExpressionMatch &m : row.globalMatch(dom))
        rows << m.captured(1) + u'=' + m.captured(2);
    QCOMPARE(rows, (QStringList{u"Иванов Пётр.orb=7"_s, u"Ёлкин &amp; Co.orb=1"_s,
                                u"Смирнова &lt;b&gt;Анна&lt;/b&gt;.orb=1"_s, u"Кузнецов.orb=0"_s,
                                u"Zeta.orb=0"_s}));
    QVERIFY(dom.contains(u"<svg"_s));
    QVERIFY(!dom.contains(u"<b>Анна</b>"_s));
    const QString png =
        QDir(qEnvironmentVariable("ORB_PNG_DIR", QStringLiteral(ORB_BINARY_DIR "/png")))
            .filePath(u"orb-grade-html-report.png"_s);
    QDir().mkpath(QFileInfo(png).path());
    QFile::remove(png);
    browser({u"--screenshot="_s + png, u"--window-size=1100,700"_s,
             QUrl::fromLocalFile(html).toString()});
    QVERIFY2(QFileInfo(png).size() > 1000, qPrintable(png));
}

void TestGradePlatforms::assignments_data()
{
    QTest::addColumn<QString>("folder");
    const QDir root(QStringLiteral(ORB_SOURCE_DIR "/examples/assignments"));
    const QStringList folders = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(folders.size() >= 2);
    for (const QString &name : folders)
        QTest::newRow(qPrintable(name)) << root.filePath(name);
}

void TestGradePlatforms::assignments()
{
    QFETCH(QString, folder);
    const QDir d(folder);
    for (const char *name :
         {"README.md", "starter.orb", "tests.orbtest", "reference.orb", "student.orbtest"})
        QVERIFY2(d.exists(QLatin1StringView(name)), name);
    const QString tests = d.filePath(u"tests.orbtest"_s);
    const QString reference = d.filePath(u"reference.orb"_s);
    TestFile parsedTests = parseTestFile(readAll(tests), tests, nullptr).value_or(TestFile{});
    QVERIFY(std::any_of(parsedTests.cases.cbegin(), parsedTests.cases.cend(),
                        [](const TestCase &c) { return c.visible(); }));
    QVERIFY(std::any_of(parsedTests.cases.cbegin(), parsedTests.cases.cend(),
                        [](const TestCase &c) { return !c.visible(); }));
    // The reference passes every case; the starter none.
    const Outcome passes = grade({u"--reference"_s, reference, u"--report"_s, u"json:-"_s, tests,
                                  reference, d.filePath(u"starter.orb"_s)});
    const QJsonArray submissions =
        QJsonDocument::fromJson(passes.out.toUtf8())[u"submissions"_s].toArray();
    QCOMPARE(submissions.size(), 2);
    QCOMPARE(submissions[0][u"name"_s].toString(), reference);
    QVERIFY(submissions[0][u"passedAll"_s].toBool());
    for (const QJsonValue &c : submissions[1][u"cases"_s].toArray())
        QVERIFY2(c[u"status"_s].toString() != u"passed"_s, qPrintable(c[u"name"_s].toString()));
    // The student copy is what --student-copy writes today.
    const QString copy = dir_.filePath(QFileInfo(folder).fileName() + u"-student.orbtest"_s);
    const Outcome written = grade({u"--student-copy"_s, copy, u"--reference"_s, reference, tests});
    QVERIFY2(written.status == 0, qPrintable(written.err));
    QCOMPARE(readAll(d.filePath(u"student.orbtest"_s)), readAll(copy));
}

QTEST_GUILESS_MAIN(TestGradePlatforms)
#include "tst_gradeplatforms.moc"
