// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run on documents and outputs that go wrong: wrong and cut cells, unreadable files,
// loader warnings, control characters in names and texts, and writes that fail.

#include "orbrunfixture.h"

using namespace orbruntest;

class TestOrbRunFiles final : public OrbRunTest {
    Q_OBJECT

private slots:
    void wrongCellsAreListed();
    void unreadableDocumentsSayWhy_data();
    void unreadableDocumentsSayWhy();
    void cutCellsSaySo();
    void loaderWarnings_data();
    void loaderWarnings();
    void controlCharactersAreEscaped();
    void standardErrorNeverSplitsALine();
    void failedWritesEndTheRun_data();
    void failedWritesEndTheRun();
    void failedWritesOfTheProcess();
};

void TestOrbRunFiles::wrongCellsAreListed()
{
    // The editor's Open marks these cells red; orb-run lists the same ones and runs nothing.
    const Outcome shipped = runInProcess({QStringLiteral(ORB_TEST_DATA "/wrong-cells.orb")});
    QCOMPARE(shipped.status, int(RunWrongCells));
    QVERIFY(shipped.out.isEmpty());
    QCOMPARE(shipped.errLines(), shippedWrongCells().split(u'\n', Qt::SkipEmptyParts));

    // A state is required only in a row with something in it; a correct cell is normalised and
    // an empty row is fine. Signals that are all dropped leave a lone state, which the editor
    // opens unmarked but judges wrong at the launch, as its saved document opens.
    const QString path = writeFile(dir, u"wrong.orb"_s,
                                   documentText({u"0|1|C, -X1|Y10, y6"_s, u"|||"_s, u"||z|"_s,
                                                 u"1|x||y11,y11"_s, u"5|||y80"_s}));
    const Outcome outcome = runInProcess({u"--trace"_s, path});
    QCOMPARE(outcome.status, int(RunWrongCells));
    QVERIFY(outcome.out.isEmpty());
    QCOMPARE(outcome.err,
             u"row 3, source state: \"\": Строка не пуста — нужно исходное состояние\n"
             u"row 3, next state: \"\": Строка не пуста — нужно следующее состояние\n"
             u"row 4, next state: \"x\": «x» в «x» — не цифра: состояние — число от 0 до 999\n"
             u"row 4, signals: \"y11,y11\": y11 указан дважды\n"
             u"row 5, next state: \"\": Строка не пуста — нужно следующее состояние\n"_s);
}

void TestOrbRunFiles::unreadableDocumentsSayWhy_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QByteArray() << u"the file is empty"_s;
    QTest::newRow("no magic") << QByteArray("Hello\n") << u"it does not start with \"MKT\""_s;
    QTest::newRow("UTF-8 byte order mark")
        << QByteArray("\xEF\xBB\xBF" + documentText({y70Row}))
        << u"it starts with a UTF-8 byte order mark: it was saved as Unicode, and documents are "
           u"Windows-1251"_s;
    QTest::newRow("UTF-16 byte order mark")
        << QByteArray("\xFF\xFEM\0K\0T\0", 8)
        << u"it starts with a UTF-16 byte order mark: it was saved as Unicode, and documents are "
           u"Windows-1251"_s;
    QTest::newRow("over 1 MiB") << documentText({y70Row}) + QByteArray(1024 * 1024, '0')
                                << u"it is larger than 1 MiB"_s;
}

void TestOrbRunFiles::unreadableDocumentsSayWhy()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QString path = writeFile(dir, u"unreadable.orb"_s, bytes);
    const Outcome outcome = runInProcess({path});
    QCOMPARE(outcome.status, int(RunUnreadable));
    QCOMPARE(outcome.err, u"orb-run: %1 is not an ORB document: %2\n"_s.arg(path, reason));
    QVERIFY(outcome.out.isEmpty());
#ifdef Q_OS_UNIX
    if (QTest::currentDataTag() == QByteArrayLiteral("empty")) {
        const Outcome device = runInProcess({u"/dev/null"_s});
        QCOMPARE(device.status, int(RunUnreadable));
        QCOMPARE(device.err,
                 u"orb-run: /dev/null is not an ORB document: it is not a regular file\n"_s);
    }
#endif
}

void TestOrbRunFiles::cutCellsSaySo()
{
    // A signals text of 43 characters keeps 36 in its cell, and the check judges those.
    const QString path = writeFile(
        dir, u"cut.orb"_s,
        documentText(
            {u"0|0|x1,x2,x3,x4,z,n,c,p,-x1,-x2,z|y6,y6,y8,y9,y10,y11,y12,y13,y14,y15,y20,y21"_s}));
    const Outcome outcome = runInProcess({path});
    QCOMPARE(outcome.status, int(RunWrongCells));
    const QStringList lines = outcome.errLines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], u"orb-run: warning: %1: row 1, conditions: 29 characters, cut to 27 as the "
                       u"editor keeps it; row 1, signals: 43 characters, cut to 36 as the editor "
                       u"keeps it"_s.arg(path));
    QCOMPARE(lines[1], u"row 1, conditions: \"x1,x2,x3,x4,z,n,c,p,-x1,-x2\" (cut to 27 characters, "
                       u"as the editor keeps it): x1 указан дважды"_s);
    QCOMPARE(lines[2], u"row 1, signals: \"y6,y6,y8,y9,y10,y11,y12,y13,y14,y15,\" (cut to 36 "
                       u"characters, as the editor keeps it): y6 указан дважды"_s);
}

void TestOrbRunFiles::loaderWarnings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("warnings"); // after "orb-run: warning: PATH: "
    QTest::addColumn<int>("status");

    const QByteArray row = "0\n0\n\ny70\n";
    const QByteArray memory(512, '0');
    QTest::newRow("sound") << QByteArray("MKT1\n" + row + memory) << QStringList() << 0;
    QTest::newRow("count not a number")
        << QByteArray("MKTx\n" + row + memory)
        << QStringList{u"the row count \"x\" is not a number from 1 up; read as 1 row"_s} << 0;
    QTest::newRow("count too small")
        << QByteArray("MKT1\n" + row + row + memory)
        << QStringList{u"line breaks follow the rows announced (1): the rows after them are not "
                       u"loaded and their text is read as memory"_s,
                       u"the memory holds 521 characters, not 512; the rest is not read"_s,
                       u"the memory holds 5 characters that are not hexadecimal digits (the "
                       u"first in byte 00); the memory cells drop them or read the byte as 00"_s}
        << 0;
    QTest::newRow("count too large")
        << QByteArray("MKT2\n" + row)
        << QStringList{u"the text ends within the rows announced (2); complete rows: 1"_s,
                       u"no memory follows the rows; every memory byte is 00"_s}
        << 0;
    QTest::newRow("over 500")
        << QByteArray("MKT501\n" + row + QByteArray(500 * 4, '\n') + memory)
        << QStringList{u"501 rows announced; a table holds 500, the rows after row 500 are "
                       u"skipped"_s}
        << 0;
    QTest::newRow("memory short")
        << QByteArray("MKT1\n" + row + "0102F")
        << QStringList{u"the memory holds 5 of 512 characters; the bytes from 03 on are 00"_s} << 0;
    QTest::newRow("memory not hex")
        << QByteArray("MKT1\n" + row + "zz" + QByteArray(510, '0'))
        << QStringList{u"the memory holds 2 characters that are not hexadecimal digits (the "
                       u"first in byte 00); the memory cells drop them or read the byte as 00"_s}
        << 0;
    QTest::newRow("UTF-8 Cyrillic")
        << QByteArray("MKT1\n0\n0\n\xd1\x85"
                      "1\ny70\n" +
                      memory)
        << QStringList{u"the file looks like UTF-8 with Cyrillic letters; it is read as "
                       u"Windows-1251, as the editor reads it, so they show as other letters"_s}
        << 3;
}

void TestOrbRunFiles::loaderWarnings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, warnings);
    QFETCH(int, status);
    const QString path = writeFile(dir, u"warnings.orb"_s, bytes);
    const Outcome outcome = runInProcess({path});
    // The warnings change neither the run nor its status.
    QCOMPARE(outcome.status, status);
    QStringList shown;
    for (const QString &line : outcome.errLines()) {
        const QString prefix = u"orb-run: warning: %1: "_s.arg(path);
        if (line.startsWith(prefix))
            shown << line.mid(prefix.size());
    }
    QCOMPARE(shown, warnings);
}

void TestOrbRunFiles::controlCharactersAreEscaped()
{
    const QString path =
        writeFile(dir, u"esc\u001b[2J\nfake.orb"_s, documentText({u"0|0|\u001b[31m|y70\u0007"_s}));
    const Outcome outcome = runInProcess({path});
    QCOMPARE(outcome.status, int(RunWrongCells));
    for (const QChar c : outcome.err)
        QVERIFY2(c == u'\n' || (c >= u' ' && c != QChar(0x7F)), qPrintable(outcome.err));
    const QStringList lines = outcome.errLines();
    QVERIFY2(lines.contains(u"row 1, conditions: \"\\x1b[31m\": «\\x1b[31m» — нет такого условия; "
                            u"допустимы x4 x3 x2 x1 z n c p"_s),
             qPrintable(outcome.err));
    QVERIFY2(lines.contains(u"row 1, signals: \"y70\\x07\": «y70\\x07» — после y нужен номер "
                            u"сигнала из цифр"_s),
             qPrintable(outcome.err));

    // File names in messages, and the lines of an expectations file.
    const Outcome missing = runInProcess({dir.filePath(u"no\u001b]0;title\u0007.orb"_s)});
    QCOMPARE(missing.err, u"orb-run: cannot read %1: No such file or directory\n"_s.arg(
                              dir.filePath(u"no\\x1b]0;title\\x07.orb"_s)));
    const QString expect = writeFile(dir, u"esc.txt"_s, "A=\x1b[1m\n");
    const Outcome expectation = runInProcess({u"--expect"_s, expect, path});
    QCOMPARE(
        expectation.errLines().value(0),
        u"orb-run: %1:1: A must be a hexadecimal byte (00 to FF), not \"\\x1b[1m\""_s.arg(expect));
    QCOMPARE(terminalText(u"a\u202Eb\"\\c\u0085", true), u"\"a\\u202eb\\\"\\\\c\\x85\""_s);

    // The real program on a terminal's standard error gets the same escaped bytes.
    const testutil::ProcessOutcome real =
        testutil::runProcess(testutil::builtProgram(u"orb-run"_s), {path}, {.seconds = 30});
    QCOMPARE(real.status, int(RunWrongCells));
    QVERIFY(!real.err.contains(u'\x1b') && !real.err.contains(u'\x07'));
    QCOMPARE(real.err, outcome.err);
}

void TestOrbRunFiles::standardErrorNeverSplitsALine()
{
    // Standard output and standard error on one device, as with >log 2>&1: a trace of several
    // 64 KiB blocks, then the verdict on standard error after the last JSON line.
    const QString path = writeFile(dir, u"merged.orb"_s, loopDocument());
    const QString expectPath = writeFile(dir, u"merged-expect.txt"_s, "A=01\n");
    QBuffer both;
    both.open(QIODevice::WriteOnly);
    const int status = runCommandLine(
        {u"orb-run"_s, u"--trace"_s, u"--max-steps"_s, u"3000"_s, u"--expect"_s, expectPath, path},
        both, both);
    QCOMPARE(status, int(RunMismatch));
    QVERIFY(both.data().size() > 3 * 65536);
    const QStringList lines = QString::fromUtf8(both.data()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.mid(lines.size() - 2),
             QStringList({u"A: expected 01, got 00"_s, u"result: mismatch; end: limit"_s}));
    for (const QString &line : lines.mid(0, lines.size() - 2))
        QVERIFY2(!parseLine(line).isEmpty(), qPrintable(line.left(200)));

    // The real program with both streams on one pipe.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(ORB_BINARY_DIR "/orb-run"),
                  {u"--trace"_s, u"--max-steps"_s, u"3000"_s, u"--expect"_s, expectPath, path});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), int(RunMismatch));
    const QStringList merged =
        QString::fromUtf8(process.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(merged.mid(merged.size() - 2), lines.mid(lines.size() - 2));
    QCOMPARE(merged.size(), lines.size());
}

void TestOrbRunFiles::failedWritesEndTheRun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("accepted");
    QTest::newRow("summary") << QStringList{u"DOC"_s} << qint64(0);
    QTest::newRow("summary, part written") << QStringList{u"DOC"_s} << qint64(10);
    QTest::newRow("trace") << QStringList{u"--trace"_s, u"DOC"_s} << qint64(0);
    QTest::newRow("long trace, after a block")
        << QStringList{u"--trace"_s, u"--max-steps"_s, u"100000000"_s, u"LOOP"_s} << qint64(70000);
    QTest::newRow("memory") << QStringList{u"--memory"_s, u"DOC"_s} << qint64(300);
    QTest::newRow("help") << QStringList{u"--help"_s} << qint64(0);
    QTest::newRow("version") << QStringList{u"--version"_s} << qint64(0);
}

void TestOrbRunFiles::failedWritesEndTheRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(qint64, accepted);
    arguments.replaceInStrings(u"DOC"_s, writeFile(dir, u"full.orb"_s, documentText({y70Row})));
    arguments.replaceInStrings(u"LOOP"_s, writeFile(dir, u"full-loop.orb"_s, loopDocument()));
    FullDevice out(accepted);
    QBuffer err;
    err.open(QIODevice::WriteOnly);
    // A trace that cannot be written stops the run: this one would take 100 million presses.
    const int status = runCommandLine(QStringList{u"orb-run"_s} + arguments, out, err);
    QCOMPARE(status, int(RunOutputFailed));
    QCOMPARE(QString::fromUtf8(err.data()),
             u"orb-run: cannot write the output: No space left on device\n"_s);
    QVERIFY(out.written() <= accepted);
}

void TestOrbRunFiles::failedWritesOfTheProcess()
{
#ifdef Q_OS_UNIX
    const QString program = testutil::builtProgram(u"orb-run"_s);
    const QString doc = writeFile(dir, u"process.orb"_s, documentText({y70Row}));
    const QString loop = writeFile(dir, u"process-loop.orb"_s, loopDocument());
    for (const QStringList &arguments :
         {QStringList{doc}, QStringList{u"--trace"_s, doc}, QStringList{u"--help"_s}}) {
        const testutil::ProcessOutcome full =
            testutil::runProcess(program, arguments, {.outputFile = u"/dev/full"_s, .seconds = 30});
        QCOMPARE(full.status, int(RunOutputFailed));
        QCOMPARE(full.err, u"orb-run: cannot write the output: No space left on device\n"_s);
    }

    // A closed standard output: no file opened later takes its place.
    const testutil::ProcessOutcome closed = testutil::runProcess(
        u"/bin/sh"_s, {u"-c"_s, u"exec >&-; exec \"$0\" \"$1\""_s, program, doc}, {.seconds = 30});
    QCOMPARE(closed.status, int(RunOutputFailed));
    QVERIFY(closed.err.startsWith(u"orb-run: cannot write the output: "_s));

    // A reader that goes away ends a run of 100 million presses quietly, not by SIGPIPE.
    const QString errFile = dir.filePath(u"pipe-err.txt"_s);
    const QString statusFile = dir.filePath(u"pipe-status.txt"_s);
    QVERIFY(testutil::runProcess(
                u"/bin/sh"_s,
                {u"-c"_s,
                 u"( \"$0\" --trace --max-steps 100000000 \"$1\" 2>\"$2\"; echo $? >\"$3\" ) | "
                 u"head -c 100 >/dev/null"_s,
                 program, loop, errFile, statusFile})
                .finished);
    QCOMPARE(testutil::readAll(statusFile), QByteArray("6\n"));
    QCOMPARE(testutil::readAll(errFile), QByteArray());
#endif
}

QTEST_GUILESS_MAIN(TestOrbRunFiles)
#include "tst_orbrunfiles.moc"
