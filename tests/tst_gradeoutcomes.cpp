// SPDX-License-Identifier: GPL-3.0-or-later
//
// Grading that says what it did: nothing found is no success, gradescope's one file or folder,
// names that cannot forge a line or a formula, TAP that prove and tap-parser read, the reasons a
// file is no document in orb-run's words, totals that cannot overflow, the messages of y68 and
// y69 as expectations, and orb-check's texts.

#include "check/checker.h"
#include "grade/testfile.h"

#include "gradetestutil.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace orb;
using namespace testutil;
using namespace gradetest;
using namespace Qt::StringLiterals;

namespace {

// One row of signals in state 0, memory all 00.
QByteArray oneRow(const QByteArray &signalList)
{
    return "MKT1\n0\n0\n\n" + signalList + '\n' + QByteArray(512, '0');
}

const QByteArray sumTests = "case 25 + 17\n set M00=25 M01=17\n expect end=success M02=3C\n"
                            " points 2\n"
                            "case carry out\n set M00=FF M01=01\n expect M02=00\n";

// A text as a terminal would be fooled by it.
bool forges(const QString &text)
{
    static const QRegularExpression raw(u"[\\x00-\\x08\\x0b-\\x1f\\x7f\\x{202a}-\\x{202e}"
                                        u"\\x{2066}-\\x{2069}]"_s);
    return text.contains(raw);
}

QJsonObject jsonFile(const QString &path)
{
    return QJsonDocument::fromJson(readAll(path)).object();
}

} // namespace

class TestGradeOutcomes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        failOnAnyWarning();
        QVERIFY(dir_.isValid());
    }
    void init() { failOnAnyWarning(); }

    void nothingFoundIsNoSuccess_data();
    void nothingFoundIsNoSuccess();
    void gradescopePaths_data();
    void gradescopePaths();
    void namesCannotForgeOutput();
    void tapThatRealConsumersRead();
    void reasonsInOrbRunsWords_data();
    void reasonsInOrbRunsWords();
    void totalsCannotOverflow();
    void messagesAsExpectations_data();
    void messagesAsExpectations();
    void orbCheckWords_data();
    void orbCheckWords();

private:
    QTemporaryDir dir_;
    int folders_ = 0;
    // A fresh folder for one test row.
    QString folder()
    {
        const QString path = dir_.filePath(QString::number(++folders_));
        QDir().mkpath(path);
        return path;
    }
};

void TestGradeOutcomes::nothingFoundIsNoSuccess_data()
{
    // What the class folder holds: NAME=document, NAME@fifo, NAME->TARGET (a link).
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("skipped"); // "PATH: REASON", relative to the folder
    QTest::newRow("empty folder") << QStringList{} << 2 << QStringList{};
    QTest::newRow("only other files") << QStringList{u"notes.txt=doc"_s} << 2 << QStringList{};
    QTest::newRow("only a pipe") << QStringList{u"a.orb@fifo"_s} << 2
                                 << QStringList{u"a.orb: not a regular file"_s};
    QTest::newRow("only a link out") << QStringList{u"b.orb->../outside.orb"_s} << 2
                                     << QStringList{u"b.orb: a link out of the folder"_s};
    QTest::newRow("upper-case suffix")
        << QStringList{u"IVANOVA.ORB=doc"_s, u"x.Orb=doc"_s} << 0 << QStringList{};
    QTest::newRow("one graded, one skipped")
        << QStringList{u"ok.orb=doc"_s, u"sub/p.orb@fifo"_s} << 0
        << QStringList{u"sub/p.orb: not a regular file"_s};
}

void TestGradeOutcomes::nothingFoundIsNoSuccess()
{
    QFETCH(QStringList, entries);
    QFETCH(int, status);
    QFETCH(QStringList, skipped);
    const QString root = folder();
    writeFile(root + u"/outside.orb"_s, example(u"01-add-two-bytes.orb"_s));
    const QString tests = writeFile(root + u"/t.orbtest"_s, sumTests);
    const QString klass = root + u"/class"_s;
    QDir().mkpath(klass);
    for (const QString &entry : entries) {
        const QString name = entry.section(QRegularExpression(u"=|@|->"_s), 0, 0);
        const QString path = klass + u'/' + name;
        QDir().mkpath(QFileInfo(path).path());
        if (entry.contains(u"->"_s))
            QVERIFY(QFile::link(entry.section(u"->"_s, 1), path));
        else if (entry.endsWith(u"@fifo"_s))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            writeFile(path, example(u"01-add-two-bytes.orb"_s));
    }
    const QString report = root + u"/r.json"_s;
    const Outcome o = grade({u"--report"_s, u"json:"_s + report, tests, klass});
    QCOMPARE(o.status, status);
    QStringList expectedErr;
    QJsonArray expectedJson;
    for (const QString &line : skipped) {
        const QString path = klass + u'/' + line.section(u": "_s, 0, 0);
        const QString reason = line.section(u": "_s, 1);
        expectedErr << u"orb-grade: skipped %1: %2\n"_s.arg(path, reason);
        expectedJson.append(QJsonObject{{u"path"_s, path}, {u"reason"_s, reason}});
    }
    if (status == 2)
        expectedErr << u"orb-grade: nothing to grade: no .orb document was found\n"_s;
    QCOMPARE(o.err, expectedErr.join(QString()));
    QCOMPARE(jsonFile(report)[u"skipped"_s].toArray(), expectedJson);
    QCOMPARE(schemaErrors(report), QString());
}

void TestGradeOutcomes::gradescopePaths_data()
{
    QTest::addColumn<int>("documents");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("files"); // what the target folder holds afterwards
    QTest::addColumn<int>("score");         // of the one file; -1 for a folder
    QTest::addColumn<QString>("output");    // the start of its output
    QTest::newRow("one document, file")
        << 1 << u"results.json"_s << QStringList{} << 3 << u"Баллы: 3 из 3."_s;
    QTest::newRow("none, file") << 0 << u"results.json"_s << QStringList{} << 0
                                << u"Не найдено ни одного документа ORB"_s;
    QTest::newRow("two, file") << 2 << u"results.JSON"_s << QStringList{} << 0
                               << u"Найдено несколько документов ORB (2): s0.orb, s1.orb."_s;
    QTest::newRow("two, folder") << 2 << u"gs"_s << QStringList{u"s0.json"_s, u"s1.json"_s} << -1
                                 << QString();
    QTest::newRow("one, folder") << 1 << u"gs"_s << QStringList{u"s0.json"_s} << -1 << QString();
    QTest::newRow("none, folder") << 0 << u"gs"_s << QStringList{} << -1 << QString();
}

void TestGradeOutcomes::gradescopePaths()
{
    QFETCH(int, documents);
    QFETCH(QString, target);
    QFETCH(QStringList, files);
    QFETCH(int, score);
    QFETCH(QString, output);
    const QString root = folder();
    const QString tests = writeFile(root + u"/t.orbtest"_s, sumTests);
    QDir().mkpath(root + u"/class"_s);
    for (int i = 0; i < documents; ++i)
        writeFile(root + u"/class/s%1.orb"_s.arg(i), example(u"01-add-two-bytes.orb"_s));
    // An earlier run's file must not survive in the folder.
    writeFile(root + u"/gs/stale.json"_s, "{}");
    const QString path = root + u'/' + target;
    const Outcome o = grade({u"--report"_s, u"gradescope:"_s + path, tests, root + u"/class"_s});
    QCOMPARE(o.status, documents == 0 ? 2 : 0);
    if (score < 0) {
        QCOMPARE(QDir(path).entryList(QDir::Files), files);
        // Nothing is left beside it either.
        QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{u"class"_s, u"gs"_s, u"t.orbtest"_s}));
        return;
    }
    const QJsonObject result = jsonFile(path);
    QCOMPARE(result[u"score"_s].toInt(), score);
    // Gradescope's results have no top-level max_score: the tests' scores add up to it.
    int maxScore = 0;
    for (const QJsonValue &t : result[u"tests"_s].toArray())
        maxScore += t[u"max_score"_s].toInt();
    QCOMPARE(maxScore, 3);
    QVERIFY2(result[u"output"_s].toString().startsWith(output),
             qPrintable(result[u"output"_s].toString()));
}

void TestGradeOutcomes::namesCannotForgeOutput()
{
    // File and case names with an escape sequence, a CR, a right-to-left override, and CSV
    // cells that a spreadsheet would run as formulas.
    const QString root = folder();
    const QString klass = root + u"/class"_s;
    writeFile(klass + u"/evil\x1b[31m\r\u202Egpj.orb"_s, example(u"01-add-two-bytes.orb"_s));
    writeFile(klass + u"/=HYPERLINK(\"x\").orb"_s, oneRow("y70"));
    writeFile(klass + u"/-2+3.orb"_s, "not a document");
    const QString tests = writeFile(root + u"/t.orbtest"_s,
                                    "case \x1b[2Jclear\u202E\n set M00=25 M01=17\n expect M02=3C\n"
                                    "case @sum\n set M00=FF M01=01\n expect M02=00\n"_ba);
    const Outcome o = grade({u"--report"_s, u"csv:"_s + root + u"/r.csv"_s, u"--report"_s,
                             u"tap:"_s + root + u"/r.tap"_s, u"--report"_s,
                             u"junit:"_s + root + u"/r.xml"_s, tests, klass});
    QCOMPARE(o.status, 1);
    QVERIFY2(!forges(o.out), qPrintable(o.out));
    QVERIFY2(o.out.contains(u"evil\\x1b[31m\\r\\u202egpj.orb"_s), qPrintable(o.out));
    for (const QString &report : {u"r.tap"_s, u"r.xml"_s, u"r.csv"_s}) {
        QString text = QString::fromUtf8(readAll(root + u'/' + report));
        if (report == u"r.csv"_s)
            text.replace(u"\r\n"_s, u"\n"_s);
        QVERIFY2(!forges(text), qPrintable(report + u": "_s + text));
        QVERIFY2(text.contains(u"x1b[2Jclear"_s), qPrintable(report));
    }
    const QStringList csv = QString::fromUtf8(readAll(root + u"/r.csv"_s).mid(3)).split(u"\r\n"_s);
    QVERIFY2(csv[0].contains(u",'@sum,"_s), qPrintable(csv[0]));
    QVERIFY2(csv[1].startsWith(u"'-2+3.orb,0,2,"_s), qPrintable(csv[1]));
    QVERIFY2(csv[2].startsWith(u"\"'=HYPERLINK(\"\"x\"\").orb\",1,2,"_s), qPrintable(csv[2]));

    // orb-run --tests prints the same names escaped.
    const Outcome verdicts =
        clitest::runInProcess(runTestsCommandLine, u"orb-run"_s,
                              {u"--tests"_s, tests, klass + u"/=HYPERLINK(\"x\").orb"_s});
    QCOMPARE(verdicts.status, 5);
    QVERIFY2(!forges(verdicts.out), qPrintable(verdicts.out));
    QVERIFY(verdicts.out.startsWith(u"case \\x1b[2Jclear\\u202e: wrong"_s));
}

void TestGradeOutcomes::tapThatRealConsumersRead()
{
    // The class of the test above, with a failing case whose messages hold ": " and quotes.
    const QString root = folder();
    const QString klass = root + u"/class"_s;
    writeFile(klass + u"/a: b \"q\" #1 \\.orb"_s, example(u"01-add-two-bytes.orb"_s));
    writeFile(klass + u"/evil\x1b[31m\r\u202E.orb"_s, oneRow("y70"));
    writeFile(klass + u"/empty.orb"_s, "");
    const QString tests = writeFile(root + u"/t.orbtest"_s, sumTests);
    const QString tap = root + u"/r.tap"_s;
    QCOMPARE(grade({u"--report"_s, u"tap:"_s + tap, tests, klass}).status, 1);

    // Perl's prove (TAP::Parser): three tests, two failed, no parse error.
    const ProcessOutcome prove = runProcess(u"prove"_s, {u"--exec"_s, u"cat"_s, tap});
    QVERIFY2(prove.finished, "prove (Debian's perl) did not run");
    QCOMPARE(prove.status, 1);
    QVERIFY2(prove.out.contains(u"Tests: 3 Failed: 2)"_s) && !prove.out.contains(u"Parse errors"_s),
             qPrintable(prove.out));

    // npm's tap-parser, strict: the same, with the YAML read back.
    const ProcessOutcome node = runProcess(
        u"node"_s, {QStringLiteral(ORB_SOURCE_DIR "/tools/tap/summary.mjs")}, {.inputFile = tap});
    QVERIFY2(node.status == 0 && !node.out.isEmpty(),
             qPrintable(node.err + u"\n(make deps installs tap-parser into tools/tap)"_s));
    const QJsonObject summary = QJsonDocument::fromJson(node.out.toUtf8()).object();
    QCOMPARE(summary[u"errors"_s].toArray(), QJsonArray());
    QCOMPARE(summary[u"count"_s].toInt(), 3);
    QCOMPARE(summary[u"fail"_s].toInt(), 2);
    const QJsonArray points = summary[u"points"_s].toArray();
    QCOMPARE(points[0][u"name"_s].toString(), u"a: b \"q\" #1 \\.orb # points 3/3"_s);
    QCOMPARE(points[2][u"name"_s].toString(), u"evil\\x1b[31m\\r\\u202e.orb # points 1/3"_s);
    const QJsonObject diag = points[2][u"subtest"_s][0][u"diag"_s].toObject();
    QCOMPARE(diag[u"status"_s].toString(), u"wrong"_s);
    QCOMPARE(diag[u"messages"_s].toString(), u"M02: expected 3C, got 00\n"_s);
    QCOMPARE(points[1][u"subtest"_s][0][u"diag"_s][u"messages"_s].toString(),
             u"%1/empty.orb is not an ORB document: the file is empty\n"_s.arg(klass));
}

void TestGradeOutcomes::reasonsInOrbRunsWords_data()
{
    QTest::addColumn<QByteArray>("bytes"); // "fifo" makes a pipe
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFMKT1\n");
    QTest::newRow("over 1 MiB") << QByteArray(1024 * 1024 + 1, '0');
    QTest::newRow("no MKT") << QByteArray("hello\n");
    QTest::newRow("pipe") << QByteArray("fifo");
}

void TestGradeOutcomes::reasonsInOrbRunsWords()
{
    QFETCH(QByteArray, bytes);
    const QString root = folder();
    const QString path = root + u"/s.orb"_s;
    if (bytes == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        writeFile(path, bytes);
    const Outcome run = clitest::runInProcess(runCommandLine, u"orb-run"_s, {path});
    QCOMPARE(run.status, 4);
    const QString reason = run.err.mid(QStringLiteral("orb-run: ").size()).trimmed();
    const QString report = root + u"/r.json"_s;
    const Outcome o = grade(
        {u"--report"_s, u"json:"_s + report, writeFile(root + u"/t.orbtest"_s, sumTests), path});
    QCOMPARE(o.status, 1);
    QVERIFY2(o.out.contains(reason), qPrintable(o.out + u" lacks "_s + reason));
    const QJsonObject submission = jsonFile(report)[u"submissions"_s][0].toObject();
    QCOMPARE(submission[u"readError"_s].toString(), reason);
    QCOMPARE(submission[u"firstProblem"_s].toString(), reason);
}

void TestGradeOutcomes::totalsCannotOverflow()
{
    // 3,000 cases of a million points would total 3·10⁹: more than the reports' integers hold.
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "case c" + QByteArray::number(i) + "\n points 1000000\n expect end=success\n";
    QString error;
    QVERIFY(!parseTestFile(text, u"t.orbtest"_s, &error));
    QCOMPARE(error, u"t.orbtest:3001: the points of the cases up to this one add up to "
                    u"1001000000, more than the 1000000000 a file may give"_s);
    // A thousand of them is the most a file may give.
    text.truncate(text.indexOf("case c1000\n"));
    const std::optional<TestFile> file = parseTestFile(text, u"t.orbtest"_s, &error);
    QVERIFY2(file, qPrintable(error));
    QCOMPARE(file->maxPoints(), 1000000000);
}

void TestGradeOutcomes::messagesAsExpectations_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QByteArray>("testCase");
    QTest::addColumn<QString>("verdict");
    const QByteArray overflow = example(u"06-signed-add-overflow.orb"_s);
    QTest::newRow("overflow shown")
        << overflow << "messages overflow\n"_ba << u"passed, 11 steps"_s;
    QTest::newRow("overflow not expected")
        << overflow << "messages\n"_ba
        << u"wrong, 11 steps; messages: expected none, got overflow"_s;
    QTest::newRow("no overflow with other data")
        << overflow << "set M01=05\nmessages\nexpect M02=75\n"_ba << u"passed, 15 steps"_s;
    QTest::newRow("opcode error") << oneRow("y69,y70") << "messages opcode-error\n"_ba
                                  << u"passed, 3 steps"_s;
    QTest::newRow("order matters")
        << oneRow("y69,y70") << "messages overflow opcode-error\n"_ba
        << u"wrong, 3 steps; messages: expected overflow opcode-error, got opcode-error"_s;
    // The fault of old: a y70 alone passed a case about a wrong operation code.
    QTest::newRow("y70 alone") << oneRow("y70") << "messages opcode-error\nexpect end=success\n"_ba
                               << u"wrong, 2 steps; messages: expected opcode-error, got none"_s;
    QTest::newRow("unknown word")
        << oneRow("y70") << "messages overflo\n"_ba
        << u"t.orbtest:2: messages takes overflow and opcode-error, not \"overflo\""_s;
}

void TestGradeOutcomes::messagesAsExpectations()
{
    QFETCH(QByteArray, document);
    QFETCH(QByteArray, testCase);
    QFETCH(QString, verdict);
    const QString root = folder();
    const QString tests = writeFile(root + u"/t.orbtest"_s, "case m\n" + testCase);
    const Outcome o =
        clitest::runInProcess(runTestsCommandLine, u"orb-run"_s,
                              {u"--tests"_s, tests, writeFile(root + u"/d.orb"_s, document)});
    if (verdict.startsWith(u"t.orbtest"_s)) {
        QCOMPARE(o.status, 64);
        QVERIFY2(o.err.contains(verdict.mid(9)), qPrintable(o.err));
        return;
    }
    QCOMPARE(o.out, u"case m: "_s + verdict + u'\n');
    QCOMPARE(o.status, verdict.startsWith(u"passed"_s) ? 0 : 5);
}

void TestGradeOutcomes::orbCheckWords_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("codes");
    const QByteArray lf = example(u"01-add-two-bytes.orb"_s);
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    QTest::newRow("CR LF") << crlf << QStringList{};
    // As a line-by-line conversion writes it: the last line gets its CR too.
    QTest::newRow("CR LF to the end") << crlf + "\r" << QStringList{};
    QTest::newRow("LF with a last line end") << lf + "\n" << QStringList{};
    QTest::newRow("memory short") << lf.left(lf.size() - 100)
                                  << QStringList{u"load-memory-short"_s};
    QTest::newRow("memory long") << lf + "00" << QStringList{u"load-memory-long"_s};
    QTest::newRow("looks like UTF-8")
        << "MKT1\n0\n0\n\ny70\n" + QByteArray(510, '0') + "Ж"
        << QStringList{u"load-memory-not-hex"_s, u"load-looks-like-utf8"_s};
}

void TestGradeOutcomes::orbCheckWords()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, codes);
    const QString path = writeFile(folder() + u"/d.orb"_s, document);
    const DocumentCheck check = checkDocument(path);
    QStringList found;
    for (const Finding &finding : check.findings) {
        if (finding.code.startsWith(u"load-"_s))
            found << finding.code;
        // Russian throughout: no English word in a Russian text (the names of encodings and
        // signals aside).
        static const QRegularExpression english(u"\\b(?!UTF\\b|Windows\\b)[A-Za-z]{2,}\\b"_s);
        QVERIFY2(!finding.message.contains(english), qPrintable(finding.message));
    }
    found.sort();
    codes.sort();
    QCOMPARE(found, codes);
}

QTEST_GUILESS_MAIN(TestGradeOutcomes)
#include "tst_gradeoutcomes.moc"
