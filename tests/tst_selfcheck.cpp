// SPDX-License-Identifier: GPL-3.0-or-later
//
// The self-check's case runs without widgets: what each case's result and first failing item
// read like, the red cells and findings that come instead of or beside them, and that every
// status and mismatch is orb-grade's own for the same document and test file.

#include "coretestutil.h"
#include "gradetestutil.h"

#include "app/document.h"
#include "grade/gradecli.h"
#include "selfcheck/casecheck.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace orb;
using gradetest::parsed;
using testutil::examplePath;

namespace {

CheckSnapshot openSnapshot(const QString &path)
{
    const std::optional<LoadedDocument> document = readDocumentFile(path);
    if (!document)
        qFatal("cannot open %s", qPrintable(path));
    return documentSnapshot(openDocument(*document));
}

// A cell of a loaded table retyped and left, as the editor's row rules mark it.
void retype(CheckSnapshot &snapshot, int row, int field, const QString &text)
{
    HeadlessTable table;
    table.reset(int(snapshot.rows.size()));
    for (int r = 0; r < int(snapshot.rows.size()); ++r) {
        for (int f = 0; f < fieldCount; ++f)
            table.fillAndCommit(
                r, f,
                r == row && f == field ? text : snapshot.rows[size_t(r)].cells[size_t(f)].text);
    }
    for (int r = 0; r < table.rowCount(); ++r)
        snapshot.rows[size_t(r)] = table.row(r);
}

} // namespace

class TestSelfCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }
    void outcomes_data();
    void outcomes();
    void watchedInTheExecutionWindow();
    void sameAsOrbGrade_data();
    void sameAsOrbGrade();
};

void TestSelfCheck::outcomes_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QStringList>("edits"); // cells retyped: row|field|text
    QTest::addColumn<QByteArray>("tests");
    QTest::addColumn<QStringList>("rows"); // per case: result | points | first failing item
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("wrongCells"); // red cells run nothing
    QTest::addColumn<QStringList>("findings");   // some of orb-check's, in Russian, with rows

    const QString add = examplePath(u"01-add-two-bytes.orb"_s);
    const QString display = examplePath(u"04-display-loop.orb"_s);
    QTest::newRow("passed, memory, register, end and limit")
        << add << QStringList()
        << QByteArray("points 2\n"
                      "case sum\n expect M02=3C end=success\n"
                      "case other bytes\n set M00=FF M01=03\n expect M02=03\n"
                      "case РВ\n points 1\n expect RB=00\n"
                      "case end\n expect end=stopped\n"
                      "case short\n max-steps 5\n expect M02=3C\n"
                      "case one step\n max-steps 1\n expect M02=3C\n"
                      "case flags\n set Z=1\n expect Z=1\n")
        << QStringList{u"зачтено|2 из 2|"_s,
                       u"неверный результат|0 из 2|M02: ожидалось 03, получено 02"_s,
                       u"неверный результат|0 из 1|РВ: ожидалось 00, получено 3C"_s,
                       u"неверный результат|0 из 2|завершение: ожидалось «нет перехода», "
                       u"получено «успешное завершение»"_s,
                       u"зациклилась|0 из 2|не остановилась за 5 тактов"_s,
                       u"зациклилась|0 из 2|не остановилась за 1 такт"_s,
                       u"неверный результат|0 из 2|Z: ожидалось 1, получено 0"_s}
        << u"Зачтено 1 из 7, баллы 2 из 13"_s << QStringList() << QStringList();
    QTest::newRow("display, byte by byte")
        << display << QStringList()
        << QByteArray("case all\n display 4F 52 42 21\n"
                      "case differs\n display 4F 41 42 21\n"
                      "case fewer\n display 4F 52 42 21 00\n"
                      "case more\n display 4F\n"
                      "case other table\n set M10=41\n display 41 52 42 21\n"
                      "case expect first\n expect A=4F\n display 00\n")
        << QStringList{u"зачтено|1 из 1|"_s,
                       u"неверный результат|0 из 1|вывод: ожидалось 41, показано 52"_s,
                       u"неверный результат|0 из 1|вывод: ожидалось 00, больше ничего не "
                       u"показано"_s,
                       u"неверный результат|0 из 1|вывод: лишнее 52"_s,
                       u"зачтено|1 из 1|"_s,
                       u"неверный результат|0 из 1|A: ожидалось 4F, получено 00"_s}
        << u"Зачтено 2 из 6, баллы 2 из 6"_s << QStringList() << QStringList();
    QTest::newRow("a transition to a state without rows")
        << add << QStringList{u"0|1|99"_s}
        << QByteArray("case sum\n expect M02=3C\ncase stop expected\n expect end=stopped\n")
        << QStringList{u"остановилась|0 из 1|не описан переход из состояния 99"_s,
                       u"зачтено|1 из 1|"_s}
        << u"Зачтено 1 из 2, баллы 1 из 2"_s << QStringList()
        << QStringList{u"строка 1: переход из состояния 0 в состояние 99, для которого нет ни "
                       u"одной строки — если выполнение дойдёт сюда, оно остановится с "
                       u"сообщением «Не описан переход из состояния 99»"_s};
    const QString redCell3 = u"Строка 3, Управляющие сигналы: «y30,y48,у20» — Кириллическая "
                             u"буква «у» в «у20»: нужна латинская y"_s;
    QTest::newRow("red cells")
        << add << QStringList{u"2|3|y30,y48,у20"_s, u"4|1|"_s}
        << QByteArray("case a\n expect M02=3C\ncase b\n points 3\n expect A=1\n")
        << QStringList{u"красные ячейки|0 из 1|красные ячейки: "_s + redCell3,
                       u"красные ячейки|0 из 3|красные ячейки: "_s + redCell3}
        << u"Зачтено 0 из 2, баллы 0 из 4"_s
        << QStringList{redCell3, u"Строка 5, След. сост.: «» — Строка не пуста — нужно следующее "
                                 u"состояние"_s}
        << QStringList();
}

void TestSelfCheck::outcomes()
{
    QFETCH(QString, document);
    QFETCH(QStringList, edits);
    QFETCH(QByteArray, tests);
    QFETCH(QStringList, rows);
    QFETCH(QString, summary);
    QFETCH(QStringList, wrongCells);
    QFETCH(QStringList, findings);

    CheckSnapshot snapshot = openSnapshot(document);
    for (const QString &edit : edits) {
        const QStringList parts = edit.split(u'|');
        retype(snapshot, parts[0].toInt(), parts[1].toInt(), parts[2]);
    }
    const CheckSnapshot before = snapshot;
    const CheckOutcome outcome = checkSnapshot(snapshot, parsed(tests));
    QStringList got;
    for (const CaseOutcome &c : outcome.cases)
        got << u"%1|%2 из %3|%4"_s.arg(caseStatusText(c.result.status))
                   .arg(c.result.points)
                   .arg(c.result.maxPoints)
                   .arg(c.failure);
    QCOMPARE(got, rows);
    QCOMPARE(outcome.summary(), summary);
    QCOMPARE(outcome.firstFailing(), int(rows.indexOf(QRegularExpression(u"(?!зачтено).*"_s))));
    QStringList gotWrong;
    for (const WrongCell &cell : outcome.wrongCells)
        gotWrong << cell.line();
    QCOMPARE(gotWrong, wrongCells);
    // Red cells leave the static checks out too; otherwise the findings listed are among them.
    QStringList gotFindings;
    for (const Finding &finding : outcome.findings)
        gotFindings << findingLine(finding);
    QVERIFY(wrongCells.isEmpty() || gotFindings.isEmpty());
    for (const QString &finding : findings)
        QVERIFY2(gotFindings.contains(finding), qPrintable(gotFindings.join(u'\n')));
    // The snapshot is the caller's: the runs wrote to copies of its memory.
    QVERIFY(snapshot.memory.bytes == before.memory.bytes);
}

void TestSelfCheck::watchedInTheExecutionWindow()
{
    // The display is held against the case byte by byte as y67 shows it; a step back takes
    // the last one back; at the end every expect item that fails is named.
    CaseWatch watch(
        parsed("case a\n expect M02=3C RB=3C Z=1 end=success\n display 4F 52\n").cases.first());
    QCOMPARE(watch.shown(0x4F), QString());
    QCOMPARE(watch.shown(0x41), u"вывод: ожидалось 52, показано 41"_s);
    watch.unshow();
    QCOMPARE(watch.shown(0x52), QString());
    QCOMPARE(watch.shown(0x21), u"вывод: лишнее 21"_s);
    Processor processor;
    processor.rv = 0x3C;
    std::array<quint8, 256> memory{};
    memory[2] = 0x17;
    QCOMPARE(watch.endFailures(processor, memory, RunStopped),
             (QStringList{u"M02: ожидалось 3C, получено 17"_s, u"Z: ожидалось 1, получено 0"_s,
                          u"завершение: ожидалось «успешное завершение», получено «нет "
                          u"перехода»"_s,
                          u"вывод: лишнее 21"_s}));
    watch.unshow();
    memory[2] = 0x3C;
    processor.z = 1;
    QCOMPARE(watch.endFailures(processor, memory, RunSucceeded), QStringList());
}

void TestSelfCheck::sameAsOrbGrade_data()
{
    // Every document of the example assignments (reference and starter) with its test file,
    // and the examples with a test file whose cases part them into passed, wrong, looping and
    // stopped.
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("tests");
    const QDir assignments(QStringLiteral(ORB_SOURCE_DIR "/examples/assignments"));
    int rows = 0;
    for (const QString &name : assignments.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir folder(assignments.filePath(name));
        const QStringList testFiles = folder.entryList({u"*.orbtest"_s}, QDir::Files);
        if (testFiles.isEmpty())
            continue;
        QDirIterator it(folder.path(), {u"*.orb"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QTest::newRow(qPrintable(folder.relativeFilePath(path)))
                << path << folder.filePath(testFiles.first());
            ++rows;
        }
    }
    const QDir examples(QStringLiteral(ORB_SOURCE_DIR "/examples"));
    for (const QString &name : examples.entryList({u"*.orb"_s}, QDir::Files)) {
        QTest::newRow(qPrintable(name))
            << examples.filePath(name)
            << QStringLiteral(ORB_TEST_DATA "/selfcheck/examples.orbtest");
        ++rows;
    }
    QVERIFY(rows >= 6);
}

void TestSelfCheck::sameAsOrbGrade()
{
    QFETCH(QString, document);
    QFETCH(QString, tests);
    // Each case as status, points and mismatches, from orb-grade's JSON report and from the
    // self-check.
    const clitest::Outcome graded =
        gradetest::grade({u"--quiet"_s, u"--report"_s, u"json:-"_s, tests, document});
    const QJsonArray submissions =
        gradetest::jsonOf(graded.out.toUtf8()).value(u"submissions"_s).toArray();
    QVERIFY2(submissions.size() == 1, qPrintable(graded.err));
    QStringList theirs;
    for (const QJsonValue &value : submissions.first().toObject().value(u"cases"_s).toArray()) {
        const QJsonObject c = value.toObject();
        QString line =
            c.value(u"status"_s).toString() + u' ' + QString::number(c.value(u"points"_s).toInt());
        for (const QJsonValue &m : c.value(u"mismatches"_s).toArray())
            line += u" %1:%2:%3"_s.arg(m[u"name"_s].toString(), m[u"expected"_s].toString(),
                                       m[u"got"_s].toString());
        theirs << line;
    }

    QString error;
    const std::optional<TestFile> testFile = readTestFile(tests, &error);
    QVERIFY2(testFile, qPrintable(error));
    QStringList mine;
    for (const CaseOutcome &c : checkSnapshot(openSnapshot(document), *testFile).cases) {
        QString line = caseStatusName(c.result.status) + u' ' + QString::number(c.result.points);
        for (const auto &m : c.result.mismatches)
            line += u" %1:%2:%3"_s.arg(m.name, m.expected, m.got);
        mine << line;
    }
    QCOMPARE(mine, theirs);
}

QTEST_GUILESS_MAIN(TestSelfCheck)
#include "tst_selfcheck.moc"
