// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-grade and orb-run --tests: the test-file grammar and its errors, cases run on their own
// data over the student's memory, statuses and points, the reference with ? values, the first
// divergence, the reports parsed back, parallel grading, failed writes, one engine with orb-run,
// and the real programs.

#include "grade/gradecli.h"
#include "grade/grader.h"
#include "grade/reports.h"
#include "grade/testfile.h"
#include "run/runner.h"
#include "sim/registers.h"

#include "clitestutil.h"
#include "coretestutil.h"
#include "gradetestutil.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace orb;
using namespace testutil;
using namespace gradetest;
using namespace Qt::StringLiterals;

namespace {

Outcome runTests(const QStringList &arguments)
{
    return clitest::runInProcess(runTestsCommandLine, u"orb-run"_s, arguments);
}

Outcome runOrbRun(const QStringList &arguments)
{
    return clitest::runInProcess(runCommandLine, u"orb-run"_s, arguments);
}

// M02 := M00 + M01 on three data sets.
const QByteArray sumTests = "max-steps 100\n"
                            "case 25 + 17\n set M00=25 M01=17\n expect end=success M02=3C\n"
                            " points 2\n"
                            "case carry out\n set M00=FF,M01=01\n expect M02=00\n"
                            "case zero\n set M00=00 M01=00\n expect M02=00 end=success\n";

} // namespace

class TestGrade : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { failOnAnyWarning(); }

    void grammar();
    void expectationsFileIsOneCase();
    void grammarErrors_data();
    void grammarErrors();
    void setWritesOverTheStudentsMemory();
    void prestoredAnswerFailsOtherData();
    void statusesAndPoints();
    void referenceFillsQuestionMarks();
    void referenceUnusable();
    void divergenceAcrossRenumberedStates();
    void divergenceWhenARunEndsFirst();
    void reportsParseBack();
    void reportsSameForAnyThreadCount();
    void reportsCarryTheChecks();
    void junitReportWithControlCharacters();
    void failedReportWrite();
    void submissionsFromFolders();
    void oneEngineWithOrbRun_data();
    void oneEngineWithOrbRun();
    void orbRunTests();
    void realPrograms();

private:
    QTemporaryDir dir_;
    QString file(const QString &name, const QByteArray &bytes)
    {
        return writeFile(dir_.filePath(name), bytes);
    }
};

void TestGrade::grammar()
{
    // BOM, CR LF, comments, defaults before the first case, per-case overrides, commas.
    const TestFile tests = parsed("\xEF\xBB\xBF# header\r\nmax-steps 2000   # default\r\n"
                                  "points 3\r\n\r\ncase первый, с запятой\r\n"
                                  "  set M10=25, RON3=7 C=1\r\n  input 05 7,ff\r\n"
                                  "  expect end=success M12=3c\r\n  points 2\r\n  M13 = 01\r\n"
                                  "case second\r\n  max-steps 5\r\n  display 4F 52\r\n"
                                  "  display 21\r\n");
    QCOMPARE(tests.cases.size(), 2);
    const TestCase &first = tests.cases[0];
    QCOMPARE(first.name, u"первый, с запятой"_s);
    QCOMPARE(first.line, 5);
    QCOMPARE(first.maxSteps, 2000);
    QCOMPARE(first.points, 2);
    QCOMPARE(first.sets.size(), 3);
    QCOMPARE(first.sets[0].name, u"M10"_s);
    QCOMPARE(first.sets[0].value, 0x25);
    QCOMPARE(first.sets[1].name, u"RON3"_s);
    QCOMPARE(first.sets[2].kind, Expectation::Kind::Flag);
    QCOMPARE(first.inputs, (QList<int>{5, 7, 0xFF}));
    QCOMPARE(first.expects.size(), 3);
    QCOMPARE(first.expects[1].expectation.value, 0x3C);
    QCOMPARE(first.expects[2].expectation.name, u"M13"_s);
    QCOMPARE(first.expects[2].line, 10);
    QVERIFY(!first.checksDisplay);
    const TestCase &second = tests.cases[1];
    QCOMPARE(second.maxSteps, 5);
    QCOMPARE(second.points, 3);
    QVERIFY(second.checksDisplay);
    QCOMPARE(second.display, (QList<int>{0x4F, 0x52, 0x21}));
    QCOMPARE(tests.maxPoints(), 5);
    QVERIFY(!tests.needsReference());
    QVERIFY(parsed("case a\nexpect M12=? end=?\n").needsReference());
}

void TestGrade::expectationsFileIsOneCase()
{
    QString error;
    const std::optional<TestFile> tests = parseTestFile(
        "# an orb-run --expect file\nend=success\n\nM02=3C\nA = 3C\n", u"lab/sum.expect"_s, &error);
    QVERIFY2(tests, qPrintable(error));
    QCOMPARE(tests->cases.size(), 1);
    QCOMPARE(tests->cases[0].name, u"sum"_s);
    QCOMPARE(tests->cases[0].expects.size(), 3);
    QCOMPARE(tests->cases[0].maxSteps, 999);
    // Keywords count too in a file without cases.
    const TestFile withData = parsed("set M00=01\nmax-steps 7\npoints 4\nM02=01\n");
    QCOMPARE(withData.cases.size(), 1);
    QCOMPARE(withData.cases[0].maxSteps, 7);
    QCOMPARE(withData.cases[0].points, 4);
    QCOMPARE(withData.cases[0].sets.size(), 1);
}

void TestGrade::grammarErrors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown keyword") << QByteArray("case a\n expect A=01\n Expect A=02\n")
                                     << u"t.orbtest:3: unknown keyword \"Expect\""_s;
    QTest::newRow("unknown name") << QByteArray("case a\n expect Q=01\n")
                                  << u"t.orbtest:2: unknown name \"Q\""_s;
    QTest::newRow("byte out of range")
        << QByteArray("case a\n set M10=100\n expect A=1\n")
        << u"t.orbtest:2: M10 must be a hexadecimal byte (00 to FF), not \"100\""_s;
    QTest::newRow("flag out of range")
        << QByteArray("case a\n expect Z=2\n") << u"t.orbtest:2: Z must be 0 or 1, not \"2\""_s;
    QTest::newRow("R above F") << QByteArray("case a\n set R=10\n expect A=1\n")
                               << u"t.orbtest:2: R holds 0 to F, not \"10\""_s;
    QTest::newRow("name twice on a line") << QByteArray("case a\n expect A=01 a=02\n")
                                          << u"t.orbtest:2: A is named twice on this line"_s;
    QTest::newRow("end in set") << QByteArray("case a\n set end=success\n expect A=1\n")
                                << u"t.orbtest:2: end cannot be set, only expected"_s;
    QTest::newRow("? in set") << QByteArray("case a\n set A=?\n expect A=1\n")
                              << u"t.orbtest:2: ? takes the reference's value: only in expect"_s;
    QTest::newRow("case without expect")
        << QByteArray("max-steps 5\ncase a\n set A=01\ncase b\n expect A=1\n")
        << u"t.orbtest:2: case \"a\" has neither expect nor display"_s;
    QTest::newRow("last case without expect")
        << QByteArray("case a\n expect A=1\ncase b\n input 01\n")
        << u"t.orbtest:3: case \"b\" has neither expect nor display"_s;
    QTest::newRow("set before the first case") << QByteArray("set A=01\ncase a\n expect A=1\n")
                                               << u"t.orbtest:1: set before the first case"_s;
    QTest::newRow("item before the first case")
        << QByteArray("A=01\ncase a\n expect A=1\n")
        << u"t.orbtest:1: NAME=VALUE before the first case"_s;
    QTest::newRow("max-steps 0")
        << QByteArray("max-steps 0\ncase a\n expect A=1\n")
        << u"t.orbtest:1: max-steps takes a number from 1 to 100000000, not \"0\""_s;
    QTest::newRow("max-steps too large")
        << QByteArray("case a\n expect A=1\n max-steps 100000001\n")
        << u"t.orbtest:3: max-steps takes a number from 1 to 100000000, not \"100000001\""_s;
    QTest::newRow("points not decimal")
        << QByteArray("points 0x10\ncase a\n expect A=1\n")
        << u"t.orbtest:1: points takes a number from 0 to 1000000, not \"0x10\""_s;
    QTest::newRow("case without a name")
        << QByteArray("case\n expect A=1\n") << u"t.orbtest:1: a case needs a name"_s;
    QTest::newRow("case twice") << QByteArray("case a\n expect A=1\n\ncase a\n expect A=2\n")
                                << u"t.orbtest:4: a case named \"a\" is already on line 1"_s;
    QTest::newRow("input not hex")
        << QByteArray("case a\n input 05 xy\n expect A=1\n")
        << u"t.orbtest:2: input takes hexadecimal bytes (00 to FF), not \"xy\""_s;
    QTest::newRow("display too long a byte")
        << QByteArray("case a\n display 123\n")
        << u"t.orbtest:2: display takes hexadecimal bytes (00 to FF), not \"123\""_s;
    QTest::newRow("item without =") << QByteArray("case a\n expect A=1 B\n")
                                    << u"t.orbtest:2: expected NAME=VALUE, got \"B\""_s;
    QTest::newRow("not UTF-8") << QByteArray("case a\n expect A=1\n# \xff\xfe\n")
                               << u"t.orbtest:3: the file is not UTF-8 text"_s;
    QTest::newRow("over 1 MiB") << QByteArray("case a\n expect A=1\n") +
                                       QByteArray(1024 * 1024, '#')
                                << u"t.orbtest:1: the file is larger than 1 MiB"_s;
    QTest::newRow("empty") << QByteArray("# nothing\n")
                           << u"t.orbtest:1: case \"t\" has neither expect nor display"_s;
}

void TestGrade::grammarErrors()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QString message;
    QVERIFY(!parseTestFile(text, u"t.orbtest"_s, &message));
    QCOMPARE(message, error);
}

void TestGrade::setWritesOverTheStudentsMemory()
{
    // The student keeps a constant at M01 that the program adds to M00: the constant survives
    // the case's data, and the case's byte replaces the student's own M00.
    QList<int> memory(256, 0);
    memory[0] = 0x99;
    memory[1] = 0x10;
    memory[0x80] = 0x77;
    const QString path = file(u"const.orb"_s, documentText(sumRows, memory));
    const LoadedSubmission loaded = loadSubmission(path);
    QVERIFY(loaded.program);
    const TestFile tests =
        parsed("case a\n set M00=05 RON1=20 X2=1\n expect M02=15 RON1=20 X2=1 M80=77\n");
    CaseRun run(*loaded.program, loaded.memory, tests.cases[0]);
    run.runToEnd();
    const QList<Mismatch> mismatches = caseMismatches(tests.cases[0], run);
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.value(0).name));
    QCOMPARE(run.memory().bytes[0], quint8(0x05));
    // The document itself is untouched for the next case.
    QCOMPARE(loaded.memory.bytes[0], quint8(0x99));
}

void TestGrade::prestoredAnswerFailsOtherData()
{
    const QString cheat =
        file(u"cheat/cheat.orb"_s, documentText({u"0|0||y70"_s}, {0x25, 0x17, 0x3C}));
    const QString tests = file(u"sum.orbtest"_s, sumTests);
    const Outcome o = grade({u"--quiet"_s, u"--report"_s, u"csv:-"_s, tests, cheat});
    QCOMPARE(o.status, 1);
    QVERIFY2(o.out.contains(u",2,4,passed,wrong,wrong,"_s), qPrintable(o.out));
}

void TestGrade::statusesAndPoints()
{
    const QString folder = dir_.filePath(u"statuses"_s);
    file(u"statuses/good.orb"_s, documentText(sumRows));
    file(u"statuses/loops.orb"_s, documentText({u"0|0||y43"_s}));
    file(u"statuses/stops.orb"_s, documentText({u"0|1||y43"_s}));
    file(u"statuses/red.orb"_s, documentText({u"12a|1||y43"_s}));
    file(u"statuses/unreadable.orb"_s, "not a document");
    const QString tests =
        file(u"statuses.orbtest"_s, sumTests + "case limit expected\n expect end=limit\n"
                                               "case stop expected\n expect end=stopped M02=01\n");
    const Outcome o = grade({u"--report"_s, u"json:-"_s, tests, folder});
    QCOMPARE(o.status, 1);
    const QJsonObject report = jsonOf(o.out.toUtf8());
    const QJsonArray submissions = report[u"submissions"_s].toArray();
    QCOMPARE(submissions.size(), 5);
    QMap<QString, QStringList> statuses;
    QMap<QString, int> points;
    for (const QJsonValue &s : submissions) {
        QStringList list;
        for (const QJsonValue &c : s[u"cases"_s].toArray())
            list << c[u"status"_s].toString();
        statuses[s[u"name"_s].toString()] = list;
        points[s[u"name"_s].toString()] = s[u"points"_s].toInt();
    }
    QCOMPARE(statuses[u"good.orb"_s],
             (QStringList{u"passed"_s, u"passed"_s, u"passed"_s, u"wrong"_s, u"wrong"_s}));
    QCOMPARE(points[u"good.orb"_s], 4);
    // end=limit expected: the limit is no failure of its own; end=stopped expected, but M02
    // differs: wrong, not stopped.
    QCOMPARE(statuses[u"loops.orb"_s],
             (QStringList{u"loops"_s, u"passed"_s, u"loops"_s, u"passed"_s, u"loops"_s}));
    QCOMPARE(points[u"loops.orb"_s], 2);
    QCOMPARE(statuses[u"stops.orb"_s],
             (QStringList{u"stopped"_s, u"passed"_s, u"stopped"_s, u"stopped"_s, u"wrong"_s}));
    QCOMPARE(statuses[u"red.orb"_s], QStringList(5, u"red-cells"_s));
    QCOMPARE(statuses[u"unreadable.orb"_s], QStringList(5, u"unreadable"_s));
    QCOMPARE(points[u"red.orb"_s], 0);
    const QJsonObject totals = report[u"totals"_s].toObject();
    QCOMPARE(totals[u"maxPoints"_s].toInt(), 6);
    QCOMPARE(totals[u"passedAll"_s].toInt(), 0);
    QCOMPARE(totals[u"points"_s].toArray().first()[u"points"_s].toInt(), 4);
}

void TestGrade::referenceFillsQuestionMarks()
{
    const QString reference = file(u"ref/sum.orb"_s, documentText(sumRows));
    const QString tests = file(u"ref.orbtest"_s, "case a\n set M00=30 M01=12\n"
                                                 " expect M02=? end=? RB=? C=?\n");
    // A student who stores the constant 42 passes the reference's own data only.
    const QString student = file(u"ref/student.orb"_s, documentText({u"0|0||y70"_s}, {0, 0, 0x42}));
    TestFile parsedTests = parsed(readAll(tests));
    QString error;
    QVERIFY2(prepareReference(reference, parsedTests, &error), qPrintable(error));
    QCOMPARE(parsedTests.cases[0].expects[0].expectation.value, 0x42);
    QCOMPARE(parsedTests.cases[0].expects[1].expectation.value, int(RunSucceeded));
    QCOMPARE(parsedTests.cases[0].expects[2].expectation.value, 0x42);

    const Outcome o = grade({u"--quiet"_s, u"--reference"_s, reference, u"--report"_s, u"json:-"_s,
                             tests, student, reference});
    QCOMPARE(o.status, 1);
    const QJsonObject report = jsonOf(o.out.toUtf8());
    const QJsonArray expect = report[u"tests"_s][u"cases"_s][0][u"expect"_s].toArray();
    QCOMPARE(expect[0][u"value"_s].toString(), u"42"_s);
    QVERIFY(expect[0][u"fromReference"_s].toBool());
    const QJsonArray submissions = report[u"submissions"_s].toArray();
    QCOMPARE(submissions[0][u"cases"_s][0][u"status"_s].toString(), u"wrong"_s);
    QCOMPARE(submissions[1][u"passedAll"_s].toBool(), true);
    // ? without a reference is a mistake of the command line.
    const Outcome without = grade({tests, student});
    QCOMPARE(without.status, 64);
    QVERIFY2(without.err.contains(u"ref.orbtest:3: M02=? takes its value from a reference"_s),
             qPrintable(without.err));
}

void TestGrade::referenceUnusable()
{
    const QString tests = file(u"unusable.orbtest"_s, sumTests);
    const QString wrongReference = file(u"unusable/wrong.orb"_s, documentText({u"0|0||y70"_s}));
    const QString student = file(u"unusable/student.orb"_s, documentText(sumRows));
    Outcome o = grade({u"--reference"_s, wrongReference, tests, student});
    QCOMPARE(o.status, 4);
    QVERIFY2(o.err.contains(u"fails case \"25 + 17\": M02 expected 3C, got 00"_s),
             qPrintable(o.err));
    QVERIFY(o.out.isEmpty());
    const QString red = file(u"unusable/red.orb"_s, documentText({u"12a|1||y43"_s}));
    o = grade({u"--reference"_s, red, tests, student});
    QCOMPARE(o.status, 4);
    QVERIFY2(o.err.contains(u"wrong cells: row 1, source state: \"12a\": "_s), qPrintable(o.err));
    o = grade({u"--reference"_s, dir_.filePath(u"missing.orb"_s), tests, student});
    QCOMPARE(o.status, 4);
    o = grade({dir_.filePath(u"missing.orbtest"_s), student});
    QCOMPARE(o.status, 4);
    QVERIFY2(o.err.contains(u"cannot read the test file"_s), qPrintable(o.err));
    // A mistake in the test file: usage, nothing graded.
    o = grade({file(u"bad.orbtest"_s, "case a\n expekt A=1\n"), student});
    QCOMPARE(o.status, 64);
    QVERIFY2(o.err.contains(u"bad.orbtest:2: unknown keyword \"expekt\""_s), qPrintable(o.err));
    QVERIFY(o.out.isEmpty());
}

void TestGrade::divergenceAcrossRenumberedStates()
{
    // The reference's states 1 … 7 are the student's 10 … 70, in another row order; the
    // student adds with function 10 where the reference adds with 9 (its 8th microoperation).
    const Program reference(
        HeadlessTableSource(openDocument(*parseDocument(documentText(sumRows))).table));
    const QStringList studentRows{
        u"0|10||y43"_s,  u"30|40||y30"_s,     u"20|30||y24,y35,y42"_s, u"10|20||y30,y48"_s,
        u"70|70||y70"_s, u"60|70||y25,y60"_s, u"50|60||y13,y24,y42"_s, u"40|50||y11,y13,y31,y45"_s};
    const OpenedDocument studentDocument = openDocument(*parseDocument(documentText(studentRows)));
    QVERIFY(wrongCellLines(studentDocument.table).isEmpty());
    const Program student{HeadlessTableSource(studentDocument.table)};
    const TestFile tests = parsed("case a\n set M00=25 M01=17\n expect M02=3C\n");
    ByteArrayMemory memory;

    // The same microprogram renumbered does not diverge, nor do data of the student's own that
    // no microoperation touches.
    ByteArrayMemory ownData;
    ownData.bytes[0x80] = 0x77;
    const OpenedDocument same = openDocument(
        *parseDocument(documentText({u"0|10||y43"_s, u"30|40||y30"_s, u"20|30||y24,y35,y42"_s,
                                     u"10|20||y30,y48"_s, u"70|70||y70"_s, u"60|70||y25,y60"_s,
                                     u"50|60||y13,y24,y42"_s, u"40|50||y11,y14,y31,y45"_s})));
    QVERIFY(!findDivergence(Program(HeadlessTableSource(same.table)), ownData, reference, memory,
                            tests.cases[0]));

    const std::optional<Divergence> d =
        findDivergence(student, memory, reference, memory, tests.cases[0]);
    QVERIFY(d);
    QCOMPARE(d->kind, Divergence::Kind::Differs);
    QCOMPARE(d->index, 8);
    QCOMPARE(d->studentStep, 9);
    QCOMPARE(d->referenceStep, 9);
    QCOMPARE(d->studentRow, 8);
    QCOMPARE(d->referenceRow, 5);
    QVERIFY2(d->studentOperation.startsWith(u"Выполнена микрооперация y31"_s),
             qPrintable(d->studentOperation));
    QCOMPARE(d->differences.first().name, u"y13"_s);
    QCOMPARE(d->differences.first().expected, u"0"_s);
    QCOMPARE(d->differences.first().got, u"1"_s);
    QCOMPARE(d->differences[1].name, u"y14"_s);
    // The sum itself differs in A.
    QVERIFY(std::any_of(d->differences.cbegin(), d->differences.cend(), [](const Mismatch &m) {
        return m.name == u"A"_s && m.expected == u"3C"_s;
    }));

    // Through orb-grade: only the failed case names it.
    const QString ref = file(u"div/ref.orb"_s, documentText(sumRows));
    const QString sub = file(u"div/student.orb"_s, documentText(studentRows));
    const Outcome o = grade({u"--reference"_s, ref, file(u"div.orbtest"_s, sumTests), sub});
    QCOMPARE(o.status, 1);
    QVERIFY2(o.out.contains(u"    first divergence: microoperation 8: row 8 at step 9"_s),
             qPrintable(o.out));
}

void TestGrade::divergenceWhenARunEndsFirst()
{
    const Program reference(
        HeadlessTableSource(openDocument(*parseDocument(documentText(sumRows))).table));
    const OpenedDocument shortDocument = openDocument(*parseDocument(
        documentText({u"0|1||y43"_s, u"1|2||y30,y48"_s, u"2|3||y24,y35,y42"_s, u"3|99||y30"_s})));
    const Program shortRun{HeadlessTableSource(shortDocument.table)};
    const TestFile tests = parsed("case a\n expect M02=3C\n");
    ByteArrayMemory memory;
    std::optional<Divergence> d =
        findDivergence(shortRun, memory, reference, memory, tests.cases[0]);
    QVERIFY(d);
    QCOMPARE(d->kind, Divergence::Kind::StudentEnded);
    QCOMPARE(d->index, 8);
    QCOMPARE(d->studentEnd, u"stopped"_s);
    QVERIFY(d->referenceOperation.contains(u"y31"_s));
    d = findDivergence(reference, memory, shortRun, memory, tests.cases[0]);
    QVERIFY(d);
    QCOMPARE(d->kind, Divergence::Kind::ReferenceEnded);
    QCOMPARE(d->referenceEnd, u"stopped"_s);
    QCOMPARE(d->studentRow, 5);
}

void TestGrade::reportsParseBack()
{
    const QString folder = dir_.filePath(u"reports"_s);
    file(u"reports/Иванов, \"отличник\".orb"_s, documentText({u"0|0||y70"_s}, {0x25, 0x17, 0x3C}));
    file(u"reports/b#2.orb"_s, documentText(sumRows));
    file(u"reports/c.orb"_s, documentText({u"12a|1||y43"_s}));
    const QString tests =
        file(u"reports.orbtest"_s, "case сумма, \"кавычки\"\n set M00=25 M01=17\n expect M02=3C\n"
                                   "case b\n set M00=01\n expect M02=?\n");
    const QString reference = file(u"reports-ref.orb"_s, documentText(sumRows));
    const QString out = dir_.filePath(u"out"_s);
    QVERIFY(QDir().mkpath(out));
    const Outcome o = grade(
        {u"--quiet"_s, u"--reference"_s, reference, u"--report"_s, u"json:"_s + out + u"/r.json"_s,
         u"--report"_s, u"csv:"_s + out + u"/r.csv"_s, u"--report"_s,
         u"junit:"_s + out + u"/r.xml"_s, u"--report"_s, u"tap:"_s + out + u"/r.tap"_s,
         u"--report"_s, u"gradescope:"_s + out + u"/gs"_s, tests, folder});
    QVERIFY2(o.status == 1 && o.err.isEmpty(), qPrintable(o.err));
    // --quiet drops only the progress bar: the table is there.
    QVERIFY2(o.out.startsWith(u"submission "_s), qPrintable(o.out));

    // JSON against its schema; a report that breaks the schema is caught by the check.
    QCOMPARE(schemaErrors(out + u"/r.json"_s), QString());
    QByteArray broken = readAll(out + u"/r.json"_s);
    broken.replace("\"status\":\"wrong\"", "\"status\":\"bad\"");
    writeAll(out + u"/broken.json"_s, broken);
    QVERIFY(!schemaErrors(out + u"/broken.json"_s).isEmpty());

    // CSV: BOM, CR LF, RFC 4180 quotes, Cyrillic intact.
    const QByteArray csv = readAll(out + u"/r.csv"_s);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split(u"\r\n"_s);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], u"submission,total,max,\"сумма, \"\"кавычки\"\"\",b,first problem,"
                       u"errors,warnings,notes"_s);
    QCOMPARE(
        lines[3],
        u"\"Иванов, \"\"отличник\"\".orb\",1,2,passed,wrong,\"b: M02 expected 01, got 3C\",0,0,0"_s);
    QVERIFY(lines[2].startsWith(u"c.orb,0,2,red-cells,red-cells,"_s));
    QCOMPARE(lines[4], QString());

    // JUnit: a suite per submission, a testcase per case, failures and errors with messages.
    QFile xmlFile(out + u"/r.xml"_s);
    QVERIFY(xmlFile.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&xmlFile);
    QStringList suites;
    int testcases = 0;
    QStringList failures;
    QStringList errors;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"testsuite"_s)
            suites << xml.attributes().value(u"name"_s).toString();
        else if (xml.name() == u"testcase"_s)
            ++testcases;
        else if (xml.name() == u"failure"_s)
            failures << xml.attributes().value(u"message"_s).toString();
        else if (xml.name() == u"error"_s)
            errors << xml.attributes().value(u"type"_s).toString();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(suites, (QStringList{u"b#2.orb"_s, u"c.orb"_s, u"Иванов, \"отличник\".orb"_s}));
    QCOMPARE(testcases, 6);
    QCOMPARE(failures, QStringList{u"M02: expected 01, got 3C"_s});
    QCOMPARE(errors, (QStringList{u"red-cells"_s, u"red-cells"_s}));

    // TAP 13 (what prove reads): the version, the plan of the submissions, subtests with their
    // own plans.
    const QStringList tap = QString::fromUtf8(readAll(out + u"/r.tap"_s)).split(u'\n');
    QCOMPARE(tap[0], u"TAP version 13"_s);
    QCOMPARE(tap[1], u"1..3"_s);
    QCOMPARE(tap[2], u"# Subtest: b\\#2.orb"_s);
    QCOMPARE(tap[3], u"    1..2"_s);
    QCOMPARE(tap[4], u"    ok 1 - сумма, \"кавычки\""_s);
    QVERIFY(tap.contains(u"ok 1 - b\\#2.orb # points 2/2"_s));
    QVERIFY(tap.contains(u"      messages: |"_s));
    QVERIFY(tap.contains(u"        M02: expected 01, got 3C"_s));
    QVERIFY(tap.contains(u"not ok 3 - Иванов, \"отличник\".orb # points 1/2"_s));

    // Gradescope: one results.json per submission.
    const QJsonObject gs = jsonOf(readAll(out + u"/gs/Иванов, \"отличник\".json"_s));
    QCOMPARE(gs[u"score"_s].toInt(), 1);
    const QJsonArray gsTests = gs[u"tests"_s].toArray();
    QCOMPARE(gsTests.size(), 2);
    QCOMPARE(gsTests[0][u"status"_s].toString(), u"passed"_s);
    QCOMPARE(gsTests[1][u"max_score"_s].toInt(), 1);
    QCOMPARE(gsTests[1][u"status"_s].toString(), u"failed"_s);
    QVERIFY(QFile::exists(out + u"/gs/c.json"_s));
    // One submission: PATH is the file itself.
    const Outcome one =
        grade({u"--reference"_s, reference, u"--report"_s,
               u"gradescope:"_s + out + u"/results.json"_s, tests, folder + u"/c.orb"_s});
    QCOMPARE(one.status, 1);
    // Gradescope's documentation has no top-level max_score: the tests' max_score add up.
    int maxScore = 0;
    for (const QJsonValue &t :
         QJsonDocument::fromJson(readAll(out + u"/results.json"_s))[u"tests"_s].toArray())
        maxScore += t[u"max_score"_s].toInt();
    QCOMPARE(maxScore, 2);
}

void TestGrade::reportsSameForAnyThreadCount()
{
    const QString folder = dir_.filePath(u"many"_s);
    // More than a block of the report writers' texts, which are made on several threads.
    constexpr int count = 300;
    for (int i = 0; i < count; ++i) {
        const QStringList rows = i % 3 == 0   ? sumRows
                                 : i % 3 == 1 ? QStringList{u"0|0||y43"_s}
                                              : QStringList{u"0|1||y70"_s};
        file(u"many/%1/s%2.orb"_s.arg(i % 4).arg(i, 3, 10, QChar(u'0')), documentText(rows));
    }
    const QString tests = file(u"many.orbtest"_s, sumTests);
    const QString reference = file(u"many-ref.orb"_s, documentText(sumRows));
    QStringList reports[2];
    const int threads[2] = {1, 4};
    for (int k = 0; k < 2; ++k) {
        const QString out = dir_.filePath(u"many-out%1"_s.arg(k));
        QVERIFY(QDir().mkpath(out));
        const Outcome o =
            grade({u"-j"_s, QString::number(threads[k]), u"--reference"_s, reference, u"--report"_s,
                   u"json:"_s + out + u"/r.json"_s, u"--report"_s, u"csv:"_s + out + u"/r.csv"_s,
                   u"--report"_s, u"junit:"_s + out + u"/r.xml"_s, u"--report"_s,
                   u"tap:"_s + out + u"/r.tap"_s, tests, folder});
        QCOMPARE(o.status, 1);
        reports[k] << o.out;
        for (const char *name : {"r.json", "r.csv", "r.xml", "r.tap"})
            reports[k] << QString::fromUtf8(readAll(out + u'/' + QLatin1StringView(name)));
    }
    QCOMPARE(reports[0], reports[1]);
    QVERIFY(reports[0][0].contains(
        u"submissions: 300, passed all: 100, points (of 4): 4×100 2×100 1×100"_s));
    // Every submission once, in name order, across the blocks.
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(reports[0][1].toUtf8(), &parseError);
    QCOMPARE(parseError.error, QJsonParseError::NoError);
    const QJsonArray submissions = json[u"submissions"_s].toArray();
    QCOMPARE(submissions.size(), count);
    for (int i = 1; i < count; ++i)
        QVERIFY(submissions[i - 1][u"name"_s].toString() < submissions[i][u"name"_s].toString());
}

void TestGrade::reportsCarryTheChecks()
{
    // Each submission's static checks, as orb-check finds them, in every report that has room:
    // the findings themselves in JSON, their counts in CSV, a line in the table.
    const QString folder = dir_.filePath(u"checks"_s);
    // Row 2 is a further row of state 0: its y30 never runs.
    file(u"checks/a-ignored.orb"_s, documentText({u"0|1||y70"_s, u"0|1||y30"_s}));
    file(u"checks/b-red.orb"_s, documentText({u"12a|1||y43"_s}));
    file(u"checks/c-unreadable.orb"_s, "not a document");
    file(u"checks/d-missing.orb"_s, documentText({u"0|7||y43"_s}));
    const QString tests = file(u"checks.orbtest"_s, "expect end=success\n");
    const QString out = dir_.filePath(u"checks-out"_s);
    QVERIFY(QDir().mkpath(out));
    const Outcome o = grade({u"--quiet"_s, u"--report"_s, u"json:"_s + out + u"/r.json"_s,
                             u"--report"_s, u"csv:"_s + out + u"/r.csv"_s, tests, folder});
    QVERIFY2(o.status == 1, qPrintable(o.err));
    QCOMPARE(schemaErrors(out + u"/r.json"_s), QString());

    QMap<QString, QJsonValue> checks;
    const QJsonObject report = jsonOf(readAll(out + u"/r.json"_s));
    for (const QJsonValue &s : report[u"submissions"_s].toArray())
        checks[s[u"name"_s].toString()] = s[u"checks"_s];
    auto codes = [&](const QString &name) {
        QStringList list;
        for (const QJsonValue &f : checks[name][u"findings"_s].toArray())
            list << f[u"code"_s].toString() + u'@' +
                        QString::number(f[u"rows"_s].toArray().first().toInt());
        return list;
    };
    QVERIFY(codes(u"a-ignored.orb"_s).contains(u"ignored-signals@2"_s));
    QCOMPARE(checks[u"a-ignored.orb"_s][u"counts"_s][u"error"_s].toInt(), 0);
    QCOMPARE(codes(u"b-red.orb"_s), QStringList{u"wrong-cell@1"_s});
    QVERIFY(checks[u"c-unreadable.orb"_s].isNull());
    QVERIFY(codes(u"d-missing.orb"_s).contains(u"missing-state@1"_s));
    const QJsonObject missing =
        checks[u"d-missing.orb"_s][u"findings"_s].toArray().first().toObject();
    QCOMPARE(missing[u"severity"_s].toString(), u"error"_s);
    QVERIFY(missing[u"message"_s].toString().contains(u"7"_s));
    // A broken finding is caught by the schema.
    QByteArray broken = readAll(out + u"/r.json"_s);
    QVERIFY(broken.contains("\"severity\":\"error\""));
    broken.replace("\"severity\":\"error\"", "\"severity\":\"fatal\"");
    writeAll(out + u"/broken.json"_s, broken);
    QVERIFY(!schemaErrors(out + u"/broken.json"_s).isEmpty());

    // CSV: the counts in the last three columns, empty for a file that could not be read.
    const QStringList lines = QString::fromUtf8(readAll(out + u"/r.csv"_s).mid(3)).split(u"\r\n"_s);
    QCOMPARE(lines.size(), 6);
    auto counts = [](const QString &line) { return line.section(u',', -3); };
    const int ignoredWarnings = checks[u"a-ignored.orb"_s][u"counts"_s][u"warning"_s].toInt();
    QVERIFY(ignoredWarnings >= 1);
    QCOMPARE(counts(lines[1]).section(u',', 0, 1), u"0,"_s + QString::number(ignoredWarnings));
    QCOMPARE(counts(lines[2]), u"1,0,0"_s);
    QCOMPARE(counts(lines[3]), u",,"_s);
    QVERIFY(counts(lines[4]).startsWith(u"1,"_s) || counts(lines[4]).startsWith(u"2,"_s));

    // The table: one line under a submission with errors or warnings.
    QVERIFY2(o.out.contains(u"\n    checks: 1 error (orb-check lists them)\n"_s),
             qPrintable(o.out));
    QVERIFY2(QRegularExpression(u"a-ignored\\.orb[^\n]*\n    checks: \\d+ warnings? "_s)
                 .match(o.out)
                 .hasMatch(),
             qPrintable(o.out));
    QVERIFY2(o.out.count(u"\n    checks: "_s) == 3, qPrintable(o.out));
}

// A file name or a quoted cell may carry characters XML cannot hold; the report stays
// well-formed and keeps everything after them.
void TestGrade::junitReportWithControlCharacters()
{
    TestFile tests;
    TestCase testCase;
    testCase.name = u"first"_s;
    tests.cases << testCase;
    SubmissionResult red;
    red.name = u"a\u0001b.orb"_s;
    red.document = CaseStatus::RedCells;
    red.wrongCells << u"1:3 \"x\u0000\u001Fy\""_s;
    red.cases.resize(1);
    red.cases[0].status = CaseStatus::RedCells;
    SubmissionResult wrong;
    wrong.name = u"last.orb"_s;
    CaseResult result;
    result.status = CaseStatus::Wrong;
    result.mismatches << Mismatch{u"A"_s, u"01"_s, QString(QChar(0xD800))};
    wrong.cases.push_back(result);
    const std::vector<SubmissionResult> results{red, wrong};
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writeJunitReport(out, GradeRun{tests, u"t.txt"_s, QString(), results, 1});
    QXmlStreamReader xml(out.data());
    QStringList suites;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"testsuite"_s)
            suites << xml.attributes().value(u"name"_s).toString();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    // A name's control character is shown escaped, as in every report.
    QCOMPARE(suites, (QStringList{u"a\\x01b.orb"_s, u"last.orb"_s}));
}

void TestGrade::failedReportWrite()
{
    const QString tests = file(u"write.orbtest"_s, sumTests);
    const QString student = file(u"write/s.orb"_s, documentText(sumRows));
    const QString blocker = file(u"write/blocker"_s, "a file, not a folder");
    const QString kept = file(u"write/kept.json"_s, "the previous report");
    const Outcome o = grade({u"--quiet"_s, u"--report"_s, u"json:"_s + blocker + u"/r.json"_s,
                             u"--report"_s, u"csv:"_s + kept, tests, student});
    QCOMPARE(o.status, 6);
    QVERIFY2(o.err.startsWith(u"orb-grade: cannot write "_s + blocker + u"/r.json: "_s),
             qPrintable(o.err));
    // The other report was still written whole.
    QVERIFY(readAll(kept).startsWith("\xEF\xBB\xBFsubmission,"));
    const QStringList left = QDir(dir_.filePath(u"write"_s)).entryList(QDir::Files);
    QCOMPARE(left, (QStringList{u"blocker"_s, u"kept.json"_s, u"s.orb"_s}));
}

void TestGrade::submissionsFromFolders()
{
    file(u"tree/b/z.orb"_s, documentText(sumRows));
    file(u"tree/a.orb"_s, documentText(sumRows));
    file(u"tree/notes.txt"_s, "not a submission");
    file(u"outside/secret.orb"_s, documentText(sumRows));
    QVERIFY(QFile::link(dir_.filePath(u"outside/secret.orb"_s), dir_.filePath(u"tree/link.orb"_s)));
    QVERIFY(QFile::link(dir_.filePath(u"outside"_s), dir_.filePath(u"tree/linked-folder"_s)));
    QVERIFY(QFile::link(dir_.filePath(u"tree/a.orb"_s), dir_.filePath(u"tree/inside.orb"_s)));
    QString error;
    const auto found =
        findSubmissions({dir_.filePath(u"tree"_s), dir_.filePath(u"outside/secret.orb"_s)}, &error);
    QVERIFY2(found, qPrintable(error));
    QStringList names;
    for (const Submission &s : *found)
        names << s.name;
    QCOMPARE(names, (QStringList{u"a.orb"_s, u"b/z.orb"_s, u"inside.orb"_s,
                                 dir_.filePath(u"outside/secret.orb"_s)}));
    QVERIFY(!findSubmissions({dir_.filePath(u"tree"_s), dir_.filePath(u"tree"_s)}, &error));
    QVERIFY2(error.contains(u"two submissions are named a.orb"_s), qPrintable(error));
    QCOMPARE(grade({file(u"x.orbtest"_s, sumTests), u"-"_s}).status, 64);
    QCOMPARE(grade({file(u"x.orbtest"_s, sumTests), dir_.filePath(u"nothing-here"_s)}).status, 64);
}

void TestGrade::oneEngineWithOrbRun_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("maxSteps");
    const QString examples = QStringLiteral(ORB_SOURCE_DIR "/examples/");
    QTest::newRow("add") << examples + u"01-add-two-bytes.orb"_s << QStringList{} << 999;
    QTest::newRow("multiply") << examples + u"02-multiply-shift-and-add.orb"_s << QStringList{}
                              << 999;
    QTest::newRow("fetch-decode") << examples + u"03-fetch-decode-loop.orb"_s << QStringList{}
                                  << 999;
    QTest::newRow("fetch-decode, limit")
        << examples + u"03-fetch-decode-loop.orb"_s << QStringList{} << 40;
    QTest::newRow("display") << examples + u"04-display-loop.orb"_s << QStringList{} << 999;
    QTest::newRow("inputs") << examples + u"05-input-largest-byte.orb"_s
                            << QStringList{u"12"_s, u"7F"_s, u"05"_s, u"80"_s, u"00"_s} << 999;
    QTest::newRow("inputs run out")
        << examples + u"05-input-largest-byte.orb"_s << QStringList{u"12"_s} << 300;
    QTest::newRow("overflow") << examples + u"06-signed-add-overflow.orb"_s << QStringList{} << 999;
}

void TestGrade::oneEngineWithOrbRun()
{
    QFETCH(QString, document);
    QFETCH(QStringList, inputs);
    QFETCH(int, maxSteps);
    QStringList arguments{u"--memory"_s, u"--max-steps"_s, QString::number(maxSteps)};
    QList<int> bytes;
    for (const QString &input : inputs) {
        arguments << u"--input"_s << input;
        bytes << input.toInt(nullptr, 16);
    }
    const Outcome orbRun = runOrbRun(arguments << document);
    QVERIFY2(orbRun.status <= 2, qPrintable(orbRun.err));

    // Every NAME=VALUE of orb-run's summary and its memory dump, against the case's run.
    TestCase testCase;
    testCase.inputs = bytes;
    testCase.maxSteps = maxSteps;
    const LoadedSubmission loaded = loadSubmission(document);
    CaseRun run(*loaded.program, loaded.memory, testCase);
    run.runToEnd();
    QCOMPARE(int(run.end()), orbRun.status);
    const QStringList lines = orbRun.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines[1], u"steps="_s + QString::number(run.engine().stepCount()));
    const QStringList names = registerNames();
    int compared = 0;
    for (int l = 2; l < 7; ++l) {
        for (const QString &item : lines[l].split(u' ')) {
            const QStringList pair = item.split(u'=');
            Expectation e;
            QString error;
            const auto parsedItem = parseExpectations(item, &error);
            QVERIFY2(parsedItem, qPrintable(error));
            QCOMPARE(run.finalValue(parsedItem->first()), parsedItem->first().value);
            ++compared;
        }
    }
    QCOMPARE(compared, 31 + 8);
    QString memory;
    for (int a = 0; a < 256; ++a)
        memory += formatHex(run.memory().bytes[size_t(a)]) + ((a & 15) == 15 ? u'\n' : u' ');
    QCOMPARE(lines.mid(7).join(u'\n') + u'\n', memory);
}

void TestGrade::orbRunTests()
{
    const QString tests = file(u"orbrun.orbtest"_s, sumTests);
    const QString good = file(u"orbrun/good.orb"_s, documentText(sumRows));
    Outcome o = runTests({u"--tests"_s, tests, good});
    QCOMPARE(o.status, 0);
    QCOMPARE(o.out, u"case 25 + 17: passed, 15 steps\ncase carry out: passed, 15 steps\n"
                    u"case zero: passed, 15 steps\n"_s);
    const QString cheat = file(u"orbrun/cheat.orb"_s, documentText({u"0|0||y70"_s}, {0, 0, 0x3C}));
    o = runTests({u"--tests"_s, tests, u"--case"_s, u"carry out"_s, cheat});
    QCOMPARE(o.status, 5);
    QCOMPARE(o.out, u"case carry out: wrong, 2 steps; M02: expected 00, got 3C\n"_s);
    o = runTests({u"--tests"_s, tests, u"--case"_s, u"25 + 17"_s, cheat});
    QCOMPARE(o.status, 0);
    QCOMPARE(runTests({u"--tests"_s, tests, u"--case"_s, u"nope"_s, good}).status, 64);
    QCOMPARE(runTests({u"--tests"_s, tests, u"--input"_s, u"05"_s, good}).status, 64);
    QCOMPARE(
        runTests({u"--tests"_s, tests, file(u"orbrun/red.orb"_s, documentText({u"12a|1||y43"_s}))})
            .status,
        3);
    QCOMPARE(runTests({u"--tests"_s, tests, file(u"orbrun/junk.orb"_s, "junk")}).status, 4);
    // Every existing expectations file is a test file.
    o = runTests({u"--tests"_s, file(u"orbrun/sum.expect"_s, "end=success\nM02=00\n"), good});
    QCOMPARE(o.out, u"case sum: passed, 15 steps\n"_s);
    // The display values y67 shows.
    o = runTests({u"--tests"_s,
                  file(u"orbrun/display.orbtest"_s, "case orb\n display 4F 52 42 21\n"
                                                    "case other\n set M10=41 M11=00\n display 41\n"
                                                    "case wrong\n display 4F\n"),
                  QStringLiteral(ORB_SOURCE_DIR "/examples/04-display-loop.orb")});
    QCOMPARE(o.status, 5);
    QCOMPARE(o.out.split(u'\n')[2],
             u"case wrong: wrong, 28 steps; display: expected 4F, got 4F 52 42 21"_s);
    QVERIFY(o.out.startsWith(u"case orb: passed, 28 steps\ncase other: passed"_s));
}

void TestGrade::realPrograms()
{
    const QString orbGrade = builtProgram(u"orb-grade"_s);
    const QString orbRun = builtProgram(u"orb-run"_s);
    const QString tests = file(u"real.orbtest"_s, sumTests);
    const QString good = file(u"real/good.orb"_s, documentText(sumRows));
    const auto run = [](const QString &program, const QStringList &arguments,
                        const QString &outFile = {}) {
        const ProcessOutcome o = runProcess(program, arguments, {.outputFile = outFile});
        return std::pair{o.status, o.out + o.err};
    };
    auto [status, text] = run(orbGrade, {tests, good});
    QCOMPARE(status, 0);
    QVERIFY2(text.contains(u"good.orb  ✓"_s), qPrintable(text));
    QCOMPARE(run(orbGrade, {tests, file(u"real/bad.orb"_s, documentText({u"0|0||y70"_s}))}).first,
             1);
    QCOMPARE(run(orbGrade, {u"--report"_s, u"xml:-"_s, tests, good}).first, 64);
    QCOMPARE(run(orbGrade, {u"--version"_s}).second, u"orb-grade " ORB_VERSION "\n"_s);
    // A table that cannot reach standard output.
    QCOMPARE(run(orbGrade, {tests, good}, u"/dev/full"_s).first, 6);
    std::tie(status, text) = run(orbRun, {u"--tests"_s, tests, u"--case"_s, u"zero"_s, good});
    QCOMPARE(status, 0);
    QCOMPARE(text, u"case zero: passed, 15 steps\n"_s);
    // Without --tests orb-run is what it was.
    QCOMPARE(run(orbRun, {good}).first, 0);
}

QTEST_GUILESS_MAIN(TestGrade)
#include "tst_grade.moc"
