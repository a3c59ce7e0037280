// The document text and file: the stored layout byte for byte, reading of well-formed and
// malformed texts, the Windows-1251 encoding and CR LF line ends, the size limit, atomic
// writing, and the memory cell text rules that the headless runner shares with the editor.

#include "app/document.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
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
    QTest::newRow("two rows") << QList<RowTexts>{{"0", "1", "x1", "y20"}, {"1", "0", "", "y70"}}
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
        << QList<RowTexts>{{"1\n2", "3\r", QString(QChar(0)) + "x", "y"}} << zeroMemory()
        << QByteArray("MKT1\n1 2\n3 \n x\ny\n") + zeros;
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
    QTest::newRow("new document") << "MKT1\n\n\n\n\n" + zeros << 1 << QStringList(4, QString())
                                  << zeroMemory();
    QTest::newRow("three rows of empty lines")
        << "MKT3" + QString(13, u'\n') << 3 << QStringList(12, QString()) << QStringList();
    QTest::newRow("ends after its rows")
        << "MKT2\n0\n1\nx1\ny20\n1\n0\n\ny70\n"
        << 2 << QStringList{"0", "1", "x1", "y20", "1", "0", "", "y70"} << QStringList();
    QTest::newRow("count without newline") << "MKT5" << 5 << QStringList() << QStringList();
    QTest::newRow("magic alone") << "MKT" << 1 << QStringList() << QStringList();
    QTest::newRow("count 0") << "MKT0\na\nb\nc\nd\ne\nAB" << 1 << QStringList{"a", "b", "c", "d"}
                             << QStringList{"e\n", "AB"};
    QTest::newRow("count not a number") << "MKTx2\na\nb\nc\nd\n"
                                        << 1 << QStringList{"a", "b", "c", "d"} << QStringList();
    QTest::newRow("negative count") << "MKT-2\na\n" << 1 << QStringList{"a"} << QStringList();
    QTest::newRow("count beyond int") << "MKT99999999999\na\n"
                                      << 1 << QStringList{"a"} << QStringList();
    QTest::newRow("count with blanks") << "MKT 2 \n" << 2 << QStringList() << QStringList();
    QTest::newRow("fewer cell lines")
        << "MKT2\n0\n1\n\ny20\n1" << 2 << QStringList{"0", "1", "", "y20", "1"} << QStringList();
    QTest::newRow("NUL ends a field")
        << QStringLiteral("MKT1\n0") + QChar(0) + "1\nb" + QChar(0) + "y70\n0A" << 1
        << QStringList{"0", "1", "b", "y70"} << QStringList{"0A"};
    QTest::newRow("lone CR stays in the field")
        << "MKT1\n0\r1\n\n\n\n"
        << 1 << QStringList{"0\r1", "", "", ""} << QStringList();
    QTest::newRow("odd memory") << "MKT1\n\n\n\n\n0A1" << 1 << QStringList(4, QString())
                                << QStringList{"0A", "1"};
    QTest::newRow("raw memory texts")
        << "MKT1\n\n\n\n\nzzab\n"
        << 1 << QStringList(4, QString()) << QStringList{"zz", "ab", "\n"};
    QStringList longMemory = zeroMemory();
    longMemory[255] = QStringLiteral("EE");
    QTest::newRow("memory beyond 256 cells")
        << "MKT1\n\n\n\n\n" + QStringLiteral("00").repeated(255) + "EE" + "FF\n"
        << 1 << QStringList(4, QString()) << longMemory;
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
    QCOMPARE(document->memory, (QStringList{"AB", "0C"}));

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
        memory.append(orb::formatMemoryByte(255 - address));

    const std::optional<LoadedDocument> document =
        orb::parseDocument(orb::serializeDocument(rows, memory));
    QVERIFY(document);
    QCOMPARE(document->rowCount, orb::maxDocumentRows);
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
    QCOMPARE(document->cells.mid(0, 4), (QStringList{"0", "1", "", "y43"}));
    QCOMPARE(document->cells.mid(32, 4), (QStringList{"8", "8", "", "y70"}));
    QCOMPARE(document->memory.size(), orb::memoryCellCount);
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
    QCOMPARE(document->cells, (QStringList{"0", "1", "", "y20", "1", "0", "z", "y70"}));
    QStringList memory = zeroMemory();
    memory[0] = QStringLiteral("0A");
    QCOMPARE(document->memory, memory);

    // Saved again, it is the same document with LF line ends.
    QByteArray lf = bytes;
    lf.replace("\r\n", "\n");
    QCOMPARE(orb::serializeDocument({{"0", "1", "", "y20"}, {"1", "0", "z", "y70"}}, memory), lf);
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
    const QByteArray encoded = orb::serializeDocument({{all, "", "", ""}}, zeroMemory());
    QCOMPARE(encoded.size(), qsizetype(5 + all.size() + 4 + 512));
    QCOMPARE(orb::parseDocument(encoded)->cells.at(0), all);
}

void TestDocument::unencodableCharacters()
{
    // Characters without a Windows-1251 code become '?', one per character (a surrogate pair
    // is one character), and leave the rest of the document in place.
    const QString cell = QStringLiteral("a中b") + QString::fromUcs4(U"\U0001F600") + "c";
    const QByteArray bytes = orb::serializeDocument({{cell, "1", "", ""}}, zeroMemory());
    QVERIFY(bytes.startsWith("MKT1\na?b?c\n1\n\n\n00"));
    const std::optional<LoadedDocument> document = orb::parseDocument(bytes);
    QVERIFY(document);
    QCOMPARE(document->cells, (QStringList{"a?b?c", "1", "", ""}));
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
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"sum copy.orb"});
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
             QStringList{"sum.orb"});
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
    row("two digits", "05", "05");
    row("upper hex", "AF", "AF");
    row("lower hex", "ab", "AB");
    row("mixed", "fE", "FE");
    row("one digit", "7", "7");
    row("empty", "", "");
    row("non-hex first", "g5", "5");
    row("non-hex last", "5g", "5");
    row("no hex", "zz", "");
    row("three digits", "ABC", "AB");
    row("blank inside", "a b", "AB");
    row("blanks", "  ", "");
    row("newline", "\n1", "1");
    row("Cyrillic", "ф1", "1");
    row("Cyrillic lookalike", "А0", "0"); // Cyrillic А
    row("Latin-1 letter", "ä9", "9");
    row("fullwidth letter", "ａ1", "1");
    // Qt's mask takes any Unicode number, not only ASCII digits, and NUL.
    row("fullwidth digits", "１２", "１２");
    row("Arabic-Indic digit", "١2", "١2");
    row("superscript", "²x", "²");
    row("small Roman numeral", "ⅰ", "Ⅰ");
    row("digit outside the BMP", QString::fromUcs4(U"\U0001D7CE") + "1", "1");
    row("NUL", nul + "C", nul + "C");
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
    QCOMPARE(orb::formatMemoryByte(value), formatted);
}

QTEST_MAIN(TestDocument)
#include "tst_document.moc"
