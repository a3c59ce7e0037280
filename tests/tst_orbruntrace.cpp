// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run's run and what it prints: the trace against the engine's panels, data-byte input,
// the summary and the memory dump, the step limit, and the example documents.

#include "orbrunfixture.h"

using namespace orbruntest;

class TestOrbRunTrace final : public OrbRunTest {
    Q_OBJECT

private slots:

    void traceMatchesTheEnginePanels_data();
    void traceMatchesTheEnginePanels();
    void traceLineLayout();
    void traceEscapesMarkup();
    void inputIsConsumedInOrder();
    void summaryAndMemory();
    void examples_data();
    void examples();
    void inputWarnings();
    void limitOnTheY70Press();
};

void TestOrbRunTrace::traceMatchesTheEnginePanels_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("memory");
    QTest::addColumn<QList<int>>("inputs");
    QTest::addColumn<int>("maxSteps");

    QTest::newRow("sum") << QStringList{u"0|1||y43"_s, u"1|2||y30,y48"_s,     u"2|3||y24,y35,y42"_s,
                                        u"3|4||y30"_s, u"4|5||y11,y14,y31"_s, u"5|5||y70"_s}
                         << QList<int>{0x12, 0x34} << QList<int>{} << 999;
    QTest::newRow("branches, rows without microoperations")
        << QStringList{u"0|1|z|y20"_s,   u"0|2|-z|"_s,      u"1|3|b|y7"_s,
                       u"2|2||y70"_s,    u"3|0|-b|y38"_s,   u"3|4|n|"_s,
                       u"4|5||y47,y6"_s, u"5|6|c|y7,y15"_s, u"6|6||y70"_s}
        << QList<int>{} << QList<int>{} << 999;
    QTest::newRow("messages and inputs")
        << QStringList{u"0|1||y66,y67"_s, u"1|2||y66,y68"_s, u"2|3||y66,y69"_s, u"3|3||y67,y70"_s}
        << QList<int>{} << QList<int>{0xA5, 0x07} << 999;
    QTest::newRow("red operation, no ALU operation")
        << QStringList{u"0|1||y11,y12,y15,y42"_s, u"1|2||y62"_s, u"2|3||y13,y14,y31"_s,
                       u"3|0||y64"_s}
        << QList<int>{} << QList<int>{} << 40;
}

void TestOrbRunTrace::traceMatchesTheEnginePanels()
{
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, memory);
    QFETCH(QList<int>, inputs);
    QFETCH(int, maxSteps);

    const QByteArray text = documentText(rows, memory);
    const QString path = writeFile(dir, u"trace.orb"_s, text);
    QStringList arguments{u"--trace"_s, u"--max-steps"_s, QString::number(maxSteps)};
    for (const int input : inputs)
        arguments << u"--input"_s << QString::number(input, 16);
    const Outcome outcome = runInProcess(arguments << path);
    // A y66 that finds no byte left is warned about; nothing else is.
    for (const QString &line : outcome.errLines())
        QVERIFY2(line.startsWith(u"orb-run: warning: y66 found no --input byte left"_s),
                 qPrintable(line));
    QVERIFY(outcome.out.endsWith(u'\n'));
    const QStringList lines = outcome.outLines();

    // The same document through the same loading code, pressed by the test.
    OpenedDocument opened = openDocument(*parseDocument(text));
    QCOMPARE(opened.table.errorCount(), 0);
    QuietView view;
    view.dataBytes = inputs;
    StepEngine engine(HeadlessTableSource(opened.table), opened.memory, view);
    engine.start();
    int line = 0;
    bool limit = false;
    while (!engine.endScreenShown()) {
        QVERIFY(line < lines.size());
        const QJsonObject object = parseLine(lines[line]);
        const AfterPanel &after = engine.afterPanel();
        QCOMPARE(object.value(u"step"_s).toInt(), after.stepLabel());
        QCOMPARE(object.value(u"row"_s).toInt(), after.rowLabel());
        QCOMPARE(object.value(u"source"_s).toInt(), after.initialStateLabel());
        QCOMPARE(object.value(u"next"_s).toString(), after.nextStateLabel());
        QCOMPARE(object.value(u"signals"_s).toString(), after.controlSignalsLabel());
        QCOMPARE(object.value(u"operation"_s).toString(), after.operationLabel());
        QCOMPARE(object.value(u"registers"_s).toObject(), registersJson(after.registers));
        QCOMPARE(object.value(u"flags"_s).toObject(), flagsJson(after.registers));
        const bool messageShown =
            after.operation.kind == Operation::Kind::Microoperation && after.operation.signal >= 67;
        QCOMPARE(object.contains(u"message"_s), messageShown);
        if (messageShown)
            QCOMPARE(object.value(u"message"_s).toString(), view.lastMessage);
        const bool byteRead =
            after.operation.kind == Operation::Kind::Microoperation && after.operation.signal == 66;
        QCOMPARE(object.contains(u"input"_s), byteRead);
        ++line;
        if (engine.stepCount() > maxSteps) {
            limit = true;
            break;
        }
        engine.executeStep();
    }
    QCOMPARE(lines.size(), line + 1);
    const QJsonObject end = parseLine(lines.last());
    QCOMPARE(end.value(u"end"_s),
             limit ? QJsonValue(QJsonValue::Null) : QJsonValue(engine.endText()));
    QCOMPARE(end.value(u"limit"_s).toBool(), limit);
    QCOMPARE(end.value(u"steps"_s).toInt(), engine.stepCount());
    QCOMPARE(end.value(u"registers"_s).toObject(), registersJson(engine.processor()));
    QCOMPARE(end.value(u"flags"_s).toObject(), flagsJson(engine.processor()));
    QString memoryHex;
    for (const quint8 byte : opened.memory.bytes)
        memoryHex += formatHex(byte);
    QCOMPARE(end.value(u"memory"_s).toString(), memoryHex);
}

void TestOrbRunTrace::traceLineLayout()
{
    const QString path = writeFile(dir, u"layout.orb"_s, documentText({y70Row}));
    const Outcome outcome = runInProcess({u"--trace"_s, path});
    QCOMPARE(outcome.status, int(RunSucceeded));
    const QStringList lines = outcome.outLines();
    QCOMPARE(lines.size(), 2);
    const QString zeros = u"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0"_s;
    const QString state =
        u"\"registers\":{\"RK\":[0,0,0,0],\"RON\":["_s + zeros +
        u"],\"A\":0,\"B\":0,\"PC\":0,\"SP\":0,\"RI\":0,\"RA\":0,\"RB\":0,\"R\":0,\"S1\":0,"
        u"\"S2\":0,\"S3\":0},\"flags\":{\"X4\":0,\"X3\":0,\"X2\":0,\"X1\":0,\"Z\":0,\"N\":0,"
        u"\"C\":0,\"P\":0}"_s;
    QCOMPARE(lines[0], u"{\"step\":2,\"row\":1,\"source\":0,\"next\":\"0\",\"signals\":\"y70\","
                       u"\"operation\":\"Выполнена микрооперация y70 :    \\\"СТОП\\\"\","
                       u"\"message\":\"СТОП\","_s +
                           state + u'}');
    QCOMPARE(lines[1], u"{\"end\":\"Успешное завершение программы\",\"limit\":false,\"steps\":2,"
                       u"\"step\":2,"_s +
                           state + u",\"memory\":\""_s + QString(512, u'0') + u"\"}"_s);

    // Key order of every kind of line, with the optional keys where they belong.
    const QString other =
        writeFile(dir, u"keys.orb"_s, documentText({u"0|1|-z|y20,y66"_s, u"1|1||y47"_s}));
    const QStringList trace =
        runInProcess({u"--trace"_s, u"--max-steps"_s, u"3"_s, other}).outLines();
    QCOMPARE(trace.size(), 4);
    const QStringList pressKeys{u"step"_s, u"row"_s,     u"source"_s,
                                u"next"_s, u"signals"_s, u"operation"_s};
    QCOMPARE(keyOrder(trace[0], parseLine(trace[0])),
             pressKeys + QStringList({u"registers"_s, u"flags"_s}));
    QCOMPARE(keyOrder(trace[1], parseLine(trace[1])),
             pressKeys + QStringList({u"input"_s, u"registers"_s, u"flags"_s}));
    QCOMPARE(parseLine(trace[1]).value(u"next"_s).toString(), u"По условию"_s);
    QCOMPARE(keyOrder(trace[3], parseLine(trace[3])),
             QStringList({u"end"_s, u"limit"_s, u"steps"_s, u"step"_s, u"registers"_s, u"flags"_s,
                          u"memory"_s}));
    QCOMPARE(parseLine(trace[3]).value(u"end"_s), QJsonValue(QJsonValue::Null));
    QCOMPARE(parseLine(trace[3]).value(u"limit"_s), QJsonValue(true));
}

void TestOrbRunTrace::traceEscapesMarkup()
{
    // Quotes, markup and Cyrillic in operation texts; every line still parses and reads back.
    const QString path =
        writeFile(dir, u"escape.orb"_s,
                  documentText({u"0|1||y11,y12,y15,y42"_s, u"1|2||y62"_s, u"2|3||y68"_s,
                                u"3|4||y69"_s, u"4|4||y31,y13,y14"_s}));
    const Outcome outcome = runInProcess({u"--trace"_s, u"--max-steps"_s, u"6"_s, path});
    const QStringList lines = outcome.outLines();
    QCOMPARE(lines.size(), 7);
    QStringList operations;
    for (const QString &line : lines) {
        const QJsonObject object = parseLine(line);
        QVERIFY(!object.isEmpty());
        operations << object.value(u"operation"_s).toString();
    }
    QCOMPARE(operations.mid(0, 6),
             QStringList({u"Выполнена микрооперация y42 :    PA := FF"_s,
                          u"<font color='red'>Невозможно выполнить микрооперацию y62: "
                          u"PK[31:16] := ОП[PA]</font>"_s,
                          u"Выполнена микрооперация y68 :    \"Переполнение\""_s,
                          u"Выполнена микрооперация y69 :    \"Ошибка в КОП\""_s,
                          u"Операции для данного набора сигналов не существует"_s,
                          u"Операции для данного набора сигналов не существует"_s}));
    QCOMPARE(parseLine(lines[2]).value(u"message"_s).toString(), u"Переполнение"_s);
    QCOMPARE(parseLine(lines[3]).value(u"message"_s).toString(), u"Ошибка в коде операции"_s);
}

void TestOrbRunTrace::inputIsConsumedInOrder()
{
    const QString path =
        writeFile(dir, u"input.orb"_s,
                  documentText({u"0|1||y66"_s, u"1|2||y66"_s, u"2|3||y66"_s, u"3|3||y70"_s}));
    const Outcome outcome =
        runInProcess({u"--trace"_s, u"--input"_s, u"5"_s, u"--input"_s, u"aB"_s, path});
    QCOMPARE(outcome.status, int(RunSucceeded));
    const QStringList lines = outcome.outLines();
    QCOMPARE(lines.size(), 5);
    QList<QJsonValue> inputs;
    QList<int> a;
    for (int i = 0; i < 3; ++i) {
        const QJsonObject object = parseLine(lines[i]);
        inputs << object.value(u"input"_s);
        a << object.value(u"registers"_s).toObject().value(u"A"_s).toInt();
        // y66 sets no flag, whatever the byte.
        QCOMPARE(object.value(u"flags"_s).toObject(), flagsJson(Processor()));
    }
    QCOMPARE(inputs, QList<QJsonValue>({5, 0xAB, QJsonValue::Null}));
    QCOMPARE(a, QList<int>({5, 0xAB, 0xAB}));
    QVERIFY(!parseLine(lines[3]).contains(u"input"_s));
}

void TestOrbRunTrace::summaryAndMemory()
{
    const QString path =
        writeFile(dir, u"memory.orb"_s,
                  documentText({u"0|1||y43"_s, u"1|2||y30,y48,y56"_s, u"2|3||y24,y35,y42"_s,
                                u"3|4||y11,y14,y30,y31,y60"_s, u"4|4||y70"_s},
                               {0x12, 0xF0}));
    const Outcome outcome = runInProcess({u"--memory"_s, path});
    QCOMPARE(outcome.status, int(RunSucceeded));
    QVERIFY(outcome.err.isEmpty());
    QStringList expected{u"Успешное завершение программы"_s,
                         u"steps=12"_s,
                         u"RK1=00 RK2=00 RK3=00 RK4=00"_s,
                         u"RON0=12 RON1=00 RON2=00 RON3=00 RON4=00 RON5=00 RON6=00 RON7=00"_s,
                         u"RON8=00 RON9=00 RON10=00 RON11=00 RON12=00 RON13=00 RON14=00 RON15=00"_s,
                         u"A=02 B=12 PC=00 SP=00 RI=12 RA=01 RB=00 R=00 S1=00 S2=00 S3=00"_s,
                         u"X4=0 X3=0 X2=0 X1=0 Z=0 N=0 C=0 P=0"_s,
                         u"12 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00"_s};
    const QString zeroLine = QStringList(16, u"00"_s).join(u' ');
    for (int i = 1; i < 16; ++i)
        expected << zeroLine;
    QCOMPARE(outcome.outLines(), expected);

    // Without --memory the dump is left out.
    QCOMPARE(runInProcess({path}).outLines(), expected.mid(0, 7));
}

void TestOrbRunTrace::examples_data()
{
    // The memory bytes written into a copy first, the data bytes typed in, and what the run
    // that ends in success shows: its steps, its messages before the "СТОП", and registers,
    // flags and memory bytes (Mxx) as NAME=hex.
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("patch");
    QTest::addColumn<QString>("inputs");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("messages");
    QTest::addColumn<QString>("state");
    const QString add = u"01-add-two-bytes.orb"_s;
    const QString multiply = u"02-multiply-shift-and-add.orb"_s;
    const QString input = u"05-input-largest-byte.orb"_s;
    const QString overflow = u"06-signed-add-overflow.orb"_s;
    QTest::newRow("add two bytes")
        << add << u""_s << u""_s << 15 << u""_s << u"M00=25 M01=17 M02=3C A=3C RB=3C"_s;
    QTest::newRow("add two bytes, carry out")
        << add << u"M00=F0 M01=20"_s << u""_s << 15 << u""_s << u"M02=10 A=10"_s;
    QTest::newRow("multiply") << multiply << u""_s << u""_s << 32 << u""_s
                              << u"M02=8F RON0=8F RON1=D0 RON2=00"_s;
    QTest::newRow("multiply 7 by 6")
        << multiply << u"M00=07 M01=06"_s << u""_s << 27 << u""_s << u"M02=2A RON0=2A"_s;
    QTest::newRow("multiply by 0")
        << multiply << u"M01=00"_s << u""_s << 17 << u""_s << u"M02=00"_s;
    QTest::newRow("fetch-decode loop")
        << u"03-fetch-decode-loop.orb"_s << u""_s << u""_s << 122 << u""_s
        << u"M40=23 M41=10 M42=33 RON1=00 RON2=23 RON3=07 PC=11 RK1=80 RK2=00 RA=11 X4=1 X1=0"_s;
    QTest::newRow("fetch-decode loop, unknown operation code")
        << u"03-fetch-decode-loop.orb"_s << u"M0B=70"_s << u""_s << 95
        << u"Ошибка в коде операции"_s << u"M40=00 RON2=23 PC=0B RK1=70 X3=1"_s;
    QTest::newRow("display loop") << u"04-display-loop.orb"_s << u""_s << u""_s << 28
                                  << u"A = 4F|A = 52|A = 42|A = 21"_s << u"RI=14 RA=14 A=00"_s;
    QTest::newRow("input, largest byte")
        << input << u""_s << u"12 7f 05 80 0"_s << 32 << u"A = 80"_s << u"RB=80 A=80"_s;
    QTest::newRow("input, first byte largest")
        << input << u""_s << u"FE 01 FD 00"_s << 23 << u"A = FE"_s << u"RB=FE"_s;
    QTest::newRow("input, nothing but the end mark")
        << input << u""_s << u"00"_s << 6 << u"A = 00"_s << u"RB=00"_s;
    QTest::newRow("signed addition overflows")
        << overflow << u""_s << u""_s << 11 << u"Переполнение"_s << u"M02=00 A=C0"_s;
    QTest::newRow("signed addition without overflow")
        << overflow << u"M01=05"_s << u""_s << 15 << u""_s << u"M02=75 A=75"_s;
    QTest::newRow("negative numbers overflow")
        << overflow << u"M00=90 M01=A0"_s << u""_s << 11 << u"Переполнение"_s << u"M02=00"_s;
}

void TestOrbRunTrace::examples()
{
    QFETCH(QString, document);
    QFETCH(QString, patch);
    QFETCH(QString, inputs);
    QFETCH(int, steps);
    QFETCH(QString, messages);
    QFETCH(QString, state);

    QString path = testutil::examplePath(document);
    QByteArray bytes = testutil::readAll(path);
    // The editor saves what it opened unchanged: the examples are in the normal forms.
    const std::optional<LoadedDocument> loaded = parseDocument(bytes);
    QVERIFY(loaded);
    QList<RowTexts> rows;
    for (int row = 0; row < loaded->rowCount; ++row)
        rows.append({loaded->cells[row * 4], loaded->cells[row * 4 + 1], loaded->cells[row * 4 + 2],
                     loaded->cells[row * 4 + 3]});
    const OpenedDocument opened = openDocument(*loaded);
    QCOMPARE(opened.table.errorCount(), 0);
    for (int row = 0; row < opened.table.rowCount(); ++row)
        for (int field = 0; field < fieldCount; ++field)
            QCOMPARE(opened.table.row(row).cells[size_t(field)].text, rows[row][size_t(field)]);
    QCOMPARE(serializeDocument(rows, loaded->memory), bytes);

    if (!patch.isEmpty()) {
        const qsizetype memoryStart = bytes.size() - 512;
        for (const QString &byte : patch.split(u' '))
            bytes.replace(memoryStart + 2 * byte.mid(1, 2).toInt(nullptr, 16), 2,
                          byte.section(u'=', 1).toLatin1());
        path = writeFile(dir, u"patched.orb"_s, bytes);
    }
    QStringList arguments{u"--trace"_s};
    for (const QString &input : inputs.split(u' ', Qt::SkipEmptyParts))
        arguments << u"--input"_s << input;
    const Outcome outcome = runInProcess(arguments << path);
    QVERIFY2(outcome.err.isEmpty(), qPrintable(outcome.err));
    QCOMPARE(outcome.status, int(RunSucceeded));
    const QStringList lines = outcome.outLines();
    QStringList shown;
    for (const QString &line : lines.mid(0, lines.size() - 1)) {
        const QJsonObject object = parseLine(line);
        if (object.contains(u"message"_s))
            shown << object.value(u"message"_s).toString();
    }
    QCOMPARE(shown, messages.split(u'|', Qt::SkipEmptyParts) << u"СТОП"_s);

    const QJsonObject last = parseLine(lines.last());
    QCOMPARE(last.value(u"end"_s).toString(), u"Успешное завершение программы"_s);
    QCOMPARE(last.value(u"steps"_s).toInt(), steps);
    const QJsonObject registers = last.value(u"registers"_s).toObject();
    const QJsonObject flags = last.value(u"flags"_s).toObject();
    const QString memory = last.value(u"memory"_s).toString();
    for (const QString &expected : state.split(u' ')) {
        const QString name = expected.section(u'=', 0, 0);
        int value = -1;
        static const QRegularExpression indexed(u"^(RK|RON)(\\d+)$"_s);
        if (const QRegularExpressionMatch match = indexed.match(name); match.hasMatch()) {
            const int index = match.captured(2).toInt() - (match.captured(1) == u"RK"_s);
            value = registers.value(match.captured(1)).toArray().at(index).toInt();
        } else if (name.size() == 3 && name.startsWith(u'M')) {
            value = memory.mid(name.mid(1).toInt(nullptr, 16) * 2, 2).toInt(nullptr, 16);
        } else if (flags.contains(name)) {
            value = flags.value(name).toInt();
        } else {
            QVERIFY2(registers.contains(name), qPrintable(name));
            value = registers.value(name).toInt();
        }
        const int digits = flags.contains(name) ? 1 : 2;
        QCOMPARE(u"%1=%2"_s.arg(name).arg(value, digits, 16, QChar(u'0')).toUpper(), expected);
    }
}

void TestOrbRunTrace::inputWarnings()
{
    // Row 1 asks for a byte twice (y66), then stops.
    const QString path = writeFile(dir, u"inputs.orb"_s,
                                   documentText({u"0|1||y66"_s, u"1|2||y66"_s, u"2|2||y70"_s}));
    const Outcome unused =
        runInProcess({u"--input=1"_s, u"--input=2"_s, u"--input=3"_s, u"--input=4"_s, path});
    QCOMPARE(unused.status, int(RunSucceeded));
    QCOMPARE(unused.errLines(),
             QStringList{u"orb-run: warning: 2 of the 4 --input bytes were not used"_s});
    const Outcome missing = runInProcess({u"--input=1"_s, path});
    QCOMPARE(missing.status, int(RunSucceeded));
    QCOMPARE(missing.errLines(),
             QStringList{u"orb-run: warning: y66 found no --input byte left once; A kept "
                         u"its value"_s});
    QVERIFY(runInProcess({u"--input=1"_s, u"--input=2"_s, path}).err.isEmpty());
}

void TestOrbRunTrace::limitOnTheY70Press()
{
    // y20 on steps 2 and 3, y70 on step 4. With a limit of 3 the y70 runs on the press that
    // passes the limit, and the run ends with the limit, not with success.
    const QString path = writeFile(dir, u"limit-y70.orb"_s,
                                   documentText({u"0|1||y20"_s, u"1|2||y20"_s, u"2|2||y70"_s}));
    const Outcome reached = runInProcess({u"--trace"_s, u"--max-steps"_s, u"4"_s, path});
    QCOMPARE(reached.status, int(RunSucceeded));
    const QJsonObject end = parseLine(reached.outLines().last());
    QCOMPARE(end.value(u"steps"_s).toInt(), 4);
    QCOMPARE(end.value(u"step"_s).toInt(), 4);
    const Outcome limited = runInProcess({u"--trace"_s, u"--max-steps"_s, u"3"_s, path});
    QCOMPARE(limited.status, int(RunLimit));
    const QJsonObject stopped = parseLine(limited.outLines().last());
    QVERIFY(stopped.value(u"limit"_s).toBool());
    const QStringList limitedLines = limited.outLines();
    QCOMPARE(parseLine(limitedLines[limitedLines.size() - 2]).value(u"message"_s).toString(),
             u"СТОП"_s);
    QCOMPARE(stopped.value(u"step"_s).toInt(), 4);
}

QTEST_GUILESS_MAIN(TestOrbRunTrace)
#include "tst_orbruntrace.moc"
