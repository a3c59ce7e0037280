// SPDX-License-Identifier: GPL-3.0-or-later
//
// The editor's main window: its form, the rows of the transition table (insertion, deletion,
// the 500-row cap, the scroll bar), page switching, the editing lock and the start button.

#include "editorfixture.h"
#include "testutil.h"

#include "app/constants.h"
#include "app/mainwindow.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "sim/registers.h"

#include <QAction>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QValidator>
#include <QScopeGuard>

#include <algorithm>

using namespace Qt::StringLiterals;

using namespace editortest;

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void startupState();
    void styleConstantsAreTheirTexts_data();
    void styleConstantsAreTheirTexts();
    void formTextsAndStyles();
    void cellProperties();
    void insertRowBelowAnother();
    void firstRowCase_data();
    void firstRowCase();
    void deleteRow_data();
    void deleteRow();
    void deletingWrongRowsLowersErrorCount();
    void movedRowsKeepTheirParsedForms();
    void rowCap();
    void scrollBarAt18And16();
    void focusedCellIsScrolledIntoView();
    void focusedCellIsEntirelyInView_data();
    void focusedCellIsEntirelyInView();
    void removeStringWidgets();
    void pageSwitching();
    void startButtonPressEffect();
    void editingLock();
    void renderPages();

private:
    template <typename T> T *child(const char *name) const
    {
        T *widget = window->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }
    bool scrollBarShown() const
    {
        return child<QScrollArea>("scrollArea")->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
    }

    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    // Qt Test clears the patterns after each test function; initTestCase alone covers no test.
    testutil::failOnAnyWarning();
    window = showWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestMainWindow::cleanup()
{
    if (window && window->ttCell(0, 2))
        QCOMPARE(window->errorCount(), countWrongCells(*window));
    window.reset();
}

void TestMainWindow::startupState()
{
    QCOMPARE(window->stringCount(), 1);
    QCOMPARE(window->currentString(), 0);
    QCOMPARE(window->currentColumn(), 2);
    QCOMPARE(window->errorCount(), 0);
    QCOMPARE(window->rowNumberLabel(0)->text(), QStringLiteral("1"));
    QCOMPARE(focused(), window->ttCell(0, 2));
    QCOMPARE(rowTexts(*window, 0), blankRow);
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("++++"));

    QVERIFY(child<QScrollArea>("scrollArea")->isVisible());
    QVERIFY(!window->ramTable()->isVisible());
    QVERIFY(!child<QFrame>("ramTableDecor")->isVisible());
    QVERIFY(!scrollBarShown());
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 16; ++column)
            QCOMPARE(window->ramCell(row, column)->text(), QStringLiteral("00"));
    }
    QCOMPARE(window->ramTable()->rowHeight(7), 23);
    QCOMPARE(window->ramTable()->columnWidth(7), 35);
    QVERIFY(!window->ttCell(1, 2));
    QVERIFY(!window->ttCell(0, 3));
}

void TestMainWindow::styleConstantsAreTheirTexts_data()
{
    // Written out whole, so that a typo in a piece of a constant (a lost blank, a wrong digit)
    // cannot pass: the other tests compare widgets with the constants themselves.
    QTest::addColumn<QString>("constant");
    QTest::addColumn<QString>("expected");
    QTest::newRow("inactiveTabStyle")
        << orb::inactiveTabStyle
        << QStringLiteral("QPushButton {   background-color: rgb(234, 234, 234);   border: 1px "
                          "solid  rgb(217, 217, 217);   border-top-right-radius: 15px;   "
                          "border-bottom-right-radius: 15px;   outline: none;}"
                          "QPushButton:hover {   background-color: rgb(245, 245, 245);}");
    QTest::newRow("activeTabStyle")
        << orb::activeTabStyle
        << QStringLiteral("border: 1px solid  white;border-right: 0px;outline: none;");
    QTest::newRow("ramEvenRowStyle")
        << orb::ramEvenRowStyle
        << QStringLiteral("QLineEdit {   border: 0px;   background-color: rgb(250,250,250);   "
                          "color: rgb(75,75,75);   font-weight: bold;}QLineEdit:focus{   "
                          "border: 1px solid rgb(100,100,100);}");
    QTest::newRow("ramOddRowStyle")
        << orb::ramOddRowStyle
        << QStringLiteral("QLineEdit {   border: 0px solid;   color: rgb(75,75,75);   "
                          "font-weight: bold;}QLineEdit:focus {   border: 1px solid "
                          "rgb(100,100,100);}");
    QTest::newRow("correctCellStyle")
        << orb::correctCellStyle
        << QStringLiteral(
               "background-color: #f2f2f2;border-radius: 6px;font-weight: bold;color: #4C5866;");
    QTest::newRow("incorrectCellStyle")
        << orb::incorrectCellStyle
        << QStringLiteral("background-color: #f2f2f2;border-radius: 6px;border: 1px solid "
                          "#E28383;font-weight: bold;color: #4C5866;");
    QTest::newRow("rowNumberStyle")
        << orb::rowNumberStyle
        << QStringLiteral("background-color: rgb(101, 220, 177);border-radius: 10px;color: "
                          "rgb(255, 255, 255);");
    QTest::newRow("ramHeaderStyle")
        << orb::ramHeaderStyle
        << QStringLiteral("border-radius: 8px;background-color: rgb(87, 161, 217);color: "
                          "white;font-weight: bold;");
    QTest::newRow("documentMagic") << orb::documentMagic << QStringLiteral("MKT");
    QTest::newRow("documentSeparator") << QString(orb::documentSeparator) << QStringLiteral("\n");
    QTest::newRow("conditionOperandNames")
        << orb::conditionOperandNames.join(u'|') << QStringLiteral("x4|x3|x2|x1|z|n|c|p");
}

void TestMainWindow::styleConstantsAreTheirTexts()
{
    QFETCH(QString, constant);
    QFETCH(QString, expected);
    QCOMPARE(constant, expected);
}

void TestMainWindow::formTextsAndStyles()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("ORB"));
    QCOMPARE(window->minimumSize(), QSize(897, 543));
    QCOMPARE(window->maximumSize(), QSize(897, 543));
    QCOMPARE(window->styleSheet(), QStringLiteral("background-color: rgb(255, 255, 255);"));

    auto *toolBar = child<QToolBar>("mainToolBar");
    QStringList actions;
    for (QAction *action : toolBar->actions())
        actions << action->objectName() + u'|' + action->text() + u'|' + action->toolTip();
    QCOMPARE(actions, (QStringList{QStringLiteral("actionNew|New|Новый Файл"),
                                   QStringLiteral("actionOpen|Open|Открыть Файл"),
                                   QStringLiteral("actionSave|Save|Сохранить"),
                                   QStringLiteral("info|Info|Инфо")}));
    for (QAction *action : toolBar->actions()) {
        QVERIFY2(!action->icon().isNull(), qPrintable(action->objectName()));
        // New, Open and Save have the standard keys (tst_desktopconventions pins them); Info has
        // none.
        QCOMPARE(action->shortcut().isEmpty(), action->objectName() == QStringLiteral("info"));
    }
    QVERIFY(!toolBar->isMovable());
    QVERIFY(!toolBar->isFloatable());
    QCOMPARE(toolBar->iconSize(), QSize(24, 24));
    QCOMPARE(toolBar->maximumHeight(), 29);
    QCOMPARE(toolBar->contextMenuPolicy(), Qt::PreventContextMenu);
    QVERIFY(toolBar->styleSheet().contains(
        QStringLiteral("border-left: 0px;\nborder-bottom: 1px solid rgb(150,150,150);}\n"
                       "QToolButton { background-color: rgba(0,0,0,0); }\n"
                       "QToolButton:hover { border-radius: 6px; border: 1px solid  "
                       "rgb(150, 150, 150);  }")));

    const QString headingStyle = QStringLiteral(
        "background-color: rgb(85, 181, 222);\nborder-radius: 5px;\ncolor: rgb(255, 255, 255);");
    const QList<std::tuple<const char *, QRect, QString>> headings = {
        {"label1", QRect(120, 10, 71, 20), QStringLiteral("Исх. сост.")},
        {"label2", QRect(220, 10, 81, 20), QStringLiteral("След. сост.")},
        {"label3", QRect(360, 10, 141, 20), QStringLiteral("Условия перехода")},
        {"label4", QRect(630, 10, 171, 20), QStringLiteral("Управляющие сигналы")}};
    for (const auto &[name, geometry, text] : headings) {
        auto *label = child<QLabel>(name);
        QCOMPARE(label->geometry(), geometry);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->styleSheet(), headingStyle);
        QCOMPARE(label->font().family(), QStringLiteral("Arial"));
        QCOMPARE(label->font().pixelSize(), 13);
        QCOMPARE(label->font().weight(), QFont::Bold);
    }
    const QList<std::tuple<const char *, QRect>> lines = {{"line1", QRect(100, 10, 20, 471)},
                                                          {"line2", QRect(200, 10, 16, 471)},
                                                          {"line3", QRect(300, 10, 16, 471)},
                                                          {"line4", QRect(550, 10, 16, 471)}};
    for (const auto &[name, geometry] : lines)
        QCOMPARE(child<QFrame>(name)->geometry(), geometry);

    auto *editButton = child<QPushButton>("editButton");
    QCOMPARE(editButton->geometry(), QRect(0, -10, 51, 271));
    QCOMPARE(editButton->toolTip(), QStringLiteral("Таблица переходов"));
    QCOMPARE(editButton->styleSheet(), QStringLiteral("border: 0px;"));
    QCOMPARE(editButton->iconSize(), QSize(35, 48));
    QVERIFY(editButton->isCheckable() && !editButton->isChecked());
    auto *ramButton = child<QPushButton>("ramButton");
    QCOMPARE(ramButton->geometry(), QRect(0, 260, 51, 271));
    QCOMPARE(ramButton->toolTip(), QStringLiteral("Оперативная память"));
    QCOMPARE(ramButton->styleSheet(), orb::inactiveTabStyle);
    QCOMPARE(ramButton->iconSize(), QSize(49, 47));
    QVERIFY(ramButton->isCheckable() && !ramButton->isChecked());

    const QList<std::tuple<const char *, QRect, QString>> buttons = {
        {"addButton", QRect(730, 470, 31, 31), QStringLiteral(":/plus.png")},
        {"deleteButton", QRect(770, 470, 31, 31), QStringLiteral(":/qqq.png")},
        {"startButton", QRect(820, 450, 51, 51), QStringLiteral(":/button-play (2).png")}};
    for (const auto &[name, geometry, image] : buttons) {
        auto *button = child<QPushButton>(name);
        QCOMPARE(button->geometry(), geometry);
        QVERIFY(button->text().isEmpty());
        QCOMPARE(button->styleSheet(),
                 QStringLiteral("QPushButton {\nborder-image: url(\"") + image +
                     QStringLiteral("\");\nbackground-color: rgba(0,0,0,0);\n}\n"
                                    "QPushButton:pressed {border: 1px solid black;}"));
    }

    auto *scrollArea = child<QScrollArea>("scrollArea");
    QCOMPARE(scrollArea->geometry(), QRect(70, 30, 811, 451));
    QVERIFY(scrollArea->widgetResizable());
    QCOMPARE(scrollArea->widget()->objectName(), QStringLiteral("scrollAreaContents"));
    QVERIFY(scrollArea->styleSheet().startsWith(
        QStringLiteral("QWidget {\nbackground: rgba(0,0,0,0);\nborder: 0px;\n}\n"
                       "QScrollBar:vertical {\nwidth: 10px;\n}\n")));
    QCOMPARE(scrollArea->widget()->layout()->objectName(), QString());
    QVERIFY(qobject_cast<QGridLayout *>(scrollArea->widget()->layout()));

    QCOMPARE(window->ramTable()->styleSheet(),
             QStringLiteral("QTableWidget {border: 2px solid  rgb(87, 161, 217);\n"
                            "border-radius: 10px;}"));
    QCOMPARE(child<QFrame>("ramTableDecor")->styleSheet(),
             QStringLiteral("border-radius:10px;\nborder: 1px solid  rgb(79, 91, 141);"));
    QCOMPARE(window->ramTable()->rowCount(), 16);
    QCOMPARE(window->ramTable()->columnCount(), 16);
    QVERIFY(!window->ramTable()->horizontalHeader()->isVisible());
    QVERIFY(!window->ramTable()->verticalHeader()->isVisible());
    QCOMPARE(window->ramTable()->focusPolicy(), Qt::StrongFocus);
    for (const char *name : {"ramHLayout", "ramVLayout"}) {
        auto *layout = child<QLayout>(name);
        QCOMPARE(layout->count(), 16);
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(11, 11, 11, 11));
        for (int i = 0; i < 16; ++i) {
            auto *label = qobject_cast<QLabel *>(layout->itemAt(i)->widget());
            QCOMPARE(label->text(), QString::number(i, 16).toUpper());
            QCOMPARE(label->styleSheet(), orb::ramHeaderStyle);
        }
    }
}

void TestMainWindow::cellProperties()
{
    QCOMPARE(window->rowNumberLabel(0)->styleSheet(), orb::rowNumberStyle);
    QCOMPARE(window->rowNumberLabel(0)->minimumWidth(), 20);
    QCOMPARE(window->rowNumberLabel(0)->alignment(), Qt::AlignCenter);
    auto *layout = qobject_cast<QGridLayout *>(child<QWidget>("scrollAreaContents")->layout());
    QCOMPARE(layout->itemAtPosition(0, 0)->widget(), window->rowNumberLabel(0));

    struct Expected {
        int column;
        int maxLength;
        int maxWidth;
        bool centred;
        QMargins margins;
        bool validator;
    };
    const QList<Expected> expected = {{2, 3, 84, true, {}, true},
                                      {4, 3, 84, true, {}, true},
                                      {6, 27, 233, false, {5, 0, 5, 0}, false},
                                      {8, 36, QWIDGETSIZE_MAX, false, {5, 0, 5, 0}, false}};
    for (const Expected &e : expected) {
        TTLineEdit *cell = window->ttCell(0, e.column);
        QCOMPARE(cell->column(), e.column);
        QCOMPARE(cell->row(), 0);
        QCOMPARE(layout->itemAtPosition(0, e.column)->widget(), cell);
        QCOMPARE(cell->maxLength(), e.maxLength);
        QCOMPARE(cell->maximumWidth(), e.maxWidth);
        QCOMPARE(cell->alignment() == Qt::AlignCenter, e.centred);
        QCOMPARE(cell->textMargins(), e.margins);
        QCOMPARE(cell->validator() != nullptr, e.validator);
        QCOMPARE(cell->font().family(), QStringLiteral("Arial"));
        QCOMPARE(cell->font().pixelSize(), 12);
        QCOMPARE(cell->font().weight(), QFont::Bold);
        QCOMPARE(cell->styleSheet(), orb::correctCellStyle);
    }
    // Each state cell has a validator of its own.
    QVERIFY(window->ttCell(0, 2)->validator() != window->ttCell(0, 4)->validator());
}

void TestMainWindow::insertRowBelowAnother()
{
    setRows(*window, {{u"0"_s, u"1"_s, u""_s, u"y20"_s},
                      {u"1"_s, u"2"_s, u"x1"_s, u""_s},
                      {u"2"_s, u"3"_s, u""_s, u"y30"_s},
                      {u"3"_s, u"4"_s, u""_s, u"y6,y"_s},
                      {u"4"_s, u""_s, u""_s, u""_s}});
    QCOMPARE(rowMarks(*window, 3), QStringLiteral("+++-"));
    QCOMPARE(rowMarks(*window, 4), QStringLiteral("+-++"));
    QCOMPARE(window->errorCount(), 2);

    // Return in a cell of row number 3.
    focusCell(*window, 2, 6);
    press(Qt::Key_Return);

    QCOMPARE(window->stringCount(), 6);
    QCOMPARE(rowTexts(*window, 0), (Row{u"0"_s, u"1"_s, u""_s, u"y20"_s}));
    QCOMPARE(rowTexts(*window, 1), (Row{u"1"_s, u"2"_s, u"x1"_s, u""_s}));
    QCOMPARE(rowTexts(*window, 2), (Row{u"2"_s, u"3"_s, u""_s, u"y30"_s}));
    QCOMPARE(rowTexts(*window, 3), blankRow);
    QCOMPARE(rowTexts(*window, 4), (Row{u"3"_s, u"4"_s, u""_s, u"y6,y"_s}));
    QCOMPARE(rowTexts(*window, 5), (Row{u"4"_s, u""_s, u""_s, u""_s}));
    QCOMPARE(rowMarks(*window, 3), QStringLiteral("++++"));
    QCOMPARE(rowMarks(*window, 4), QStringLiteral("+++-"));
    QCOMPARE(rowMarks(*window, 5), QStringLiteral("+-++"));
    QCOMPARE(window->ttCell(4, 8)->styleSheet(), orb::incorrectCellStyle);
    QCOMPARE(window->ttCell(3, 8)->styleSheet(), orb::correctCellStyle);
    QCOMPARE(window->errorCount(), 2);
    QCOMPARE(focused(), window->ttCell(3, 2));
    QCOMPARE(window->currentString(), 3);
    for (int row = 0; row < 6; ++row)
        QCOMPARE(window->rowNumberLabel(row)->text(), QString::number(row + 1));
}

void TestMainWindow::firstRowCase_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<int>("focusColumn");
    QTest::addColumn<bool>("cursorAtStart");
    QTest::addColumn<bool>("addButton"); // false: Return in the focused cell
    QTest::addColumn<QList<Row>>("expectedRows");
    QTest::addColumn<QStringList>("expectedMarks");
    QTest::addColumn<int>("focusRow");

    // The focus-in cleared the source state's mark; the first-row case sets it again before
    // the row moves down.
    QTest::newRow("empty source of a row with content is marked, row goes above")
        << QList<Row>{{u""_s, u"5"_s, u""_s, u"y20"_s}} << 2 << true << false
        << QList<Row>{blankRow, {u""_s, u"5"_s, u""_s, u"y20"_s}}
        << QStringList{u"++++"_s, u"-+++"_s} << 0;
    QTest::newRow("add button with the cursor at the start")
        << QList<Row>{{u"7"_s, u"5"_s, u""_s, u""_s}, {u"5"_s, u"7"_s, u""_s, u""_s}} << 2 << true
        << true
        << QList<Row>{blankRow, {u"7"_s, u"5"_s, u""_s, u""_s}, {u"5"_s, u"7"_s, u""_s, u""_s}}
        << QStringList{u"++++"_s, u"++++"_s, u"++++"_s} << 0;
    QTest::newRow("add button with the cursor after the text")
        << QList<Row>{{u"7"_s, u"5"_s, u""_s, u""_s}, {u"5"_s, u"7"_s, u""_s, u""_s}} << 2 << false
        << true
        << QList<Row>{{u"7"_s, u"5"_s, u""_s, u""_s}, blankRow, {u"5"_s, u"7"_s, u""_s, u""_s}}
        << QStringList{u"++++"_s, u"++++"_s, u"++++"_s} << 1;
    QTest::newRow("another cell of the first row: row goes below")
        << QList<Row>{{u"7"_s, u""_s, u""_s, u""_s}} << 4 << true << false
        << QList<Row>{{u"7"_s, u""_s, u""_s, u""_s}, blankRow} << QStringList{u"+-++"_s, u"++++"_s}
        << 1;
}

void TestMainWindow::firstRowCase()
{
    QFETCH(QList<Row>, rows);
    QFETCH(int, focusColumn);
    QFETCH(bool, cursorAtStart);
    QFETCH(bool, addButton);
    QFETCH(QList<Row>, expectedRows);
    QFETCH(QStringList, expectedMarks);
    QFETCH(int, focusRow);

    setRows(*window, rows);
    focusCell(*window, 0, focusColumn);
    TTLineEdit *cell = window->ttCell(0, focusColumn);
    cell->setCursorPosition(cursorAtStart ? 0 : int(cell->text().size()));
    if (addButton)
        QTest::mouseClick(child<QPushButton>("addButton"), Qt::LeftButton);
    else
        press(Qt::Key_Return);

    QCOMPARE(window->stringCount(), expectedRows.size());
    for (int row = 0; row < expectedRows.size(); ++row) {
        QCOMPARE(rowTexts(*window, row), expectedRows[row]);
        QCOMPARE(rowMarks(*window, row), expectedMarks[row]);
    }
    if (!addButton)
        QCOMPARE(focused(), window->ttCell(focusRow, 2));
    QCOMPARE(window->currentString(), focusRow);
}

void TestMainWindow::deleteRow_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<int>("focusRow");
    QTest::addColumn<QList<Row>>("expectedRows");
    QTest::addColumn<int>("expectedCurrent");

    const QList<Row> three = {{u"0"_s, u"1"_s, u""_s, u""_s},
                              {u"1"_s, u"2"_s, u"x1"_s, u""_s},
                              {u"2"_s, u"0"_s, u""_s, u"y7"_s}};
    QTest::newRow("focused last of three") << three << 2 << three.mid(0, 2) << 1;
    QTest::newRow("middle row") << three << 1 << QList<Row>{three[0], three[2]} << 1;
    QTest::newRow("first row") << three << 0 << three.mid(1) << 0;
    QTest::newRow("only row") << QList<Row>{{u"3"_s, u"4"_s, u""_s, u""_s}} << 0
                              << QList<Row>{{u"3"_s, u"4"_s, u""_s, u""_s}} << 0;
}

void TestMainWindow::deleteRow()
{
    QFETCH(QList<Row>, rows);
    QFETCH(int, focusRow);
    QFETCH(QList<Row>, expectedRows);
    QFETCH(int, expectedCurrent);

    setRows(*window, rows);
    focusCell(*window, focusRow, 4);
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);

    QCOMPARE(window->stringCount(), expectedRows.size());
    for (int row = 0; row < expectedRows.size(); ++row)
        QCOMPARE(rowTexts(*window, row), expectedRows[row]);
    QVERIFY(!window->ttCell(int(expectedRows.size()), 2));
    QCOMPARE(window->currentString(), expectedCurrent);

    // Only the last grid row's widgets went, and nothing of them is left behind.
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(window->findChildren<TTLineEdit *>().size(), 4 * expectedRows.size());
    auto *layout = child<QWidget>("scrollAreaContents")->layout();
    QCOMPARE(layout->count(), 1 + 9 * expectedRows.size());
}

void TestMainWindow::deletingWrongRowsLowersErrorCount()
{
    setRows(*window, {{u"5"_s, u"6"_s, u""_s, u""_s},
                      {u"0"_s, u"1"_s, u""_s, u""_s},
                      {u""_s, u""_s, u"x1"_s, u""_s},
                      {u"2"_s, u""_s, u""_s, u""_s}});
    QCOMPARE(rowMarks(*window, 2), QStringLiteral("--++"));
    QCOMPARE(rowMarks(*window, 3), QStringLiteral("+-++"));
    QCOMPARE(window->errorCount(), 3);

    // The marks move up with their texts; neither the texts arriving in a row nor the order
    // of the cells may lose a mark on the way.
    focusCell(*window, 1, 4);
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("++++"));
    QCOMPARE(rowMarks(*window, 1), QStringLiteral("--++"));
    QCOMPARE(rowMarks(*window, 2), QStringLiteral("+-++"));
    QCOMPARE(window->errorCount(), 3);

    focusCell(*window, 1, 6);
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QCOMPARE(rowTexts(*window, 1), (Row{u"2"_s, u""_s, u""_s, u""_s}));
    QCOMPARE(rowMarks(*window, 1), QStringLiteral("+-++"));
    QCOMPARE(window->errorCount(), 1);

    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QCOMPARE(window->stringCount(), 1);
    QCOMPARE(window->errorCount(), 0);
}

void TestMainWindow::movedRowsKeepTheirParsedForms()
{
    // A moved conditions cell is not normalised again, so its expected values must move with
    // it: the step engine evaluates them.
    setRows(*window, {{u"0"_s, u"0"_s, u""_s, u""_s}, {u"0"_s, u"1"_s, u"-x1,z"_s, u"y7,y6"_s}});
    const orb::ParsedConditions conditions = window->ttCell(1, 6)->parsedConditions();
    const orb::ParsedSignals signalNumbers = window->ttCell(1, 8)->parsedSignals();
    QCOMPARE(conditions.operandExpected[0], quint8(0));
    QCOMPARE(signalNumbers.count(), 2);

    focusCell(*window, 0, 4);
    press(Qt::Key_Return); // a blank row 2 goes between them
    QCOMPARE(rowTexts(*window, 2), (Row{u"0"_s, u"1"_s, u"-x1,z"_s, u"y6,y7"_s}));
    QCOMPARE(window->ttCell(2, 6)->parsedConditions().operandIndexes, conditions.operandIndexes);
    QCOMPARE(window->ttCell(2, 6)->parsedConditions().operandPrefixes, conditions.operandPrefixes);
    QCOMPARE(window->ttCell(2, 6)->parsedConditions().operandExpected, conditions.operandExpected);
    QCOMPARE(window->ttCell(2, 8)->parsedSignals().signalNumbers, signalNumbers.signalNumbers);
    QCOMPARE(window->ttCell(2, 8)->parsedSignals().count(), 2);

    focusCell(*window, 0, 4);
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QCOMPARE(window->stringCount(), 1);
    QCOMPARE(rowTexts(*window, 0), (Row{u"0"_s, u"1"_s, u"-x1,z"_s, u"y6,y7"_s}));
    QCOMPARE(window->ttCell(0, 6)->parsedConditions().operandExpected, conditions.operandExpected);
    QCOMPARE(window->ttCell(0, 8)->parsedSignals().signalNumbers, signalNumbers.signalNumbers);
}

void TestMainWindow::rowCap()
{
    while (window->stringCount() < 499)
        window->addString(window->stringCount());
    QTest::qWait(0);

    // Inserting near the top moves every row below (its speed is measured by the benchmarks).
    window->ttCell(0, 2)->setText(QStringLiteral("1"));
    focusCell(*window, 0, 8);
    window->ttCell(0, 8)->setText(QStringLiteral("y7, y6"));
    press(Qt::Key_Return);
    QCOMPARE(window->stringCount(), 500);
    QCOMPARE(focused(), window->ttCell(1, 2));
    QCOMPARE(window->ttCell(0, 8)->text(), QStringLiteral("y6,y7"));
    QCOMPARE(window->rowNumberLabel(499)->text(), QStringLiteral("500"));

    // Full: Return (which still ends the edit) and the add button change nothing.
    focusCell(*window, 0, 8);
    window->ttCell(0, 8)->setText(QStringLiteral("y9, y8"));
    press(Qt::Key_Return);
    QCOMPARE(window->stringCount(), 500);
    QCOMPARE(window->ttCell(0, 8)->text(), QStringLiteral("y8,y9"));
    QCOMPARE(focused(), window->ttCell(0, 8));
    QTest::mouseClick(child<QPushButton>("addButton"), Qt::LeftButton);
    window->addString(3);
    QCOMPARE(window->stringCount(), 500);
    QVERIFY(!window->ttCell(500, 2));

    focusCell(*window, 0, 2);
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QCOMPARE(window->stringCount(), 499);
    QCOMPARE(window->ttCell(0, 8)->text(), QString());
    QCOMPARE(window->errorCount(), countWrongCells(*window));

    window->removeStringWidgets();
}

void TestMainWindow::scrollBarAt18And16()
{
    auto *scrollArea = child<QScrollArea>("scrollArea");
    auto *layout = child<QWidget>("scrollAreaContents")->layout();
    auto grow = [&](int count) {
        while (window->stringCount() < count)
            QTest::mouseClick(child<QPushButton>("addButton"), Qt::LeftButton);
    };
    grow(17);
    QVERIFY(!scrollBarShown());
    // 17 rows still fit, the 18th does not: the bar comes when it is needed.
    QVERIFY(layout->sizeHint().height() <= scrollArea->viewport()->height());
    grow(18);
    QVERIFY(scrollBarShown());
    QTest::qWait(0);
    QVERIFY(scrollArea->verticalScrollBar()->isVisible());
    QVERIFY(layout->sizeHint().height() > scrollArea->viewport()->height());

    focusCell(*window, 17, 2);
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QCOMPARE(window->stringCount(), 17);
    QVERIFY(scrollBarShown());
    QTest::mouseClick(child<QPushButton>("deleteButton"), Qt::LeftButton);
    QCOMPARE(window->stringCount(), 16);
    QVERIFY(!scrollBarShown());
    QTest::qWait(0);
    QVERIFY(!scrollArea->verticalScrollBar()->isVisible());

    // Growing from 16 to 17 keeps it hidden.
    grow(17);
    QVERIFY(!scrollBarShown());
}

void TestMainWindow::focusedCellIsScrolledIntoView()
{
    QWidget *viewport = child<QScrollArea>("scrollArea")->viewport();
    auto inView = [viewport](QWidget *cell) {
        return viewport->rect().contains(QRect(cell->mapTo(viewport, QPoint()), cell->size()));
    };
    while (window->stringCount() < 40)
        window->addString(window->stringCount());
    // The appended rows take the focus in turn: the table follows them to the end.
    QTRY_VERIFY(inView(window->ttCell(39, 2)) && !inView(window->ttCell(0, 2)));

    focusCell(*window, 0, 4);
    QTRY_VERIFY(inView(window->ttCell(0, 4)));
    for (int row = 1; row < 30; ++row)
        press(Qt::Key_S);
    QCOMPARE(focused(), window->ttCell(29, 4));
    QTRY_VERIFY(inView(window->ttCell(29, 4)) && !inView(window->ttCell(0, 4)));
}

void TestMainWindow::focusedCellIsEntirelyInView_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::newRow("default font") << 0;
    // Taller row-number labels make every row taller than its cells.
    QTest::newRow("16-point application font") << 16;
}

void TestMainWindow::focusedCellIsEntirelyInView()
{
    QFETCH(int, pointSize);
    const QFont applicationFont = QApplication::font();
    const auto restoreFont = qScopeGuard([&] { QApplication::setFont(applicationFont); });
    if (pointSize > 0) {
        window.reset();
        QFont font = applicationFont;
        font.setPointSize(pointSize);
        QApplication::setFont(font);
        window = showWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    QWidget *viewport = child<QScrollArea>("scrollArea")->viewport();
    const auto wholeInView = [viewport](QWidget *cell) {
        return cell && cell->isVisible() &&
               viewport->rect().contains(QRect(cell->mapTo(viewport, QPoint()), cell->size()));
    };
    const auto where = [this] {
        return qPrintable(QStringLiteral("focus in row %1 of %2")
                              .arg(window->currentString() + 1)
                              .arg(window->stringCount()));
    };
    if (pointSize > 0)
        QVERIFY(window->rowNumberLabel(0)->sizeHint().height() > window->ttCell(0, 2)->height());

    // Return at the end of the last row's source state adds a row below it and moves there.
    for (int row = 0; row < 30; ++row) {
        type(QString::number(row));
        press(Qt::Key_Return);
        QCOMPARE(window->currentString(), row + 1);
        QTRY_VERIFY2(wholeInView(focused()), where());
    }
    // Up the whole table with the keys and down again, and to the ends of the rows.
    for (int row = window->stringCount() - 1; row > 0; --row) {
        press(row % 2 ? Qt::Key_Up : Qt::Key_W);
        QTRY_VERIFY2(wholeInView(focused()), where());
    }
    for (int step = 0; step < 4 * 12; ++step) {
        press(Qt::Key_D);
        QTRY_VERIFY2(wholeInView(focused()), where());
    }
    // Every row in sight has its cells where its row number stands.
    const QRect sight = viewport->rect();
    for (int row = 0; row < window->stringCount(); ++row) {
        QLabel *label = window->rowNumberLabel(row);
        if (!sight.intersects(QRect(label->mapTo(viewport, QPoint()), label->size())))
            continue;
        const QList<TTLineEdit *> cells =
            child<QWidget>("scrollAreaContents")->findChildren<TTLineEdit *>();
        const bool built = std::any_of(cells.begin(), cells.end(), [&](TTLineEdit *cell) {
            return cell->row() == row && cell->isVisible() &&
                   qAbs(cell->geometry().center().y() - label->geometry().center().y()) <= 1;
        });
        QVERIFY2(built, qPrintable(QStringLiteral("row %1 in sight has no cells").arg(row + 1)));
    }
}

void TestMainWindow::removeStringWidgets()
{
    setRows(*window, {{u"0"_s, u"1"_s, u""_s, u""_s},
                      {u"1"_s, u""_s, u""_s, u""_s},
                      {u"2"_s, u"0"_s, u""_s, u""_s}});
    QCOMPARE(window->errorCount(), 1);
    window->removeStringWidgets();
    QCOMPARE(window->stringCount(), 3);
    QCOMPARE(window->errorCount(), 1); // the caller resets the count
    QVERIFY(!window->ttCell(0, 2));
    QVERIFY(!window->rowNumberLabel(0));
    QVERIFY(window->findChildren<TTLineEdit *>().isEmpty());
    QCOMPARE(child<QWidget>("scrollAreaContents")->findChildren<QLabel *>().size(), 0);
    QCOMPARE(child<QWidget>("scrollAreaContents")->layout()->count(), 1);
    QVERIFY(!focused() || !qobject_cast<TTLineEdit *>(focused()));
}

void TestMainWindow::pageSwitching()
{
    auto *editButton = child<QPushButton>("editButton");
    auto *ramButton = child<QPushButton>("ramButton");
    const QList<QWidget *> tablePage = {
        child<QWidget>("label1"),    child<QWidget>("label2"),      child<QWidget>("label3"),
        child<QWidget>("label4"),    child<QWidget>("line1"),       child<QWidget>("line2"),
        child<QWidget>("line3"),     child<QWidget>("line4"),       child<QWidget>("scrollArea"),
        child<QWidget>("addButton"), child<QWidget>("deleteButton")};
    QList<QWidget *> memoryPage = {window->ramTable(), child<QWidget>("ramTableDecor")};
    for (const char *name : {"ramHLayout", "ramVLayout"}) {
        auto *layout = child<QLayout>(name);
        for (int i = 0; i < layout->count(); ++i)
            memoryPage << layout->itemAt(i)->widget();
    }
    QCOMPARE(memoryPage.size(), 34);
    auto shown = [](const QList<QWidget *> &widgets, bool visible) {
        for (QWidget *widget : widgets) {
            if (widget->isVisible() != visible)
                return false;
        }
        return true;
    };
    QVERIFY(shown(tablePage, true));
    QVERIFY(shown(memoryPage, false));

    QTest::mouseClick(ramButton, Qt::LeftButton);
    QVERIFY(shown(tablePage, false));
    QVERIFY(shown(memoryPage, true));
    QCOMPARE(ramButton->styleSheet(), orb::activeTabStyle);
    QCOMPARE(editButton->styleSheet(), orb::inactiveTabStyle);
    QVERIFY(child<QWidget>("startButton")->isVisible());

    // A second click on the same tab keeps the page, whatever the button's checked state.
    QTest::mouseClick(ramButton, Qt::LeftButton);
    QVERIFY(shown(memoryPage, true));

    QTest::mouseClick(editButton, Qt::LeftButton);
    QVERIFY(shown(tablePage, true));
    QVERIFY(shown(memoryPage, false));
    QCOMPARE(editButton->styleSheet(), orb::activeTabStyle);
    QCOMPARE(ramButton->styleSheet(), orb::inactiveTabStyle);
    QVERIFY(child<QWidget>("startButton")->isVisible());
}

void TestMainWindow::startButtonPressEffect()
{
    auto *startButton = child<QPushButton>("startButton");
    QTest::mousePress(startButton, Qt::LeftButton);
    QCOMPARE(startButton->geometry(), QRect(820, 450, 48, 48));
    QTest::mouseRelease(startButton, Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(startButton->geometry(), QRect(820, 450, 51, 51));
}

void TestMainWindow::editingLock()
{
    const QList<QWidget *> locked = {child<QWidget>("startButton"), child<QWidget>("addButton"),
                                     child<QWidget>("deleteButton"),
                                     child<QWidget>("scrollAreaContents")};
    window->forbidTtChangesAndLaunch();
    for (QWidget *widget : locked)
        QVERIFY2(!widget->isEnabled(), qPrintable(widget->objectName()));
    QVERIFY(!window->ttCell(0, 2)->isEnabled());
    QVERIFY(window->ramTable()->isEnabled());
    QVERIFY(window->ramCell(0, 0)->isEnabled());
    QVERIFY(child<QWidget>("editButton")->isEnabled());
    QVERIFY(child<QWidget>("ramButton")->isEnabled());
    for (QAction *action : child<QToolBar>("mainToolBar")->actions())
        QVERIFY(action->isEnabled());

    window->allowTtChangesAndLaunch();
    for (QWidget *widget : locked)
        QVERIFY(widget->isEnabled());
    QVERIFY(window->ttCell(0, 2)->isEnabled());
}

void TestMainWindow::renderPages()
{
    // Twenty rows (the scroll bar shows), a wrong next state in row 2 and the focus in row 3.
    QList<Row> rows = {{u"0"_s, u"1"_s, u"x1,-z"_s, u"y6,y20"_s},
                       {u"1"_s, u""_s, u""_s, u"y7"_s},
                       {u"2"_s, u"0"_s, u"b"_s, u"y70"_s}};
    for (int row = 3; row < 20; ++row)
        rows << Row{QString::number(row), QString::number(row + 1), u""_s, u"y21"_s};
    setRows(*window, rows);
    focusCell(*window, 2, 6);
    QTest::qWait(50);
    QCOMPARE(child<QScrollArea>("scrollArea")->verticalScrollBar()->value(), 0);
    QCOMPARE(window->errorCount(), 1);
    testutil::renderToPng(window.get(), QStringLiteral("mainwindow-table"));

    child<QPushButton>("ramButton")->click();
    window->ramCell(1, 2)->setText(QStringLiteral("A7"));
    QTest::qWait(20);
    testutil::renderToPng(window.get(), QStringLiteral("mainwindow-memory"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
