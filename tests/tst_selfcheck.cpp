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

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
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
    void wrongCellsRunNothing();
    void findingsComeWithTheirRows();
    void watchedInTheExecutionWindow();
    void sameAsOrbGrade_data();
    void sameAsOrbGrade();
};

void TestSelfCheck::outcomes_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("editRow"); // -1: none
    QTest::addColumn<int>("editField");
    QTest::addColumn<QString>("editText");
    QTest::addColumn<QByteArray>("tests");
    QTest::addColumn<QStringList>("rows"); // per case: result | points | first failing item
    QTest::addColumn<QString>("summary");

    const QString add = examplePath(u"01-add-two-bytes.orb"_s);
    const QString display = examplePath(u"04-display-loop.orb"_s);
    QTest::newRow("passed, memory, register, end and limit")
        << add << -1 << 0 << QString()
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
        << u"Зачтено 1 из 7, баллы 2 из 13"_s;
    QTest::newRow("display, byte by byte")
        << display << -1 << 0 << QString()
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
        << u"Зачтено 2 из 6, баллы 2 из 6"_s;
    QTest::newRow("a transition to a state without rows")
        << add << 0 << int(NextStateField) << u"99"_s
        << QByteArray("case sum\n expect M02=3C\ncase stop expected\n expect end=stopped\n")
        << QStringList{u"остановилась|0 из 1|не описан переход из состояния 99"_s,
                       u"зачтено|1 из 1|"_s}
        << u"Зачтено 1 из 2, баллы 1 из 2"_s;
}

void TestSelfCheck::outcomes()
{
    QFETCH(QString, document);
    QFETCH(int, editRow);
    QFETCH(int, editField);
    QFETCH(QString, editText);
    QFETCH(QByteArray, tests);
    QFETCH(QStringList, rows);
    QFETCH(QString, summary);

    CheckSnapshot snapshot = openSnapshot(document);
    if (editRow >= 0)
        retype(snapshot, editRow, editField, editText);
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
    QVERIFY(outcome.wrongCells.isEmpty());
    // The snapshot is the caller's: the runs wrote to copies of its memory.
    QVERIFY(snapshot.memory.bytes == before.memory.bytes);
}

void TestSelfCheck::wrongCellsRunNothing()
{
    CheckSnapshot snapshot = openSnapshot(examplePath(u"01-add-two-bytes.orb"_s));
    retype(snapshot, 2, SignalsField, u"y30,y48,у20"_s);
    retype(snapshot, 4, NextStateField, QString());
    const CheckOutcome outcome =
        checkSnapshot(snapshot, parsed("case a\n expect M02=3C\ncase b\n points 3\n expect A=1\n"));
    QStringList lines;
    for (const WrongCell &cell : outcome.wrongCells)
        lines << cell.line();
    QCOMPARE(lines, (QStringList{u"Строка 3, Управляющие сигналы: «y30,y48,у20» — Кириллическая "
                                 u"буква «у» в «у20»: нужна латинская y"_s,
                                 u"Строка 5, След. сост.: «» — Строка не пуста — нужно следующее "
                                 u"состояние"_s}));
    QVERIFY(outcome.findings.isEmpty());
    QCOMPARE(outcome.cases.size(), size_t(2));
    for (const CaseOutcome &c : outcome.cases) {
        QCOMPARE(c.result.status, CaseStatus::RedCells);
        QCOMPARE(c.result.points, 0);
        QCOMPARE(c.failure, u"красные ячейки: "_s + lines.first());
    }
    QCOMPARE(outcome.summary(), u"Зачтено 0 из 2, баллы 0 из 4"_s);
    QCOMPARE(outcome.firstFailing(), 0);
}

void TestSelfCheck::findingsComeWithTheirRows()
{
    // A transition to a state without rows is orb-check's missing-state error, on that row.
    CheckSnapshot snapshot = openSnapshot(examplePath(u"01-add-two-bytes.orb"_s));
    retype(snapshot, 0, NextStateField, u"99"_s);
    const CheckOutcome outcome = checkSnapshot(snapshot, parsed("case a\n expect M02=3C\n"));
    QVERIFY(!outcome.findings.isEmpty());
    const auto missing =
        std::find_if(outcome.findings.cbegin(), outcome.findings.cend(),
                     [](const Finding &f) { return f.code == u"missing-state"_s; });
    QVERIFY(missing != outcome.findings.cend());
    QCOMPARE(missing->row(), 1);
    QCOMPARE(findingLine(*missing),
             u"строка 1: переход из состояния 0 в состояние 99, для которого нет ни одной строки — "
             u"если выполнение дойдёт сюда, оно остановится с сообщением «Не описан переход из "
             u"состояния 99»"_s);
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
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    runGradeCommandLine({u"orb-grade"_s, u"--quiet"_s, u"--report"_s, u"json:-"_s, tests, document},
                        out, err);
    const QJsonObject report = QJsonDocument::fromJson(out.data()).object();
    const QJsonArray submissions = report.value(u"submissions"_s).toArray();
    QVERIFY2(submissions.size() == 1, err.data().constData());
    const QJsonArray cases = submissions.first().toObject().value(u"cases"_s).toArray();

    QString error;
    const std::optional<TestFile> testFile = readTestFile(tests, &error);
    QVERIFY2(testFile, qPrintable(error));
    const CheckOutcome outcome = checkSnapshot(openSnapshot(document), *testFile);
    QCOMPARE(qsizetype(outcome.cases.size()), cases.size());
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const QJsonObject graded = cases[i].toObject();
        const CaseResult &mine = outcome.cases[size_t(i)].result;
        QCOMPARE(caseStatusName(mine.status), graded.value(u"status"_s).toString());
        QCOMPARE(mine.points, graded.value(u"points"_s).toInt());
        const QJsonArray mismatches = graded.value(u"mismatches"_s).toArray();
        QCOMPARE(mine.mismatches.size(), mismatches.size());
        for (qsizetype k = 0; k < mismatches.size(); ++k) {
            const QJsonObject m = mismatches[k].toObject();
            QCOMPARE(mine.mismatches[k].name, m.value(u"name"_s).toString());
            QCOMPARE(mine.mismatches[k].expected, m.value(u"expected"_s).toString());
            QCOMPARE(mine.mismatches[k].got, m.value(u"got"_s).toString());
        }
    }
}

QTEST_GUILESS_MAIN(TestSelfCheck)
#include "tst_selfcheck.moc"
