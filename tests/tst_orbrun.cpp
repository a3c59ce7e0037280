// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run: its command line and exit statuses, the trace against the engine's panels, data-byte
// input, the memory dump, --expect, the example documents, and the real executable.

#include "run/runner.h"
#include "sim/registers.h"

#include "sim/stepengine.h"
#include "coretestutil.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
    QStringList outLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    QStringList errLines() const { return err.split(u'\n', Qt::SkipEmptyParts); }
};

Outcome runInProcess(const QStringList &arguments)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    Outcome outcome;
    outcome.status = runCommandLine(QStringList{u"orb-run"_s} + arguments, out, err);
    outcome.out = QString::fromUtf8(out.data());
    outcome.err = QString::fromUtf8(err.data());
    return outcome;
}

// A document from rows "source|next|conditions|signals" and memory bytes from address 0.
QByteArray documentText(const QStringList &rows, const QList<int> &memory = {})
{
    QByteArray text = "MKT" + QByteArray::number(rows.size()) + '\n';
    for (const QString &row : rows) {
        const QStringList cells = row.split(u'|');
        Q_ASSERT(cells.size() == 4);
        for (const QString &cell : cells)
            text += cell.toUtf8() + '\n';
    }
    for (int address = 0; address < 256; ++address)
        text += formatMemoryByte(address < memory.size() ? memory[address] : 0).toLatin1();
    return text;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QJsonObject parseLine(const QString &line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning("not a JSON object (%s): %s", qPrintable(error.errorString()), qPrintable(line));
    return document.object();
}

// The top-level keys of a JSON Lines object in the order they stand in the text.
QStringList keyOrder(const QString &line, const QJsonObject &object)
{
    QList<std::pair<qsizetype, QString>> positions;
    for (const QString &key : object.keys())
        positions.append({line.indexOf(u'"' + key + u"\":"_s), key});
    std::sort(positions.begin(), positions.end());
    QStringList keys;
    for (const auto &entry : positions)
        keys << entry.second;
    return keys;
}

QJsonObject registersJson(const Processor &p)
{
    QJsonArray ron;
    for (const int value : p.ron)
        ron.append(value);
    return QJsonObject{{u"RK"_s, QJsonArray{p.rk[0], p.rk[1], p.rk[2], p.rk[3]}},
                       {u"RON"_s, ron},
                       {u"A"_s, p.a},
                       {u"B"_s, p.b},
                       {u"PC"_s, p.rs},
                       {u"SP"_s, p.sp},
                       {u"RI"_s, p.ri},
                       {u"RA"_s, p.ra},
                       {u"RB"_s, p.rv},
                       {u"R"_s, p.r},
                       {u"S1"_s, p.s1},
                       {u"S2"_s, p.s2},
                       {u"S3"_s, p.s3}};
}

QJsonObject flagsJson(const Processor &p)
{
    return QJsonObject{{u"X4"_s, p.x4}, {u"X3"_s, p.x3}, {u"X2"_s, p.x2}, {u"X1"_s, p.x1},
                       {u"Z"_s, p.z},   {u"N"_s, p.n},   {u"C"_s, p.c},   {u"P"_s, p.p}};
}

// A view for an engine driven by the test itself: data bytes from a list, nothing shown.
class QuietView final : public ExecutionView {
public:
    QList<int> dataBytes;
    QString lastMessage;
    bool askedForByte = false;
    void updateRegisterPanel(Panel) override {}
    void showEndScreen() override {}
    void showMessage(const QString &message) override { lastMessage = message; }
    std::optional<int> requestDataByte(const QString &) override
    {
        askedForByte = true;
        if (dataBytes.isEmpty())
            return std::nullopt;
        return dataBytes.takeFirst();
    }
    void showStepLimitDialog(const QString &, const QString &) override {}
    void scheduleDeletion() override {}
};

const QString y70Row = u"0|0||y70"_s;

// Outcome of a run with standard input.
Outcome runWithInput(const QStringList &arguments, const QByteArray &input)
{
    QBuffer in;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    Outcome outcome;
    outcome.status = runCommandLine(QStringList{u"orb-run"_s} + arguments, &in, out, err);
    outcome.out = QString::fromUtf8(out.data());
    outcome.err = QString::fromUtf8(err.data());
    return outcome;
}

// A device whose writes fail as on a full disk, after `accepted` bytes.
class FullDevice final : public QIODevice {
public:
    explicit FullDevice(qint64 accepted = 0) : accepted_(accepted) { open(WriteOnly); }
    qint64 written() const { return written_; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override
    {
        if (written_ + length > accepted_) {
            setErrorString(u"No space left on device"_s);
            return -1;
        }
        written_ += length;
        return length;
    }

private:
    qint64 accepted_;
    qint64 written_ = 0;
};

// A row that loops in state 0 for ever, and memory in full so the loader has nothing to say.
QByteArray loopDocument()
{
    return documentText({u"0|0||y20"_s});
}

// What orb-run says about the shipped document with wrong cells: each cell quoted, with the
// editor's reason.
QString shippedWrongCells()
{
    return u"row 1, conditions: \"х1\": Кириллическая буква «х» в «х1»: нужна латинская x\n"
           u"row 2, conditions: \"x1 x2\": Нет запятой между условиями в «x1x2»: пишите x1,x2\n"
           u"row 2, signals: \"у70\": Кириллическая буква «у» в «у70»: нужна латинская y\n"
           u"row 3, source state: \"12a\": «a» в «12a» — не цифра: состояние — число от 0 до "
           u"999\n"
           u"row 3, signals: \"y6,y06\": y6 указан дважды\n"
           u"row 4, next state: \"\": Строка не пуста — нужно следующее состояние\n"
           u"row 4, conditions: \"Переход\": «переход» — нет такого условия; допустимы x4 x3 x2 "
           u"x1 z n c p\n"_s;
}

} // namespace

class TestOrbRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testutil::failOnAnyWarning();
        QVERIFY(dir.isValid());
    }
    void init() { testutil::failOnAnyWarning(); }

    void exitStatus_data();
    void exitStatus();
    void wrongCellsAreListed();
    void usageErrors_data();
    void usageErrors();
    void malformedExpectations_data();
    void malformedExpectations();
    void traceMatchesTheEnginePanels_data();
    void traceMatchesTheEnginePanels();
    void traceLineLayout();
    void traceEscapesMarkup();
    void inputIsConsumedInOrder();
    void summaryAndMemory();
    void expectations_data();
    void expectations();
    void expectationsWithTrace();
    void expectationsAtABreakpoint();
    void examples_data();
    void examples();
    void executable_data();
    void executable();

    void standardErrorNeverSplitsALine();
    void failedWritesEndTheRun_data();
    void failedWritesEndTheRun();
    void failedWritesOfTheProcess();
    void expectationsFileIsBounded();
    void unreadableDocumentsSayWhy_data();
    void unreadableDocumentsSayWhy();
    void cutCellsSaySo();
    void controlCharactersAreEscaped();
    void optionParsing_data();
    void optionParsing();
    void documentFromStandardInput();
    void loaderWarnings_data();
    void loaderWarnings();
    void inputWarnings();
    void limitOnTheY70Press();
    void stepsReusableByOtherPrograms();
    void documentationAgrees();

private:
    QTemporaryDir dir;
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

void TestOrbRun::wrongCellsAreListed()
{
    // The editor's Open marks these cells red; orb-run lists the same ones and runs nothing.
    const Outcome shipped = runInProcess({QStringLiteral(ORB_TEST_DATA "/wrong-cells.orb")});
    QCOMPARE(shipped.status, int(RunWrongCells));
    QVERIFY(shipped.out.isEmpty());
    QCOMPARE(shipped.errLines(), shippedWrongCells().split(u'\n', Qt::SkipEmptyParts));

    // A state is required only in a row with something in it; a correct cell is normalised and
    // an empty row is fine.
    const QString path =
        writeFile(dir, u"wrong.orb"_s,
                  documentText({u"0|1|C, -X1|Y10, y6"_s, u"|||"_s, u"||z|"_s, u"1|x||y11,y11"_s}));
    const Outcome outcome = runInProcess({u"--trace"_s, path});
    QCOMPARE(outcome.status, int(RunWrongCells));
    QVERIFY(outcome.out.isEmpty());
    QCOMPARE(outcome.err,
             u"row 3, source state: \"\": Строка не пуста — нужно исходное состояние\n"
             u"row 3, next state: \"\": Строка не пуста — нужно следующее состояние\n"
             u"row 4, next state: \"x\": «x» в «x» — не цифра: состояние — число от 0 до 999\n"
             u"row 4, signals: \"y11,y11\": y11 указан дважды\n"_s);
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

void TestOrbRun::malformedExpectations_data()
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

void TestOrbRun::malformedExpectations()
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

void TestOrbRun::traceMatchesTheEnginePanels_data()
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

void TestOrbRun::traceMatchesTheEnginePanels()
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
        memoryHex += formatMemoryByte(byte);
    QCOMPARE(end.value(u"memory"_s).toString(), memoryHex);
}

void TestOrbRun::traceLineLayout()
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

void TestOrbRun::traceEscapesMarkup()
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

void TestOrbRun::inputIsConsumedInOrder()
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

void TestOrbRun::summaryAndMemory()
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

void TestOrbRun::expectations_data()
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

void TestOrbRun::expectations()
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

void TestOrbRun::expectationsWithTrace()
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

void TestOrbRun::expectationsAtABreakpoint()
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

void TestOrbRun::examples_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QList<int>>("patch"); // address, byte pairs written into a copy
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QMap<QString, int>>("state"); // registers by name and Mxx memory bytes

    using State = QMap<QString, int>;
    const QString stop = u"СТОП"_s;
    const QString success = u"Успешное завершение программы"_s;
    QTest::newRow("add two bytes") << u"01-add-two-bytes.orb"_s << QList<int>{} << QStringList{}
                                   << success << 15 << QStringList{stop}
                                   << State{{u"M00"_s, 0x25},
                                            {u"M01"_s, 0x17},
                                            {u"M02"_s, 0x3C},
                                            {u"A"_s, 0x3C},
                                            {u"RB"_s, 0x3C}};
    QTest::newRow("add two bytes, carry out")
        << u"01-add-two-bytes.orb"_s << QList<int>{0, 0xF0, 1, 0x20} << QStringList{} << success
        << 15 << QStringList{stop} << State{{u"M02"_s, 0x10}, {u"A"_s, 0x10}};
    QTest::newRow("multiply") << u"02-multiply-shift-and-add.orb"_s << QList<int>{} << QStringList{}
                              << success << 32 << QStringList{stop}
                              << State{{u"M02"_s, 0x8F},
                                       {u"RON0"_s, 0x8F},
                                       {u"RON1"_s, 0xD0},
                                       {u"RON2"_s, 0}};
    QTest::newRow("multiply 7 by 6")
        << u"02-multiply-shift-and-add.orb"_s << QList<int>{0, 7, 1, 6} << QStringList{} << success
        << 27 << QStringList{stop} << State{{u"M02"_s, 42}, {u"RON0"_s, 42}};
    QTest::newRow("multiply by 0")
        << u"02-multiply-shift-and-add.orb"_s << QList<int>{1, 0} << QStringList{} << success << 17
        << QStringList{stop} << State{{u"M02"_s, 0}};
    QTest::newRow("fetch-decode loop")
        << u"03-fetch-decode-loop.orb"_s << QList<int>{} << QStringList{} << success << 122
        << QStringList{stop}
        << State{{u"M40"_s, 0x23},  {u"M41"_s, 0x10}, {u"M42"_s, 0x33}, {u"RON1"_s, 0},
                 {u"RON2"_s, 0x23}, {u"RON3"_s, 7},   {u"PC"_s, 0x11},  {u"RK1"_s, 0x80},
                 {u"RK2"_s, 0},     {u"RA"_s, 0x11},  {u"X4"_s, 1},     {u"X1"_s, 0}};
    QTest::newRow("fetch-decode loop, unknown operation code")
        << u"03-fetch-decode-loop.orb"_s << QList<int>{0x0B, 0x70} << QStringList{} << success << 95
        << QStringList{u"Ошибка в коде операции"_s, stop}
        << State{{u"M40"_s, 0}, {u"RON2"_s, 0x23}, {u"PC"_s, 0x0B}, {u"RK1"_s, 0x70}, {u"X3"_s, 1}};
    QTest::newRow("display loop") << u"04-display-loop.orb"_s << QList<int>{} << QStringList{}
                                  << success << 28
                                  << QStringList{u"A = 4F"_s, u"A = 52"_s, u"A = 42"_s, u"A = 21"_s,
                                                 stop}
                                  << State{{u"RI"_s, 0x14}, {u"RA"_s, 0x14}, {u"A"_s, 0}};
    QTest::newRow("input, largest byte")
        << u"05-input-largest-byte.orb"_s << QList<int>{}
        << QStringList{u"12"_s, u"7f"_s, u"05"_s, u"80"_s, u"0"_s} << success << 32
        << QStringList{u"A = 80"_s, stop} << State{{u"RB"_s, 0x80}, {u"A"_s, 0x80}};
    QTest::newRow("input, first byte largest")
        << u"05-input-largest-byte.orb"_s << QList<int>{}
        << QStringList{u"FE"_s, u"01"_s, u"FD"_s, u"00"_s} << success << 23
        << QStringList{u"A = FE"_s, stop} << State{{u"RB"_s, 0xFE}};
    QTest::newRow("input, nothing but the end mark")
        << u"05-input-largest-byte.orb"_s << QList<int>{} << QStringList{u"00"_s} << success << 6
        << QStringList{u"A = 00"_s, stop} << State{{u"RB"_s, 0}};
    QTest::newRow("signed addition overflows")
        << u"06-signed-add-overflow.orb"_s << QList<int>{} << QStringList{} << success << 11
        << QStringList{u"Переполнение"_s, stop} << State{{u"M02"_s, 0}, {u"A"_s, 0xC0}};
    QTest::newRow("signed addition without overflow")
        << u"06-signed-add-overflow.orb"_s << QList<int>{1, 0x05} << QStringList{} << success << 15
        << QStringList{stop} << State{{u"M02"_s, 0x75}, {u"A"_s, 0x75}};
    QTest::newRow("negative numbers overflow")
        << u"06-signed-add-overflow.orb"_s << QList<int>{0, 0x90, 1, 0xA0} << QStringList{}
        << success << 11 << QStringList{u"Переполнение"_s, stop} << State{{u"M02"_s, 0}};
}

void TestOrbRun::examples()
{
    QFETCH(QString, document);
    QFETCH(QList<int>, patch);
    QFETCH(QStringList, inputs);
    QFETCH(QString, end);
    QFETCH(int, steps);
    QFETCH(QStringList, messages);
    using State = QMap<QString, int>;
    QFETCH(State, state);

    QString path = QStringLiteral(ORB_SOURCE_DIR "/examples/") + document;
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
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
        for (qsizetype i = 0; i + 1 < patch.size(); i += 2)
            bytes.replace(memoryStart + 2 * patch[i], 2, formatMemoryByte(patch[i + 1]).toLatin1());
        path = writeFile(dir, u"patched.orb"_s, bytes);
    }
    QStringList arguments{u"--trace"_s};
    for (const QString &input : inputs)
        arguments << u"--input"_s << input;
    const Outcome outcome = runInProcess(arguments << path);
    QVERIFY2(outcome.err.isEmpty(), qPrintable(outcome.err));
    QCOMPARE(outcome.status, end == u"Успешное завершение программы"_s ? 0 : 1);
    const QStringList lines = outcome.outLines();
    QStringList shown;
    for (const QString &line : lines.mid(0, lines.size() - 1)) {
        const QJsonObject object = parseLine(line);
        if (object.contains(u"message"_s))
            shown << object.value(u"message"_s).toString();
    }
    QCOMPARE(shown, messages);

    const QJsonObject last = parseLine(lines.last());
    QCOMPARE(last.value(u"end"_s).toString(), end);
    QCOMPARE(last.value(u"steps"_s).toInt(), steps);
    const QJsonObject registers = last.value(u"registers"_s).toObject();
    const QJsonObject flags = last.value(u"flags"_s).toObject();
    const QString memory = last.value(u"memory"_s).toString();
    for (auto it = state.cbegin(); it != state.cend(); ++it) {
        const QString &name = it.key();
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
        QVERIFY2(value == it.value(), qPrintable(u"%1 = %2, expected %3"_s.arg(name)
                                                     .arg(value, 2, 16, QChar(u'0'))
                                                     .arg(it.value(), 2, 16, QChar(u'0'))));
    }
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
    QProcess process;
    process.start(QStringLiteral(ORB_BINARY_DIR "/orb-run"), arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
    QCOMPARE(process.exitCode(), status);
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

void TestOrbRun::standardErrorNeverSplitsALine()
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

void TestOrbRun::failedWritesEndTheRun_data()
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

void TestOrbRun::failedWritesEndTheRun()
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

void TestOrbRun::failedWritesOfTheProcess()
{
#ifdef Q_OS_UNIX
    const QString program = QStringLiteral(ORB_BINARY_DIR "/orb-run");
    const QString doc = writeFile(dir, u"process.orb"_s, documentText({y70Row}));
    const QString loop = writeFile(dir, u"process-loop.orb"_s, loopDocument());
    for (const QStringList &arguments :
         {QStringList{doc}, QStringList{u"--trace"_s, doc}, QStringList{u"--help"_s}}) {
        QProcess full;
        full.setStandardOutputFile(u"/dev/full"_s);
        full.start(program, arguments);
        QVERIFY(full.waitForFinished(30000));
        QCOMPARE(full.exitCode(), int(RunOutputFailed));
        QCOMPARE(QString::fromUtf8(full.readAllStandardError()),
                 u"orb-run: cannot write the output: No space left on device\n"_s);
    }

    // A closed standard output: no file opened later takes its place.
    QProcess closed;
    closed.start(u"/bin/sh"_s, {u"-c"_s, u"exec >&-; exec \"$0\" \"$1\""_s, program, doc});
    QVERIFY(closed.waitForFinished(30000));
    QCOMPARE(closed.exitCode(), int(RunOutputFailed));
    QVERIFY(QString::fromUtf8(closed.readAllStandardError())
                .startsWith(u"orb-run: cannot write the output: "_s));

    // A reader that goes away ends a run of 100 million presses quietly, not by SIGPIPE.
    const QString errFile = dir.filePath(u"pipe-err.txt"_s);
    const QString statusFile = dir.filePath(u"pipe-status.txt"_s);
    QProcess pipeline;
    pipeline.start(u"/bin/sh"_s,
                   {u"-c"_s,
                    u"( \"$0\" --trace --max-steps 100000000 \"$1\" 2>\"$2\"; echo $? >\"$3\" ) | "
                    u"head -c 100 >/dev/null"_s,
                    program, loop, errFile, statusFile});
    QVERIFY(pipeline.waitForFinished(60000));
    QCOMPARE(testutil::readAll(statusFile), QByteArray("6\n"));
    QCOMPARE(testutil::readAll(errFile), QByteArray());
#endif
}

void TestOrbRun::expectationsFileIsBounded()
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

void TestOrbRun::unreadableDocumentsSayWhy_data()
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

void TestOrbRun::unreadableDocumentsSayWhy()
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

void TestOrbRun::cutCellsSaySo()
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

void TestOrbRun::controlCharactersAreEscaped()
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
    QProcess process;
    process.start(QStringLiteral(ORB_BINARY_DIR "/orb-run"), {path});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), int(RunWrongCells));
    const QByteArray bytes = process.readAllStandardError();
    QVERIFY(!bytes.contains('\x1b') && !bytes.contains('\x07'));
    QCOMPARE(QString::fromUtf8(bytes), outcome.err);
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

void TestOrbRun::loaderWarnings_data()
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

void TestOrbRun::loaderWarnings()
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

void TestOrbRun::inputWarnings()
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

void TestOrbRun::limitOnTheY70Press()
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
