// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run's command line: options and usage errors, exit statuses, standard input, the
// built program, the steps other programs reuse, and the documentation of all of it.

#include "orbrunfixture.h"

using namespace orbruntest;

class TestOrbRun final : public OrbRunTest {
    Q_OBJECT

private slots:
    void exitStatus_data();
    void exitStatus();
    void usageErrors_data();
    void usageErrors();
    void optionParsing_data();
    void optionParsing();
    void documentFromStandardInput();
    void executable_data();
    void executable();
    void stepsReusableByOtherPrograms();
    void documentationAgrees();
};

void TestOrbRun::exitStatus_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("steps");

    QTest::newRow("stopped by y70") << documentText({y70Row}) << QStringList{} << 0
                                    << u"Успешное завершение программы"_s << u"steps=2"_s;
    QTest::newRow("no row for the next state")
        << documentText({u"0|5||y20"_s}) << QStringList{} << 1
        << u"Не описан переход из состояния  5"_s << u"steps=2"_s;
    QTest::newRow("no row whose condition holds")
        << documentText({u"0|1|-z|y20"_s, u"1|1||y70"_s}) << QStringList{} << 1
        << u"Не описан переход из состояния  0  при данных условиях"_s << u"steps=2"_s;
    QTest::newRow("no row for state 0") << documentText({u"1|0||y70"_s}) << QStringList{} << 1
                                        << u"Не описан переход из состояния  0"_s << u"steps=1"_s;
    QTest::newRow("endless loop, default limit")
        << documentText({u"0|0||y20"_s}) << QStringList{} << 2
        << u"Перемотка остановлена: счётчик тактов превысил 999"_s << u"steps=1000"_s;
    QTest::newRow("endless loop, --max-steps 10")
        << documentText({u"0|0||y20"_s}) << QStringList{u"--max-steps"_s, u"10"_s} << 2
        << u"Перемотка остановлена: счётчик тактов превысил 10"_s << u"steps=11"_s;
    QTest::newRow("loop without microoperations")
        << documentText({u"0|0||y7"_s}) << QStringList{u"--max-steps"_s, u"5"_s} << 2
        << u"Перемотка остановлена: счётчик тактов превысил 5"_s << u"steps=6"_s;
    // The limit is checked before each press, as the run to the end does: the press that would
    // show the end screen is not made once the counter has passed it.
    QTest::newRow("y70 past the limit")
        << documentText({y70Row}) << QStringList{u"--max-steps"_s, u"1"_s} << 2
        << u"Перемотка остановлена: счётчик тактов превысил 1"_s << u"steps=2"_s;
    QTest::newRow("y70 at the limit")
        << documentText({y70Row}) << QStringList{u"--max-steps"_s, u"2"_s} << 0
        << u"Успешное завершение программы"_s << u"steps=2"_s;
    QTest::newRow("largest limit")
        << documentText({y70Row}) << QStringList{u"--max-steps"_s, u"100000000"_s} << 0
        << u"Успешное завершение программы"_s << u"steps=2"_s;
    QTest::newRow("a watch on a register's value")
        << documentText({u"0|0||y31"_s}) << QStringList{u"--watch"_s, u"a=03"_s} << 7
        << u"Остановлено наблюдением: A = 03"_s << u"steps=4"_s;
    QTest::newRow("a watch on a memory byte, the first given named")
        << documentText({u"0|0||y31,y42,y60"_s})
        << QStringList{u"--watch"_s, u"M02"_s, u"--watch"_s, u"X1"_s, u"--watch=A"_s} << 7
        << u"Остановлено наблюдением: запись в M02: 00 → 01"_s << u"steps=4"_s;
    QTest::newRow("a watch never met: the end")
        << documentText({y70Row}) << QStringList{u"--watch"_s, u"C=1"_s} << 0
        << u"Успешное завершение программы"_s << u"steps=2"_s;
    QTest::newRow("not a document: magic in lower case")
        << QByteArray("mkt1\n\n\n\n\n") << QStringList{} << 4 << QString() << QString();
    QTest::newRow("not a document: empty")
        << QByteArray() << QStringList{} << 4 << QString() << QString();
    QTest::newRow("not a document: binary") << QByteArray("\x7f"
                                                          "ELF\x02\x01\x01\x00",
                                                          8)
                                            << QStringList{} << 4 << QString() << QString();
    QTest::newRow("not a document: over 1 MiB")
        << documentText({y70Row}) + QByteArray(1024 * 1024, '0') << QStringList{} << 4 << QString()
        << QString();
}

void TestOrbRun::exitStatus()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, firstLine);
    QFETCH(QString, steps);

    const QString path = writeFile(dir, u"status.orb"_s, document);
    const Outcome outcome = runInProcess(arguments << path);
    QCOMPARE(outcome.status, status);
    if (status == RunUnreadable) {
        QVERIFY(outcome.out.isEmpty());
        QVERIFY2(outcome.err.startsWith(u"orb-run: %1 is not an ORB document: "_s.arg(path)),
                 qPrintable(outcome.err));
        QCOMPARE(outcome.errLines().size(), 1);
        return;
    }
    QVERIFY2(outcome.err.isEmpty(), qPrintable(outcome.err));
    const QStringList lines = outcome.outLines();
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], firstLine);
    QCOMPARE(lines[1], steps);
}

void TestOrbRun::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString doc = u"DOC"_s;
    QTest::newRow("no document") << QStringList{} << u"no document given"_s;
    QTest::newRow("two documents") << QStringList{doc, doc} << u"one document at a time; got 2"_s;
    QTest::newRow("unknown option") << QStringList{u"--fast"_s, doc} << u"Unknown option 'fast'."_s;
    QTest::newRow("option without its value")
        << QStringList{doc, u"--input"_s} << u"Missing value after '--input'."_s;
    QTest::newRow("--input of three digits")
        << QStringList{u"--input"_s, u"123"_s, doc}
        << u"--input takes one or two hexadecimal digits, not \"123\""_s;
    QTest::newRow("--input not hexadecimal")
        << QStringList{u"--input"_s, u"0g"_s, doc}
        << u"--input takes one or two hexadecimal digits, not \"0g\""_s;
    QTest::newRow("--input empty") << QStringList{u"--input="_s, doc}
                                   << u"--input takes one or two hexadecimal digits, not \"\""_s;
    QTest::newRow("--input with a sign")
        << QStringList{u"--input"_s, u"+5"_s, doc}
        << u"--input takes one or two hexadecimal digits, not \"+5\""_s;
    QTest::newRow("--max-steps 0")
        << QStringList{u"--max-steps"_s, u"0"_s, doc}
        << u"--max-steps takes a number from 1 to 100000000, not \"0\""_s;
    QTest::newRow("--max-steps too large")
        << QStringList{u"--max-steps"_s, u"100000001"_s, doc}
        << u"--max-steps takes a number from 1 to 100000000, not \"100000001\""_s;
    QTest::newRow("--max-steps negative")
        << QStringList{u"--max-steps=-5"_s, doc}
        << u"--max-steps takes a number from 1 to 100000000, not \"-5\""_s;
    QTest::newRow("--max-steps not a number")
        << QStringList{u"--max-steps"_s, u"many"_s, doc}
        << u"--max-steps takes a number from 1 to 100000000, not \"many\""_s;
    QTest::newRow("--watch of no register")
        << QStringList{u"--watch"_s, u"Q7"_s, doc}
        << u"--watch \"Q7\": not a register (A, RON3, PC), a flag (Z, X1) or a memory byte (M00 "
           u"to MFF)"_s;
    QTest::newRow("--watch of a flag = 2") << QStringList{u"--watch"_s, u"z=2"_s, doc}
                                           << u"--watch \"z=2\": a flag's value must be 0 or 1"_s;
    QTest::newRow("expectations file missing")
        << QStringList{u"--expect"_s, u"/nonexistent/expect.txt"_s, doc}
        << u"cannot read the expectations file /nonexistent/expect.txt: No such file or directory"_s;
}

void TestOrbRun::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    // Usage is judged before the document is read: DOC names a valid document.
    const QString path = writeFile(dir, u"usage.orb"_s, documentText({y70Row}));
    arguments.replaceInStrings(u"DOC"_s, path);
    const Outcome outcome = runInProcess(arguments);
    QCOMPARE(outcome.status, int(RunUsage));
    QVERIFY(outcome.out.isEmpty());
    QCOMPARE(outcome.errLines(), QStringList({u"orb-run: "_s + message,
                                              u"Try 'orb-run --help' for more information."_s}));
}

void TestOrbRun::optionParsing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("firstErrorLine");

    QTest::newRow("single dash word") << QStringList{u"-33-gus.orb"_s} << int(RunUsage)
                                      << u"orb-run: Unknown option '33-gus.orb'."_s;
    QTest::newRow("after --") << QStringList{u"--"_s, u"-33-gus.orb"_s} << int(RunUnreadable)
                              << u"orb-run: cannot read -33-gus.orb: No such file or directory"_s;
    QTest::newRow("value taken for the document")
        << QStringList{u"--max-steps"_s, u"doc.orb"_s} << int(RunUsage)
        << u"orb-run: --max-steps takes a number from 1 to 100000000, not \"doc.orb\""_s;
    QTest::newRow("--max-steps blank before")
        << QStringList{u"--max-steps"_s, u" 10"_s, u"DOC"_s} << int(RunUsage)
        << u"orb-run: --max-steps takes a number from 1 to 100000000, not \" 10\""_s;
    QTest::newRow("--max-steps blank after")
        << QStringList{u"--max-steps=10 "_s, u"DOC"_s} << int(RunUsage)
        << u"orb-run: --max-steps takes a number from 1 to 100000000, not \"10 \""_s;
    QTest::newRow("--max-steps plus")
        << QStringList{u"--max-steps=+10"_s, u"DOC"_s} << int(RunUsage)
        << u"orb-run: --max-steps takes a number from 1 to "
           u"100000000, not \"+10\""_s;
    QTest::newRow("--input blank") << QStringList{u"--input"_s, u" 1"_s, u"DOC"_s} << int(RunUsage)
                                   << u"orb-run: --input takes one or two hexadecimal digits, not "
                                      u"\" 1\""_s;
    QTest::newRow("--max-steps twice")
        << QStringList{u"--max-steps"_s, u"5"_s, u"--max-steps"_s, u"6"_s, u"DOC"_s}
        << int(RunUsage) << u"orb-run: --max-steps is given more than once"_s;
    QTest::newRow("--expect twice")
        << QStringList{u"--expect=a"_s, u"--expect=b"_s, u"DOC"_s} << int(RunUsage)
        << u"orb-run: --expect is given more than once"_s;
    QTest::newRow("--expect empty") << QStringList{u"--expect="_s, u"DOC"_s} << int(RunUsage)
                                    << u"orb-run: --expect needs a file name"_s;
    QTest::newRow("empty document name") << QStringList{QString()} << int(RunUsage)
                                         << u"orb-run: the document's file name is empty"_s;
    QTest::newRow("--input repeats")
        << QStringList{u"--input=1"_s, u"--input=2"_s, u"DOC"_s} << int(RunSucceeded)
        << u"orb-run: warning: 2 of the 2 "
           u"--input bytes were not used"_s;
    QTest::newRow("-h") << QStringList{u"-h"_s} << int(RunSucceeded) << QString();
    QTest::newRow("-v") << QStringList{u"-v"_s} << int(RunSucceeded) << QString();
}

void TestOrbRun::optionParsing()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, firstErrorLine);
    arguments.replaceInStrings(u"DOC"_s, writeFile(dir, u"options.orb"_s, documentText({y70Row})));
    const Outcome outcome = runInProcess(arguments);
    QCOMPARE(outcome.status, status);
    QCOMPARE(outcome.errLines().value(0), firstErrorLine);
}

void TestOrbRun::documentFromStandardInput()
{
    const QByteArray document = documentText({u"0|0||y67,y70"_s}, {0});
    const Outcome outcome = runWithInput({u"-"_s}, document);
    QCOMPARE(outcome.status, int(RunSucceeded));
    QVERIFY(outcome.out.startsWith(u"Успешное завершение программы\n"_s));
    const Outcome notADocument = runWithInput({u"-"_s}, "hello");
    QCOMPARE(notADocument.err,
             u"orb-run: standard input is not an ORB document: it does not start with \"MKT\"\n"_s);
    QCOMPARE(runWithInput({u"-"_s}, QByteArray()).status, int(RunUnreadable));

    QProcess process;
    process.start(QStringLiteral(ORB_BINARY_DIR "/orb-run"), {u"--trace"_s, u"-"_s});
    QVERIFY(process.waitForStarted(30000));
    process.write(document);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), int(RunSucceeded));
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), QString());
    const QStringList lines =
        QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(parseLine(lines.last()).value(u"end"_s).toString(),
             u"Успешное завершение программы"_s);
}

void TestOrbRun::executable_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outStart");
    QTest::addColumn<QString>("err");

    QTest::newRow("example with --expect")
        << QStringList{u"--expect"_s, u"EXPECT"_s,
                       QStringLiteral(ORB_SOURCE_DIR "/examples/01-add-two-bytes.orb")}
        << 0 << u"Успешное завершение программы\nsteps=15\n"_s << QString();
    QTest::newRow("trace")
        << QStringList{u"--trace"_s, QStringLiteral(ORB_TEST_DATA "/crlf.orb")} << 0
        << u"{\"step\":2,\"row\":1,\"source\":0,\"next\":\"1\",\"signals\":\"y20\","_s << QString();
    QTest::newRow("wrong cells") << QStringList{QStringLiteral(ORB_TEST_DATA "/wrong-cells.orb")}
                                 << 3 << QString() << shippedWrongCells();
    QTest::newRow("missing file")
        << QStringList{u"/nonexistent/x.orb"_s} << 4 << QString()
        << u"orb-run: cannot read /nonexistent/x.orb: No such file or directory\n"_s;
    QTest::newRow("folder") << QStringList{QStringLiteral(ORB_TEST_DATA)} << 4 << QString()
                            << u"orb-run: cannot read " ORB_TEST_DATA ": is a folder\n"_s;
    QTest::newRow("usage") << QStringList{u"--max-steps"_s, u"0"_s, u"x.orb"_s} << 64 << QString()
                           << u"orb-run: --max-steps takes a number from 1 to 100000000, not "
                              u"\"0\"\nTry 'orb-run --help' for more information.\n"_s;
    QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"orb-run 1.1.0\n"_s
                             << QString();
    QTest::newRow("help")
        << QStringList{u"--help"_s} << 0
        << u"Usage: orb-run [--input HEX]... [--max-steps N] [--trace] "
           u"[--memory] [--expect FILE] [--break ROW]... [--watch NAME[=VALUE]]... "
           u"[--] DOCUMENT.orb|-\n"
           u"       orb-run --tests FILE [--case NAME] [--] DOCUMENT.orb\n"_s
        << QString();
}

void TestOrbRun::executable()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, outStart);
    QFETCH(QString, err);

    arguments.replaceInStrings(u"EXPECT"_s,
                               writeFile(dir, u"exe-expect.txt"_s, "end=success\nM02=3C\n"));
    const testutil::ProcessOutcome run =
        testutil::runProcess(testutil::builtProgram(u"orb-run"_s), arguments, {.seconds = 30});
    const QString &out = run.out;
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, status);
    QVERIFY2(out.startsWith(outStart), qPrintable(out));
    if (outStart.isEmpty())
        QVERIFY(out.isEmpty());
    if (arguments.contains(u"--expect"_s))
        QVERIFY(out.endsWith(u"\nOK\nresult: ok; end: success\n"_s));
    if (arguments.contains(u"--trace"_s)) {
        for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts))
            QVERIFY(!parseLine(line).isEmpty());
    }
}

void TestOrbRun::stepsReusableByOtherPrograms()
{
    // Another program chains the same steps: options, open, run, report.
    const QString path = writeFile(dir, u"steps.orb"_s, documentText({u"0|0||y43,y70"_s}, {0x21}));
    CommandLine command = parseCommandLine({u"orb-grade"_s, u"--max-steps=50"_s, path});
    QCOMPARE(command.action, CommandLine::Action::Run);
    QCOMPARE(command.options.maxSteps, 50);
    OpenOutcome opened = openDocumentPath(command.options.documentPath, nullptr);
    QCOMPARE(opened.status(), RunSucceeded);
    const RunResult result = runOpenedDocument(*opened.document, command.options);
    QCOMPARE(result.end, RunSucceeded);
    QCOMPARE(result.steps, 3);
    QCOMPARE(registerValue(result.processor, int(registerNames().indexOf(u"A"_s))), 0);

    QBuffer outDevice;
    QBuffer errDevice;
    outDevice.open(QIODevice::WriteOnly);
    errDevice.open(QIODevice::WriteOnly);
    {
        OutputSink out(outDevice);
        OutputSink err(errDevice, &out);
        QCOMPARE(reportRun(result, *opened.document, command.options, out, err), 0);
    }
    QVERIFY(outDevice.data().startsWith("Успешное завершение программы\nsteps=3\n"));

    QCOMPARE(parseCommandLine({u"orb-run"_s}).action, CommandLine::Action::Usage);
    QCOMPARE(openDocumentPath(dir.filePath(u"none.orb"_s), nullptr).status(), RunUnreadable);
}

void TestOrbRun::documentationAgrees()
{
    // --help, the manual page and the README list the same exit statuses and describe the
    // same message for a failed output, standard input and the end of the options.
    const Outcome help = runInProcess({u"--help"_s});
    const QString manual =
        QString::fromUtf8(testutil::readAll(QStringLiteral(ORB_SOURCE_DIR "/packaging/"
                                                                          "orb-run.1.in")));
    const QString readme =
        QString::fromUtf8(testutil::readAll(QStringLiteral(ORB_SOURCE_DIR "/README.md")));
    const QString manualStatuses = manual.mid(manual.indexOf(u".SH EXIT STATUS"_s));
    const QString readmeTable = readme.mid(readme.indexOf(u"| orb-run | "_s));
    const QString helpStatuses = help.out.mid(help.out.indexOf(u"Exit status:"_s));
    for (const int status : {0, 1, 2, 3, 4, 5, 6, 7, 64}) {
        const QString number = QString::number(status);
        QVERIFY2(manualStatuses.contains(u".B "_s + number + u'\n'), qPrintable(number));
        QVERIFY2(QRegularExpression(u"(^|[ \\n])"_s + number + u" [a-z-]"_s)
                     .match(helpStatuses)
                     .hasMatch(),
                 qPrintable(number));
    }
    QCOMPARE(readmeTable.left(readmeTable.indexOf(u'\n')).count(u'|'), 11);
    for (const QString &text : {manual, readme})
        QVERIFY(QString(text)
                    .replace(u'\n', u' ')
                    .contains(u"cannot write the output: No space left"_s));
    QVERIFY(help.out.contains(u"[--] DOCUMENT.orb|-"_s));
    // Every option the program takes is in the usage lines, the option list and the manual.
    const QString usage = help.out.left(help.out.indexOf(u"\n\n"_s));
    for (const QString &option :
         {u"--break ROW"_s, u"--watch NAME[=VALUE]"_s, u"--tests FILE"_s, u"--case NAME"_s}) {
        QVERIFY2(usage.contains(option), qPrintable(option));
        const QString name = option.section(u' ', 0, 0);
        const QString value = option.section(u' ', 1);
        QVERIFY2(QRegularExpression(u"\\n +"_s + QRegularExpression::escape(name) + u" <"_s +
                                    QRegularExpression::escape(value) + u">"_s)
                     .match(help.out)
                     .hasMatch(),
                 qPrintable(option));
        QString manualName = name;
        manualName.replace(u"-"_s, u"\\-"_s);
        QVERIFY2(manual.contains(u".BI "_s + manualName + u" \" "_s + value), qPrintable(option));
        QVERIFY2(manual.left(manual.indexOf(u".SH DESCRIPTION"_s)).contains(manualName),
                 qPrintable(option));
    }
    QVERIFY(manual.contains(u"end=break"_s));
    QVERIFY(help.out.contains(u"- for standard input"_s));
    QVERIFY(readme.contains(u"[--] DOCUMENT.orb|-"_s));
    QVERIFY(manual.contains(u".RB [ \\-\\- ]"_s));
    QVERIFY(manual.contains(u"result: mismatch; end: limit"_s));
    QVERIFY(readme.contains(u"result: mismatch; end:"_s));
}

QTEST_GUILESS_MAIN(TestOrbRun)
#include "tst_orbrun.moc"
