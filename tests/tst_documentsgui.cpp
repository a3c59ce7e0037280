// SPDX-License-Identifier: GPL-3.0-or-later
//
// New, Open and Save of the editor window, the exit question on closing it and the credits:
// documents saved and opened through the real window (texts, red marks, memory), malformed and
// refused files, failed saves, the commit of the cell being edited, and how the commands and
// the exit dialog treat a running execution window.

#include "app/authorinfodialog.h"
#include "app/document.h"
#include "app/exitdialog.h"
#include "app/mainwindow.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "editorfixture.h"
#include "sim/executionwindow.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>

using testutil::child;
using testutil::readAll;
using testutil::writeAll;
#endif

using namespace Qt::StringLiterals;
using editortest::memoryTexts;
using editortest::openExecutionWindow;
using editortest::Row;
using editortest::ScriptedWindow;

namespace {

// Types into the focused widget, any character (QTest's key clicks know only Latin-1).
void typeText(const QString &text)
{
    for (const QChar c : text) {
        QWidget *target = QApplication::focusWidget();
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

QString dataFile(const char *name)
{
    return QStringLiteral(ORB_TEST_DATA "/") + QLatin1String(name);
}

QList<Row> tableTexts(const MainWindow &window)
{
    QList<Row> rows;
    for (int row = 0; row < window.stringCount(); ++row)
        rows << editortest::rowTexts(window, row);
    return rows;
}

QStringList tableMarks(const MainWindow &window)
{
    QStringList marks;
    for (int row = 0; row < window.stringCount(); ++row)
        marks << editortest::rowMarks(window, row);
    return marks;
}

const QByteArray newDocumentBytes = "MKT1\n\n\n\n\n" + QByteArray("00").repeated(256);

} // namespace

class TestDocumentsGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newDocumentSavedAtOnce();
    void saveThenOpen();
    void openedDocumentsSaveUnchanged_data();
    void openedDocumentsSaveUnchanged();
    void crlfDocument();
    void cyrillicTextInWrongCell();
    void lastPathsAndCancelledDialogs();
    void malformedDocuments_data();
    void malformedDocuments();
    void refusedDocuments_data();
    void refusedDocuments();
    void failedSave_data();
    void failedSave();
    void currentCellIsCommitted_data();
    void currentCellIsCommitted();
    void newAndOpenCloseExecutionWindow_data();
    void newAndOpenCloseExecutionWindow();
    void exitDialogForm();
    void exitAnsweredNo_data();
    void exitAnsweredNo();
    void exitAnsweredYes();
    void credits();

private:
    void showNewWindow();
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
    // A table of two rows (with one wrong cell unless it is to be launched) and a memory of
    // 0x11 bytes, so that a change by a refused or partial document shows.
    void fillKnownContents(bool withWrongCell = true);
    bool unlocked() const
    {
        return child<QPushButton>(window.get(), "startButton")->isEnabled() &&
               child<QPushButton>(window.get(), "addButton")->isEnabled() &&
               child<QPushButton>(window.get(), "deleteButton")->isEnabled() &&
               window->ttCell(0, 2)->isEnabled();
    }
    void launch()
    {
        QTest::mouseClick(child<QPushButton>(window.get(), "startButton"), Qt::LeftButton);
    }

    std::unique_ptr<ScriptedWindow> window;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestDocumentsGui::initTestCase()
{
    testutil::failOnAnyWarning();
    // The tests close the editor; that must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestDocumentsGui::init()
{
    testutil::failOnAnyWarning();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    showNewWindow();
}

void TestDocumentsGui::cleanup()
{
    delete openExecutionWindow();
    window.reset();
    dir.reset();
}

void TestDocumentsGui::showNewWindow()
{
    window = std::make_unique<ScriptedWindow>();
    QVERIFY(testutil::activate(window.get()));
}

void TestDocumentsGui::fillKnownContents(bool withWrongCell)
{
    editortest::setRows(*window, {{u"0"_s, u"1"_s, withWrongCell ? u"x9"_s : u"x1"_s, u"y20"_s},
                                  {u"1"_s, u"0"_s, {}, u"y70"_s}});
    window->memory().fill(u"11"_s); // the memory page shows it; no focus moves
    QCOMPARE(tableMarks(*window), (QStringList{withWrongCell ? u"++-+"_s : u"++++"_s, u"++++"_s}));
}

void TestDocumentsGui::newDocumentSavedAtOnce()
{
    const QString path = dir->filePath(u"new.orb"_s);
    save(path);
    QCOMPARE(readAll(path), newDocumentBytes);
    QCOMPARE(readAll(dataFile("new.orb")), newDocumentBytes);

    // New brings back exactly that document, whatever the window held before.
    fillKnownContents();
    window->ramCell(3, 3)->setFocus();
    QSignalSpy closed(window.get(), &MainWindow::closed);
    triggerAction("actionNew");
    QCOMPARE(closed.count(), 1);
    QCOMPARE(window->stringCount(), 1);
    QCOMPARE(window->errorCount(), 0);
    QCOMPARE(window->currentString(), 0);
    QCOMPARE(window->currentColumn(), 2);
    QCOMPARE(QApplication::focusWidget(), window->ttCell(0, 2));
    QCOMPARE(window->rowNumberLabel(0)->text(), u"1"_s);
    const QString again = dir->filePath(u"again.orb"_s);
    save(again);
    QCOMPARE(readAll(again), newDocumentBytes);

    // And it opens as one empty row with zero bytes and no red cell.
    fillKnownContents();
    open(path);
    QCOMPARE(tableTexts(*window), QList<Row>{editortest::blankRow});
    QCOMPARE(window->errorCount(), 0);
    QCOMPARE(memoryTexts(*window), QStringList(256, u"00"_s));
}

void TestDocumentsGui::saveThenOpen()
{
    const QList<Row> rows = {
        {u"0"_s, u"1"_s, {}, u"y20,y31"_s},
        {u"1"_s, u"12a"_s, u"x1 x2"_s, u"y2a"_s}, // wrong next state, conditions, signals
        {u"1"_s, u"0"_s, u"!x1"_s, u"y70"_s},
        {{}, u"0"_s, {}, {}}, // source state missing from a used row
    };
    editortest::setRows(*window, rows);
    const QList<Row> shown = tableTexts(*window);
    const QStringList marks = tableMarks(*window);
    QCOMPARE(marks, (QStringList{u"++++"_s, u"+---"_s, u"++++"_s, u"-+++"_s}));
    QCOMPARE(window->errorCount(), 4);
    // Bytes typed into the memory page, as the user types them.
    child<QPushButton>(window.get(), "ramButton")->click();
    window->ramCell(0, 0)->setFocus();
    for (const QString &byte : {u"a0"_s, u"ff"_s, u"3c"_s})
        typeText(byte); // the second digit moves on to the next cell
    window->ramCell(15, 15)->setFocus();
    window->ramCell(15, 15)->setCursorPosition(0);
    typeText(u"7e"_s);
    const QStringList memory = memoryTexts(*window);
    QCOMPARE(memory.mid(0, 3), (QStringList{u"A0"_s, u"FF"_s, u"3C"_s}));
    QCOMPARE(memory.last(), u"7E"_s);

    const QString path = dir->filePath(u"program.orb"_s);
    save(path);

    showNewWindow();
    QSignalSpy closed(window.get(), &MainWindow::closed);
    open(path);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(window->stringCount(), rows.size());
    QCOMPARE(tableTexts(*window), shown);
    QCOMPARE(tableMarks(*window), marks);
    QCOMPARE(window->errorCount(), 4);
    QCOMPARE(memoryTexts(*window), memory);
    // Each added row took the focus: the current cell is a source state of the loaded table.
    QCOMPARE(window->currentColumn(), 2);
    QVERIFY(window->currentString() >= 0 && window->currentString() < rows.size());
}

void TestDocumentsGui::openedDocumentsSaveUnchanged_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("wrongCells");
    QTest::newRow("sum") << dataFile("sum.orb") << 9 << 0;
    QTest::newRow("wrong cells") << dataFile("wrong-cells.orb") << 4 << 7;
    QTest::newRow("new") << dataFile("new.orb") << 1 << 0;
}

void TestDocumentsGui::openedDocumentsSaveUnchanged()
{
    QFETCH(QString, file);
    QFETCH(int, rows);
    QFETCH(int, wrongCells);
    open(file);
    QCOMPARE(window->stringCount(), rows);
    QCOMPARE(window->errorCount(), wrongCells);
    QCOMPARE(editortest::countWrongCells(*window), wrongCells);
    const QString path = dir->filePath(u"copy.orb"_s);
    save(path);
    QCOMPARE(readAll(path), readAll(file));
}

void TestDocumentsGui::crlfDocument()
{
    open(dataFile("crlf.orb"));
    QCOMPARE(tableTexts(*window),
             (QList<Row>{{u"0"_s, u"1"_s, {}, u"y20"_s}, {u"1"_s, u"0"_s, u"z"_s, u"y70"_s}}));
    QCOMPARE(window->errorCount(), 0);
    QCOMPARE(memoryTexts(*window).first(), u"0A"_s);
    // Saved again it has LF line ends and nothing else changed.
    const QString path = dir->filePath(u"lf.orb"_s);
    save(path);
    QCOMPARE(readAll(path), readAll(dataFile("crlf.orb")).replace("\r\n", "\n"));
}

void TestDocumentsGui::cyrillicTextInWrongCell()
{
    // Typed as the user types it: a Cyrillic "х" for the Latin "x", and a word.
    editortest::focusCell(*window, 0, 2);
    typeText(u"0"_s);
    editortest::focusCell(*window, 0, 4);
    typeText(u"1"_s);
    editortest::focusCell(*window, 0, 6);
    typeText(u"х1"_s);
    editortest::focusCell(*window, 0, 8);
    typeText(u"Сброс"_s);
    editortest::focusCell(*window, 0, 2);
    QCOMPARE(editortest::rowMarks(*window, 0), u"++--"_s);

    const QString path = dir->filePath(u"cyrillic.orb"_s);
    save(path);
    const QByteArray bytes = readAll(path);
    // Windows-1251: one byte per letter.
    QVERIFY(bytes.startsWith("MKT1\n0\n1\n\xF5"
                             "1\n\xD1\xE1\xF0\xEE\xF1\n"));

    showNewWindow();
    open(path);
    QCOMPARE(editortest::rowTexts(*window, 0), (Row{u"0"_s, u"1"_s, u"х1"_s, u"Сброс"_s}));
    QCOMPARE(editortest::rowMarks(*window, 0), u"++--"_s);
    QCOMPARE(window->errorCount(), 2);
}

void TestDocumentsGui::lastPathsAndCancelledDialogs()
{
    fillKnownContents();
    const QList<Row> rows = tableTexts(*window);
    QSignalSpy closed(window.get(), &MainWindow::closed);

    // Cancelled: nothing written, nothing loaded, no path remembered.
    save(QString());
    open(QString());
    QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    QCOMPARE(tableTexts(*window), rows);
    QCOMPARE(closed.count(), 0);

    const QString saved = dir->filePath(u"a.orb"_s);
    save(saved);
    save(dir->filePath(u"b.orb"_s));
    open(saved);
    open(dir->filePath(u"missing.orb"_s)); // refused, but the name is remembered
    triggerAction("actionNew");            // keeps both paths
    save(QString());
    open(QString());
    QCOMPARE(window->saveStarts,
             (QStringList{QDir::homePath(), QDir::homePath(), saved, dir->filePath(u"b.orb"_s)}));
    QCOMPARE(window->openStarts, (QStringList{QDir::homePath(), QDir::homePath(), saved,
                                              dir->filePath(u"missing.orb"_s)}));
}

void TestDocumentsGui::malformedDocuments_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<Row>>("firstRows");
    QTest::addColumn<QStringList>("memoryStart"); // the first memory cells after loading
    QTest::addColumn<int>("memorySet");           // how many cells the document gave

    const QByteArray memory = QByteArray("AB").repeated(256);
    const Row blank = editortest::blankRow;
    const QStringList untouched = {u"11"_s, u"11"_s};

    QTest::newRow("count 0") << QByteArray("MKT0\n0\n1\n\ny70\n" + memory) << 1
                             << QList<Row>{{u"0"_s, u"1"_s, {}, u"y70"_s}}
                             << QStringList{u"AB"_s, u"AB"_s} << 256;
    QTest::newRow("count not a number")
        << QByteArray("MKTzwei\n") << 1 << QList<Row>{blank} << untouched << 0;
    QTest::newRow("count negative")
        << QByteArray("MKT-3\n") << 1 << QList<Row>{blank} << untouched << 0;
    QTest::newRow("count without newline")
        << QByteArray("MKT3") << 3 << QList<Row>{blank, blank, blank} << untouched << 0;
    QTest::newRow("three rows, twelve empty lines")
        << QByteArray("MKT3\n" + QByteArray(12, '\n')) << 3 << QList<Row>{blank, blank, blank}
        << untouched << 0;
    QTest::newRow("fewer cell lines than rows")
        << QByteArray("MKT3\n0\n1\n") << 3 << QList<Row>{{u"0"_s, u"1"_s, {}, {}}, blank, blank}
        << untouched << 0;
    QTest::newRow("no memory section")
        << QByteArray("MKT1\n0\n0\n\ny70\n") << 1 << QList<Row>{{u"0"_s, u"0"_s, {}, u"y70"_s}}
        << untouched << 0;
    QTest::newRow("odd memory section") << QByteArray("MKT1\n\n\n\n\nABC") << 1 << QList<Row>{blank}
                                        << QStringList{u"AB"_s, u"C"_s, u"11"_s} << 2;
    QTest::newRow("over-long memory section") << QByteArray("MKT1\n\n\n\n\n" + memory + "CDEF") << 1
                                              << QList<Row>{blank} << QStringList{u"AB"_s} << 256;
    QTest::newRow("NUL ends a field")
        << QByteArray("MKT1\n0\0"
                      "1\0\0y70\0"
                      "0F",
                      16)
        << 1 << QList<Row>{{u"0"_s, u"1"_s, {}, u"y70"_s}} << QStringList{u"0F"_s, u"11"_s} << 1;

    // 502 rows announced: 500 are loaded, the last two skipped, the memory after them read.
    QByteArray many = "MKT502\n";
    for (int row = 0; row < 502; ++row)
        many += QByteArray::number(row % 1000) + '\n' + QByteArray::number((row + 1) % 1000) +
                "\n\ny20\n";
    QTest::newRow("more than 500 rows")
        << QByteArray(many + memory) << 500 << QList<Row>{{u"0"_s, u"1"_s, {}, u"y20"_s}}
        << QStringList{u"AB"_s} << 256;
}

void TestDocumentsGui::malformedDocuments()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QFETCH(QList<Row>, firstRows);
    QFETCH(QStringList, memoryStart);
    QFETCH(int, memorySet);

    fillKnownContents();
    const QString path = dir->filePath(u"malformed.orb"_s);
    writeAll(path, bytes);
    QSignalSpy closed(window.get(), &MainWindow::closed);
    open(path);
    QCOMPARE(closed.count(), 1);
    QCOMPARE(window->stringCount(), rows);
    QCOMPARE(tableTexts(*window).mid(0, firstRows.size()), firstRows);
    QCOMPARE(window->errorCount(), editortest::countWrongCells(*window));
    for (int row = 0; row < rows; ++row)
        QCOMPARE(window->rowNumberLabel(row)->text(), QString::number(row + 1));
    if (rows == 500)
        QCOMPARE(editortest::rowTexts(*window, 499), (Row{u"499"_s, u"500"_s, {}, u"y20"_s}));

    const QStringList memory = memoryTexts(*window);
    QCOMPARE(memory.mid(0, memoryStart.size()), memoryStart);
    for (int address = memorySet; address < 256; ++address)
        QCOMPARE(memory[address], u"11"_s);
    // The focus stayed in the table: filling the memory is not typing.
    QVERIFY(qobject_cast<TTLineEdit *>(QApplication::focusWidget()));
}

void TestDocumentsGui::refusedDocuments_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("magic in lower case") << u"file"_s << QByteArray("mkt1\n0\n0\n\ny70\n");
    QTest::newRow("magic in mixed case") << u"file"_s << QByteArray("MkT1\n\n\n\n\n");
    QTest::newRow("empty") << u"file"_s << QByteArray();
    QTest::newRow("shorter than the magic") << u"file"_s << QByteArray("MK");
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919 + 13) % 256);
    QTest::newRow("binary garbage") << u"file"_s << garbage;
    QTest::newRow("2 MiB document")
        << u"file"_s << QByteArray("MKT1\n0\n0\n\ny70\n" + QByteArray(2 * 1024 * 1024, '0'));
    QTest::newRow("missing file") << u"missing"_s << QByteArray();
    QTest::newRow("a directory") << u"directory"_s << QByteArray();
}

void TestDocumentsGui::refusedDocuments()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);

    fillKnownContents(false);
    // A run is going on: a refused document must not end it.
    launch();
    QPointer<ExecutionWindow> running = openExecutionWindow();
    QVERIFY(running);
    QVERIFY(testutil::activate(window.get()));

    const QList<Row> rows = tableTexts(*window);
    const QStringList marks = tableMarks(*window);
    const int errors = window->errorCount();
    const QStringList memory = memoryTexts(*window);

    const QString path = dir->filePath(u"refused.orb"_s);
    if (kind == "file"_L1)
        writeAll(path, bytes);
    else if (kind == "directory"_L1)
        QVERIFY(QDir().mkpath(path));
    QSignalSpy closed(window.get(), &MainWindow::closed);
    open(path);
    QTest::qWait(20);

    QCOMPARE(closed.count(), 0);
    QCOMPARE(tableTexts(*window), rows);
    QCOMPARE(tableMarks(*window), marks);
    QCOMPARE(window->errorCount(), errors);
    QCOMPARE(memoryTexts(*window), memory);
    QVERIFY(running);
    QVERIFY(running->isVisible());
    QVERIFY(!unlocked());
}

void TestDocumentsGui::failedSave_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("parent is a regular file") << u"parent file"_s;
    QTest::newRow("long path, parent is a regular file") << u"long path"_s;
    QTest::newRow("a directory in place of the file") << u"directory"_s;
#ifdef Q_OS_UNIX
    QTest::newRow("write cut short, existing file") << u"size limit"_s;
#endif
}

void TestDocumentsGui::failedSave()
{
    QFETCH(QString, kind);

    fillKnownContents();
    const QByteArray old = readAll(dataFile("sum.orb"));
    QString path;
    if (kind == "parent file"_L1 || kind == "long path"_L1) {
        writeAll(dir->filePath(u"plain"_s), old);
        const QString folders =
            kind == "long path"_L1 ? u"/folder-with-a-long-name"_s.repeated(6) : QString();
        path = dir->filePath(u"plain"_s) + folders + u"/program.orb"_s;
    } else if (kind == "directory"_L1) {
        path = dir->filePath(u"program.orb"_s);
        QVERIFY(QDir().mkpath(path));
        writeAll(path + u"/inside"_s, old);
    } else {
        path = dir->filePath(u"program.orb"_s);
        writeAll(path, old);
    }
    const QStringList entries =
        QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);

    QString title;
    QString message;
    QFont messageFont;
    int messageWidth = 0;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        title = child<QLabel>(dialog, "errorLabel")->text();
        auto *info = child<QLabel>(dialog, "infoLabel");
        message = info->text();
        messageFont = info->font();
        messageWidth = info->width();
        if (kind == "long path"_L1)
            testutil::renderToPng(dialog, u"savefailure"_s);
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    });

#ifdef Q_OS_UNIX
    // The file system refuses to let the file grow beyond 100 bytes, as a full disk would.
    struct rlimit previousLimit {};
    void (*previousHandler)(int) = SIG_DFL;
    if (kind == "size limit"_L1) {
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = previousLimit;
        limit.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
#endif
    save(path);
#ifdef Q_OS_UNIX
    if (kind == "size limit"_L1) {
        setrlimit(RLIMIT_FSIZE, &previousLimit);
        std::signal(SIGXFSZ, previousHandler);
    }
#endif

    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ErrorsDialog"_s);
    QCOMPARE(title, u"Не удалось сохранить файл"_s);
    QVERIFY2(message.contains(u"program.orb"_s), qPrintable(message));
    // Every line fits the message box, however long the path.
    const QStringList lines = message.split(u'\n');
    QVERIFY(lines.size() * QFontMetrics(messageFont).lineSpacing() <= 61);
    for (const QString &line : lines)
        QVERIFY2(QFontMetrics(messageFont).horizontalAdvance(line) <= messageWidth,
                 qPrintable(line));

    // Whatever was there is as it was, and nothing was left behind.
    QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), entries);
    if (kind == "directory"_L1)
        QCOMPARE(QDir(path).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{u"inside"_s});
    else if (kind == "size limit"_L1)
        QCOMPARE(readAll(path), old);
    else
        QCOMPARE(readAll(dir->filePath(u"plain"_s)), old);

    // The table is untouched, and a save to a good place works afterwards.
    QCOMPARE(window->stringCount(), 2);
    const QString good = dir->filePath(u"good.orb"_s);
    save(good);
    QVERIFY(readAll(good).startsWith("MKT2\n0\n1\nx9\ny20\n"));
}

void TestDocumentsGui::currentCellIsCommitted_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<bool>("correct");

    QTest::newRow("save, unfinished wrong conditions")
        << u"save"_s << 6 << u"x1 x"_s << u"x1 x"_s << false;
    QTest::newRow("save, wrong signal") << u"save"_s << 8 << u"y20,y3b"_s << u"y20,y3b"_s << false;
    QTest::newRow("save, signals normalised")
        << u"save"_s << 8 << u"Y31, y20"_s << u"y20,y31"_s << true;
    QTest::newRow("open cancelled, wrong conditions")
        << u"open"_s << 6 << u"x9"_s << u"x9"_s << false;
    QTest::newRow("open cancelled, conditions normalised")
        << u"open"_s << 6 << u"Z, X1"_s << u"x1,z"_s << true;
}

void TestDocumentsGui::currentCellIsCommitted()
{
    QFETCH(QString, command);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(bool, correct);

    editortest::focusCell(*window, 0, 2);
    editortest::type(u"0"_s);
    editortest::focusCell(*window, 0, 4);
    editortest::type(u"1"_s);
    editortest::focusCell(*window, 0, column);
    editortest::type(typed);
    // Still in the cell: nothing has judged the text yet.
    QCOMPARE(QApplication::focusWidget(), window->ttCell(0, column));
    QCOMPARE(window->errorCount(), 0);

    const QString path = dir->filePath(u"typed.orb"_s);
    if (command == "save"_L1)
        save(path);
    else
        open(QString());

    QCOMPARE(window->ttCell(0, column)->text(), kept);
    QCOMPARE(window->ttCell(0, column)->isCorrect(), correct);
    QCOMPARE(window->errorCount(), correct ? 0 : 1);
    if (command == "save"_L1) {
        const QStringList lines = QString::fromLatin1(readAll(path)).split(u'\n');
        QCOMPARE(lines.value(1 + (column - 2) / 2), kept);
    }
}

void TestDocumentsGui::newAndOpenCloseExecutionWindow_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("New") << u"new"_s;
    QTest::newRow("Open") << u"open"_s;
}

void TestDocumentsGui::newAndOpenCloseExecutionWindow()
{
    QFETCH(QString, command);

    editortest::setRows(*window, {{u"0"_s, u"0"_s, {}, u"y20"_s}});
    launch();
    QPointer<ExecutionWindow> running = openExecutionWindow();
    QVERIFY(running);
    QVERIFY(running->isVisible());
    QVERIFY(!unlocked());
    // The memory page stays usable meanwhile, and so do the commands.
    QVERIFY(window->ramCell(0, 0)->isEnabled());

    QSignalSpy closed(window.get(), &MainWindow::closed);
    if (command == "new"_L1)
        triggerAction("actionNew");
    else
        open(dataFile("sum.orb"));
    QCOMPARE(closed.count(), 1);
    QTRY_VERIFY(!running);
    QVERIFY(!openExecutionWindow());
    QVERIFY(unlocked());
    for (int row = 0; row < window->stringCount(); ++row) {
        for (int column = 2; column <= 8; column += 2)
            QVERIFY(window->ttCell(row, column)->isEnabled());
    }
    QCOMPARE(window->stringCount(), command == "new"_L1 ? 1 : 9);

    // The table is editable and launches again.
    QVERIFY(testutil::activate(window.get()));
    launch();
    QVERIFY(openExecutionWindow());
}

void TestDocumentsGui::exitDialogForm()
{
    ExitDialog dialog;
    QCOMPARE(dialog.windowTitle(), u"ORB"_s);
    QCOMPARE(dialog.minimumSize(), QSize(400, 193));
    QCOMPARE(dialog.maximumSize(), QSize(400, 193));
    QCOMPARE(dialog.styleSheet(), u"background-color: white;"_s);
    auto *exit = child<QLabel>(&dialog, "exitLabel");
    auto *info = child<QLabel>(&dialog, "infoLabel");
    QCOMPARE(exit->text(), u"Выйти из программы?"_s);
    QCOMPARE(info->text(), u"Несохраненные данные будут утеряны."_s);
    QCOMPARE(exit->geometry(), QRect(50, 20, 301, 51));
    QCOMPARE(info->geometry(), QRect(30, 70, 341, 61));
    QCOMPARE(
        exit->styleSheet(),
        u"color: rgb(100,100,100);\nborder-radius: 10px;\nbackground-color: rgb(250,250,250);"_s);
    QCOMPARE(info->styleSheet(), u"color: rgb(100,100,100);"_s);
    for (QLabel *label : {exit, info}) {
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->font().family(), u"MS Shell Dig 2"_s);
        QCOMPARE(label->font().weight(), QFont::Bold);
        // The texts fit their fixed labels in whatever font stands in.
        QVERIFY(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width());
    }
    QCOMPARE(exit->font().pixelSize(), 17);
    QCOMPARE(info->font().pixelSize(), 12);

    const QString buttonStyle = u"QPushButton {\nborder-radius: 20px;\nborder: 1px solid black;\n"
                                "font-weight: bold;\ncolor: rgb(75,75,75);\n}\n"
                                "QPushButton:hover{\nbackground-color: rgb(245,245,245);\n}"_s;
    auto *ok = child<QPushButton>(&dialog, "okButton");
    auto *cancel = child<QPushButton>(&dialog, "cancelButton");
    QCOMPARE(ok->text(), u"Да"_s);
    QCOMPARE(cancel->text(), u" Нет"_s);
    QCOMPARE(ok->geometry(), QRect(120, 130, 41, 41));
    QCOMPARE(cancel->geometry(), QRect(230, 130, 41, 41));
    for (QPushButton *button : {ok, cancel}) {
        QCOMPARE(button->styleSheet(), buttonStyle);
        QVERIFY(button->font().bold());
    }

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    testutil::renderToPng(&dialog, u"exitdialog"_s);
}

void TestDocumentsGui::exitAnsweredNo_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Нет") << u"no"_s;
    QTest::newRow("Escape") << u"escape"_s;
    QTest::newRow("close button") << u"close"_s;
}

void TestDocumentsGui::exitAnsweredNo()
{
    QFETCH(QString, how);

    fillKnownContents(false);
    launch();
    QPointer<ExecutionWindow> running = openExecutionWindow();
    QVERIFY(running);
    const QList<Row> rows = tableTexts(*window);
    const QStringList memory = memoryTexts(*window);

    QSignalSpy closed(window.get(), &MainWindow::closed);
    testutil::DialogAnswerer answer([how](QWidget *dialog) {
        if (how == "no"_L1)
            QTest::mouseClick(child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
        else if (how == "escape"_L1)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    QVERIFY(!window->close());
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ExitDialog"_s);
    QTest::qWait(20);

    QCOMPARE(closed.count(), 0);
    QVERIFY(window->isVisible());
    QVERIFY(running);
    QVERIFY(running->isVisible());
    QVERIFY(!unlocked());
    QCOMPARE(tableTexts(*window), rows);
    QCOMPARE(memoryTexts(*window), memory);

    // Every close request asks again.
    testutil::DialogAnswerer again(
        [](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QVERIFY(!window->close());
    QVERIFY(again.answered());
}

void TestDocumentsGui::exitAnsweredYes()
{
    launch();
    QPointer<ExecutionWindow> running = openExecutionWindow();
    QVERIFY(running);

    QSignalSpy closed(window.get(), &MainWindow::closed);
    testutil::DialogAnswerer answer([](QWidget *dialog) {
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    });
    QVERIFY(window->close());
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ExitDialog"_s);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!window->isVisible());
    QTRY_VERIFY(!running);
}

void TestDocumentsGui::credits()
{
    QString className;
    QString text;
    QSize size;
    QString dialogStyle;
    QString labelFamily;
    int labelPixelSize = 0;
    QRect labelGeometry;
    bool fits = false;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        auto *label = child<QLabel>(dialog, "label");
        text = label->text();
        size = dialog->size();
        dialogStyle = dialog->styleSheet();
        labelFamily = label->font().family();
        labelPixelSize = label->font().pixelSize();
        labelGeometry = label->geometry();
        fits = label->sizeHint().height() <= label->height();
        testutil::renderToPng(dialog, u"authorinfodialog"_s);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    triggerAction("info");
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"AuthorInfoDialog"_s);
    QCOMPARE(size, QSize(341, 225));
    QCOMPARE(dialogStyle, u"background-color: rgb(255, 255, 255);"_s);
    QCOMPARE(labelGeometry, QRect(10, 0, 321, 221));
    QCOMPARE(labelFamily, u"MS Shell Dig 2"_s);
    QCOMPARE(labelPixelSize, 12);
    QVERIFY(fits);
    QVERIFY(text.contains(u"<b>Макет разработан:</b>"_s));
    QVERIFY(text.contains(u"Если вы нашли ошибку, пожалуйста, напишите мне."_s));
    QCOMPARE(text.count(u"<p"_s), 6);
    // Done and gone: nothing of it is left among the windows.
    QTest::qWait(10);
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<AuthorInfoDialog *>(widget));
}

QTEST_MAIN(TestDocumentsGui)
#include "tst_documentsgui.moc"
