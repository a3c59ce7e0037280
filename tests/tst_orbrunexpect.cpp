// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run --expect: the expectations file, its mistakes and its size, the verdict with and
// without a trace, and end=break.

#include "orbrunfixture.h"

using namespace orbruntest;

class TestOrbRunExpect final : public OrbRunTest {
    Q_OBJECT

private slots:
    void malformedExpectations_data();
    void malformedExpectations();
    void expectations_data();
    void expectations();
    void expectationsWithTrace();
    void expectationsAtABreakpoint();
    void expectationsFileIsBounded();
};

void TestOrbRunExpect::malformedExpectations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");

    QTest::newRow("no equals sign")
        << u"A=05\nA 05\n"_s << u"2: expected NAME=VALUE, got \"A 05\""_s;
    QTest::newRow("unknown name") << u"# header\n\nQ=1"_s << u"3: unknown name \"Q\""_s;
    QTest::newRow("register value too long")
        << u"A=123"_s << u"1: A must be a hexadecimal byte (00 to FF), not \"123\""_s;
    QTest::newRow("register value empty")
        << u"PC="_s << u"1: PC must be a hexadecimal byte (00 to FF), not \"\""_s;
    QTest::newRow("flag not a bit") << u"Z=2"_s << u"1: Z must be 0 or 1, not \"2\""_s;
    QTest::newRow("flag in hex") << u"x4=01"_s << u"1: X4 must be 0 or 1, not \"01\""_s;
    QTest::newRow("end unknown")
        << u"end=done"_s << u"1: end must be success, stopped, limit or break, not \"done\""_s;
    QTest::newRow("memory address too long") << u"M100=00"_s << u"1: unknown name \"M100\""_s;
    QTest::newRow("memory value bad")
        << u"M3a=xyz"_s << u"1: M3A must be a hexadecimal byte (00 to FF), not \"xyz\""_s;
    QTest::newRow("RK out of range") << u"RK5=00"_s << u"1: unknown name \"RK5\""_s;
    QTest::newRow("named twice") << u"A=05\r\nB=00\r\na=06\r\n"_s
                                 << u"3: A is already expected on line 1"_s;
    QTest::newRow("same address twice")
        << u"M0A=01\nm0a=01"_s << u"2: M0A is already expected on line 1"_s;
}

void TestOrbRunExpect::malformedExpectations()
{
    QFETCH(QString, text);
    QFETCH(QString, error);

    QString reported;
    QVERIFY(!parseExpectations(text, &reported));
    QCOMPARE(reported, error);

    // On the command line it is a usage error naming the file and the line.
    const QString expect = writeFile(dir, u"bad-expect.txt"_s, text.toUtf8());
    const QString path = writeFile(dir, u"expect.orb"_s, documentText({y70Row}));
    const Outcome outcome = runInProcess({u"--expect"_s, expect, path});
    QCOMPARE(outcome.status, int(RunUsage));
    QVERIFY(outcome.out.isEmpty());
    QCOMPARE(outcome.errLines().value(0), u"orb-run: "_s + expect + u':' + error);
}

void TestOrbRunExpect::expectations_data()
{
    QTest::addColumn<QString>("expect");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("report");

    // The run: A = 46, B = 12, РИ = 12, РА = 02, ОП[02] = 46, stopped by y70.
    QTest::newRow("all as expected")
        << u"# sum of two bytes\nend=success\nA=46\n  B = 12  \nRI=12\nRA=2\nM02=46\nM0=12\n"
           u"Z=0\nC=0\nRON15=00\nRK1=00\n"_s
        << 0 << QStringList{u"OK"_s, u"result: ok; end: success"_s};
    QTest::newRow("names and digits in any case")
        << u"a=46\nm2=46\nra=02\nx4=0\nEnd=success\n"_s << 0
        << QStringList{u"OK"_s, u"result: ok; end: success"_s};
    // Nothing to check is a mistake in the file, not a pass.
    QTest::newRow("empty file") << QString() << int(RunUsage) << QStringList{};
    QTest::newRow("only comments") << u"# A=46\n\n"_s << int(RunUsage) << QStringList{};
    QTest::newRow("byte order mark")
        << u"\uFEFFA=46\r\n"_s << 0 << QStringList{u"OK"_s, u"result: ok; end: success"_s};
    QTest::newRow("differences in file order")
        << u"M02=47\nA=05\nend=limit\nZ=1\nRK4=00\nS3=01\n"_s << 5
        << QStringList{u"M02: expected 47, got 46"_s,         u"A: expected 05, got 46"_s,
                       u"end: expected limit, got success"_s, u"Z: expected 1, got 0"_s,
                       u"S3: expected 01, got 00"_s,          u"result: mismatch; end: success"_s};
}

void TestOrbRunExpect::expectations()
{
    QFETCH(QString, expect);
    QFETCH(int, status);
    QFETCH(QStringList, report);

    const QString path =
        writeFile(dir, u"expect-run.orb"_s,
                  documentText({u"0|1||y43"_s, u"1|2||y30,y48"_s, u"2|3||y24,y35,y42"_s,
                                u"3|4||y30"_s, u"4|5||y11,y14,y31"_s, u"5|6||y45"_s,
                                u"6|7||y13,y24,y42"_s, u"7|8||y25,y60"_s, u"8|8||y70"_s},
                               {0x12, 0x34}));
    const QString expectPath = writeFile(dir, u"expect.txt"_s, expect.toUtf8());
    const Outcome outcome = runInProcess({u"--expect"_s, expectPath, path});
    QCOMPARE(outcome.status, status);
    if (status == RunUsage) {
        QVERIFY(outcome.out.isEmpty());
        QCOMPARE(outcome.errLines().value(0),
                 u"orb-run: the expectations file %1 expects nothing (no NAME=VALUE line)"_s.arg(
                     expectPath));
        return;
    }
    QVERIFY(outcome.err.isEmpty());
    const QStringList lines = outcome.outLines();
    QCOMPARE(lines.size(), 7 + report.size());
    QCOMPARE(lines.mid(7), report);
}

void TestOrbRunExpect::expectationsWithTrace()
{
    // Standard output stays JSON Lines; the verdict goes to standard error. A run stopped by
    // the limit that was expected to be keeps its own status.
    const QString path = writeFile(dir, u"expect-trace.orb"_s, documentText({u"0|0||y20"_s}));
    const QString expectPath = writeFile(dir, u"expect-limit.txt"_s, "end=limit\nA=00\n");
    const Outcome matching =
        runInProcess({u"--trace"_s, u"--max-steps"_s, u"3"_s, u"--expect"_s, expectPath, path});
    QCOMPARE(matching.status, int(RunLimit));
    QCOMPARE(matching.err, u"OK\nresult: ok; end: limit\n"_s);
    for (const QString &line : matching.outLines())
        QVERIFY(!parseLine(line).isEmpty());

    const QString wrongPath = writeFile(dir, u"expect-wrong.txt"_s, "end=success\n");
    const Outcome differing =
        runInProcess({u"--trace"_s, u"--max-steps"_s, u"3"_s, u"--expect"_s, wrongPath, path});
    QCOMPARE(differing.status, int(RunMismatch));
    QCOMPARE(differing.err, u"end: expected success, got limit\nresult: mismatch; end: limit\n"_s);
    QCOMPARE(differing.outLines().size(), 4);
}

void TestOrbRunExpect::expectationsAtABreakpoint()
{
    // end=break holds for a run stopped at a breakpoint and for nothing else; without --break
    // the file could never be met, so it is refused before the run.
    const QString path =
        writeFile(dir, u"expect-break.orb"_s,
                  documentText({u"0|1||y20"_s, u"1|2||y30"_s, u"2|2||y70"_s, u"5|5||y70"_s}));
    const QString breakPath = writeFile(dir, u"expect-break.txt"_s, "end=break\n");
    const Outcome stopped = runInProcess({u"--break"_s, u"2"_s, u"--expect"_s, breakPath, path});
    QCOMPARE(stopped.status, int(RunBreak));
    QCOMPARE(stopped.outLines().mid(stopped.outLines().size() - 2),
             (QStringList{u"OK"_s, u"result: ok; end: break"_s}));

    const QString successPath = writeFile(dir, u"expect-success.txt"_s, "end=success\n");
    const Outcome early = runInProcess({u"--break"_s, u"2"_s, u"--expect"_s, successPath, path});
    QCOMPARE(early.status, int(RunMismatch));
    QVERIFY(
        early.out.contains(u"end: expected success, got break\nresult: mismatch; end: break\n"_s));
    // A breakpoint on a row the run never arrives at leaves end=break unmet.
    const Outcome passed = runInProcess({u"--break"_s, u"4"_s, u"--expect"_s, breakPath, path});
    QCOMPARE(passed.status, int(RunMismatch));
    QVERIFY(passed.out.contains(u"end: expected break, got success\n"_s));

    const Outcome refused = runInProcess({u"--expect"_s, breakPath, path});
    QCOMPARE(refused.status, int(RunUsage));
    QVERIFY(refused.out.isEmpty());
    QCOMPARE(refused.errLines().value(0),
             u"orb-run: the expectations file %1 expects end=break, but neither --break nor "
             u"--watch is given"_s.arg(breakPath));
    // --case belongs to --tests; alone it is a mistake, not ignored.
    const Outcome lonelyCase = runInProcess({u"--case"_s, u"x"_s, path});
    QCOMPARE(lonelyCase.status, int(RunUsage));
    QVERIFY(lonelyCase.err.startsWith(u"orb-run: --case picks a case of a test file"_s));
}

void TestOrbRunExpect::expectationsFileIsBounded()
{
    const QString doc = writeFile(dir, u"bounded.orb"_s, documentText({y70Row}));
    auto firstError = [&](const QString &expectPath) {
        const Outcome outcome = runInProcess({u"--expect"_s, expectPath, doc});
        if (outcome.status != RunUsage)
            return u"status %1"_s.arg(outcome.status);
        return outcome.errLines().value(0);
    };
    const QString large =
        writeFile(dir, u"large.txt"_s, "A=00\n" + QByteArray(int(maxExpectationsBytes), '#'));
    QCOMPARE(firstError(large),
             u"orb-run: the expectations file %1 is larger than 1 MiB"_s.arg(large));
    const QString atLimit = writeFile(dir, u"at-limit.txt"_s,
                                      "A=00\n#" + QByteArray(int(maxExpectationsBytes) - 6, '#'));
    QCOMPARE(runInProcess({u"--expect"_s, atLimit, doc}).status, int(RunSucceeded));
#ifdef Q_OS_UNIX
    // A device is refused unread, as a pipe is (which would wait for a writer).
    QCOMPARE(firstError(u"/dev/zero"_s),
             u"orb-run: cannot read the expectations file /dev/zero: not a regular file"_s);
#endif
    QCOMPARE(firstError(dir.path()),
             u"orb-run: cannot read the expectations file %1: it is a folder"_s.arg(dir.path()));

    // A long offending line is echoed to 60 characters.
    const QString longLine =
        writeFile(dir, u"long-line.txt"_s, "A=" + QByteArray(5000, '7') + "\n");
    QCOMPARE(firstError(longLine),
             u"orb-run: %1:1: A must be a hexadecimal byte (00 to FF), not \"%2…\""_s.arg(
                 longLine, QString(60, u'7')));
    const QString noEquals = writeFile(dir, u"no-equals.txt"_s, QByteArray(300, 'x'));
    QCOMPARE(firstError(noEquals),
             u"orb-run: %1:1: expected NAME=VALUE, got \"%2…\""_s.arg(noEquals, QString(60, u'x')));
}

QTEST_GUILESS_MAIN(TestOrbRunExpect)
#include "tst_orbrunexpect.moc"
