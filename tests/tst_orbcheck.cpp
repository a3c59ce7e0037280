// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-check as teachers and students call it: the report lines, the exit statuses, the JSON
// report against its schema, the DOT graph through Graphviz, and output that cannot be written.

#include "app/document.h"
#include "check/checker.h"
#include "clitestutil.h"
#include "coretestutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

using clitest::Outcome;
using testutil::examplePath;

Outcome check(const QStringList &arguments)
{
    return clitest::runInProcess(checkCommandLine, u"orb-check"_s, arguments);
}

const QStringList examples = {
    examplePath(u"01-add-two-bytes.orb"_s),      examplePath(u"02-multiply-shift-and-add.orb"_s),
    examplePath(u"03-fetch-decode-loop.orb"_s),  examplePath(u"04-display-loop.orb"_s),
    examplePath(u"05-input-largest-byte.orb"_s), examplePath(u"06-signed-add-overflow.orb"_s),
};

} // namespace

class TestOrbCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { testutil::failOnAnyWarning(); }

    void examplesPassStrict();
    void reportLines();
    void exitStatuses_data();
    void exitStatuses();
    void worstStatusOverDocuments();
    void loaderNotices();
    void jsonReportMatchesItsSchema();
    void dotRendersWithoutWarnings();
    void unwritableOutput();

private:
    QString write(const QString &name, const QList<RowTexts> &rows);
    QTemporaryDir dir;
};

void TestOrbCheck::initTestCase()
{
    testutil::failOnAnyWarning();
    QVERIFY(dir.isValid());
}

QString TestOrbCheck::write(const QString &name, const QList<RowTexts> &rows)
{
    const QString path = dir.filePath(name);
    testutil::writeAll(path, serializeDocument(rows, QStringList(256, u"00"_s)));
    return path;
}

void TestOrbCheck::examplesPassStrict()
{
    const Outcome outcome = check(QStringList{u"--strict"_s} + examples);
    QCOMPARE(outcome.status, int(CheckClean));
    QCOMPARE(outcome.err, QString());
    QCOMPARE(outcome.out.count(u"ошибок 0, предупреждений 0, замечаний 0"_s), 6);
}

void TestOrbCheck::reportLines()
{
    // Sorted by row, the row-less finding first, each document closed by its count.
    const QString path = write(u"doc.orb"_s, {{u"4"_s, u"4"_s, u"-z"_s, u"y21"_s},
                                              {u"0"_s, u"4"_s, {}, {}},
                                              {u"4"_s, u"0"_s, u"z"_s, u"y31,y60"_s}});
    const Outcome outcome = check({path});
    QCOMPARE(outcome.status, int(CheckErrors));
    const QStringList lines = outcome.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(path + u": error: no-success: "_s), qPrintable(lines[0]));
    QCOMPARE(lines[1], path + u":3: warning: ignored-signals: строка 3 — не первая строка "
                              u"состояния 4, её сигналы y31,y60 не выполняются"_s);
    QCOMPARE(lines[2], path + u": ошибок 1, предупреждений 1, замечаний 0"_s);
}

void TestOrbCheck::exitStatuses_data()
{
    QTest::addColumn<QList<RowTexts>>("rows");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("firstLine"); // the start of the first report line after the path

    const QList<RowTexts> note{{u"0"_s, u"0"_s, {}, u"y11,y20,y70"_s}};
    QTest::newRow("clean") << QList<RowTexts>{{u"0"_s, u"0"_s, {}, u"y70"_s}} << QStringList{}
                           << int(CheckClean) << u": ошибок 0"_s;
    QTest::newRow("note") << note << QStringList{} << int(CheckClean)
                          << u":1: note: unused-control-field: строка 1: управляющее поле y11"_s;
    QTest::newRow("note, strict") << note << QStringList{u"--strict"_s} << int(CheckWarnings)
                                  << u":1: note: unused-control-field"_s;
    QTest::newRow("warning") << QList<RowTexts>{{u"0"_s, u"0"_s, u"!b"_s, u"y70"_s}}
                             << QStringList{} << int(CheckWarnings)
                             << u":1: warning: never-row: строка 1: условие «!b»"_s;
    QTest::newRow("error") << QList<RowTexts>{{u"1"_s, u"1"_s, {}, u"y70"_s}} << QStringList{}
                           << int(CheckErrors) << u": error: no-start: "_s;
    QTest::newRow("wrong cell") << QList<RowTexts>{{u"0"_s, u"0"_s, u"x9"_s, u"y70"_s}}
                                << QStringList{} << int(CheckWrongCells)
                                << u":1: error: wrong-cell: строка 1, «Условия перехода»: «x9» — "
                                   u"нет такого условия"_s;
}

void TestOrbCheck::exitStatuses()
{
    QFETCH(QList<RowTexts>, rows);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, firstLine);
    const QString path = write(u"status.orb"_s, rows);
    const Outcome outcome = check(options + QStringList{path});
    QCOMPARE(outcome.status, status);
    QVERIFY2(outcome.out.startsWith(path + firstLine), qPrintable(outcome.out));
}

void TestOrbCheck::worstStatusOverDocuments()
{
    const QString clean = examples.first();
    const QString warning = write(u"warning.orb"_s, {{u"0"_s, u"0"_s, u"!b"_s, u"y70"_s}});
    const QString missing = dir.filePath(u"missing.orb"_s);
    const QString notDocument = dir.filePath(u"text.orb"_s);
    testutil::writeAll(notDocument, "hello\n");

    QCOMPARE(check({clean, warning}).status, int(CheckWarnings));
    const Outcome unreadable = check({clean, missing, warning, notDocument});
    QCOMPARE(unreadable.status, int(CheckUnreadable));
    // As orb-run says it, and nothing on standard output for those files.
    QCOMPARE(unreadable.err, u"orb-check: cannot read %1: No such file or directory\n"
                             u"orb-check: %2 is not an ORB document: it does not start with "
                             u"\"MKT\"\n"_s.arg(missing, notDocument));
    QVERIFY(!unreadable.out.contains(missing));

    // Usage errors.
    QCOMPARE(check({}).status, int(CheckUsage));
    QCOMPARE(check({u"--format"_s, u"xml"_s, clean}).status, int(CheckUsage));
    QCOMPARE(check({u"--dot"_s, u"-"_s, clean, warning}).status, int(CheckUsage));
    QCOMPARE(check({u"--no-such-option"_s, clean}).status, int(CheckUsage));
    QVERIFY(check({u"--help"_s}).out.contains(u"--strict"_s));
}

void TestOrbCheck::loaderNotices()
{
    // What the loader reinterpreted is a warning, in row order with the checks' findings.
    const QString path = dir.filePath(u"short.orb"_s);
    testutil::writeAll(path, "MKT2\n0\n0\n\ny11,y20,y70\n1\n1\n\n\n0102");
    const Outcome outcome = check({path});
    QCOMPARE(outcome.status, int(CheckWarnings));
    const QStringList lines = outcome.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[0].startsWith(path + u": warning: load-memory-short: память в файле короче "_s),
             qPrintable(lines[0]));
    QVERIFY(lines[1].startsWith(path + u":1: note: unused-control-field: "_s));
    QVERIFY(lines[2].startsWith(path + u":2: warning: unreachable-state: "_s));
}

void TestOrbCheck::jsonReportMatchesItsSchema()
{
    const QString wrong = write(u"wrong.orb"_s, {{u"0"_s, u"0"_s, u"x9"_s, u"y70"_s}});
    const QString findings = write(u"findings.orb"_s, {{u"0"_s, u"5"_s, u"z"_s, u"y20"_s},
                                                       {u"0"_s, u"1"_s, {}, u"y7"_s},
                                                       {u"3"_s, u"3"_s, {}, u"y70"_s}});
    const QString missing = dir.filePath(u"missing.orb"_s);
    const Outcome outcome =
        check({u"--format"_s, u"json"_s, examples.first(), wrong, findings, missing});
    QCOMPARE(outcome.status, int(CheckUnreadable));

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(outcome.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray documents = document[u"documents"_s].toArray();
    QCOMPARE(documents.size(), 4);
    QCOMPARE(document[u"status"_s].toInt(), int(CheckUnreadable));
    QCOMPARE(documents[1][u"outcome"_s].toString(), u"wrong-cells"_s);
    QCOMPARE(documents[3][u"outcome"_s].toString(), u"unreadable"_s);
    const QJsonObject counts = documents[2][u"counts"_s].toObject();
    QCOMPARE(counts[u"error"_s].toInt(), 3);   // no-success, missing-state 5 and 1
    QCOMPARE(counts[u"warning"_s].toInt(), 2); // ignored-signals, unreachable-state 3
    const QJsonArray list = documents[2][u"findings"_s].toArray();
    const auto found = std::find_if(list.begin(), list.end(), [](const QJsonValue &v) {
        return v[u"code"_s].toString() == u"missing-state";
    });
    QVERIFY(found != list.end());
    QCOMPARE((*found)[u"rows"_s].toArray(), QJsonArray{1});
    QCOMPARE((*found)[u"states"_s].toArray(), (QJsonArray{0, 5}));

    // The installed schema, checked by an independent validator (python3-jsonschema).
    const QString schema = QStringLiteral(ORB_SOURCE_DIR "/check/orb-check.schema.json");
    const QString report = dir.filePath(u"report.json"_s);
    testutil::writeAll(report, outcome.out.toUtf8());
    QCOMPARE(testutil::jsonSchemaErrors(schema, report), QString());

    // And the validator does reject a report that breaks the schema.
    QJsonObject broken = document.object();
    broken[u"status"_s] = 5;
    testutil::writeAll(report, QJsonDocument(broken).toJson());
    QVERIFY(!testutil::jsonSchemaErrors(schema, report).isEmpty());
}

void TestOrbCheck::dotRendersWithoutWarnings()
{
    // A graph with every kind of mark: start, unreachable, missing, a stop, a note.
    const QString path = write(u"graph.orb"_s, {{u"0"_s, u"4"_s, {}, u"y20"_s},
                                                {u"4"_s, u"0"_s, u"z"_s, u"y31,y60"_s},
                                                {u"4"_s, u"7"_s, u"-z"_s, u"y21"_s},
                                                {u"5"_s, u"5"_s, u"\"q\\"_s, u"y70"_s}});
    // (row 4's condition is wrong: a quote and a backslash must not break the DOT text)
    const Outcome wrong = check({u"--dot"_s, u"-"_s, path});
    QCOMPARE(wrong.status, int(CheckWrongCells));
    QCOMPARE(wrong.out, QString());

    const QString good = write(u"graph.orb"_s, {{u"0"_s, u"4"_s, {}, u"y20"_s},
                                                {u"4"_s, u"0"_s, u"z"_s, u"y31,y60"_s},
                                                {u"4"_s, u"7"_s, u"-z"_s, u"y21"_s},
                                                {u"5"_s, u"5"_s, {}, u"y70"_s}});
    const Outcome toOut = check({u"--dot"_s, u"-"_s, good});
    QCOMPARE(toOut.status, int(CheckErrors));
    QVERIFY(toOut.out.startsWith(u"digraph automaton {"_s));
    QVERIFY(toOut.err.contains(u"ignored-signals"_s)); // the report moved to standard error
    const QString dotPath = dir.filePath(u"graph.dot"_s);
    const Outcome toFile = check({u"--dot"_s, dotPath, good});
    QCOMPARE(toFile.status, int(CheckErrors));
    QCOMPARE(QString::fromUtf8(testutil::readAll(dotPath)), toOut.out);
    QVERIFY(toFile.out.contains(u"ignored-signals"_s));

    for (const QString &document : QStringList{good} + examples) {
        QVERIFY(check({u"--dot"_s, dotPath, document}).status <= CheckErrors);
        const QString dot = QStandardPaths::findExecutable(u"dot"_s);
        if (dot.isEmpty())
            QSKIP("Graphviz is not installed (make deps installs it)");
        const testutil::ProcessOutcome svg = testutil::runProcess(dot, {u"-Tsvg"_s, dotPath});
        QVERIFY2(svg.status == 0 && svg.err.isEmpty(), qPrintable(document + u": "_s + svg.err));
        QVERIFY(svg.out.contains(u"<svg"_s));
    }
}

void TestOrbCheck::unwritableOutput()
{
    const QString dot = dir.filePath(u"no-such-folder/graph.dot"_s);
    const Outcome outcome = check({u"--dot"_s, dot, examples.first()});
    QCOMPARE(outcome.status, int(CheckNotWritten));
    QVERIFY(outcome.err.startsWith(u"orb-check: cannot write "_s + dot));

#ifdef Q_OS_LINUX
    // A report that the system refuses: standard output on a full device.
    for (const QStringList &arguments : {QStringList{}, QStringList{u"--format"_s, u"json"_s}}) {
        QCOMPARE(testutil::runProcess(testutil::builtProgram(u"orb-check"_s),
                                      arguments + QStringList{examples.first()},
                                      {.outputFile = u"/dev/full"_s})
                     .status,
                 int(CheckNotWritten));
    }
#endif
}

QTEST_GUILESS_MAIN(TestOrbCheck)
#include "tst_orbcheck.moc"
