// SPDX-License-Identifier: GPL-3.0-or-later
//
// The memory cells on the memory page of the main window: the byte format, the advance after
// the second digit, the arrow keys and Backspace as a block cursor.

#include "editorfixture.h"
#include "testutil.h"

#include "app/constants.h"
#include "app/mainwindow.h"
#include "cells/memorymodel.h"
#include "cells/ramlineedit.h"

#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace editortest;
using namespace Qt::StringLiterals;

class TestRamLineEdit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void initialCells();
    void typingAdvances_data();
    void typingAdvances();
    void settingATextAdvances();
    void keys_data();
    void keys();
    void backspace_data();
    void backspace();
    void backspaceClearsDigitsAcrossCells();
    void cellsShowTheMemoryModel();

private:
    RamLineEdit *cell(int address) const { return window->ramCell(address / 16, address % 16); }
    // The focused memory cell's address, or -1.
    int focusedAddress() const
    {
        auto *ram = qobject_cast<RamLineEdit *>(focused());
        return ram ? 16 * ram->row() + ram->column() : -1;
    }
    void focusAt(int address, int cursor)
    {
        cell(address)->setCursorPosition(cursor);
        cell(address)->setFocus(Qt::OtherFocusReason);
    }

    std::unique_ptr<MainWindow> window;
    QWidget *focusAfterConstruction = nullptr;
};

void TestRamLineEdit::init()
{
    // Qt Test clears the patterns after each test function; initTestCase alone covers no test.
    testutil::failOnAnyWarning();
    window = showWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    focusAfterConstruction = focused();
    window->findChild<QPushButton *>(QStringLiteral("ramButton"))->click();
    QVERIFY(window->ramTable()->isVisible());
}

void TestRamLineEdit::cleanup()
{
    window.reset();
}

void TestRamLineEdit::initialCells()
{
    // Building the memory table moved no focus: it was still in the first table cell.
    QCOMPARE(focusAfterConstruction, window->ttCell(0, 2));
    for (int address = 0; address < 256; ++address) {
        RamLineEdit *ram = cell(address);
        QCOMPARE(window->ramTable()->cellWidget(address / 16, address % 16), ram);
        QCOMPARE(ram->text(), QStringLiteral("00"));
        QCOMPARE(ram->inputMask(), QStringLiteral(">HH"));
        QCOMPARE(ram->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(ram->styleSheet(), ram->row() % 2 ? orb::ramOddRowStyle : orb::ramEvenRowStyle);
    }
}

void TestRamLineEdit::typingAdvances_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("nextAddress");

    QTest::newRow("to the next row") << 0x1F << "ab"
                                     << "AB" << 0x20;
    QTest::newRow("within a row") << 0x42 << "7f"
                                  << "7F" << 0x43;
    QTest::newRow("last byte stays") << 0xFF << "c3"
                                     << "C3" << 0xFF;
    QTest::newRow("one digit stays") << 0x10 << "9"
                                     << "90" << 0x10;
    QTest::newRow("no hexadecimal digit") << 0x10 << "g"
                                          << "00" << 0x10;
}

void TestRamLineEdit::typingAdvances()
{
    QFETCH(int, address);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, nextAddress);

    focusAt(address, 0);
    type(typed);
    QCOMPARE(cell(address)->text(), text);
    QCOMPARE(focusedAddress(), nextAddress);
    if (nextAddress != address)
        QCOMPARE(cell(nextAddress)->cursorPosition(), 0);
}

void TestRamLineEdit::settingATextAdvances()
{
    // The simulator writes bytes as texts; the focus follows as after typing.
    focusAt(0x30, 0);
    cell(0x30)->setText(QString::number(7, 16).toUpper().rightJustified(2, u'0'));
    QCOMPARE(cell(0x30)->text(), QStringLiteral("07"));
    QCOMPARE(focusedAddress(), 0x31);
    // The same text again changes nothing and moves nothing.
    focusAt(0x30, 2);
    cell(0x30)->setText(QStringLiteral("07"));
    QCOMPARE(focusedAddress(), 0x30);
}

void TestRamLineEdit::keys_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("toAddress");
    QTest::addColumn<int>("toCursor");

    QTest::newRow("Up keeps the cursor") << 0x25 << 1 << int(Qt::Key_Up) << 0x15 << 1;
    QTest::newRow("Up in row 0") << 0x05 << 1 << int(Qt::Key_Up) << 0x05 << 1;
    QTest::newRow("Down keeps the cursor") << 0x25 << 2 << int(Qt::Key_Down) << 0x35 << 2;
    QTest::newRow("Down in row 15") << 0xF5 << 0 << int(Qt::Key_Down) << 0xF5 << 0;
    QTest::newRow("Left at the start") << 0x25 << 0 << int(Qt::Key_Left) << 0x24 << 1;
    QTest::newRow("Left inside") << 0x25 << 1 << int(Qt::Key_Left) << 0x25 << 0;
    QTest::newRow("Left at the start of column 0") << 0x20 << 0 << int(Qt::Key_Left) << 0x20 << 0;
    QTest::newRow("Right between the digits") << 0x25 << 1 << int(Qt::Key_Right) << 0x26 << 0;
    QTest::newRow("Right at the end") << 0x25 << 2 << int(Qt::Key_Right) << 0x26 << 0;
    QTest::newRow("Right at the start") << 0x25 << 0 << int(Qt::Key_Right) << 0x25 << 1;
    QTest::newRow("Right in column 15") << 0x2F << 1 << int(Qt::Key_Right) << 0x2F << 2;
    QTest::newRow("Delete does nothing") << 0x25 << 0 << int(Qt::Key_Delete) << 0x25 << 0;
}

void TestRamLineEdit::keys()
{
    QFETCH(int, address);
    QFETCH(int, cursor);
    QFETCH(int, key);
    QFETCH(int, toAddress);
    QFETCH(int, toCursor);

    cell(address)->setText(QStringLiteral("AB"));
    if (toAddress != address)
        cell(toAddress)->setText(QStringLiteral("CD"));
    for (int a : {address, toAddress})
        cell(a)->setCursorPosition(1);
    focusAt(address, cursor);
    press(Qt::Key(key));
    QCOMPARE(focusedAddress(), toAddress);
    QCOMPARE(cell(toAddress)->cursorPosition(), toCursor);
    QCOMPARE(cell(address)->text(), QStringLiteral("AB"));
}

void TestRamLineEdit::backspace_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("toAddress");
    QTest::addColumn<int>("toCursor");

    QTest::newRow("after the last digit") << 0x25 << 2 << "A0" << 0x25 << 0;
    QTest::newRow("between the digits") << 0x25 << 1 << "A0" << 0x25 << 0;
    QTest::newRow("at the start") << 0x25 << 0 << "0B" << 0x24 << 1;
    QTest::newRow("start of a row") << 0x10 << 0 << "0B" << 0x0F << 1;
    QTest::newRow("address 0") << 0x00 << 0 << "0B" << 0x00 << 0;
    // The last cell has nowhere to advance to; the others must come back from the next one.
    QTest::newRow("last byte") << 0xFF << 2 << "A0" << 0xFF << 0;
}

void TestRamLineEdit::backspace()
{
    QFETCH(int, address);
    QFETCH(int, cursor);
    QFETCH(QString, text);
    QFETCH(int, toAddress);
    QFETCH(int, toCursor);

    cell(address)->setText(QStringLiteral("AB"));
    focusAt(address, cursor);
    press(Qt::Key_Backspace);
    QCOMPARE(cell(address)->text(), text);
    QCOMPARE(focusedAddress(), toAddress);
    QCOMPARE(cell(toAddress)->cursorPosition(), toCursor);
}

void TestRamLineEdit::backspaceClearsDigitsAcrossCells()
{
    cell(0x0F)->setText(QStringLiteral("12"));
    cell(0x10)->setText(QStringLiteral("34"));
    focusAt(0x10, 2);
    for (int i = 0; i < 4; ++i)
        press(Qt::Key_Backspace);
    QCOMPARE(cell(0x10)->text(), QStringLiteral("00"));
    QCOMPARE(cell(0x0F)->text(), QStringLiteral("00"));
    QCOMPARE(focusedAddress(), 0x0E);
    QCOMPARE(cell(0x0E)->cursorPosition(), 1);

    // A cell left with a single digit counts its blank as a zero digit.
    cell(0x40)->setText(QStringLiteral("A"));
    focusAt(0x40, 1);
    press(Qt::Key_Backspace);
    QCOMPARE(cell(0x40)->text(), QStringLiteral("A0"));
}

void TestRamLineEdit::cellsShowTheMemoryModel()
{
    orb::MemoryModel &memory = window->memory();
    // Each key is in the model at once, before the cell is left.
    focusAt(0x20, 0);
    type(u"c"_s);
    QCOMPARE(memory.text(0x20), u"C0"_s);
    QCOMPARE(memory.byte(0x20), 0xC0);
    type(u"4"_s);
    QCOMPARE(memory.byte(0x20), 0xC4);
    QCOMPARE(focusedAddress(), 0x21);
    press(Qt::Key_Backspace); // back into 0x20, after its first digit
    press(Qt::Key_Backspace);
    QCOMPARE(memory.text(0x20), u"C0"_s);

    // A change of the model shows in its cell and leaves the focus; a program's write moves it
    // on from the written byte; a step taken back puts a byte back where it is.
    focusAt(0x50, 1);
    memory.setText(0x50, u"7"_s);
    QCOMPARE(cell(0x50)->text(), u"7"_s);
    QCOMPARE(focusedAddress(), 0x50);
    memory.writeMemory(0x60, 0x3E);
    QCOMPARE(cell(0x60)->text(), u"3E"_s);
    QCOMPARE(focusedAddress(), 0x61);
    memory.restoreMemory(0x60, 0);
    QCOMPARE(cell(0x60)->text(), u"00"_s);
    QCOMPARE(focusedAddress(), 0x61);
}

QTEST_MAIN(TestRamLineEdit)
#include "tst_ramlineedit.moc"
