// SPDX-License-Identifier: GPL-3.0-or-later
//
// The message and data-byte dialog: its two forms and which keys end it in each mode.

#include "app/mainwindow.h"
#include "sim/executionwindow.h"
#include "sim/infodialog.h"
#include "testutil.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <memory>

using testutil::child;

using namespace Qt::StringLiterals;

namespace {

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

} // namespace

Q_DECLARE_METATYPE(Key)

class TestInfoDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void messageForm();
    void anyKeyClosesAMessage_data();
    void anyKeyClosesAMessage();
    void dataByteForm();
    void dataByteKeys_data();
    void dataByteKeys();
    void closeButtonLeavesAUnchanged();

private:
    // The window whose register A receives the byte; an empty table leaves it on its end screen.
    std::unique_ptr<MainWindow> editor;
    QPointer<ExecutionWindow> window;
};

void TestInfoDialog::init()
{
    testutil::failOnAnyWarning();
    editor = std::make_unique<MainWindow>();
    window = new ExecutionWindow(editor.get());
    window->setA(0x5C);
}

void TestInfoDialog::cleanup()
{
    delete window;
    editor.reset();
}

void TestInfoDialog::messageForm()
{
    InfoDialog dialog(window, u"A = 05"_s, false);
    QCOMPARE(dialog.windowTitle(), u"ORB"_s);
    QCOMPARE(dialog.minimumSize(), QSize(409, 205));
    QCOMPARE(dialog.maximumSize(), QSize(409, 205));
    QCOMPARE(child<QWidget>(&dialog, "groupBox")->geometry(), QRect(20, 10, 371, 181));
    auto *info = child<QLabel>(&dialog, "infoLabel");
    auto *pressKey = child<QLabel>(&dialog, "pressKeyLabel");
    QCOMPARE(info->geometry(), QRect(50, 50, 271, 41));
    QCOMPARE(pressKey->geometry(), QRect(30, 100, 311, 41));
    QCOMPARE(info->text(), u"A = 05"_s);
    QCOMPARE(info->alignment(), Qt::AlignCenter);
    QCOMPARE(pressKey->text(), u"Для продолжения нажмите любую клавишу"_s);
    QVERIFY(child<QLineEdit>(&dialog, "byteLineEdit")->isHidden());
    QCOMPARE(info->font().family(), u"MS Shell Dig 2"_s);
    QCOMPARE(info->font().pixelSize(), 15);
    QCOMPARE(info->font().weight(), QFont::Bold);
    QCOMPARE(pressKey->font().pixelSize(), 12);
    QCOMPARE(pressKey->font().weight(), QFont::Bold);
}

void TestInfoDialog::anyKeyClosesAMessage_data()
{
    QTest::addColumn<Key>("key");
    QTest::newRow("letter") << Key{Qt::Key_Q};
    QTest::newRow("Escape") << Key{Qt::Key_Escape};
    QTest::newRow("Shift alone") << Key{Qt::Key_Shift, Qt::ShiftModifier};
    QTest::newRow("Control alone") << Key{Qt::Key_Control, Qt::ControlModifier};
    QTest::newRow("Return") << Key{Qt::Key_Return};
    QTest::newRow("keypad Enter") << Key{Qt::Key_Enter, Qt::KeypadModifier};
    QTest::newRow("F1") << Key{Qt::Key_F1};
}

void TestInfoDialog::anyKeyClosesAMessage()
{
    QFETCH(Key, key);
    InfoDialog dialog(window, u"СТОП"_s, false);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, key.key, key.modifiers);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(window->engine().processor().a, 0x5C);
}

void TestInfoDialog::dataByteForm()
{
    InfoDialog dialog(window, u"Введите байт данных: "_s, true);
    auto *info = child<QLabel>(&dialog, "infoLabel");
    auto *edit = child<QLineEdit>(&dialog, "byteLineEdit");
    QCOMPARE(info->text(), u"Введите байт данных: "_s);
    QCOMPARE(info->alignment(), Qt::AlignLeft);
    QCOMPARE(info->contentsMargins(), QMargins(21, 11, 0, 0));
    QCOMPARE(child<QLabel>(&dialog, "pressKeyLabel")->text(), u"Для продолжения нажмите Enter"_s);
    QVERIFY(!edit->isHidden());
    QCOMPARE(edit->geometry(), QRect(270, 60, 31, 21));
    QCOMPARE(edit->inputMask(), u">HH"_s);
    QCOMPARE(edit->maxLength(), 2);
    QCOMPARE(edit->text(), u"00"_s);
    QCOMPARE(edit->font().pointSize(), 10);
    QVERIFY(edit->font().bold());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    testutil::renderToPng(&dialog, u"infodialog-databyte"_s);
}

void TestInfoDialog::dataByteKeys_data()
{
    QTest::addColumn<bool>("clear");         // Backspace the two digits first
    QTest::addColumn<QString>("typed");      // typed from the start of the entry
    QTest::addColumn<QList<Key>>("ignored"); // keys that must leave the dialog open
    QTest::addColumn<int>("expected");
    const QList<Key> none;
    QTest::newRow("7f") << false << u"7f"_s << none << 0x7F;
    QTest::newRow("initial 00") << false << QString() << none << 0;
    QTest::newRow("one digit") << true << u"a"_s << none << 10;
    QTest::newRow("empty") << true << QString() << none << 0;
    QTest::newRow("not hexadecimal") << false << u"zq"_s << none << 0;
    QTest::newRow("Escape and keypad Enter ignored")
        << false << u"c4"_s
        << QList<Key>{{Qt::Key_Escape}, {Qt::Key_Enter, Qt::KeypadModifier}, {Qt::Key_F1}} << 0xC4;
}

void TestInfoDialog::dataByteKeys()
{
    QFETCH(bool, clear);
    QFETCH(QString, typed);
    QFETCH(QList<Key>, ignored);
    QFETCH(int, expected);
    InfoDialog dialog(window, u"Введите байт данных: "_s, true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *edit = child<QLineEdit>(&dialog, "byteLineEdit");
    QTest::keyClick(edit, Qt::Key_End);
    if (clear) {
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_Backspace);
    }
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClicks(edit, typed);
    for (const Key &key : ignored) {
        QTest::keyClick(edit, key.key, key.modifiers);
        QVERIFY(dialog.isVisible());
        QCOMPARE(window->engine().processor().a, 0x5C);
    }
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(window->engine().processor().a, expected);
}

void TestInfoDialog::closeButtonLeavesAUnchanged()
{
    InfoDialog dialog(window, u"Введите байт данных: "_s, true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClicks(child<QLineEdit>(&dialog, "byteLineEdit"), u"11"_s);
    dialog.close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(window->engine().processor().a, 0x5C);
}

QTEST_MAIN(TestInfoDialog)
#include "tst_infodialog.moc"
