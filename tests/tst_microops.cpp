// The microoperation set: every ALU function in both modes, every microoperation's effect on
// registers, flags and memory, and the texts that describe them.

#include "sim/microops.h"
#include "testutil.h"

#include <QRegularExpression>
#include <QTest>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

// A register or flag of the model by the name the panels and orb-run use; nullptr for a name
// that is none.
int *registerByName(Processor &p, const QString &name)
{
    static const QRegularExpression indexed(u"^(RK|RON)(\\d+)$"_s);
    const QRegularExpressionMatch match = indexed.match(name);
    if (match.hasMatch()) {
        const int index = match.captured(2).toInt();
        if (match.captured(1) == u"RK")
            return index >= 1 && index <= 4 ? &p.rk[size_t(index - 1)] : nullptr;
        return index < 16 ? &p.ron[size_t(index)] : nullptr;
    }
    const std::pair<const char16_t *, int *> names[] = {
        {u"A", &p.a},   {u"B", &p.b},   {u"PC", &p.rs}, {u"SP", &p.sp},
        {u"RI", &p.ri}, {u"RA", &p.ra}, {u"RB", &p.rv}, {u"R", &p.r},
        {u"S1", &p.s1}, {u"S2", &p.s2}, {u"S3", &p.s3},
    };
    for (const auto &[key, pointer] : names) {
        if (name == QStringView(key))
            return pointer;
    }
    return nullptr;
}

quint8 *flagByName(Processor &p, const QString &name)
{
    const std::pair<const char16_t *, quint8 *> names[] = {
        {u"X4", &p.x4}, {u"X3", &p.x3}, {u"X2", &p.x2}, {u"X1", &p.x1},
        {u"Z", &p.z},   {u"N", &p.n},   {u"C", &p.c},   {u"P", &p.p},
    };
    for (const auto &[key, pointer] : names) {
        if (name == QStringView(key))
            return pointer;
    }
    return nullptr;
}

// Applies "A=10 RON3=7F M3A=05 Z=1" (values in hex, memory as M and a hex address).
void apply(Processor &processor, ByteArrayMemory &memory, const QString &assignments)
{
    for (const QString &item : assignments.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = item.section(u'=', 0, 0);
        bool ok = false;
        const int value = item.section(u'=', 1).toInt(&ok, 16);
        QVERIFY2(ok, qPrintable(item));
        if (int *reg = registerByName(processor, name)) {
            *reg = value;
        } else if (quint8 *flag = flagByName(processor, name)) {
            *flag = quint8(value);
        } else {
            QVERIFY2(name.startsWith(u'M'), qPrintable(item));
            memory.bytes[size_t(name.mid(1).toInt(&ok, 16))] = quint8(value);
            QVERIFY2(ok, qPrintable(item));
        }
    }
}

// Every register and memory byte distinct, so a microoperation that reads or writes the wrong
// one shows.
void baseState(Processor &p, ByteArrayMemory &memory)
{
    p.reset();
    p.rk = {0x11, 0x22, 0x33, 0x44};
    for (int i = 0; i < 16; ++i)
        p.ron[size_t(i)] = 0x80 + i;
    p.a = 0xA1;
    p.b = 0xB2;
    p.rs = 0xC3;
    p.sp = 0xD4;
    p.ri = 0x15;
    p.ra = 0x26;
    p.rv = 0x37;
    p.r = 0x9;
    p.s1 = 0x5A; // R1 = 5
    p.s2 = 0x6B; // R2 = 11
    p.s3 = 0x7C;
    for (int address = 0; address < 256; ++address)
        memory.bytes[size_t(address)] = quint8(address * 7 + 3);
}

ControlFields fieldsOf(const QList<int> &numbers)
{
    ControlFields fields;
    for (int number : numbers)
        fields.marks[size_t(number)] = 1;
    return fields;
}

QString describe(const Processor &p)
{
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << u"RK%1=%2"_s.arg(i + 1).arg(formatHex(p.rk[size_t(i)]));
    for (int i = 0; i < 16; ++i)
        parts << u"RON%1=%2"_s.arg(i).arg(formatHex(p.ron[size_t(i)]));
    const std::pair<const char *, int> registers[] = {
        {"A", p.a},   {"B", p.b},   {"PC", p.rs}, {"SP", p.sp}, {"RI", p.ri},
        {"RA", p.ra}, {"RB", p.rv}, {"R", p.r},   {"S1", p.s1}, {"S2", p.s2},
        {"S3", p.s3}, {"X4", p.x4}, {"X3", p.x3}, {"X2", p.x2}, {"X1", p.x1},
        {"Z", p.z},   {"N", p.n},   {"C", p.c},   {"P", p.p},
    };
    for (const auto &[name, value] : registers)
        parts << QString::fromLatin1(name) + u'=' + formatHex(value);
    return parts.join(u' ');
}

const QString prefix = u"Выполнена микрооперация y"_s;

} // namespace

class TestMicroops : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }

    void aluFunctions_data();
    void aluFunctions();
    void controlFields();
    void microoperations_data();
    void microoperations();
    void deviceMessages_data();
    void deviceMessages();
    void operationTextOfNothing();
};

void TestMicroops::aluFunctions_data()
{
    QTest::addColumn<bool>("logic");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("p");
    QTest::addColumn<QString>("text");

    // x = 1001 1100, y = 0011 0101. Logic functions leave C and P (set to 1 before) alone.
    const int x = 0x9C;
    const int y = 0x35;
    const struct {
        int function;
        int result;
        const char *text;
    } logic[] = {
        {0, 0x63, "!X"},       {1, 0x42, "!(X v Y)"}, {2, 0x21, "!X & Y"}, {3, 0x00, "0"},
        {4, 0xEB, "!(X & Y)"}, {5, 0xCA, "!Y"},       {6, 0xA9, "X ^ Y"},  {7, 0x88, "X & !Y"},
        {8, 0x77, "!X v Y"},   {9, 0x56, "!(X ^ Y)"}, {10, 0x35, "Y"},     {11, 0x14, "X & Y"},
        {12, 0xFF, "FF"},      {13, 0xDE, "X v !Y"},  {14, 0xBD, "X v Y"}, {15, 0x9C, "X"},
    };
    for (const auto &row : logic) {
        QTest::addRow("logic %d", row.function) << true << row.function << x << y << row.result << 1
                                                << 1 << QString::fromLatin1(row.text);
    }

    const struct {
        int function;
        int x;
        int y;
        int result;
        int c;
        int p;
        const char *text;
    } arithmetic[] = {
        {0, x, y, 0x9D, 0, 0, "X + 1"},
        {1, x, y, 0x39, 1, 1, "X << 1 (1)"},
        {2, x, y, 0x9E, 0, 0, "X + 2"},
        {3, x, y, noAluOperation, 0, 0, ""},
        {4, x, y, 0x4E, 0, 1, "X >> 1 (0)"},
        {5, x, y, 0x9F, 0, 0, "X + 3"},
        {6, x, y, 0x67, 0, 1, "X - Y"},
        {7, x, y, noAluOperation, 0, 0, ""},
        {8, x, y, 0xCE, 0, 0, "X >> 1 (1)"},
        {9, x, y, 0xD1, 0, 0, "X + Y"},
        {10, x, y, 0x99, 1, 1, "Y - X"},
        {11, x, y, 0xA0, 0, 0, "X + 4"},
        {12, x, y, 0x38, 1, 1, "X << 1 (0)"},
        {13, x, y, noAluOperation, 0, 0, ""},
        {14, x, y, noAluOperation, 0, 0, ""},
        {15, x, y, 0x9B, 0, 0, "X - 1"},
        // Wrap-around and the flags at the edges.
        {0, 0xFF, 0, 0x00, 1, 0, "X + 1"},
        {0, 0x7F, 0, 0x80, 0, 1, "X + 1"},
        {2, 0xFE, 0, 0x00, 1, 0, "X + 2"},
        {5, 0x7E, 0, 0x81, 0, 1, "X + 3"},
        {11, 0xFD, 0, 0x01, 1, 0, "X + 4"},
        {15, 0x00, 0, 0xFF, 1, 0, "X - 1"},
        {15, 0x80, 0, 0x7F, 0, 1, "X - 1"},
        {6, 0x10, 0x20, 0xF0, 1, 0, "X - Y"},
        {9, 0x80, 0x80, 0x00, 1, 1, "X + Y"},
        {10, 0x05, 0x05, 0x00, 0, 0, "Y - X"},
    };
    for (const auto &row : arithmetic) {
        QTest::addRow("arithmetic %d, %02X %02X", row.function, row.x, row.y)
            << false << row.function << row.x << row.y << row.result << row.c << row.p
            << QString::fromLatin1(row.text);
    }
}

void TestMicroops::aluFunctions()
{
    QFETCH(bool, logic);
    QFETCH(int, function);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, result);
    QFETCH(int, c);
    QFETCH(int, p);
    QFETCH(QString, text);
    Processor processor;
    processor.c = processor.p = logic ? 1 : 0;
    QCOMPARE(computeAlu(processor, function, logic, x, y), result);
    QCOMPARE(int(processor.c), c);
    QCOMPARE(int(processor.p), p);
    QCOMPARE(aluText(function, logic, u"X"_s, u"Y"_s), text);
}

void TestMicroops::controlFields()
{
    // T takes y10 as its most significant bit, F takes y11: the opposite orders.
    QCOMPARE(fieldsOf({7, 8, 10}).registerT(), 11);
    QCOMPARE(fieldsOf({9}).registerT(), 4);
    QCOMPARE(fieldsOf({11, 14}).aluFunction(), 9);
    QCOMPARE(fieldsOf({12, 13}).aluFunction(), 6);
    QCOMPARE(fieldsOf({14}).aluFunction(), 1);
    QVERIFY(fieldsOf({15}).logicMode());
    QVERIFY(!fieldsOf({11, 12, 13, 14}).logicMode());
    QVERIFY(fieldsOf({6}).countDown());
    QVERIFY(!fieldsOf({7}).countDown());
}

void TestMicroops::microoperations_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<QString>("setup");    // changes to the base state before
    QTest::addColumn<QString>("expected"); // every change the microoperation makes
    QTest::addColumn<QString>("text");     // after the prefix, or the whole error text
    QTest::addColumn<int>("device");

    const int none = int(DeviceRequest::None);
    auto add = [&](const char *name, int signal, QList<int> fields, const QString &setup,
                   const QString &expected, const QString &text, int device = 0) {
        QTest::newRow(name) << signal << fields << setup << expected << text << device;
    };
    add("y20 A := R", 20, {}, u""_s, u"A=09"_s, u"A := R"_s);
    add("y20 zero", 20, {}, u"R=0"_s, u"A=00 Z=1"_s, u"A := R"_s);
    add("y21", 21, {}, u""_s, u"A=5A"_s, u"A := S1"_s);
    add("y22", 22, {}, u""_s, u"A=6B"_s, u"A := S2"_s);
    add("y23", 23, {}, u""_s, u"A=7C"_s, u"A := S3"_s);
    add("y24", 24, {}, u""_s, u"A=C3 N=1"_s, u"A := PC"_s);
    add("y25", 25, {}, u""_s, u"A=37"_s, u"A := PB"_s);
    add("y26", 26, {}, u""_s, u"A=D4 N=1"_s, u"A := SP"_s);
    add("y27 R1 from S1", 27, {}, u""_s, u"A=85 N=1"_s, u"A := POH[R1]"_s);
    add("y28 R2 from S2", 28, {}, u""_s, u"A=8B N=1"_s, u"A := POH[R2]"_s);
    add("y29 T=11", 29, {7, 8, 10}, u""_s, u"A=8B N=1"_s, u"A := POH[T]"_s);
    add("y29 T=4", 29, {9}, u""_s, u"A=84 N=1"_s, u"A := POH[T]"_s);
    add("y30", 30, {}, u"M26=42"_s, u"A=42"_s, u"A := ОП[PA]"_s);
    add("y31 A + B", 31, {11, 14}, u""_s, u"A=53 C=1 P=1"_s, u"A := A + B"_s);
    add("y31 logic F=15", 31, {11, 12, 13, 14, 15}, u""_s, u"N=1"_s, u"A := A"_s);
    add("y31 B - A", 31, {11, 13}, u"A=20 B=30"_s, u"A=10"_s, u"A := B - A"_s);
    add("y31 no operation", 31, {13, 14}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y35", 35, {}, u""_s, u"B=15"_s, u"B := РИ"_s);
    add("y36", 36, {}, u""_s, u"B=89 N=1"_s, u"B := POH[R]"_s);
    add("y37 A - B", 37, {12, 13}, u"A=10 B=20"_s, u"B=F0 C=1 N=1"_s, u"B := A - B"_s);
    add("y38", 38, {}, u"R=3"_s, u"B=F3 N=1"_s, u"B := F.R"_s);
    add("y41 T=0", 41, {}, u""_s, u"RA=80 N=1"_s, u"PA := POH[T]"_s);
    add("y42 A & B", 42, {11, 13, 14, 15}, u""_s, u"RA=A0 N=1"_s, u"PA := A & B"_s);
    add("y43", 43, {}, u""_s, u"RA=00 Z=1"_s, u"PA := 0"_s);
    add("y45", 45, {}, u""_s, u"RB=A1 N=1"_s, u"PB := A"_s);
    add("y47 up", 47, {}, u""_s, u"RI=16"_s, u"РИ := РИ + 1"_s);
    add("y47 down", 47, {6}, u""_s, u"RI=14"_s, u"РИ := РИ - 1"_s);
    add("y47 down from 0", 47, {6}, u"RI=0"_s, u"RI=FF C=1 N=1"_s, u"РИ := РИ - 1"_s);
    add("y47 up from FF", 47, {}, u"RI=FF"_s, u"RI=00 C=1 Z=1"_s, u"РИ := РИ + 1"_s);
    add("y47 up from 7F", 47, {}, u"RI=7F"_s, u"RI=80 N=1 P=1"_s, u"РИ := РИ + 1"_s);
    add("y48", 48, {}, u""_s, u"RI=A1 N=1"_s, u"РИ := A"_s);
    add("y49", 49, {}, u""_s, u"PC=00 Z=1"_s, u"PC := 0"_s);
    add("y50 PC + 1", 50, {}, u""_s, u"PC=C4 N=1"_s, u"PC := PC + 1"_s);
    add("y50 no operation", 50, {11, 12, 14}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y52", 52, {}, u""_s, u"SP=A1 N=1"_s, u"SP := A"_s);
    add("y53 A - SP", 53, {11, 13}, u""_s, u"SP=CD C=1 N=1"_s, u"SP := A - SP"_s);
    add("y53 no operation", 53, {11, 12, 13}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y55", 55, {}, u""_s, u"RON9=5A"_s, u"POH[R] := S1"_s);
    add("y56", 56, {}, u""_s, u"RON5=A1 N=1"_s, u"POH[R1] := A"_s);
    add("y57 shift", 57, {14}, u""_s, u"RON9=13 C=1 P=1"_s, u"POH[R] := POH[R] << 1 (1)"_s);
    add("y57 no operation", 57, {12, 13, 14}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y58 T=3 logic", 58, {7, 8, 15}, u""_s, u"RON3=7C"_s, u"POH[T] := !POH[T]"_s);
    add("y58 T=15 plus A", 58, {7, 8, 9, 10, 11, 14}, u"A=01 RON15=FF"_s, u"RON15=00 Z=1 C=1"_s,
        u"POH[T] := POH[T] + A"_s);
    add("y60", 60, {}, u""_s, u"M26=A1 N=1"_s, u"ОП[РА] := A"_s);
    add("y60 zero", 60, {}, u"A=0"_s, u"M26=00 Z=1"_s, u"ОП[РА] := A"_s);
    add("y62", 62, {}, u"RA=40 M40=A7 M41=5C"_s,
        u"RK1=A7 RK2=5C RK3=00 RK4=00 R=07 S1=5C S2=00 S3=00 X4=1 X2=1"_s,
        u"PK[31:16] := ОП[РА]"_s);
    add("y62 at FE", 62, {}, u"RA=FE MFE=5B MFF=C4"_s,
        u"RK1=5B RK2=C4 RK3=00 RK4=00 R=0B S1=C4 S2=00 S3=00 X3=1 X1=1"_s,
        u"PK[31:16] := ОП[РА]"_s);
    add("y62 at FF", 62, {}, u"RA=FF"_s, u""_s,
        u"<font color='red'>Невозможно выполнить микрооперацию y62: PK[31:16] := ОП[PA]</font>"_s);
    add("y63 at FD", 63, {}, u"RA=FD MFD=F0 MFE=01 MFF=02 X1=1"_s,
        u"RK1=F0 RK2=01 RK3=02 RK4=00 R=00 S1=01 S2=02 S3=00 X4=1 X3=1 X2=1 X1=1"_s,
        u"PK[31:8] := ОП[РА]"_s);
    add("y63 at FE", 63, {}, u"RA=FE"_s, u""_s,
        u"<font color='red'>Невозможно выполнить микрооперацию y63: PK[31:8] := ОП[PA]</font>"_s);
    add("y64 at FC", 64, {}, u"RA=FC MFC=0F MFD=01 MFE=02 MFF=03 X4=1"_s,
        u"RK1=0F RK2=01 RK3=02 RK4=03 R=0F S1=01 S2=02 S3=03 X4=0"_s, u"PK[31:0] := ОП[РА]"_s);
    add("y64 at FD", 64, {}, u"RA=FD"_s, u""_s,
        u"<font color='red'>Невозможно выполнить микрооперацию y64: PK[31:0] := ОП[PA]</font>"_s);
    add("y66", 66, {}, u""_s, u""_s, u"A := Дисплей"_s, int(DeviceRequest::DataByte));
    add("y67", 67, {}, u""_s, u""_s, u"Дисплей := A"_s, int(DeviceRequest::Message));
    add("y68", 68, {}, u""_s, u""_s, u"\"Переполнение\""_s, int(DeviceRequest::Message));
    add("y69", 69, {}, u""_s, u""_s, u"\"Ошибка в КОП\""_s, int(DeviceRequest::Message));
    add("y70", 70, {}, u""_s, u""_s, u"\"СТОП\""_s, int(DeviceRequest::Message));
    add("y32 names nothing", 32, {}, u""_s, u""_s, u""_s, none);
    add("y71 names nothing", 71, {}, u""_s, u""_s, u""_s, none);
}

void TestMicroops::microoperations()
{
    QFETCH(int, signal);
    QFETCH(QList<int>, fields);
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    QFETCH(QString, text);
    QFETCH(int, device);

    Processor processor;
    ByteArrayMemory memory;
    baseState(processor, memory);
    apply(processor, memory, setup);
    Processor expectedProcessor = processor;
    ByteArrayMemory expectedMemory = memory;
    expectedProcessor.clearResultFlags(); // the engine clears them before every microoperation
    apply(expectedProcessor, expectedMemory, expected);

    processor.clearResultFlags();
    const MicroopOutcome outcome =
        performMicrooperation(signal, fieldsOf(fields), processor, memory);

    QCOMPARE(describe(processor), describe(expectedProcessor));
    QVERIFY(memory.bytes == expectedMemory.bytes);
    QCOMPARE(int(outcome.device), device);
    const QString fullText = outcome.operation.text();
    if (text.startsWith(u"Операции") || text.startsWith(u"<font"))
        QCOMPARE(fullText, text);
    else
        QCOMPARE(fullText, prefix + QString::number(signal) + u" :    "_s + text);
}

void TestMicroops::deviceMessages_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("a");
    QTest::addColumn<QString>("message");
    QTest::newRow("y66") << 66 << 0 << u"Введите байт данных: "_s;
    QTest::newRow("y67 05") << 67 << 5 << u"A = 05"_s;
    QTest::newRow("y67 AB") << 67 << 0xAB << u"A = AB"_s;
    QTest::newRow("y68") << 68 << 0 << u"Переполнение"_s;
    QTest::newRow("y69") << 69 << 0 << u"Ошибка в коде операции"_s;
    QTest::newRow("y70") << 70 << 0 << u"СТОП"_s;
}

void TestMicroops::deviceMessages()
{
    QFETCH(int, signal);
    QFETCH(int, a);
    QFETCH(QString, message);
    Processor processor;
    processor.setA(a);
    QCOMPARE(deviceMessage(signal, processor), message);
}

void TestMicroops::operationTextOfNothing()
{
    QCOMPARE(Operation().text(), QString());
    Operation none;
    none.kind = Operation::Kind::NoMicrooperations;
    QCOMPARE(none.text(), u"Нет микроопераций"_s);
}

QTEST_GUILESS_MAIN(TestMicroops)
#include "tst_microops.moc"
