// SPDX-License-Identifier: GPL-3.0-or-later
//
// The execution window over a real editor window: its form, what the panels and the header show
// step by step, the end screen, the buttons and keys, closing, the step limit and the dialogs a
// step opens.

#include "app/mainwindow.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "sim/executionwindow.h"
#include "editorfixture.h"
#include "testutil.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <array>
#include <memory>

using testutil::child;
using testutil::labelText;

using namespace Qt::StringLiterals;

namespace {

// Fills the editor's table as loading a document does: each cell's text is committed, so its
// normal form and parsed form are those a user gets on leaving the cell.
void setRows(MainWindow &window, const QList<editortest::Row> &rows)
{
    editortest::setRows(window, rows);
    QCOMPARE(window.errorCount(), 0);
}

void setByte(MainWindow &window, int address, const QString &text)
{
    window.ramCell(address / 16, address % 16)->setText(text);
}

QString byteText(MainWindow &window, int address)
{
    return window.ramCell(address / 16, address % 16)->text();
}

QString panelText(QWidget *window, const QString &key, const char *panel)
{
    return window->findChild<QLabel *>(key + QLatin1String(panel))->text();
}

// Processes the deferred deletions; true when the window is gone.
bool deletedSoon(const QPointer<ExecutionWindow> &window)
{
    for (int i = 0; i < 20 && window; ++i)
        QTest::qWait(5);
    return window.isNull();
}

void clickButton(QWidget *window, const char *name)
{
    QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton);
}

} // namespace

class TestExecutionWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void formatHex_data();
    void formatHex();
    void form();
    void panelCells_data();
    void panelCells();
    void endScreenWithoutStateZero();
    void firstRowWithoutMicrooperations();
    void stepByStep();
    void firstStepStopsBeforeTheWindowIsShown();
    void buttonsPressedLook_data();
    void buttonsPressedLook();
    void closing_data();
    void closing();
    void closedWhileAStepWaitsForTheUser();
    void stepLimit();
    void dataByteAndDisplay();
    void runsOnAfterTheEditorIsGone();
    void renderPictures();

private:
    ExecutionWindow *launch()
    {
        auto *window = new ExecutionWindow(editor.get());
        executionWindow = window;
        return window;
    }
    ExecutionWindow *launchShown()
    {
        ExecutionWindow *window = launch();
        if (!testutil::activate(window))
            qWarning("execution window not active");
        return window;
    }

    std::unique_ptr<MainWindow> editor;
    QPointer<ExecutionWindow> executionWindow;
};

void TestExecutionWindow::init()
{
    testutil::failOnAnyWarning();
    editor = std::make_unique<MainWindow>();
}

void TestExecutionWindow::cleanup()
{
    delete executionWindow;
    editor.reset();
}

void TestExecutionWindow::formatHex_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << u"00"_s;
    QTest::newRow("7") << 7 << u"07"_s;
    QTest::newRow("10") << 10 << u"0A"_s;
    QTest::newRow("16") << 16 << u"10"_s;
    QTest::newRow("171") << 171 << u"AB"_s;
    QTest::newRow("255") << 255 << u"FF"_s;
}

void TestExecutionWindow::formatHex()
{
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(orb::formatHex(value), expected);
}

void TestExecutionWindow::form()
{
    setRows(*editor, {{u"0"_s, u"0"_s, u""_s, u"y20"_s}});
    ExecutionWindow *window = launch();
    QCOMPARE(window->windowTitle(), u"ORB"_s);
    QCOMPARE(window->minimumSize(), QSize(910, 479));
    QCOMPARE(window->maximumSize(), QSize(910, 479));
    QCOMPARE(window->styleSheet(), u"background-color: white;"_s);
    QVERIFY(!window->isModal());
    QVERIFY(!window->isSizeGripEnabled());
    QVERIFY(!window->parent());

    // Stacking order, bottom to top: the captions lie over the boxes' top edges.
    QStringList stacking;
    for (QObject *object : window->children()) {
        if (object->isWidgetType())
            stacking << object->objectName();
    }
    QCOMPARE(stacking, QStringList({u"gridLayoutWidget"_s, u"beforeGroupBox"_s, u"afterGroupBox"_s,
                                    u"afterOperationLabel"_s, u"rowTagLabel"_s, u"rowLabel"_s,
                                    u"stepTagLabel"_s, u"stepLabel"_s, u"beforeOperationLabel"_s,
                                    u"endButton"_s, u"nextButton"_s, u"pushButton_3"_s,
                                    u"operationLabel"_s}));

    const struct {
        const char *name;
        QRect geometry;
    } placed[] = {
        {"rowTagLabel", {10, 10, 61, 21}},       {"rowLabel", {60, 10, 31, 21}},
        {"stepTagLabel", {110, 10, 51, 21}},     {"stepLabel", {150, 10, 31, 21}},
        {"gridLayoutWidget", {10, 40, 521, 41}}, {"beforeOperationLabel", {20, 81, 211, 20}},
        {"beforeGroupBox", {10, 90, 891, 141}},  {"afterOperationLabel", {20, 260, 231, 16}},
        {"afterGroupBox", {10, 270, 891, 141}},  {"operationLabel", {180, 240, 531, 21}},
        {"pushButton_3", {10, 420, 61, 51}},     {"nextButton", {790, 420, 51, 51}},
        {"endButton", {850, 430, 41, 41}},
    };
    for (const auto &widget : placed)
        QCOMPARE(child<QWidget>(window, widget.name)->geometry(), widget.geometry);

    QCOMPARE(child<QPushButton>(window, "nextButton")->iconSize(), QSize(51, 55));
    QCOMPARE(child<QPushButton>(window, "endButton")->iconSize(), QSize(35, 43));
    QCOMPARE(child<QPushButton>(window, "pushButton_3")->iconSize(), QSize(55, 55));
    for (const char *name : {"nextButton", "endButton", "pushButton_3"}) {
        auto *button = child<QPushButton>(window, name);
        QVERIFY(!button->icon().isNull());
        QVERIFY(button->text().isEmpty());
        QCOMPARE(button->styleSheet(), u"border: 0px;\nborder-radius: 20px;\n\n"_s);
    }

    QCOMPARE(labelText(window, "rowTagLabel"), u"Строка"_s);
    QCOMPARE(labelText(window, "stepTagLabel"), u"Такт"_s);
    QCOMPARE(labelText(window, "initialStateTagLabel"), u"Исх. сост."_s);
    QCOMPARE(labelText(window, "nextStateTagLable"), u"След.сост."_s);
    QCOMPARE(labelText(window, "signalsTagLabel"), u"Управляющие сигналы"_s);
    QCOMPARE(labelText(window, "beforeOperationLabel"), u"До выполнения микрооперации"_s);
    QCOMPARE(labelText(window, "afterOperationLabel"), u"После выполнения микрооперации"_s);
    QCOMPARE(child<QLabel>(window, "rowLabel")->styleSheet(),
             u"color: rgb(75,75,75);\nborder-top-right-radius: 5px;\n"
             u"border-bottom-right-radius: 5px;\nborder: 1px solid rgb(75,75,75);\n"
             u"border-left: 0px;"_s);
    QCOMPARE(child<QLabel>(window, "nextStateLabel")->styleSheet(),
             u" background-color: rgb(245,245,245);\ncolor: rgb(75,75,75);\nborder-radius: 8px;"_s);
    QCOMPARE(child<QGroupBox>(window, "beforeGroupBox")->styleSheet(),
             u"border: 1px solid  rgb(85, 181, 222);\nborder-radius: 5px;"_s);

    // The grid keeps columns 2 and 3 empty.
    auto *grid = child<QWidget>(window, "gridLayoutWidget")->layout();
    QCOMPARE(grid->contentsMargins(), QMargins());
    QCOMPARE(child<QLabel>(window, "initialStateTagLabel")->maximumSize(), QSize(100, 15));
    QCOMPARE(child<QLabel>(window, "initialStateLabel")->minimumWidth(), 40);

    const QFont operationFont = child<QLabel>(window, "operationLabel")->font();
    QCOMPARE(operationFont.family(), u"MS Shell Dig 2"_s);
    QCOMPARE(operationFont.pixelSize(), 15);
    QCOMPARE(operationFont.weight(), QFont::Bold);
    // The longest operation and end texts fit the operation line.
    for (const QString &line : {u"Выполнена микрооперация y58 :    POH[T] := !(POH[T] v A)"_s,
                                u"Невозможно выполнить микрооперацию y62: PK[31:16] := ОП[PA]"_s,
                                u"Не описан переход из состояния  999  при данных условиях"_s})
        QVERIFY2(QFontMetrics(operationFont).horizontalAdvance(line) <= 531, qPrintable(line));
    for (const char *name :
         {"rowTagLabel", "rowLabel", "stepTagLabel", "stepLabel", "initialStateTagLabel",
          "initialStateLabel", "nextStateTagLable", "nextStateLabel", "signalsTagLabel",
          "controlSignalsLabel", "beforeOperationLabel", "afterOperationLabel"}) {
        const QFont font = child<QLabel>(window, name)->font();
        QCOMPARE(font.family(), u"Arial"_s);
        QCOMPARE(font.pixelSize(), 12);
        QCOMPARE(font.weight(), QFont::Bold);
    }
}

void TestExecutionWindow::panelCells_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("tag"); // the caption of the tag cell to the left ("" for none)
    auto add = [](const QString &key, int x, int y, const QString &tag) {
        QTest::newRow(qPrintable(key)) << key << QRect(x, y, 31, 21) << tag;
    };
    for (int i = 0; i < 4; ++i)
        add(u"rk"_s + QString::number(i + 1), 90 + 40 * i, 20, QString());
    for (int i = 0; i < 16; ++i)
        add(u"ron"_s + QString::number(i), 90 + 40 * i, 50, QString());
    const QStringList keys = {u"a"_s,  u"b"_s, u"rs"_s, u"sp"_s, u"ri"_s, u"ra"_s,
                              u"rv"_s, u"r"_s, u"s1"_s, u"s2"_s, u"s3"_s};
    const QStringList tags = {u"A"_s,  u"B"_s, u" РС"_s, u"SP"_s, u"РИ"_s, u"РА"_s,
                              u"РВ"_s, u"R"_s, u"S1"_s,  u"S2"_s, u"S3"_s};
    for (int i = 0; i < keys.size(); ++i)
        add(keys[i], 50 + 80 * i, 80, tags[i]);
    const QStringList flags = {u"X4"_s, u"X3"_s, u"X2"_s, u"X1"_s, u"Z"_s, u"N"_s, u"C"_s, u"P"_s};
    for (int i = 0; i < flags.size(); ++i)
        add(flags[i].toLower(), 50 + 80 * i, 110, flags[i]);
}

void TestExecutionWindow::panelCells()
{
    QFETCH(QString, key);
    QFETCH(QRect, geometry);
    QFETCH(QString, tag);
    auto *window = new ExecutionWindow(editor.get()); // empty table: straight to the end screen
    executionWindow = window;
    const bool flag = geometry.y() == 110;
    for (const char *box : {"beforeGroupBox", "afterGroupBox"}) {
        auto *groupBox = child<QGroupBox>(window, box);
        const QString suffix = box[0] == 'b' ? u"BeforeLabel"_s : u"AfterLabel"_s;
        auto *cell = groupBox->findChild<QLabel *>(key + suffix);
        QVERIFY2(cell, qPrintable(key + suffix));
        QCOMPARE(cell->parentWidget(), groupBox);
        QCOMPARE(cell->geometry(), geometry);
        QCOMPARE(cell->text(), flag ? u"0"_s : u"00"_s);
        QCOMPARE(cell->alignment(), Qt::AlignCenter);
        QVERIFY(cell->font().bold());
        QCOMPARE(cell->styleSheet(), u"color: rgb(75,75,75);\nborder-radius: 7px;\nborder: 0px;\n"
                                     u"background-color: rgb(245,245,245);"_s);
        if (tag.isEmpty())
            continue;
        const QLabel *tagCell = nullptr;
        for (const QLabel *label : groupBox->findChildren<QLabel *>()) {
            if (label->geometry() == geometry.translated(-40, 0))
                tagCell = label;
        }
        QVERIFY(tagCell);
        QCOMPARE(tagCell->text(), tag);
        QCOMPARE(
            tagCell->styleSheet(),
            u"color: rgb(75,75,75);\nborder: 1px solid rgb(75, 75, 75);\nborder-radius: 7px;"_s);
    }
}

void TestExecutionWindow::endScreenWithoutStateZero()
{
    setRows(*editor, {{u"1"_s, u"0"_s, u""_s, u"y20"_s}, {u""_s, u""_s, u""_s, u""_s}});
    ExecutionWindow *window = launch();
    QVERIFY(window->engine().endScreenShown());
    QCOMPARE(labelText(window, "operationLabel"), u"Не описан переход из состояния  0"_s);
    QCOMPARE(child<QLabel>(window, "operationLabel")->geometry(), QRect(180, 120, 531, 21));
    auto *before = child<QGroupBox>(window, "beforeGroupBox");
    QCOMPARE(before->geometry(), QRect(10, 160, 891, 141));
    QVERIFY(!before->isHidden());
    for (const char *name :
         {"rowTagLabel", "rowLabel", "stepTagLabel", "stepLabel", "initialStateTagLabel",
          "nextStateTagLable", "signalsTagLabel", "initialStateLabel", "nextStateLabel",
          "controlSignalsLabel", "afterGroupBox", "beforeOperationLabel", "afterOperationLabel"})
        QVERIFY2(child<QWidget>(window, name)->isHidden(), name);
    for (const char *name : {"operationLabel", "nextButton", "endButton", "pushButton_3"})
        QVERIFY2(!child<QWidget>(window, name)->isHidden(), name);
    for (const char *key : ExecutionWindow::panelCellKeys()) {
        const QString value = panelText(window, QLatin1String(key), "BeforeLabel");
        QVERIFY(value == "00"_L1 || value == "0"_L1);
    }
}

void TestExecutionWindow::firstRowWithoutMicrooperations()
{
    setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y7,y15"_s}, {u"1"_s, u"1"_s, u""_s, u"y38"_s}});
    ExecutionWindow *window = launch();
    QCOMPARE(labelText(window, "operationLabel"), u"Нет микроопераций"_s);
    QCOMPARE(labelText(window, "rowLabel"), u"1"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"1"_s);
    QCOMPARE(labelText(window, "initialStateLabel"), u"0"_s);
    QCOMPARE(labelText(window, "nextStateLabel"), u"1"_s);
    QCOMPARE(labelText(window, "controlSignalsLabel"), u"y7,y15"_s);
    for (const char *key : ExecutionWindow::panelCellKeys()) {
        const QString value = panelText(window, QLatin1String(key), "BeforeLabel");
        QVERIFY(value == "00"_L1 || value == "0"_L1);
    }

    window->executeStep();
    QCOMPARE(labelText(window, "rowLabel"), u"2"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"3"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Выполнена микрооперация y38 :    B := F.R"_s);
    QCOMPARE(panelText(window, u"b"_s, "BeforeLabel"), u"00"_s);
    QCOMPARE(panelText(window, u"b"_s, "AfterLabel"), u"F0"_s);
    QCOMPARE(panelText(window, u"n"_s, "AfterLabel"), u"1"_s);
}

void TestExecutionWindow::stepByStep()
{
    setRows(*editor, {
                         {u"0"_s, u"1"_s, u""_s, u"y62,y38"_s},
                         {u"1"_s, u"2"_s, u""_s, u"y21,y43,y60"_s},
                         {u"2"_s, u"3"_s, u""_s, u"y30"_s},
                         {u"3"_s, u"4"_s, u"x1"_s, u""_s},
                         {u"4"_s, u"4"_s, u""_s, u"y70"_s},
                     });
    setByte(*editor, 0, u"12"_s);
    setByte(*editor, 1, u"34"_s);
    ExecutionWindow *window = launchShown();

    // The first step has been executed by the construction.
    QCOMPARE(labelText(window, "rowLabel"), u"1"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"2"_s);
    QCOMPARE(labelText(window, "initialStateLabel"), u"0"_s);
    QCOMPARE(labelText(window, "nextStateLabel"), u"1"_s);
    QCOMPARE(labelText(window, "controlSignalsLabel"), u"y38,y62"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Выполнена микрооперация y38 :    B := F.R"_s);
    QCOMPARE(panelText(window, u"b"_s, "AfterLabel"), u"F0"_s);

    clickButton(window, "nextButton"); // y62: РК1, РК2 from memory
    QCOMPARE(labelText(window, "stepLabel"), u"3"_s);
    QCOMPARE(panelText(window, u"b"_s, "BeforeLabel"), u"F0"_s);
    QCOMPARE(panelText(window, u"n"_s, "BeforeLabel"), u"1"_s);
    QCOMPARE(panelText(window, u"n"_s, "AfterLabel"), u"0"_s);
    QCOMPARE(panelText(window, u"rk1"_s, "AfterLabel"), u"12"_s);
    QCOMPARE(panelText(window, u"rk2"_s, "AfterLabel"), u"34"_s);
    QCOMPARE(panelText(window, u"rk1"_s, "BeforeLabel"), u"00"_s);
    QCOMPARE(panelText(window, u"r"_s, "AfterLabel"), u"02"_s);
    QCOMPARE(panelText(window, u"s1"_s, "AfterLabel"), u"34"_s);
    QCOMPARE(panelText(window, u"x1"_s, "AfterLabel"), u"1"_s);
    QCOMPARE(panelText(window, u"x4"_s, "AfterLabel"), u"0"_s);

    // Enter on the focused step button.
    QCOMPARE(QApplication::focusWidget(), child<QWidget>(window, "nextButton"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // transition, then y21
    QCOMPARE(labelText(window, "rowLabel"), u"2"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"4"_s);
    QCOMPARE(labelText(window, "initialStateLabel"), u"1"_s);
    QCOMPARE(panelText(window, u"a"_s, "AfterLabel"), u"34"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier); // y43
    QCOMPARE(panelText(window, u"z"_s, "AfterLabel"), u"1"_s);
    QCOMPARE(byteText(*editor, 0), u"12"_s);
    clickButton(window, "nextButton"); // y60: ОП[0] := A
    QCOMPARE(byteText(*editor, 0), u"34"_s);
    // As after typing, the written byte passes the memory table's focus on.
    QCOMPARE(editor->focusWidget(), editor->ramCell(0, 1));

    // A byte the user changes between two steps is what the next read returns.
    setByte(*editor, 0, u"5A"_s);
    clickButton(window, "nextButton"); // y30
    QCOMPARE(labelText(window, "stepLabel"), u"7"_s);
    QCOMPARE(panelText(window, u"a"_s, "BeforeLabel"), u"34"_s);
    QCOMPARE(panelText(window, u"a"_s, "AfterLabel"), u"5A"_s);

    clickButton(window, "nextButton"); // state 3: no microoperations, condition x1
    QCOMPARE(labelText(window, "rowLabel"), u"4"_s);
    QCOMPARE(labelText(window, "nextStateLabel"), u"По условию"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Нет микроопераций"_s);
    QCOMPARE(labelText(window, "controlSignalsLabel"), QString());

    QString message;
    testutil::DialogAnswerer stop([&message](QWidget *dialog) {
        message = child<QLabel>(dialog, "infoLabel")->text();
        QTest::keyClick(dialog, Qt::Key_Space);
    });
    clickButton(window, "nextButton"); // y70
    QVERIFY(stop.answered());
    QCOMPARE(stop.dialogClass(), u"InfoDialog"_s);
    QCOMPARE(message, u"СТОП"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"9"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Выполнена микрооперация y70 :    \"СТОП\""_s);

    clickButton(window, "nextButton");
    QCOMPARE(labelText(window, "operationLabel"), u"Успешное завершение программы"_s);
    QCOMPARE(panelText(window, u"a"_s, "BeforeLabel"), u"5A"_s);
    // The run to the end does not close the end screen.
    clickButton(window, "endButton");
    QVERIFY(!deletedSoon(executionWindow));
    QCOMPARE(child<QLabel>(window, "operationLabel")->geometry(), QRect(180, 120, 531, 21));

    // The next step closes it, once control is back in the event loop.
    clickButton(window, "nextButton");
    QVERIFY(executionWindow);
    QCOMPARE(child<QLabel>(window, "operationLabel")->geometry(), QRect(180, 120, 531, 21));
    QCOMPARE(child<QGroupBox>(window, "beforeGroupBox")->geometry(), QRect(10, 160, 891, 141));
    QVERIFY(deletedSoon(executionWindow));
}

void TestExecutionWindow::firstStepStopsBeforeTheWindowIsShown()
{
    setRows(*editor, {{u"0"_s, u"0"_s, u""_s, u"y70"_s}});
    bool windowShown = true;
    QString message;
    testutil::DialogAnswerer stop([&](QWidget *dialog) {
        windowShown = false;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<ExecutionWindow *>(widget) && widget->isVisible())
                windowShown = true;
        }
        message = child<QLabel>(dialog, "infoLabel")->text();
        QTest::keyClick(dialog, Qt::Key_Shift);
    });
    ExecutionWindow *window = launch();
    QVERIFY(stop.answered());
    QVERIFY(!windowShown);
    QCOMPARE(message, u"СТОП"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"2"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Выполнена микрооперация y70 :    \"СТОП\""_s);
    window->executeStep();
    QCOMPARE(labelText(window, "operationLabel"), u"Успешное завершение программы"_s);
    QCOMPARE(panelText(window, u"a"_s, "BeforeLabel"), u"00"_s);
    window->executeStep();
    QVERIFY(deletedSoon(executionWindow));
}

void TestExecutionWindow::buttonsPressedLook_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QSize>("iconSize");
    QTest::addColumn<QString>("stepAfterRelease");
    QTest::newRow("next") << u"nextButton"_s << QRect(790, 420, 51, 51) << QSize(51, 55) << u"3"_s;
    QTest::newRow("end") << u"endButton"_s << QRect(850, 430, 41, 41) << QSize(35, 43) << u"6"_s;
}

void TestExecutionWindow::buttonsPressedLook()
{
    QFETCH(QString, button);
    QFETCH(QRect, geometry);
    QFETCH(QSize, iconSize);
    QFETCH(QString, stepAfterRelease);
    setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y20,y21,y22,y23"_s},
                      {u"1"_s, u"2"_s, u""_s, u"y24"_s}}); // state 2 is missing
    ExecutionWindow *window = launchShown();
    auto *pushButton = child<QPushButton>(window, qPrintable(button));
    QTest::mousePress(pushButton, Qt::LeftButton);
    QCOMPARE(pushButton->geometry(), geometry.translated(-1, -1));
    QCOMPARE(pushButton->iconSize(), iconSize - QSize(1, 1));
    QCOMPARE(labelText(window, "stepLabel"), u"2"_s); // the action waits for the release
    QTest::mouseRelease(pushButton, Qt::LeftButton);
    QCOMPARE(pushButton->geometry(), geometry);
    QCOMPARE(pushButton->iconSize(), iconSize);
    QCOMPARE(labelText(window, "stepLabel"), stepAfterRelease);
}

void TestExecutionWindow::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape") << u"escape"_s;
    QTest::newRow("close button") << u"close"_s;
    QTest::newRow("editor closed") << u"editor"_s;
}

void TestExecutionWindow::closing()
{
    QFETCH(QString, how);
    setRows(*editor, {{u"0"_s, u"0"_s, u""_s, u"y20"_s}});
    ExecutionWindow *window = launchShown();
    if (how == "escape"_L1)
        QTest::keyClick(window, Qt::Key_Escape);
    else if (how == "close"_L1)
        window->close();
    else
        emit editor->closed();
    QVERIFY(executionWindow); // deferred
    QVERIFY(deletedSoon(executionWindow));
}

void TestExecutionWindow::closedWhileAStepWaitsForTheUser()
{
    setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y20"_s}, {u"1"_s, u"1"_s, u""_s, u"y70"_s}});
    ExecutionWindow *window = launchShown();
    bool aliveInDialog = false;
    QPointer<ExecutionWindow> watched = window;
    testutil::DialogAnswerer stop([&](QWidget *dialog) {
        emit editor->closed(); // the editor discards its document meanwhile
        QTest::qWait(20);
        aliveInDialog = !watched.isNull();
        QTest::keyClick(dialog, Qt::Key_Space);
    });
    window->executeStep();
    QVERIFY(stop.answered());
    QVERIFY(aliveInDialog);
    // The step finished on a live window; the deletion follows.
    QCOMPARE(labelText(window, "operationLabel"), u"Выполнена микрооперация y70 :    \"СТОП\""_s);
    QVERIFY(deletedSoon(executionWindow));
}

void TestExecutionWindow::stepLimit()
{
    setRows(*editor, {{u"0"_s, u"0"_s, u""_s, u"y20"_s}});
    ExecutionWindow *window = launchShown();
    QString heading;
    QString message;
    testutil::DialogAnswerer limit([&](QWidget *dialog) {
        heading = child<QLabel>(dialog, "errorLabel")->text();
        message = child<QLabel>(dialog, "infoLabel")->text();
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    });
    // The user's focus is on the run button when it is released.
    child<QPushButton>(window, "endButton")->setFocus();
    clickButton(window, "endButton");
    QVERIFY(limit.answered());
    QCOMPARE(limit.dialogClass(), u"ErrorsDialog"_s);
    QCOMPARE(heading, u"Перемотка остановлена"_s);
    QCOMPARE(message, u"Ваша программа выполняется циклически\n"
                      u"или содержит слишком большое количество тактов.\n"
                      u"Воспользуйте пошаговым выполнением."_s);
    QCOMPARE(labelText(window, "stepLabel"), u"1000"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Выполнена микрооперация y20 :    A := R"_s);

    // Enter goes on one step at a time.
    QCOMPARE(window->focusWidget(), child<QWidget>(window, "nextButton"));
    QTest::keyClick(window->focusWidget(), Qt::Key_Return);
    QCOMPARE(labelText(window, "stepLabel"), u"1001"_s);

    // Past the limit every run to the end only shows the dialog again.
    testutil::DialogAnswerer again(
        [](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    clickButton(window, "endButton");
    QVERIFY(again.answered());
    QCOMPARE(labelText(window, "stepLabel"), u"1001"_s);
}

void TestExecutionWindow::dataByteAndDisplay()
{
    setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y20"_s},
                      {u"1"_s, u"2"_s, u""_s, u"y66"_s},
                      {u"2"_s, u"3"_s, u""_s, u"y66"_s},
                      {u"3"_s, u"3"_s, u""_s, u"y67"_s}});
    ExecutionWindow *window = launchShown();

    // Closed by its close button, the byte dialog leaves A as it was.
    window->setA(0x33);
    testutil::DialogAnswerer closeIt([](QWidget *dialog) { dialog->close(); });
    window->executeStep();
    QVERIFY(closeIt.answered());
    QCOMPARE(panelText(window, u"a"_s, "AfterLabel"), u"33"_s);

    testutil::DialogAnswerer enter([](QWidget *dialog) {
        auto *edit = child<QLineEdit>(dialog, "byteLineEdit");
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClicks(edit, u"05"_s);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    window->executeStep();
    QVERIFY(enter.answered());
    QCOMPARE(panelText(window, u"a"_s, "BeforeLabel"), u"33"_s);
    QCOMPARE(panelText(window, u"a"_s, "AfterLabel"), u"05"_s);
    QCOMPARE(panelText(window, u"z"_s, "AfterLabel"), u"0"_s);

    QString message;
    testutil::DialogAnswerer display([&message](QWidget *dialog) {
        message = child<QLabel>(dialog, "infoLabel")->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    window->executeStep();
    QVERIFY(display.answered());
    QCOMPARE(message, u"A = 05"_s);
    QCOMPARE(labelText(window, "operationLabel"),
             u"Выполнена микрооперация y67 :    Дисплей := A"_s);
}

void TestExecutionWindow::runsOnAfterTheEditorIsGone()
{
    // The table is read once; the cells may be destroyed while the window still runs.
    setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y20"_s}, {u"1"_s, u"1"_s, u"z"_s, u"y30"_s}});
    setByte(*editor, 0, u"77"_s);
    ExecutionWindow *window = launch();
    editor.reset();
    QVERIFY(executionWindow);
    window->executeStep(); // y30 reads a memory that is gone: 0
    QCOMPARE(labelText(window, "operationLabel"),
             u"Выполнена микрооперация y30 :    A := ОП[PA]"_s);
    QCOMPARE(labelText(window, "nextStateLabel"), u"По условию"_s);
    QCOMPARE(panelText(window, u"a"_s, "AfterLabel"), u"00"_s);
    window->executeStep();
    QCOMPARE(labelText(window, "stepLabel"), u"4"_s);
}

void TestExecutionWindow::renderPictures()
{
    setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y10,y62"_s},
                      {u"1"_s, u"1"_s, u"x1,-z"_s, u"y7,y8,y29,y70"_s}});
    setByte(*editor, 0, u"1F"_s);
    setByte(*editor, 1, u"A7"_s);
    ExecutionWindow *window = launchShown();
    window->executeStep();
    testutil::renderToPng(window, u"executionwindow-step"_s);
    testutil::DialogAnswerer stop([](QWidget *dialog) {
        testutil::renderToPng(dialog, u"infodialog-message"_s);
        QTest::keyClick(dialog, Qt::Key_Space);
    });
    window->executeStep();
    QVERIFY(stop.answered());
    window->executeStep();
    QCOMPARE(labelText(window, "operationLabel"), u"Успешное завершение программы"_s);
    testutil::renderToPng(window, u"executionwindow-end"_s);
}

QTEST_MAIN(TestExecutionWindow)
#include "tst_executionwindow.moc"
