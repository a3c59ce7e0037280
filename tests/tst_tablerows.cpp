// SPDX-License-Identifier: GPL-3.0-or-later
//
// The transition table builds a row's cells only when the row is seen or used. These tests
// hold a table whose rows are built as they are needed against one built row by row as a user
// would build it: opened documents, insertions and deletions, scrolling, Tab, Save and a launch
// must not tell them apart.

#include "app/document.h"
#include "app/constants.h"
#include "app/mainwindow.h"
#include "app/rowmarks.h"
#include "cells/tablerows.h"
#include "cells/ttlineedit.h"
#include "editorfixture.h"
#include "sim/executionwindow.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>
#include <set>

using editortest::ScriptedWindow;
using testutil::child;

using namespace Qt::StringLiterals;
using editortest::Row;

namespace {

// Rows of every kind the rules treat apart: correct rows in normal form and not, texts longer
// than the cells take, invalid states, conditions and signals without states, wrong signals
// and conditions, and blank rows.
QList<Row> mixedRows(int count)
{
    QList<Row> rows;
    for (int row = 0; row < count; ++row) {
        const QString state = QString::number(row % 1000);
        switch (row % 11) {
        case 0:
            rows << Row{state, QString::number(row + 1), u"-x4,!z,c"_s, u"y6,y20,y47"_s};
            break;
        case 1:
            rows << Row{state, u"7"_s, u" Z , X1"_s, u"Y10, y6 ,y31"_s};
            break;
        case 2:
            rows << Row{u"12345"_s, u"1"_s, u"x1,x2,x3,x4,z,n,c,p,x1,x2,x3"_s,
                        u"y20,y21,y22,y23,y24,y25,y26,y27,y28,y29,y30"_s};
            break;
        case 3:
            rows << Row{u"ab"_s, u"3"_s, {}, {}};
            break;
        case 4:
            rows << Row{{}, {}, u"x1"_s, {}};
            break;
        case 5:
            rows << Row{state, {}, {}, u"y99"_s};
            break;
        case 6:
            rows << Row{{}, state, u"x9"_s, u"y20"_s};
            break;
        case 7:
            rows << Row{{}, {}, {}, {}};
            break;
        case 8:
            rows << Row{state, state, u"b"_s, u"y70"_s};
            break;
        case 9:
            rows << Row{state, {}, {}, {}};
            break;
        default:
            rows << Row{{}, {}, {}, u"y30,y48"_s};
            break;
        }
    }
    return rows;
}

QByteArray documentOf(const QList<Row> &rows)
{
    QList<orb::RowTexts> texts;
    for (const Row &row : rows)
        texts << orb::RowTexts{row[0], row[1], row[2], row[3]};
    QStringList memory;
    for (int address = 0; address < orb::memoryCellCount; ++address)
        memory << orb::formatHex(address);
    return orb::serializeDocument(texts, memory);
}

// Everything a row holds, read through the window's cell-free accessors or through its cells.
struct RowContents {
    Row texts;
    QString marks;
    orb::ParsedConditions conditions;
    orb::ParsedSignals signalNumbers;

    bool operator==(const RowContents &other) const
    {
        return texts == other.texts && marks == other.marks &&
               conditions.operandIndexes == other.conditions.operandIndexes &&
               conditions.operandPrefixes == other.conditions.operandPrefixes &&
               conditions.operandExpected == other.conditions.operandExpected &&
               signalNumbers.signalNumbers == other.signalNumbers.signalNumbers &&
               signalNumbers.numberCount == other.signalNumbers.numberCount;
    }
};

QString describe(const RowContents &row)
{
    return row.texts.join(u'|') + u' ' + row.marks;
}

RowContents readWithoutCells(const MainWindow &window, int row)
{
    RowContents contents;
    for (int column = 2; column <= 8; column += 2)
        contents.texts << window.cellText(row, column);
    contents.conditions = window.parsedConditions(row);
    contents.signalNumbers = window.parsedSignals(row);
    return contents;
}

RowContents readCells(const MainWindow &window, int row)
{
    RowContents contents;
    contents.texts = editortest::rowTexts(window, row);
    contents.marks = editortest::rowMarks(window, row);
    contents.conditions = window.ttCell(row, 6)->parsedConditions();
    contents.signalNumbers = window.ttCell(row, 8)->parsedSignals();
    return contents;
}

int builtRows(const MainWindow &window)
{
    return int(window.findChildren<TTLineEdit *>().size() / 4);
}

} // namespace

class TestTableRows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void openedAsFilledRowByRow_data();
    void openedAsFilledRowByRow();
    void insertAndDeleteAsInBuiltTable();
    void rowsInViewHaveCellsWherePainted();
    void tabWalksRowsInOrder();
    void saveAndLaunchReadRowsWithoutCells();
    void cellsStayBoundedWhileScrolling();
    void labelsComeWithTheirRows();
    void storeAnnouncesEveryChange();

private:
    std::unique_ptr<ScriptedWindow> showWindow();
    // A window that opened `rows` as a document (rows built as needed), and one that was given
    // the same rows row by row as loading has always filled them (every row built).
    void openBoth(const QList<Row> &rows);
    void compareAllRows();

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ScriptedWindow> opened;
    std::unique_ptr<ScriptedWindow> reference;
};

void TestTableRows::init()
{
    testutil::failOnAnyWarning();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestTableRows::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<ExecutionWindow *>(widget))
            delete widget;
    }
    opened.reset();
    reference.reset();
    dir.reset();
}

std::unique_ptr<ScriptedWindow> TestTableRows::showWindow()
{
    auto window = std::make_unique<ScriptedWindow>();
    if (!testutil::activate(window.get()))
        qFatal("the editor window did not become active");
    return window;
}

void TestTableRows::openBoth(const QList<Row> &rows)
{
    reference = showWindow();
    editortest::setRows(*reference, rows);
    const QString path = dir->filePath(u"table.orb"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(documentOf(rows));
    file.close();

    opened = showWindow();
    opened->openAnswer = path;
    child<QAction>(opened.get(), "actionOpen")->trigger();
    QCOMPARE(opened->stringCount(), rows.size());
}

void TestTableRows::compareAllRows()
{
    QCOMPARE(opened->stringCount(), reference->stringCount());
    QCOMPARE(opened->errorCount(), reference->errorCount());
    for (int row = 0; row < reference->stringCount(); ++row) {
        const RowContents expected = readCells(*reference, row);
        RowContents withoutCells = readWithoutCells(*opened, row);
        withoutCells.marks = expected.marks; // the cell-free accessors carry no marks
        QVERIFY2(withoutCells == expected, qPrintable(u"row %1: %2, expected %3"_s.arg(row).arg(
                                               describe(withoutCells), describe(expected))));
        const RowContents built = readCells(*opened, row);
        QVERIFY2(built == expected, qPrintable(u"row %1: %2, expected %3"_s.arg(row).arg(
                                        describe(built), describe(expected))));
    }
    QCOMPARE(opened->errorCount(), editortest::countWrongCells(*opened));
}

void TestTableRows::openedAsFilledRowByRow_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::newRow("one row") << mixedRows(1);
    QTest::newRow("fits the view") << mixedRows(12);
    QTest::newRow("500 rows") << mixedRows(500);
    // The last row takes the focus before its contents: a mark its commit sets stays.
    QList<Row> wrongLast = mixedRows(40);
    wrongLast.last() = Row{{}, {}, u"x1"_s, u"y20"_s};
    QTest::newRow("wrong source state in the focused last row") << wrongLast;
}

void TestTableRows::openedAsFilledRowByRow()
{
    QFETCH(QList<Row>, rows);
    openBoth(rows);
    QVERIFY(opened->errorCount() > 0 || rows.size() == 1);

    // The focus ends where adding each row in turn leaves it.
    const int last = int(rows.size()) - 1;
    QCOMPARE(QApplication::focusWidget(), opened->ttCell(last, 2));
    QCOMPARE(opened->currentString(), last);
    QCOMPARE(opened->currentColumn(), 2);
    QCOMPARE(editortest::rowMarks(*opened, last), editortest::rowMarks(*reference, last));
    compareAllRows();
}

void TestTableRows::insertAndDeleteAsInBuiltTable()
{
    openBoth(mixedRows(120));
    QVERIFY(builtRows(*opened) < 60);

    // The same presses in both windows: inserts above the first row and below others, Return
    // in a far row, deletions by the button and by Backspace; the rows in between have no
    // cells in the opened window.
    struct Step {
        int row;
        int column;
        enum { Add, Delete, Return, Backspace } action;
    };
    const QList<Step> steps = {
        {0, 2, Step::Add},     {5, 4, Step::Add},         {119, 8, Step::Delete},
        {60, 6, Step::Return}, {0, 4, Step::Delete},      {100, 2, Step::Backspace},
        {30, 8, Step::Add},    {120, 2, Step::Backspace}, {0, 2, Step::Add},
    };
    for (const Step &step : steps) {
        for (MainWindow *window : {static_cast<MainWindow *>(opened.get()),
                                   static_cast<MainWindow *>(reference.get())}) {
            QVERIFY(testutil::activate(window));
            TTLineEdit *cell = window->ttCell(step.row, step.column);
            QVERIFY(cell);
            cell->setFocus(Qt::OtherFocusReason);
            cell->setCursorPosition(0);
            switch (step.action) {
            case Step::Add:
                QTest::mouseClick(child<QPushButton>(window, "addButton"), Qt::LeftButton);
                break;
            case Step::Delete:
                QTest::mouseClick(child<QPushButton>(window, "deleteButton"), Qt::LeftButton);
                break;
            case Step::Return:
                QTest::keyClick(cell, Qt::Key_Return);
                break;
            case Step::Backspace:
                QTest::keyClick(cell, Qt::Key_Backspace);
                break;
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QCOMPARE(opened->stringCount(), reference->stringCount());
        QCOMPARE(opened->errorCount(), reference->errorCount());
        QCOMPARE(opened->currentString(), reference->currentString());
    }
    QVERIFY(builtRows(*opened) < opened->stringCount());
    compareAllRows();
}

void TestTableRows::rowsInViewHaveCellsWherePainted()
{
    openBoth(mixedRows(500));
    auto *area = child<QScrollArea>(opened.get(), "scrollArea");
    QScrollBar *bar = area->verticalScrollBar();
    // The focused last row was scrolled to.
    QTRY_VERIFY(bar->value() > bar->maximum() - 2 * opened->ttCell(0, 2)->height());

    // Every cell painted stands where the layout puts a cell of its row and column.
    const int top = reference->ttCell(0, 2)->y();
    const int pitch = reference->ttCell(1, 2)->y() - top;
    QList<int> columnX;
    for (int column = 2; column <= 8; column += 2)
        columnX << reference->ttCell(0, column)->x();
    int painted = 0;
    QStringList misplaced;
    struct PaintCheck final : QObject {
        std::function<void(TTLineEdit *)> check;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            if (event->type() == QEvent::Paint) {
                if (auto *cell = qobject_cast<TTLineEdit *>(object))
                    check(cell);
            }
            return false;
        }
    } filter;
    filter.check = [&](TTLineEdit *cell) {
        ++painted;
        if (cell->y() != top + pitch * cell->row() || cell->x() != columnX[cell->field()])
            misplaced << u"%1,%2 at %3,%4"_s.arg(cell->row())
                             .arg(cell->column())
                             .arg(cell->x())
                             .arg(cell->y());
    };
    qApp->installEventFilter(&filter);

    // Scrolled by the bar, by a page, to the top and by the focus moving down with the keys.
    const auto inView = [&] {
        std::set<int> withCells;
        for (const TTLineEdit *cell : opened->findChildren<TTLineEdit *>())
            withCells.insert(cell->row());
        const int first = bar->value() / pitch;
        const int last = qMin(499, (bar->value() + area->viewport()->height()) / pitch);
        for (int row = first; row <= last; ++row) {
            if (!withCells.count(row))
                return false;
        }
        return true;
    };
    for (const int value : {bar->maximum() / 2, bar->maximum() / 3, 0, 4000}) {
        bar->setValue(value);
        QTest::qWait(20);
        QVERIFY2(inView(), qPrintable(u"scrolled to %1"_s.arg(value)));
    }
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QTest::qWait(20);
    QVERIFY(inView());
    opened->ttCell(200, 4)->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 40; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::qWait(20);
    QVERIFY(inView());
    qApp->removeEventFilter(&filter);

    QVERIFY(painted > 0);
    QVERIFY2(misplaced.isEmpty(), qPrintable(misplaced.join(u"; ")));
}

void TestTableRows::tabWalksRowsInOrder()
{
    openBoth(mixedRows(300));
    // In the opened window, cells built out of order (far rows first), then Tab and Shift+Tab
    // across rows that have no cells yet; the window built row by row walks the same way.
    opened->ttCell(280, 2);
    opened->ttCell(20, 2);
    for (MainWindow *window :
         {static_cast<MainWindow *>(opened.get()), static_cast<MainWindow *>(reference.get())}) {
        QVERIFY(testutil::activate(window));
        for (const bool forward : {true, false}) {
            window->ttCell(150, 6)->setFocus(Qt::OtherFocusReason);
            int row = 150;
            int column = 6;
            for (int step = 0; step < 4 * 40; ++step) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab,
                                forward ? Qt::NoModifier : Qt::ShiftModifier);
                if (forward) {
                    column = column == 8 ? 2 : column + 2;
                    row += column == 2;
                } else {
                    column = column == 2 ? 8 : column - 2;
                    row -= column == 8;
                }
                QVERIFY2(
                    QApplication::focusWidget() == window->ttCell(row, column),
                    qPrintable(
                        u"after %1 presses: expected %2,%3"_s.arg(step + 1).arg(row).arg(column)));
            }
        }
    }
}

void TestTableRows::saveAndLaunchReadRowsWithoutCells()
{
    // A program that starts in row 451, far from the rows in view after the open.
    QList<Row> rows;
    for (int row = 0; row < 500; ++row)
        rows << Row{QString::number(500 + row), QString::number(500 + row), {}, u"y20"_s};
    rows[450] = Row{u"0"_s, u"1"_s, u"-x4,!z"_s, u"Y31, y6"_s};
    rows[451] = Row{u"1"_s, u"0"_s, {}, u"y70"_s};
    openBoth(rows);
    const int before = builtRows(*opened);
    QVERIFY(before < 100);

    const QString copy = dir->filePath(u"copy.orb"_s);
    opened->saveAnswer = copy;
    child<QAction>(opened.get(), "actionSave")->trigger();
    QCOMPARE(builtRows(*opened), before);
    QFile saved(copy);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const std::optional<orb::LoadedDocument> document = orb::parseDocument(saved.readAll());
    QVERIFY(document);
    QCOMPARE(document->cells.size(), 2000);
    QCOMPARE(document->cells.mid(1800, 4), (QStringList{u"0"_s, u"1"_s, u"-x4,!z"_s, u"y6,y31"_s}));

    ExecutionWindow *execution = editortest::pressStart(*opened);
    QVERIFY(execution);
    // Reading the table built no cells: only the rows that the mark of the current row
    // scrolled into view have theirs, as rows coming into view do.
    QVERIFY(builtRows(*opened) <= before + 24);
    QCOMPARE(child<QLabel>(execution, "rowLabel")->text(), u"451"_s);
    QCOMPARE(child<QLabel>(execution, "controlSignalsLabel")->text(), u"y6,y31"_s);
    QCOMPARE(execution->engine().state().rowIndex, 450);
}

void TestTableRows::cellsStayBoundedWhileScrolling()
{
    openBoth(mixedRows(500));
    auto *area = child<QScrollArea>(opened.get(), "scrollArea");
    QScrollBar *bar = area->verticalScrollBar();
    // Cells handed out stay what they are, however far the view goes.
    const QPointer<TTLineEdit> kept = opened->ttCell(250, 4);
    const RowContents keptContents = readCells(*opened, 250);

    int most = 0;
    const auto settle = [&] {
        QTest::qWait(5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        most = qMax(most, builtRows(*opened));
    };
    for (int value = 0; value <= bar->maximum(); value += bar->pageStep() / 2) {
        bar->setValue(value);
        settle();
    }
    bar->setValue(0);
    settle();
    // Down the table with the keys, row by row, and back up by Tab.
    opened->ttCell(0, 4)->setFocus(Qt::OtherFocusReason);
    for (int row = 0; row < 120; ++row) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        settle();
    }
    QCOMPARE(opened->currentString(), 120);
    for (int step = 0; step < 4 * 60; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        settle();
    }
    QCOMPARE(opened->currentString(), 60);
    // The rows of a viewport (17 or so), one either side, some kept while the view moves, the
    // three rows pinned above: nowhere near the 500 of the table.
    QVERIFY2(most <= 34, qPrintable(QString::number(most)));
    QVERIFY(kept);
    QCOMPARE(opened->ttCell(250, 4), kept.data());
    QVERIFY(readCells(*opened, 250) == keptContents);

    // Deletions and insertions far above it move the contents, not the cell.
    const RowContents below = readCells(*opened, 251);
    QVERIFY(!(below == keptContents));
    opened->ttCell(0, 2)->setFocus(Qt::OtherFocusReason);
    QTest::mouseClick(child<QPushButton>(opened.get(), "deleteButton"), Qt::LeftButton);
    QCOMPARE(opened->ttCell(250, 4), kept.data());
    QVERIFY(readCells(*opened, 250) == below);
    // The kept cell shows the mark of what it now holds: a next state left empty.
    QCOMPARE(keptContents.marks, u"++++"_s);
    QVERIFY(!kept->isCorrect());
    QCOMPARE(kept->styleSheet(), orb::incorrectCellStyle);
    opened->ttCell(0, 2)->setFocus(Qt::OtherFocusReason);
    opened->ttCell(0, 2)->setCursorPosition(0);
    QTest::mouseClick(child<QPushButton>(opened.get(), "addButton"), Qt::LeftButton);
    QVERIFY(readCells(*opened, 250) == keptContents);
    // Cells built anew or kept show what the rows hold.
    for (int row = 0; row < opened->stringCount(); ++row) {
        RowContents withoutCells = readWithoutCells(*opened, row);
        const RowContents built = readCells(*opened, row);
        withoutCells.marks = built.marks;
        QVERIFY2(built == withoutCells, qPrintable(u"row %1: %2, expected %3"_s.arg(row).arg(
                                            describe(built), describe(withoutCells))));
    }
    QCOMPARE(opened->errorCount(), editortest::countWrongCells(*opened));

    // Opening another document lets the kept cell go.
    child<QAction>(opened.get(), "actionOpen")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!kept);
}

void TestTableRows::labelsComeWithTheirRows()
{
    // The reference has made every label; the opened table only those of the rows in view.
    openBoth(mixedRows(101));
    auto *contents = child<QWidget>(opened.get(), "scrollAreaContents");
    auto *grid = qobject_cast<QGridLayout *>(contents->layout());
    QVERIFY(grid);
    QVERIFY(contents->findChildren<QLabel *>().size() < 40);

    // A breakpoint set before its row's label is made shows on it once it is.
    auto *marks = opened->findChild<RowMarks *>();
    QVERIFY(marks);
    marks->toggleBreakpoint(40);
    QLabel *label = opened->rowNumberLabel(40);
    QVERIFY(label);
    QCOMPARE(label->text(), u"41"_s);
    QCOMPARE(label->styleSheet(), orb::breakpointRowNumberStyle);
    QCOMPARE(label->toolTip(), RowMarks::toolTip());
    QCOMPARE(label->minimumWidth(), 20);
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QCOMPARE(grid->itemAtPosition(40, 0)->widget(), label);
    QCOMPARE(opened->rowNumberLabel(40), label);
    QTest::mouseClick(label, Qt::LeftButton);
    QVERIFY(!marks->hasBreakpoint(40));
    QCOMPARE(label->styleSheet(), orb::rowNumberStyle);

    // Rows with and without labels stand where they would if every row had its label, and the
    // label column is as wide as the widest number, also once it has gone. A large font makes
    // the labels wider than their minimum and taller than the cells.
    opened.reset();
    reference.reset();
    const QFont applicationFont = QApplication::font();
    const auto restoreFont = qScopeGuard([&] { QApplication::setFont(applicationFont); });
    QFont large = applicationFont;
    large.setPointSize(16);
    QApplication::setFont(large);
    openBoth(mixedRows(99));
    const auto widestLabel = [&](int rowCount) {
        QLabel probe(child<QWidget>(opened.get(), "scrollAreaContents"));
        probe.setStyleSheet(orb::rowNumberStyle);
        int widest = 20;
        for (int number = 1; number <= rowCount; ++number) {
            probe.setText(QString::number(number));
            widest = qMax(widest, probe.sizeHint().width());
        }
        return widest;
    };
    const auto sameGeometry = [&](int row) {
        for (MainWindow *window : {static_cast<MainWindow *>(opened.get()),
                                   static_cast<MainWindow *>(reference.get())}) {
            window->rowNumberLabel(row);
            child<QWidget>(window, "scrollAreaContents")->layout()->activate();
        }
        const QRect got = opened->rowNumberLabel(row)->geometry();
        const QRect expected = reference->rowNumberLabel(row)->geometry();
        const int width = widestLabel(opened->stringCount());
        if (got != expected || got.width() != width)
            qWarning("row %d: label at %d,%d %dx%d, expected %d,%d %dx%d", row, got.x(), got.y(),
                     got.width(), got.height(), expected.x(), expected.y(), width,
                     expected.height());
        return got == expected && got.width() == width;
    };
    QVERIFY(widestLabel(99) > 20);
    QVERIFY(reference->rowNumberLabel(0)->sizeHint().height() > reference->ttCell(0, 2)->height());
    // Two rows added at the top while the view is there: the new last rows have no labels.
    for (MainWindow *window :
         {static_cast<MainWindow *>(opened.get()), static_cast<MainWindow *>(reference.get())}) {
        child<QScrollArea>(window, "scrollArea")->verticalScrollBar()->setValue(0);
        window->ttCell(0, 2)->setFocus(Qt::OtherFocusReason);
        window->ttCell(0, 2)->setCursorPosition(0);
        QTest::mouseClick(child<QPushButton>(window, "addButton"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(window, "addButton"), Qt::LeftButton);
        QCOMPARE(window->stringCount(), 101);
    }
    QVERIFY(widestLabel(101) > widestLabel(99));
    for (const int row : {0, 20, 70})
        QVERIFY(sameGeometry(row));
    for (int row = 0; row < reference->stringCount(); ++row)
        reference->rowNumberLabel(row);
    for (const int row : {99, 100})
        QVERIFY(sameGeometry(row));
    // Back to 99 rows: the column narrows.
    for (MainWindow *window :
         {static_cast<MainWindow *>(opened.get()), static_cast<MainWindow *>(reference.get())}) {
        for (const int last : {100, 99}) {
            window->ttCell(last, 2)->setFocus(Qt::OtherFocusReason);
            QTest::mouseClick(child<QPushButton>(window, "deleteButton"), Qt::LeftButton);
        }
        QCOMPARE(window->stringCount(), 99);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    for (const int row : {0, 50, 98})
        QVERIFY(sameGeometry(row));
}

void TestTableRows::storeAnnouncesEveryChange()
{
    // What undo and the row marks rely on: every change of the rows is announced, with the
    // rows it touched, and errorCount always counts the wrong cells.
    orb::TableRows rows;
    QStringList heard;
    connect(&rows, &orb::TableRows::rowsInserted, this,
            [&](int first, int count) { heard << u"inserted %1 %2"_s.arg(first).arg(count); });
    connect(&rows, &orb::TableRows::rowsRemoved, this,
            [&](int first, int count) { heard << u"removed %1 %2"_s.arg(first).arg(count); });
    connect(&rows, &orb::TableRows::rowsMoved, this,
            [&](int from, int to) { heard << u"moved %1 %2"_s.arg(from).arg(to); });
    connect(&rows, &orb::TableRows::rowsChanged, this,
            [&](int first, int count) { heard << u"changed %1 %2"_s.arg(first).arg(count); });
    connect(&rows, &orb::TableRows::rowsReset, this, [&] { heard << u"reset"_s; });
    connect(&rows, &orb::TableRows::errorCountChanged, this,
            [&](int count) { heard << u"errors %1"_s.arg(count); });
    const auto texts = [&](int row) {
        Row result;
        for (int field = 0; field < orb::fieldCount; ++field)
            result << rows.cellText(row, field);
        return result;
    };

    rows.reset(std::vector<orb::TableRows::Row>(3));
    rows.fillAndCommit(1, orb::ConditionsField, u"X1, z"_s);
    QCOMPARE(texts(1), (Row{{}, {}, u"x1,z"_s, {}}));
    QCOMPARE(rows.errorCount(), 2);
    const orb::TableRows::Row wrongRow = rows.row(1);
    rows.setCellText(2, orb::SignalsField, u"y6,y"_s);
    rows.editingFinished(2, orb::SignalsField);
    QCOMPARE(rows.errorCount(), 5);
    // Typing the text it already has changes nothing and says nothing.
    const qsizetype before = heard.size();
    rows.setCellText(2, orb::SignalsField, u"y6,y"_s);
    QCOMPARE(heard.size(), before);
    QCOMPARE(heard, (QStringList{u"reset"_s, u"changed 1 1"_s, u"errors 2"_s, u"changed 2 1"_s,
                                 u"changed 2 1"_s, u"errors 5"_s}));
    heard.clear();

    rows.insertRow(0);
    rows.moveRow(2, 0); // the wrong row 1, now at 2, back to the top
    QCOMPARE(texts(0), (Row{{}, {}, u"x1,z"_s, {}}));
    QCOMPARE(texts(3), (Row{{}, {}, {}, u"y6,y"_s}));
    rows.moveRow(0, 3);
    QCOMPARE(texts(3), (Row{{}, {}, u"x1,z"_s, {}}));
    QCOMPARE(texts(2), (Row{{}, {}, {}, u"y6,y"_s}));
    rows.removeRow(3);
    QCOMPARE(rows.errorCount(), 3);
    rows.setRow(0, wrongRow);
    QCOMPARE(rows.errorCount(), 5);
    QCOMPARE(rows.row(0).conditions.operandIndexes, wrongRow.conditions.operandIndexes);
    QCOMPARE(heard,
             (QStringList{u"inserted 0 1"_s, u"moved 2 0"_s, u"moved 0 3"_s, u"removed 3 1"_s,
                          u"errors 3"_s, u"changed 0 1"_s, u"errors 5"_s}));
    QCOMPARE(rows.rowCount(), 3);
}

QTEST_MAIN(TestTableRows)
#include "tst_tablerows.moc"
