// SPDX-License-Identifier: GPL-3.0-or-later
//
// The document text and file: the stored layout byte for byte, reading of well-formed and
// malformed texts, the Windows-1251 encoding and CR LF line ends, the size limit, atomic
// writing, and the memory cell text rules that the headless runner shares with the editor.

#include "app/document.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
#endif

using orb::LoadedDocument;
using orb::RowTexts;

Q_DECLARE_METATYPE(QList<RowTexts>)

namespace {

QStringList zeroMemory()
{
    return QStringList(orb::memoryCellCount, QStringLiteral("00"));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString dataFile(const char *name)
{
    return QStringLiteral(ORB_TEST_DATA "/") + QLatin1String(name);
}

bool writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestDocument : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }

    void serializeLayout_data();
    void serializeLayout();
    void newDocumentFile();
    void parse_data();
    void parse();
    void refused_data();
    void refused();
    void surplusRowsAreSkipped();
    void roundTripOfAFullTable();
    void sumDocument();
    void crLfDocument();
    void cyrillicRoundTrip();
    void anyBytesReadAsTheConverterReadsThem();
    void unencodableCharacters();
    void sizeLimit();
    void readFileFailures();
    void writeAndRead();
    void writeFailureKeepsTheOldFile_data();
    void writeFailureKeepsTheOldFile();
    void writeFailureOnFullDisk();
    void maskedByteTextMatchesTheLineEdit_data();
    void maskedByteTextMatchesTheLineEdit();
    void maskedByteTextMatchesTheLineEditOnRandomTexts();
    void memoryByteConversions_data();
    void memoryByteConversions();
};

void TestDocument::serializeLayout_data()
{
    QTest::addColumn<QList<RowTexts>>("rows");
    QTest::addColumn<QStringList>("memory");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray zeros = QByteArray("00").repeated(256);
    QTest::newRow("new document") << QList<RowTexts>{RowTexts{}} << zeroMemory()
                                  << QByteArray("MKT1\n\n\n\n\n") + zeros;

    QStringList memory = zeroMemory();
    memory[0] = QStringLiteral("0A");
    memory[255] = QStringLiteral("FF");
    QTest::newRow("two rows") << QList<RowTexts>{{u"0"_s, u"1"_s, u"x1"_s, u"y20"_s},
                                                 {u"1"_s, u"0"_s, u""_s, u"y70"_s}}
                              << memory
                              << QByteArray("MKT2\n0\n1\nx1\ny20\n1\n0\n\ny70\n0A") +
                                     QByteArray("00").repeated(254) + "FF";

    // A memory cell can hold fewer than two digits (its text cut); stored as-is it would shift
    // every byte after it on reading. It is stored as the byte it reads as.
    memory = zeroMemory();
    memory[0] = QStringLiteral("A");
    memory[1] = QString();
    memory[2] = QStringLiteral("7");
    QTest::newRow("short memory texts")
        << QList<RowTexts>{RowTexts{}} << memory
        << QByteArray("MKT1\n\n\n\n\n0A0007") + QByteArray("00").repeated(253);

    QTest::newRow("line breaks inside a cell")
        << QList<RowTexts>{{u"1\n2"_s, u"3\r"_s, QString(QChar(0)) + u"x"_s, u"y"_s}}
        << zeroMemory() << QByteArray("MKT1\n1 2\n3 \n x\ny\n") + zeros;
}

void TestDocument::serializeLayout()
{
    QFETCH(QList<RowTexts>, rows);
    QFETCH(QStringList, memory);
    QFETCH(QByteArray, expected);
    QCOMPARE(orb::serializeDocument(rows, memory), expected);
    QCOMPARE(orb::serializeDocumentText(rows, memory), QString::fromLatin1(expected));
}

void TestDocument::newDocumentFile()
{
    const QByteArray stored = readAll(dataFile("new.orb"));
    QCOMPARE(orb::serializeDocument({RowTexts{}}, zeroMemory()), stored);

    const std::optional<LoadedDocument> document = orb::readDocumentFile(dataFile("new.orb"));
    QVERIFY(document);
    QCOMPARE(document->rowCount, 1);
    QCOMPARE(document->cells, QStringList(4, QString()));
    QCOMPARE(document->memory, zeroMemory());
}

void TestDocument::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QStringList>("memory");

    const QString zeros = QStringLiteral("00").repeated(256);
    QTest::newRow("new document") << u"MKT1\n\n\n\n\n"_s + zeros << 1 << QStringList(4, QString())
                                  << zeroMemory();
    QTest::newRow("three rows of empty lines")
        << u"MKT3"_s + QString(13, u'\n') << 3 << QStringList(12, QString()) << QStringList();
    QTest::newRow("ends after its rows")
        << u"MKT2\n0\n1\nx1\ny20\n1\n0\n\ny70\n"_s << 2
        << QStringList{u"0"_s, u"1"_s, u"x1"_s, u"y20"_s, u"1"_s, u"0"_s, u""_s, u"y70"_s}
        << QStringList();
    QTest::newRow("count without newline") << "MKT5" << 5 << QStringList() << QStringList();
    QTest::newRow("magic alone") << "MKT" << 1 << QStringList() << QStringList();
    QTest::newRow("count 0") << u"MKT0\na\nb\nc\nd\ne\nAB"_s << 1
                             << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}
                             << QStringList{u"e\n"_s, u"AB"_s};
    QTest::newRow("count not a number")
        << u"MKTx2\na\nb\nc\nd\n"_s << 1 << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}
        << QStringList();
    QTest::newRow("negative count") << u"MKT-2\na\n"_s << 1 << QStringList{u"a"_s} << QStringList();
    QTest::newRow("count beyond int")
        << u"MKT99999999999\na\n"_s << 1 << QStringList{u"a"_s} << QStringList();
    QTest::newRow("count with blanks") << "MKT 2 \n" << 2 << QStringList() << QStringList();
    QTest::newRow("fewer cell lines")
        << u"MKT2\n0\n1\n\ny20\n1"_s << 2 << QStringList{u"0"_s, u"1"_s, u""_s, u"y20"_s, u"1"_s}
        << QStringList();
    QTest::newRow("NUL ends a field")
        << u"MKT1\n0"_s + QChar(0) + u"1\nb"_s + QChar(0) + u"y70\n0A"_s << 1
        << QStringList{u"0"_s, u"1"_s, u"b"_s, u"y70"_s} << QStringList{u"0A"_s};
    QTest::newRow("lone CR stays in the field")
        << u"MKT1\n0\r1\n\n\n\n"_s << 1 << QStringList{u"0\r1"_s, u""_s, u""_s, u""_s}
        << QStringList();
    QTest::newRow("odd memory") << u"MKT1\n\n\n\n\n0A1"_s << 1 << QStringList(4, QString())
                                << QStringList{u"0A"_s, u"1"_s};
    QTest::newRow("raw memory texts") << u"MKT1\n\n\n\n\nzzab\n"_s << 1 << QStringList(4, QString())
                                      << QStringList{u"zz"_s, u"ab"_s, u"\n"_s};
    QStringList longMemory = zeroMemory();
    longMemory[255] = QStringLiteral("EE");
    QTest::newRow("memory beyond 256 cells")
        << u"MKT1\n\n\n\n\n"_s + u"00"_s.repeated(255) + u"EE"_s + u"FF\n"_s << 1
        << QStringList(4, QString()) << longMemory;
}

void TestDocument::parse()
{
    QFETCH(QString, text);
    QFETCH(int, rowCount);
    QFETCH(QStringList, cells);
    QFETCH(QStringList, memory);

    const std::optional<LoadedDocument> document = orb::parseDocumentText(text);
    QVERIFY(document);
    QCOMPARE(document->rowCount, rowCount);
    QCOMPARE(document->cells, cells);
    QCOMPARE(document->memory, memory);

    // The byte form reads the same (all these texts are ASCII).
    const std::optional<LoadedDocument> fromBytes = orb::parseDocument(text.toLatin1());
    QVERIFY(fromBytes);
    QCOMPARE(fromBytes->rowCount, rowCount);
    QCOMPARE(fromBytes->cells, cells);
    QCOMPARE(fromBytes->memory, memory);
}

void TestDocument::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("too short") << QByteArray("MK");
    QTest::newRow("lower case") << QByteArray("mkt1\n\n\n\n\n");
    QTest::newRow("mixed case") << QByteArray("MkT1\n\n\n\n\n");
    QTest::newRow("leading blank") << QByteArray(" MKT1\n\n\n\n\n");
    QTest::newRow("leading newline") << QByteArray("\nMKT1\n\n\n\n\n");
    QTest::newRow("UTF-8 byte order mark") << QByteArray("\xEF\xBB\xBFMKT1\n\n\n\n\n");
    QByteArray garbage(4096, '\0');
    QRandomGenerator generator(7);
    for (char &c : garbage)
        c = char(generator.bounded(256));
    garbage[0] = 'M';
    garbage[1] = 'K';
    garbage[2] = '\x01';
    QTest::newRow("binary garbage") << garbage;
}

void TestDocument::refused()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!orb::parseDocument(bytes));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("refused.orb"));
    QVERIFY(writeRaw(path, bytes));
    QVERIFY(!orb::readDocumentFile(path));
}

void TestDocument::surplusRowsAreSkipped()
{
    // 502 announced rows: the table takes 500, the last two rows' lines are skipped and the
    // memory after them is still read.
    QString text = QStringLiteral("MKT502\n");
    for (int row = 0; row < 502; ++row)
        text += QStringLiteral("%1\n%1\nr%1\ny20\n").arg(row);
    text += QStringLiteral("AB0C");
    std::optional<LoadedDocument> document = orb::parseDocumentText(text);
    QVERIFY(document);
    QCOMPARE(document->rowCount, 500);
    QCOMPARE(document->cells.size(), 2000);
    QCOMPARE(document->cells.at(1996), QStringLiteral("499"));
    QCOMPARE(document->cells.at(1998), QStringLiteral("r499"));
    QCOMPARE(document->memory, (QStringList{u"AB"_s, u"0C"_s}));

    // The text ends inside the surplus rows: no memory.
    document = orb::parseDocumentText(QStringLiteral("MKT501\n") + QString(2002, u'\n'));
    QVERIFY(document);
    QCOMPARE(document->rowCount, 500);
    QCOMPARE(document->cells.size(), 2000);
    QVERIFY(document->memory.isEmpty());
}

void TestDocument::roundTripOfAFullTable()
{
    QList<RowTexts> rows;
    for (int row = 0; row < orb::maxDocumentRows; ++row) {
        rows.append({QString::number(row), QString::number((row + 1) % 1000),
                     row % 2 ? QStringLiteral("-x1,z") : QString(),
                     QStringLiteral("y%1").arg(20 + row % 51)});
    }
    QStringList memory;
    for (int address = 0; address < orb::memoryCellCount; ++address)
        memory.append(orb::formatHex(255 - address));

    const std::optional<LoadedDocument> document =
        orb::parseDocument(orb::serializeDocument(rows, memory));
    QVERIFY(document);
    QCOMPARE(document->rowCount, 500);
    QStringList cells;
    for (const RowTexts &row : rows)
        cells << row[0] << row[1] << row[2] << row[3];
    QCOMPARE(document->cells, cells);
    QCOMPARE(document->memory, memory);
}

void TestDocument::sumDocument()
{
    const std::optional<LoadedDocument> document = orb::readDocumentFile(dataFile("sum.orb"));
    QVERIFY(document);
    QCOMPARE(document->rowCount, 9);
    QCOMPARE(document->cells.size(), 36);
    QCOMPARE(document->cells.mid(0, 4), (QStringList{u"0"_s, u"1"_s, u""_s, u"y43"_s}));
    QCOMPARE(document->cells.mid(32, 4), (QStringList{u"8"_s, u"8"_s, u""_s, u"y70"_s}));
    QCOMPARE(document->memory.size(), 256);
    QCOMPARE(orb::readMemoryByte(document->memory.at(0)), 0x12);
    QCOMPARE(orb::readMemoryByte(document->memory.at(1)), 0x34);
}

void TestDocument::crLfDocument()
{
    const QByteArray bytes = readAll(dataFile("crlf.orb"));
    QVERIFY(bytes.contains("\r\n"));
    const std::optional<LoadedDocument> document = orb::parseDocument(bytes);
    QVERIFY(document);
    QCOMPARE(document->rowCount, 2);
    QCOMPARE(document->cells,
             (QStringList{u"0"_s, u"1"_s, u""_s, u"y20"_s, u"1"_s, u"0"_s, u"z"_s, u"y70"_s}));
    QStringList memory = zeroMemory();
    memory[0] = QStringLiteral("0A");
    QCOMPARE(document->memory, memory);

    // Saved again, it is the same document with LF line ends.
    QByteArray lf = bytes;
    lf.replace("\r\n", "\n");
    QCOMPARE(orb::serializeDocument(
                 {{u"0"_s, u"1"_s, u""_s, u"y20"_s}, {u"1"_s, u"0"_s, u"z"_s, u"y70"_s}}, memory),
             lf);
}

void TestDocument::cyrillicRoundTrip()
{
    // The stored document is Windows-1251: one byte per Cyrillic letter.
    const QByteArray bytes = readAll(dataFile("wrong-cells.orb"));
    QVERIFY(bytes.contains("\n\xF5\x31\n")); // "х1"
    const std::optional<LoadedDocument> document = orb::parseDocument(bytes);
    QVERIFY(document);
    QCOMPARE(document->rowCount, 4);
    QCOMPARE(document->cells.at(2), QStringLiteral("х1"));
    QCOMPARE(document->cells.at(7), QStringLiteral("у70"));
    QCOMPARE(document->cells.at(8), QStringLiteral("12a"));
    QCOMPARE(document->cells.at(14), QStringLiteral("Переход"));

    QList<RowTexts> rows;
    for (int row = 0; row < document->rowCount; ++row) {
        rows.append({document->cells.at(4 * row), document->cells.at(4 * row + 1),
                     document->cells.at(4 * row + 2), document->cells.at(4 * row + 3)});
    }
    QCOMPARE(orb::serializeDocument(rows, document->memory), bytes);

    const QString all =
        QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя№«»€");
    const QByteArray encoded = orb::serializeDocument({{all, u""_s, u""_s, u""_s}}, zeroMemory());
    QCOMPARE(encoded.size(), qsizetype(5 + all.size() + 4 + 512));
    QCOMPARE(orb::parseDocument(encoded)->cells.at(0), all);
}

void TestDocument::anyBytesReadAsTheConverterReadsThem()
{
    // Every byte, CR and LF in every neighbourhood, and the short texts the reader shares
    // (memory bytes, states) beside their look-alikes: read as Qt's Windows-1251 converter and a
    // CR LF replacement make the text, the cells and memory are the same.
    QRandomGenerator random(29);
    const QByteArray pieces[] = {"\r", "\n", "\r\n", "\r\r\n", "00",   "3C", "3c",   "FF",
                                 "G0", "7",  "07",   "999",    "1000", "\0", "\x98", "\xF5"};
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes = "MKT" + QByteArray::number(random.bounded(1, 6)) + "\n";
        const int length = random.bounded(0, 700);
        while (bytes.size() < length) {
            if (random.bounded(2))
                bytes += pieces[random.bounded(int(std::size(pieces)))];
            else
                bytes += char(random.bounded(256));
        }
        QStringDecoder decoder("windows-1251");
        QString text = decoder.decode(bytes);
        text.replace(u"\r\n"_s, u"\n"_s);
        const std::optional<LoadedDocument> expected = orb::parseDocumentText(text);
        const std::optional<LoadedDocument> read = orb::parseDocument(bytes);
        QVERIFY(expected && read);
        QCOMPARE(read->rowCount, expected->rowCount);
        QCOMPARE(read->cells, expected->cells);
        QCOMPARE(read->memory, expected->memory);
    }
}

void TestDocument::unencodableCharacters()
{
    // Characters without a Windows-1251 code become '?', one per character (a surrogate pair
    // is one character), and leave the rest of the document in place.
    const QString cell = u"a中b"_s + QString::fromUcs4(U"\U0001F600") + u"c"_s;
    const QByteArray bytes = orb::serializeDocument({{cell, u"1"_s, u""_s, u""_s}}, zeroMemory());
    QVERIFY(bytes.startsWith("MKT1\na?b?c\n1\n\n\n00"));
    const std::optional<LoadedDocument> document = orb::parseDocument(bytes);
    QVERIFY(document);
    QCOMPARE(document->cells, (QStringList{u"a?b?c"_s, u"1"_s, u""_s, u""_s}));
    QCOMPARE(document->memory, zeroMemory());
}

void TestDocument::sizeLimit()
{
    QByteArray bytes = orb::serializeDocument({RowTexts{}}, zeroMemory());
    const QByteArray atLimit = bytes + QByteArray(orb::maxDocumentBytes - bytes.size(), 'F');
    QVERIFY(orb::parseDocument(atLimit));
    QVERIFY(!orb::parseDocument(atLimit + "F"));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("large.orb"));
    QVERIFY(writeRaw(path, atLimit));
    QVERIFY(orb::readDocumentFile(path));
    QVERIFY(writeRaw(path, bytes + QByteArray(2 * 1024 * 1024, 'F')));
    QVERIFY(!orb::readDocumentFile(path));
}

void TestDocument::readFileFailures()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!orb::readDocumentFile(dir.filePath(QStringLiteral("missing.orb"))));
    QVERIFY(!orb::readDocumentFile(dir.path()));
    QVERIFY(!orb::readDocumentFile(QString()));
}

void TestDocument::writeAndRead()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sum copy.orb"));
    const QByteArray bytes = readAll(dataFile("sum.orb"));
    QString error;
    QVERIFY(orb::writeDocumentFile(path, bytes, &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(readAll(path), bytes);

    // Replacing an existing, longer file leaves nothing of it behind.
    QVERIFY(orb::writeDocumentFile(path, readAll(dataFile("new.orb")), &error));
    QCOMPARE(readAll(path), readAll(dataFile("new.orb")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"sum copy.orb"_s});
}

void TestDocument::writeFailureKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("target");
    // Tests may run as root, whom file permissions do not stop; these paths fail for anyone.
    QTest::newRow("parent is a file") << QStringLiteral("old.orb/new.orb");
    QTest::newRow("directory in place of the file") << QStringLiteral("folder.orb");
    QTest::newRow("missing folder") << QStringLiteral("missing/new.orb");
}

void TestDocument::writeFailureKeepsTheOldFile()
{
    QFETCH(QString, target);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray old = readAll(dataFile("sum.orb"));
    QVERIFY(writeRaw(dir.filePath(QStringLiteral("old.orb")), old));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.orb")));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    const QString path = dir.filePath(target);
    QString error;
    QVERIFY(!orb::writeDocumentFile(path, readAll(dataFile("new.orb")), &error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));

    QCOMPARE(readAll(dir.filePath(QStringLiteral("old.orb"))), old);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder.orb"))).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void TestDocument::writeFailureOnFullDisk()
{
#ifdef Q_OS_UNIX
    // A file size limit makes the write fail the way a full disk does, also for root.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sum.orb"));
    const QByteArray old = readAll(dataFile("new.orb"));
    QVERIFY(writeRaw(path, old));

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 100;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString error;
    const bool written = orb::writeDocumentFile(path, readAll(dataFile("sum.orb")), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!written);
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    QCOMPARE(readAll(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{u"sum.orb"_s});
#else
    QSKIP("needs a file size limit");
#endif
}

void TestDocument::maskedByteTextMatchesTheLineEdit_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QString &raw, const QString &expected) {
        QTest::newRow(name) << raw << expected;
    };
    const QString nul(QChar(0));
    row("two digits", u"05"_s, u"05"_s);
    row("upper hex", u"AF"_s, u"AF"_s);
    row("lower hex", u"ab"_s, u"AB"_s);
    row("mixed", u"fE"_s, u"FE"_s);
    row("one digit", u"7"_s, u"7"_s);
    row("empty", u""_s, u""_s);
    row("non-hex first", u"g5"_s, u"5"_s);
    row("non-hex last", u"5g"_s, u"5"_s);
    row("no hex", u"zz"_s, u""_s);
    row("three digits", u"ABC"_s, u"AB"_s);
    row("blank inside", u"a b"_s, u"AB"_s);
    row("blanks", u"  "_s, u""_s);
    row("newline", u"\n1"_s, u"1"_s);
    row("Cyrillic", u"ф1"_s, u"1"_s);
    row("Cyrillic lookalike", u"А0"_s, u"0"_s); // Cyrillic А
    row("Latin-1 letter", u"ä9"_s, u"9"_s);
    row("fullwidth letter", u"ａ1"_s, u"1"_s);
    // Qt's mask takes any Unicode number, not only ASCII digits, and NUL.
    row("fullwidth digits", u"１２"_s, u"１２"_s);
    row("Arabic-Indic digit", u"١2"_s, u"١2"_s);
    row("superscript", u"²x"_s, u"²"_s);
    row("small Roman numeral", u"ⅰ"_s, u"Ⅰ"_s);
    row("digit outside the BMP", QString::fromUcs4(U"\U0001D7CE") + u"1"_s, u"1"_s);
    row("NUL", nul + u"C"_s, nul + u"C"_s);
}

void TestDocument::maskedByteTextMatchesTheLineEdit()
{
    QFETCH(QString, raw);
    QFETCH(QString, expected);
    QLineEdit cell;
    cell.setInputMask(QStringLiteral(">HH"));
    cell.setText(raw);
    QCOMPARE(cell.text(), expected);
    QCOMPARE(orb::maskedByteText(raw), expected);
}

void TestDocument::maskedByteTextMatchesTheLineEditOnRandomTexts()
{
    const QString alphabet =
        QStringLiteral("0123456789abcdefABCDEFgGzZ -_.,\n\t\r/:;@[`{хфАБЕё中ÿ²½ⅰⅫ١۵１ａＡ") +
        QChar(0) + QString::fromUcs4(U"\U0001D7CE\U0001F600");
    QRandomGenerator generator(1251);
    QLineEdit cell;
    cell.setInputMask(QStringLiteral(">HH"));
    for (int i = 0; i < 5000; ++i) {
        QString raw;
        const int length = generator.bounded(6);
        for (int k = 0; k < length; ++k)
            raw += alphabet.at(generator.bounded(int(alphabet.size())));
        cell.setText(raw);
        QVERIFY2(orb::maskedByteText(raw) == cell.text(),
                 qPrintable(QStringLiteral("raw \"%1\": line edit \"%2\", function \"%3\"")
                                .arg(raw, cell.text(), orb::maskedByteText(raw))));
    }
}

void TestDocument::memoryByteConversions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("formatted");
    QTest::newRow("00") << "00" << 0 << "00";
    QTest::newRow("05") << "05" << 5 << "05";
    QTest::newRow("A0") << "A0" << 0xA0 << "A0";
    QTest::newRow("FF") << "FF" << 255 << "FF";
    QTest::newRow("one digit") << "A" << 10 << "0A";
    QTest::newRow("empty") << "" << 0 << "00";
    QTest::newRow("not a number") << "zz" << 0 << "00";
    QTest::newRow("lower case") << "7f" << 0x7F << "7F";
    QTest::newRow("negative") << "-1" << 0 << "00";
    QTest::newRow("beyond a byte") << "1FF" << 0 << "00";
    QTest::newRow("Unicode digits") << "١2" << 0 << "00";
}

void TestDocument::memoryByteConversions()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(QString, formatted);
    QCOMPARE(orb::readMemoryByte(text), value);
    QCOMPARE(orb::formatHex(value), formatted);
}

QTEST_MAIN(TestDocument)
#include "tst_document.moc"
