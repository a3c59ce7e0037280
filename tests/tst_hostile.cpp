// SPDX-License-Identifier: GPL-3.0-or-later
//
// Hostile documents and saves. Every truncation and single-byte change of real documents is
// read by the loader, and a sample of them opened through the editor's Open: each opens or is
// refused cleanly, and a refused file leaves the open document as it was. Documents with a byte
// order mark, NULs, absurd row counts, non-hex memory and mixed line ends open as decided. A
// save killed halfway, saves through a symbolic link, onto a file with its own mode and onto a
// file that cannot be replaced lose nothing. Random documents survive save, open and save byte
// for byte.

#include "app/constants.h"
#include "app/document.h"
#include "app/mainwindow.h"
#include "cells/ramlineedit.h"
#include "cells/rowrules.h"
#include "cells/ttlineedit.h"
#include "sim/registers.h"
#include "editorfixture.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using editortest::ScriptedWindow;
using testutil::child;
using testutil::readAll;
using testutil::writeAll;
#endif

using namespace Qt::StringLiterals;
using editortest::memoryTexts;
using editortest::Row;

namespace {

QString sourceFile(const char *name)
{
    return QStringLiteral(ORB_SOURCE_DIR "/") + QLatin1String(name);
}

// Texts and marks of every row, one entry per row: the four texts, then the marks.
QList<Row> tableState(const MainWindow &window)
{
    QList<Row> rows;
    for (int row = 0; row < window.stringCount(); ++row)
        rows << (editortest::rowTexts(window, row) << editortest::rowMarks(window, row));
    return rows;
}

QList<Row> tableState(const orb::HeadlessTable &table)
{
    QList<Row> rows;
    for (int row = 0; row < table.rowCount(); ++row) {
        Row texts;
        QString marks;
        for (const orb::HeadlessTable::Cell &cell : table.row(row).cells) {
            texts << cell.text;
            marks += cell.correct ? u'+' : u'-';
        }
        rows << (texts << marks);
    }
    return rows;
}

// One damaged copy of a document: cut short, or one byte replaced.
struct Mutation {
    QByteArray bytes;
    bool truncated = false;
    qsizetype offset = 0; // the length kept, or the byte replaced
    char original = 0;
    char replacement = 0;
    int change = -1; // which of the byte changes: NUL, 0xFF, newline, a bit flipped
    QByteArray name() const
    {
        return truncated ? "cut at " + QByteArray::number(offset)
                         : "byte " + QByteArray::number(offset) + " -> 0x" +
                               QByteArray::number(uchar(replacement), 16);
    }
    // Only the magic makes a document: a change there must be refused, any other opens.
    bool refused() const { return offset < 3; }
};

// Every truncation, and at every offset the byte replaced by NUL, 0xFF, a newline and itself
// with one bit flipped (a different bit at each offset).
QList<Mutation> mutationsOf(const QByteArray &document)
{
    QList<Mutation> mutations;
    for (qsizetype length = 0; length < document.size(); ++length)
        mutations.append({document.left(length), true, length});
    for (qsizetype offset = 0; offset < document.size(); ++offset) {
        const char original = document[offset];
        const char replacements[] = {'\0', '\xFF', '\n', char(original ^ char(1 << (offset % 8)))};
        for (int change = 0; change < 4; ++change) {
            if (replacements[change] == original)
                continue;
            QByteArray bytes = document;
            bytes[offset] = replacements[change];
            mutations.append({bytes, false, offset, original, replacements[change], change});
        }
    }
    return mutations;
}

// Where the count line ends and the memory section starts in an intact document.
struct Sections {
    qsizetype countLineEnd = 0;
    qsizetype memoryStart = 0;
};

Sections sectionsOf(const QByteArray &document)
{
    return {document.indexOf('\n'), document.size() - 2 * orb::memoryCellCount};
}

// Texts of loaded cells compare without the CR a cut between CR and LF leaves behind.
QString withoutTrailingCr(QString text)
{
    if (text.endsWith(u'\r'))
        text.chop(1);
    return text;
}

// The documents every change is made to: a long one, one full of wrong cells, one with CR LF
// line ends and a plain one.
const QStringList documentFiles = {
    u"examples/03-fetch-decode-loop.orb"_s,
    u"tests/data/wrong-cells.orb"_s,
    u"tests/data/crlf.orb"_s,
    u"tests/data/sum.orb"_s,
};

} // namespace

class TestHostile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mutatedDocumentsLoad_data();
    void mutatedDocumentsLoad();
    void mutatedDocumentsOpen_data();
    void mutatedDocumentsOpen();
    void hostileDocuments_data();
    void hostileDocuments();
    void saveKilledHalfway_data();
    void saveKilledHalfway();
    void saveThroughSymbolicLink_data();
    void saveThroughSymbolicLink();
    void saveKeepsMode_data();
    void saveKeepsMode();
    void saveOntoUnwritableFile_data();
    void saveOntoUnwritableFile();
    void randomDocumentsRoundTrip();

private:
    void triggerAction(const char *name) { child<QAction>(window.get(), name)->trigger(); }
    void save(const QString &path)
    {
        window->saveAnswer = path;
        triggerAction("actionSave");
    }
    void open(const QString &path)
    {
        window->openAnswer = path;
        triggerAction("actionOpen");
    }
    // Opens a file the loader accepts and checks the window against the headless table.
    void checkOpened(const orb::LoadedDocument &document, const QStringList &memoryBefore);

    std::unique_ptr<ScriptedWindow> window;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestHostile::initTestCase()
{
    testutil::failOnAnyWarning();
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestHostile::init()
{
    testutil::failOnAnyWarning();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    window = std::make_unique<ScriptedWindow>();
    QVERIFY(testutil::activate(window.get()));
}

void TestHostile::cleanup()
{
    window.reset();
    dir.reset();
}

void TestHostile::mutatedDocumentsLoad_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &file : documentFiles)
        QTest::newRow(qPrintable(file)) << file;
}

void TestHostile::mutatedDocumentsLoad()
{
    QFETCH(QString, file);
    const QByteArray intact = readAll(sourceFile(qPrintable(file)));
    const std::optional<orb::LoadedDocument> whole = orb::parseDocument(intact);
    QVERIFY(whole);
    const Sections sections = sectionsOf(intact);
    QCOMPARE(whole->memory.size(), 256);
    QCOMPARE(whole->cells.size(), qsizetype(whole->rowCount) * 4);

    for (const Mutation &mutation : mutationsOf(intact)) {
        const QByteArray name = mutation.name();
        const std::optional<orb::LoadedDocument> document = orb::parseDocument(mutation.bytes);
        QVERIFY2(bool(document) == !mutation.refused(), name.constData());
        if (!document)
            continue;

        // What any document leaves: 1 to 500 rows, no more cells than they hold, at most 256
        // memory texts of two characters (only the last may have one).
        QVERIFY2(document->rowCount >= 1 && document->rowCount <= orb::maxDocumentRows,
                 name.constData());
        QVERIFY2(document->cells.size() <= qsizetype(document->rowCount) * 4, name.constData());
        QVERIFY2(document->memory.size() <= orb::memoryCellCount, name.constData());
        for (qsizetype i = 0; i < document->memory.size(); ++i) {
            const qsizetype size = document->memory[i].size();
            QVERIFY2(size == 2 || (size == 1 && i == document->memory.size() - 1),
                     name.constData());
        }

        // The table it fills is marked exactly, and its texts fit their cells.
        orb::HeadlessTable table;
        orb::loadTable(table, *document);
        QVERIFY2(table.rowCount() == document->rowCount, name.constData());
        int wrong = 0;
        for (int row = 0; row < table.rowCount(); ++row) {
            for (int field = 0; field < orb::fieldCount; ++field) {
                const orb::HeadlessTable::Cell &cell = table.row(row).cells[size_t(field)];
                wrong += cell.correct ? 0 : 1;
                QVERIFY2(cell.text.size() <= orb::maxLengthOfField(field), name.constData());
                if (orb::isStateField(field) && !orb::isStateTextValid(cell.text))
                    QVERIFY2(!cell.correct, name.constData());
            }
        }
        QVERIFY2(table.errorCount() == wrong, name.constData());

        if (mutation.truncated) {
            // A cut document is a prefix of the whole one: every text it has but the last is
            // whole, the last is the start of its text.
            if (mutation.offset > sections.countLineEnd)
                QVERIFY2(document->rowCount == whole->rowCount, name.constData());
            const std::pair<QStringList, QStringList> lists[] = {{document->cells, whole->cells},
                                                                 {document->memory, whole->memory}};
            for (const auto &[got, full] : lists) {
                QVERIFY2(got.size() <= full.size(), name.constData());
                for (qsizetype i = 0; i < got.size(); ++i) {
                    if (i + 1 < got.size())
                        QVERIFY2(got[i] == full[i], name.constData());
                    else
                        QVERIFY2(full[i].startsWith(withoutTrailingCr(got[i])), name.constData());
                }
            }
        } else if (mutation.offset >= sections.memoryStart) {
            // A changed memory byte changes its own memory cell and nothing else.
            QVERIFY2(document->rowCount == whole->rowCount, name.constData());
            QVERIFY2(document->cells == whole->cells, name.constData());
            QVERIFY2(document->memory.size() == whole->memory.size(), name.constData());
            const qsizetype changed = (mutation.offset - sections.memoryStart) / 2;
            for (qsizetype i = 0; i < document->memory.size(); ++i)
                QVERIFY2((document->memory[i] == whole->memory[i]) == (i != changed),
                         name.constData());
        } else if (mutation.offset > sections.countLineEnd && mutation.original != '\n' &&
                   mutation.original != '\0' && mutation.replacement != '\n' &&
                   mutation.replacement != '\0' && mutation.replacement != '\r') {
            // A changed byte inside a cell that neither makes nor removes a line end changes
            // that cell alone.
            QVERIFY2(document->cells.size() == whole->cells.size(), name.constData());
            qsizetype changed = 0;
            for (qsizetype i = 0; i < document->cells.size(); ++i)
                changed += document->cells[i] == whole->cells[i] ? 0 : 1;
            QVERIFY2(changed == 1, name.constData());
            QVERIFY2(document->memory == whole->memory, name.constData());
        }
    }
}

void TestHostile::mutatedDocumentsOpen_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("step"); // an Open of a long table costs; sample it more thinly
    QTest::newRow("fetch-decode loop") << u"examples/03-fetch-decode-loop.orb"_s << 29;
    QTest::newRow("wrong cells") << u"tests/data/wrong-cells.orb"_s << 7;
}

void TestHostile::checkOpened(const orb::LoadedDocument &document, const QStringList &memoryBefore)
{
    orb::HeadlessTable table;
    orb::loadTable(table, document);
    QCOMPARE(window->stringCount(), document.rowCount);
    QCOMPARE(window->errorCount(), editortest::countWrongCells(*window));
    QCOMPARE(tableState(*window), tableState(table));
    for (int row = 0; row < window->stringCount(); ++row)
        QCOMPARE(window->rowNumberLabel(row)->text(), QString::number(row + 1));
    const QStringList memory = memoryTexts(*window);
    for (qsizetype address = 0; address < orb::memoryCellCount; ++address) {
        QVERIFY(memory[address].size() <= 2);
        QCOMPARE(memory[address], address < document.memory.size()
                                      ? orb::maskedByteText(document.memory[address])
                                      : memoryBefore[address]);
    }
}

void TestHostile::mutatedDocumentsOpen()
{
    QFETCH(QString, file);
    QFETCH(int, step);
    const QByteArray intact = readAll(sourceFile(qPrintable(file)));
    const Sections sections = sectionsOf(intact);
    const QString path = dir->filePath(u"damaged.orb"_s);
    const QString first = dir->filePath(u"first.orb"_s);
    const QString second = dir->filePath(u"second.orb"_s);

    // Every change next to the ends of the sections; elsewhere, at every step-th offset, the
    // cut and one of the byte changes, each in turn.
    auto sampled = [&](const Mutation &mutation) {
        for (const qsizetype edge : {qsizetype(0), qsizetype(3), sections.countLineEnd,
                                     sections.memoryStart, intact.size()}) {
            if (mutation.offset >= edge - 1 && mutation.offset <= edge + 1)
                return true;
        }
        return mutation.offset % step == 0 &&
               (mutation.truncated || mutation.change == (mutation.offset / step) % 4);
    };

    int opened = 0;
    int refused = 0;
    for (const Mutation &mutation : mutationsOf(intact)) {
        if (!sampled(mutation))
            continue;
        const QByteArray name = mutation.name();
        writeAll(path, mutation.bytes);
        const QList<Row> before = tableState(*window);
        const int errorsBefore = window->errorCount();
        const QStringList memoryBefore = memoryTexts(*window);
        QSignalSpy closed(window.get(), &MainWindow::closed);
        open(path);

        if (mutation.refused()) {
            ++refused;
            QVERIFY2(closed.isEmpty(), name.constData());
            QVERIFY2(tableState(*window) == before, name.constData());
            QVERIFY2(window->errorCount() == errorsBefore, name.constData());
            QVERIFY2(memoryTexts(*window) == memoryBefore, name.constData());
            continue;
        }
        ++opened;
        QVERIFY2(closed.count() == 1, name.constData());
        const std::optional<orb::LoadedDocument> document = orb::parseDocument(mutation.bytes);
        QVERIFY2(document, name.constData());
        checkOpened(*document, memoryBefore);
        QVERIFY2(!QTest::currentTestFailed(), name.constData());

        // Whatever opened saves to a document that opens to itself.
        if (opened % 4 == 0) {
            save(first);
            open(first);
            save(second);
            QVERIFY2(readAll(first) == readAll(second), name.constData());
        }
    }
    QVERIFY(opened > 50);
    QVERIFY(refused > 5);
}

void TestHostile::hostileDocuments_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("errors");
    QTest::addColumn<Row>("firstRow");
    QTest::addColumn<QStringList>("memoryStart");
    QTest::addColumn<QByteArray>("savedStart"); // how the opened document saves

    const QByteArray memory = QByteArray("5A").repeated(256);

    QTest::newRow("UTF-8 byte order mark")
        << QByteArray("\xEF\xBB\xBFMKT1\n0\n0\n\ny70\n" + memory) << false << 0 << 0 << Row()
        << QStringList() << QByteArray();
    QTest::newRow("UTF-16 byte order mark") << QByteArray("\xFF\xFEM\0K\0T\0", 8) << false << 0 << 0
                                            << Row() << QStringList() << QByteArray();
    // A NUL ends a field wherever it stands: the rest of the cell becomes the next cell.
    QTest::newRow("NUL inside a cell")
        << QByteArray("MKT1\n1\0"
                      "2\nx1\0x2\n",
                      15) +
               memory
        << true << 1 << 1 << Row{u"1"_s, u"2"_s, u"x1"_s, u"x2"_s} << QStringList{u"5A"_s}
        << QByteArray("MKT1\n1\n2\nx1\nx2\n");
    // Qt's number conversion stops at a NUL: the count is the digits before it.
    QTest::newRow("NUL in the count line")
        << QByteArray("MKT2\0"
                      "zz\n0\n1\n\ny20\n",
                      17)
        << true << 2 << 0 << Row{u"0"_s, u"1"_s, QString(), u"y20"_s} << QStringList{u"11"_s}
        << QByteArray("MKT2\n0\n1\n\ny20\n\n\n\n\n11");
    QTest::newRow("count beyond 64 bits")
        << QByteArray("MKT99999999999999999999\n0\n0\n\ny70\n" + memory) << true << 1 << 0
        << Row{u"0"_s, u"0"_s, QString(), u"y70"_s} << QStringList{u"5A"_s}
        << QByteArray("MKT1\n0\n0\n\ny70\n" + memory);
    QTest::newRow("count beyond int")
        << QByteArray("MKT99999999999\n0\n0\n\ny70\n" + memory) << true << 1 << 0
        << Row{u"0"_s, u"0"_s, QString(), u"y70"_s} << QStringList{u"5A"_s}
        << QByteArray("MKT1\n0\n0\n\ny70\n" + memory);
    // The largest int: 500 rows, filled as far as the text goes.
    QTest::newRow("count INT_MAX")
        << QByteArray("MKT2147483647\n0\n1\n\ny20\n") << true << 500 << 0
        << Row{u"0"_s, u"1"_s, QString(), u"y20"_s} << QStringList{u"11"_s}
        << QByteArray("MKT500\n0\n1\n\ny20\n\n\n\n\n");
    QTest::newRow("count INT_MIN") << QByteArray("MKT-2147483648\n0\n1\n\ny20\n") << true << 1 << 0
                                   << Row{u"0"_s, u"1"_s, QString(), u"y20"_s}
                                   << QStringList{u"11"_s} << QByteArray("MKT1\n0\n1\n\ny20\n");
    // Memory keeps of each pair what a memory cell's mask takes; what is no byte saves as 00.
    QTest::newRow("non-hex memory")
        << QByteArray("MKT1\n\n\n\n\nzz1G-1 Ag9\xFF\xE0") << true << 1 << 0
        << Row{QString(), QString(), QString(), QString()}
        << QStringList{QString(), u"1"_s, u"1"_s, u"A"_s, u"9"_s, QString(), u"11"_s}
        << QByteArray("MKT1\n\n\n\n\n0001010A0900111111");
    QTest::newRow("mixed CR LF and LF")
        << QByteArray("MKT2\r\n0\n1\r\nx1\r\ny20\n1\r\n0\n\r\ny70\r\n" + memory) << true << 2 << 0
        << Row{u"0"_s, u"1"_s, u"x1"_s, u"y20"_s} << QStringList{u"5A"_s}
        << QByteArray("MKT2\n0\n1\nx1\ny20\n1\n0\n\ny70\n" + memory);
    // A lone CR stays in its field (here a wrong state) and is saved as a blank.
    QTest::newRow("CR CR LF") << QByteArray("MKT1\r\r\n0\r\r\n0\n\ny70\n") << true << 1 << 1
                              << Row{u"0\r"_s, u"0"_s, QString(), u"y70"_s} << QStringList{u"11"_s}
                              << QByteArray("MKT1\n0 \n0\n\ny70\n");
}

void TestHostile::hostileDocuments()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, opens);
    QFETCH(int, rows);
    QFETCH(int, errors);
    QFETCH(Row, firstRow);
    QFETCH(QStringList, memoryStart);
    QFETCH(QByteArray, savedStart);

    // Known contents, so that anything a document leaves alone shows.
    editortest::setRows(*window, {{u"7"_s, u"8"_s, u"x9"_s, u"y20"_s}, {u"8"_s, u"7"_s, {}, {}}});
    window->memory().fill(u"11"_s); // the memory page shows it; no focus moves
    const QList<Row> before = tableState(*window);
    const int errorsBefore = window->errorCount();
    const QStringList memoryBefore = memoryTexts(*window);

    const QString path = dir->filePath(u"hostile.orb"_s);
    writeAll(path, bytes);
    QSignalSpy closed(window.get(), &MainWindow::closed);
    open(path);
    if (!opens) {
        QCOMPARE(closed.count(), 0);
        QCOMPARE(tableState(*window), before);
        QCOMPARE(window->errorCount(), errorsBefore);
        QCOMPARE(memoryTexts(*window), memoryBefore);
        return;
    }
    QCOMPARE(closed.count(), 1);
    QCOMPARE(window->stringCount(), rows);
    QCOMPARE(window->errorCount(), errors);
    QCOMPARE(editortest::countWrongCells(*window), errors);
    QCOMPARE(editortest::rowTexts(*window, 0), firstRow);
    QCOMPARE(memoryTexts(*window).mid(0, memoryStart.size()), memoryStart);
    const std::optional<orb::LoadedDocument> document = orb::readDocumentFile(path);
    QVERIFY(document);
    checkOpened(*document, memoryBefore);
    QVERIFY(!QTest::currentTestFailed());

    const QString saved = dir->filePath(u"saved.orb"_s);
    save(saved);
    const QByteArray savedBytes = readAll(saved);
    QVERIFY2(savedBytes.startsWith(savedStart), savedBytes.left(200).constData());
    // And that opens to what it shows now.
    const QList<Row> shown = tableState(*window);
    open(saved);
    save(dir->filePath(u"again.orb"_s));
    QCOMPARE(readAll(dir->filePath(u"again.orb"_s)), savedBytes);
    if (!savedStart.contains('\r') && !firstRow.join(QString()).contains(u'\r'))
        QCOMPARE(tableState(*window), shown);
}

#ifdef Q_OS_UNIX
namespace {
// Runs in the saving helper when its write reaches the size limit: tells the test through
// standard output, then waits to be killed with the new file half written.
extern "C" void pauseMidWrite(int)
{
    const char byte = 'w';
    [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, &byte, 1);
    for (;;)
        ::pause();
}

// The saving helper: this program started as `--save-halfway window|file source path limit`.
// It saves the document in `source` to `path` with the file size limited to `limit` bytes, so
// that the write stops in the middle and the limit's signal holds it there: through the
// editor's Save, in a window that opened `source` first, or through writeDocumentFile. A fresh
// process, not a fork of the test: Qt must not be used after fork() in a threaded program.
int saveHalfway(int argc, char **argv)
{
    const bool throughWindow = qstrcmp(argv[2], "window") == 0;
    const QString source = QString::fromLocal8Bit(argv[3]);
    const QString path = QString::fromLocal8Bit(argv[4]);
    const rlim_t half = rlim_t(QByteArray(argv[5]).toLongLong());
    const auto limitFileSize = [half] {
        struct sigaction action {};
        action.sa_handler = pauseMidWrite;
        ::sigaction(SIGXFSZ, &action, nullptr);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = half;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    if (!throughWindow) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        const QByteArray bytes = file.readAll();
        limitFileSize();
        orb::writeDocumentFile(path, bytes);
        return 3; // the save never paused
    }
    QApplication app(argc, argv);
    ScriptedWindow window;
    window.openAnswer = source;
    child<QAction>(&window, "actionOpen")->trigger();
    if (window.stringCount() != 500)
        return 2;
    window.saveAnswer = path;
    limitFileSize();
    child<QAction>(&window, "actionSave")->trigger();
    return 3;
}
} // namespace
#endif

void TestHostile::saveKilledHalfway_data()
{
    QTest::addColumn<bool>("throughWindow");
    QTest::newRow("writeDocumentFile") << false;
    QTest::newRow("the editor's Save") << true;
}

void TestHostile::saveKilledHalfway()
{
#ifndef Q_OS_UNIX
    QSKIP("needs POSIX signals and file size limits");
#else
    QFETCH(bool, throughWindow);
    const QString path = dir->filePath(u"program.orb"_s);
    const QByteArray old = readAll(sourceFile("examples/03-fetch-decode-loop.orb"));
    writeAll(path, old);

    // The new document: 500 rows, far larger than the old one.
    QList<orb::RowTexts> rows;
    for (int row = 0; row < 500; ++row)
        rows.append({QString::number(row), QString::number((row + 1) % 500), u"-x4,x3,!z"_s,
                     u"y6,y20,y31,y70"_s});
    const QByteArray bytes = orb::serializeDocument(rows, QStringList(256, u"A5"_s));
    const QString source = dir->filePath(u"source.orb"_s);
    writeAll(source, bytes);
    const qint64 half = bytes.size() / 2;

    QProcess saver;
    saver.start(QCoreApplication::applicationFilePath(),
                {u"--save-halfway"_s, throughWindow ? u"window"_s : u"file"_s, source, path,
                 QString::number(half)});
    QVERIFY(saver.waitForStarted());
    const bool paused = saver.waitForReadyRead(20000) && saver.read(1) == "w";
    saver.kill();
    QVERIFY(saver.waitForFinished());
    QVERIFY2(paused, qPrintable(u"the save did not stop halfway (exit code %1)"_s.arg(
                         saver.exitStatus() == QProcess::NormalExit ? saver.exitCode() : -1)));
    QCOMPARE(saver.exitStatus(), QProcess::CrashExit);

    // The old document is there, whole, and opens as before.
    QCOMPARE(readAll(path), old);
    const std::optional<orb::LoadedDocument> reread = orb::readDocumentFile(path);
    const std::optional<orb::LoadedDocument> expected = orb::parseDocument(old);
    QVERIFY(reread && expected);
    QCOMPARE(reread->rowCount, expected->rowCount);
    QCOMPARE(reread->cells, expected->cells);
    QCOMPARE(reread->memory, expected->memory);
    // The half-written new file was a temporary beside it; it replaced nothing.
    const QFileInfoList entries =
        QDir(dir->path()).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    // (On Linux it has no name at all: QSaveFile writes into an unnamed O_TMPFILE.)
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() == "program.orb"_L1 || entry.fileName() == "source.orb"_L1)
            continue;
        QCOMPARE(entry.size(), half);
    }
    open(path);
    QCOMPARE(window->stringCount(), expected->rowCount);
#endif
}

void TestHostile::saveThroughSymbolicLink_data()
{
    QTest::addColumn<QString>("linkName");
    QTest::addColumn<QString>("linkTarget"); // as stored in the link
    QTest::addColumn<QString>("targetName"); // the file it names, inside the test folder
    QTest::newRow("beside it") << u"link.orb"_s << u"real.orb"_s << u"real.orb"_s;
    QTest::newRow("into another folder")
        << u"a/link.orb"_s << u"../b/real.orb"_s << u"b/real.orb"_s;
    QTest::newRow("a link to a link") << u"outer.orb"_s << u"link.orb"_s << u"real.orb"_s;
}

void TestHostile::saveThroughSymbolicLink()
{
    QFETCH(QString, linkName);
    QFETCH(QString, linkTarget);
    QFETCH(QString, targetName);
#ifndef Q_OS_UNIX
    QSKIP("symbolic links are made with symlink()");
#else
    QVERIFY(QDir(dir->path()).mkpath(u"a"_s) && QDir(dir->path()).mkpath(u"b"_s));
    const QString target = dir->filePath(targetName);
    const QByteArray old = readAll(sourceFile("tests/data/sum.orb"));
    writeAll(target, old);
    if (linkName == "outer.orb"_L1)
        QCOMPARE(::symlink("real.orb", QFile::encodeName(dir->filePath(u"link.orb"_s)).constData()),
                 0);
    const QString link = dir->filePath(linkName);
    QCOMPARE(
        ::symlink(QFile::encodeName(linkTarget).constData(), QFile::encodeName(link).constData()),
        0);

    open(sourceFile("examples/01-add-two-bytes.orb"));
    save(link);
    const QByteArray expected = readAll(sourceFile("examples/01-add-two-bytes.orb"));
    QVERIFY(expected != old);
    QCOMPARE(readAll(target), expected);
    // The link is still a link, naming what it named.
    QVERIFY(QFileInfo(link).isSymLink());
    char stored[4096] = {};
    const ssize_t length =
        ::readlink(QFile::encodeName(link).constData(), stored, sizeof stored - 1);
    QCOMPARE(QByteArray(stored, length > 0 ? length : 0), QFile::encodeName(linkTarget));
    QCOMPARE(QFileInfo(link).canonicalFilePath(), QFileInfo(target).canonicalFilePath());
#endif
}

void TestHostile::saveKeepsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("0640") << 0640;
    QTest::newRow("0604") << 0604;
    QTest::newRow("0600") << 0600;
    QTest::newRow("0664") << 0664;
}

void TestHostile::saveKeepsMode()
{
    QFETCH(int, mode);
#ifndef Q_OS_UNIX
    QSKIP("file modes are POSIX");
#else
    const QString path = dir->filePath(u"program.orb"_s);
    writeAll(path, readAll(sourceFile("tests/data/sum.orb")));
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
    open(sourceFile("examples/01-add-two-bytes.orb"));
    save(path);
    QCOMPARE(readAll(path), readAll(sourceFile("examples/01-add-two-bytes.orb")));
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(int(status.st_mode & 07777), mode);
#endif
}

void TestHostile::saveOntoUnwritableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("immutable file") << u"immutable"_s;
    QTest::newRow("file of a read-only system folder") << u"proc"_s;
}

void TestHostile::saveOntoUnwritableFile()
{
    QFETCH(QString, kind);
    QString path;
    QByteArray old;
    // Undoes chattr +i whatever the test's outcome, or the folder could not be removed.
    struct Immutable {
        QString path;
        ~Immutable()
        {
            if (!path.isEmpty())
                QProcess::execute(u"chattr"_s, {u"-i"_s, path});
        }
    } immutable;

    if (kind == "immutable"_L1) {
        // Tests run as root, for whom a file's mode bits stop nothing; the immutable flag does.
        path = dir->filePath(u"program.orb"_s);
        old = readAll(sourceFile("tests/data/sum.orb"));
        writeAll(path, old);
        QProcess chattr;
        chattr.start(u"chattr"_s, {u"+i"_s, path});
        if (!chattr.waitForFinished() || chattr.exitStatus() != QProcess::NormalExit ||
            chattr.exitCode() != 0)
            QSKIP("chattr +i does not work here (no chattr, no right, or a file system "
                  "without the immutable flag)");
        immutable.path = path;
        QFile probe(path);
        if (probe.open(QIODevice::Append))
            QSKIP("the immutable flag does not stop writes here");
    } else {
        path = u"/proc/version"_s;
        if (!QFileInfo::exists(path))
            QSKIP("no /proc here");
        old = readAll(path);
    }
    const QStringList entries =
        QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);

    open(sourceFile("examples/01-add-two-bytes.orb"));
    QString title;
    QString message;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        title = child<QLabel>(dialog, "errorLabel")->text();
        message = child<QLabel>(dialog, "infoLabel")->text();
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    });
    save(path);
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ErrorsDialog"_s);
    QCOMPARE(title, u"Не удалось сохранить файл"_s);
    QVERIFY2(message.contains(QFileInfo(path).fileName()), qPrintable(message));
    QCOMPARE(readAll(path), old);
    // No temporary left behind.
    QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
             entries);
}

namespace {

QString randomState(QRandomGenerator &random)
{
    if (random.bounded(12) == 0)
        return QString();
    const int value = int(random.bounded(1000));
    const QString digits = QString::number(value);
    // Leading zeros are kept as written.
    const int width = int(random.bounded(int(digits.size()), 4));
    return digits.rightJustified(width, u'0');
}

QString randomConditions(QRandomGenerator &random)
{
    switch (random.bounded(10)) {
    case 0:
        return QString();
    case 1:
        return u"b"_s;
    case 2:
        return random.bounded(2) ? u"-b"_s : u"!b"_s;
    default:
        break;
    }
    // Operands in their normal order, each at most once, with or without a negation.
    QString text;
    for (qsizetype index = 0; index < orb::conditionOperandNames.size(); ++index) {
        if (random.bounded(3) != 0)
            continue;
        static const QString prefixes[] = {QString(), u"-"_s, u"!"_s};
        const QString operand = prefixes[random.bounded(3)] + orb::conditionOperandNames[index];
        if (text.size() + 1 + operand.size() > orb::maxLengthOfField(orb::ConditionsField))
            break;
        text += (text.isEmpty() ? QString() : u","_s) + operand;
    }
    return text.isEmpty() ? u"x1"_s : text;
}

QString randomSignals(QRandomGenerator &random)
{
    if (random.bounded(8) == 0)
        return QString();
    QString text;
    int items = 0;
    for (int number = 6; number <= 70 && items < orb::maxSignalItems; ++number) {
        if (!orb::isSignalNumber(number) || random.bounded(6) != 0)
            continue;
        const QString signal = u"y"_s + QString::number(number);
        if (text.size() + 1 + signal.size() > orb::maxLengthOfField(orb::SignalsField))
            break;
        text += (text.isEmpty() ? QString() : u","_s) + signal;
        ++items;
    }
    return text.isEmpty() ? u"y20"_s : text;
}

} // namespace

void TestHostile::randomDocumentsRoundTrip()
{
    QRandomGenerator random(20241208);
    // Texts the cells refuse are kept as written too (red), Cyrillic ones included.
    const std::array<QStringList, 4> wrongTexts = {
        QStringList{u"12a"_s, u"1 2"_s}, QStringList{u"x"_s, u"-1"_s},
        QStringList{u"x9"_s, u"x1 x2"_s, u"х1"_s}, QStringList{u"y2a"_s, u"y20 y31"_s, u"Сброс"_s}};
    const QString source = dir->filePath(u"random.orb"_s);
    const QString first = dir->filePath(u"first.orb"_s);
    const QString second = dir->filePath(u"second.orb"_s);

    for (int iteration = 0; iteration < 30; ++iteration) {
        const int rowCount = iteration == 0 ? orb::maxDocumentRows : 1 + int(random.bounded(40));
        QList<orb::RowTexts> rows;
        for (int row = 0; row < rowCount; ++row) {
            orb::RowTexts texts = {randomState(random), randomState(random),
                                   randomConditions(random), randomSignals(random)};
            for (int field = 0; field < 4; ++field) {
                if (random.bounded(25) == 0) {
                    const QStringList &wrong = wrongTexts[size_t(field)];
                    texts[size_t(field)] = wrong[int(random.bounded(int(wrong.size())))];
                }
            }
            rows.append(texts);
        }
        QStringList memory;
        for (int address = 0; address < orb::memoryCellCount; ++address)
            memory << orb::formatHex(int(random.bounded(256)));
        const QByteArray bytes = orb::serializeDocument(rows, memory);
        const QByteArray name = "iteration " + QByteArray::number(iteration);

        writeAll(source, bytes);
        open(source);
        QVERIFY2(window->stringCount() == rowCount, name.constData());
        QVERIFY2(window->errorCount() == editortest::countWrongCells(*window), name.constData());
        save(first);
        QVERIFY2(readAll(first) == bytes, name.constData());
        open(first);
        save(second);
        QVERIFY2(readAll(second) == bytes, name.constData());
    }
}

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    if (argc == 6 && qstrcmp(argv[1], "--save-halfway") == 0)
        return saveHalfway(argc, argv);
#endif
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestHostile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_hostile.moc"
