// SPDX-License-Identifier: GPL-3.0-or-later
//
// The launch from the start button: a program typed into a fresh editor runs in the execution
// window from the first step to its closing, a table with a wrong cell gets the errors dialog,
// and the editor is locked while either is open and unlocked afterwards.

#include "app/errorsdialog.h"
#include "app/mainwindow.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "sim/executionwindow.h"
#include "editorfixture.h"
#include "testutil.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using editortest::openExecutionWindow;
using editortest::press;
using editortest::type;
using testutil::child;
using testutil::labelText;

using namespace Qt::StringLiterals;

namespace {

// Enter on the execution window: it clicks the focused step button.
void enter(ExecutionWindow *window)
{
    QTest::keyClick(window->focusWidget(), Qt::Key_Return);
}

} // namespace

class TestLaunch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void errorsDialog();
    void errorsDialogEnds_data();
    void errorsDialogEnds();
    void newDocumentLaunchesAtOnce();
    void typedProgramRunsToTheEnd();
    void wrongCellGetsTheErrorsDialog_data();
    void wrongCellGetsTheErrorsDialog();
    void stateWithoutPartnerIsJudgedAtLaunch();

private:
    QPushButton *button(const char *name) { return child<QPushButton>(editor.get(), name); }
    // Editing is locked: no start, no row changes, no table; the memory page stays open.
    bool locked()
    {
        return !button("startButton")->isEnabled() && !button("addButton")->isEnabled() &&
               !button("deleteButton")->isEnabled() && !editor->ttCell(0, 2)->isEnabled() &&
               button("ramButton")->isEnabled() && editor->ramCell(0, 0)->isEnabled();
    }
    bool unlocked()
    {
        return button("startButton")->isEnabled() && button("addButton")->isEnabled() &&
               button("deleteButton")->isEnabled() && editor->ttCell(0, 2)->isEnabled();
    }

    std::unique_ptr<MainWindow> editor;
};

void TestLaunch::init()
{
    testutil::failOnAnyWarning();
    editor = std::make_unique<MainWindow>();
    QVERIFY(testutil::activate(editor.get()));
}

void TestLaunch::cleanup()
{
    delete openExecutionWindow();
    editor.reset();
}

void TestLaunch::errorsDialog()
{
    ErrorsDialog dialog(u"Программа содержит ошибки"_s, u"Первая строка\nвторая строка"_s);
    QCOMPARE(dialog.windowTitle(), u"ORB"_s);
    QCOMPARE(dialog.minimumSize(), QSize(400, 193));
    QCOMPARE(dialog.maximumSize(), QSize(400, 193));
    QCOMPARE(dialog.styleSheet(), u"background-color: white;"_s);
    auto *error = child<QLabel>(&dialog, "errorLabel");
    auto *info = child<QLabel>(&dialog, "infoLabel");
    QCOMPARE(error->text(), u"Программа содержит ошибки"_s);
    QCOMPARE(info->text(), u"Первая строка\nвторая строка"_s);
    QCOMPARE(error->geometry(), QRect(60, 20, 281, 51));
    QCOMPARE(info->geometry(), QRect(30, 70, 341, 61));
    QCOMPARE(error->alignment(), Qt::AlignCenter);
    QCOMPARE(info->alignment(), Qt::AlignCenter);
    QCOMPARE(error->font().family(), u"MS Shell Dig 2"_s);
    QCOMPARE(error->font().pixelSize(), 17);
    QCOMPARE(error->font().weight(), QFont::Bold);
    QCOMPARE(info->font().family(), u"MS Shell Dig 2"_s);
    QCOMPARE(info->font().pixelSize(), 12);
    QCOMPARE(info->font().weight(), QFont::Bold);
    // The longest texts it shows fit their fixed labels.
    QVERIFY(QFontMetrics(error->font()).horizontalAdvance(u"Программа содержит ошибки"_s) <=
            error->width());
    for (const QString &line : {u"Поля, содержащие ошибки, подсвечены красным."_s,
                                u"или содержит слишком большое количество тактов."_s})
        QVERIFY2(QFontMetrics(info->font()).horizontalAdvance(line) <= info->width(),
                 qPrintable(line));
    auto *ok = child<QPushButton>(&dialog, "okButton");
    QCOMPARE(ok->text(), u"OK"_s);
    QCOMPARE(ok->geometry(), QRect(183, 140, 41, 41));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    testutil::renderToPng(&dialog, u"errorsdialog"_s);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTest::mousePress(ok, Qt::LeftButton);
    QCOMPARE(ok->geometry(), QRect(182, 139, 40, 40));
    QCOMPARE(accepted.count(), 0);
    QTest::mouseRelease(ok, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(ok->geometry(), QRect(183, 140, 41, 41));
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!dialog.isVisible());
}

void TestLaunch::errorsDialogEnds_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << u"ok"_s << int(QDialog::Accepted);
    QTest::newRow("Enter") << u"enter"_s << int(QDialog::Accepted);
    QTest::newRow("Escape") << u"escape"_s << int(QDialog::Rejected);
    QTest::newRow("close button") << u"close"_s << int(QDialog::Rejected);
}

void TestLaunch::errorsDialogEnds()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    ErrorsDialog dialog(u"Перемотка остановлена"_s, u"…"_s);
    testutil::DialogAnswerer answer([how](QWidget *modal) {
        if (how == "ok"_L1)
            QTest::mouseClick(child<QPushButton>(modal, "okButton"), Qt::LeftButton);
        else if (how == "enter"_L1)
            QTest::keyClick(modal, Qt::Key_Return);
        else if (how == "escape"_L1)
            QTest::keyClick(modal, Qt::Key_Escape);
        else
            modal->close();
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(answer.answered());
}

void TestLaunch::newDocumentLaunchesAtOnce()
{
    QPointer<ExecutionWindow> window = editortest::pressStart(*editor);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QCOMPARE(labelText(window, "operationLabel"), u"Не описан переход из состояния  0"_s);
    QVERIFY(locked());

    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(window.isNull());
    QVERIFY(unlocked());

    // The editor discarding its document closes a running window too.
    window = editortest::pressStart(*editor);
    QVERIFY(window);
    emit editor->closed();
    QTRY_VERIFY(window.isNull());
    QVERIFY(unlocked());
}

void TestLaunch::typedProgramRunsToTheEnd()
{
    // The table, typed cell by cell: Right at the end of a cell goes to the next one, Return
    // opens the next row.
    QTest::mouseClick(editor->ttCell(0, 2), Qt::LeftButton);
    const QList<QStringList> rows = {{u"0"_s, u"1"_s, u""_s, u"Y43, y30"_s},
                                     {u"1"_s, u"2"_s, u"-x4"_s, u"y66"_s},
                                     {u"2"_s, u"2"_s, u""_s, u"y70,y67"_s}};
    for (int row = 0; row < rows.size(); ++row) {
        for (int field = 0; field < 4; ++field) {
            QCOMPARE(QApplication::focusWidget(), editor->ttCell(row, 2 * field + 2));
            type(rows[row][field]);
            if (field < 3)
                press(Qt::Key_Right);
        }
        if (row + 1 < rows.size())
            press(Qt::Key_Return);
    }
    // The memory byte at address 0.
    QTest::mouseClick(button("ramButton"), Qt::LeftButton);
    QTest::mouseClick(editor->ramCell(0, 0), Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    type(u"3c"_s);
    QCOMPARE(editor->ramCell(0, 0)->text(), u"3C"_s);

    // Pressing the start button takes the focus from the cell being edited, which commits it.
    QTest::mouseClick(button("editButton"), Qt::LeftButton);
    QTest::mouseClick(editor->ttCell(2, 8), Qt::LeftButton, {}, QPoint(100, 5));
    QTest::mouseClick(button("startButton"), Qt::LeftButton);
    QCOMPARE(editor->ttCell(0, 8)->text(), u"y30,y43"_s);
    QCOMPARE(editor->ttCell(2, 8)->text(), u"y67,y70"_s);
    QPointer<ExecutionWindow> window = openExecutionWindow();
    QVERIFY(window);
    QVERIFY(locked());
    QVERIFY(QTest::qWaitForWindowActive(window));

    // y30 ran in the constructor: A := ОП[PA] at address 0.
    QCOMPARE(labelText(window, "stepLabel"), u"2"_s);
    QCOMPARE(labelText(window, "aAfterLabel"), u"3C"_s);
    QTest::mouseClick(child<QPushButton>(window, "nextButton"), Qt::LeftButton); // y43
    QCOMPARE(labelText(window, "stepLabel"), u"3"_s);
    QCOMPARE(labelText(window, "zAfterLabel"), u"1"_s);

    testutil::DialogAnswerer dataByte([](QWidget *dialog) {
        auto *edit = child<QLineEdit>(dialog, "byteLineEdit");
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClicks(edit, u"7f"_s);
        QTest::keyClick(edit, Qt::Key_Escape); // ignored
        QTest::keyClick(edit, Qt::Key_Return);
    });
    enter(window); // into state 1: y66
    QVERIFY(dataByte.answered());
    QCOMPARE(labelText(window, "rowLabel"), u"2"_s);
    QCOMPARE(labelText(window, "nextStateLabel"), u"По условию"_s);
    QCOMPARE(labelText(window, "aAfterLabel"), u"7F"_s);

    QString display;
    testutil::DialogAnswerer displayAnswer([&display](QWidget *dialog) {
        display = child<QLabel>(dialog, "infoLabel")->text();
        QTest::keyClick(dialog, Qt::Key_Q);
    });
    enter(window); // into state 2: y67
    QVERIFY(displayAnswer.answered());
    QCOMPARE(display, u"A = 7F"_s);

    QString stop;
    testutil::DialogAnswerer stopAnswer([&stop](QWidget *dialog) {
        stop = child<QLabel>(dialog, "infoLabel")->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    enter(window); // y70
    QVERIFY(stopAnswer.answered());
    QCOMPARE(stop, u"СТОП"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"6"_s);

    enter(window);
    QCOMPARE(labelText(window, "operationLabel"), u"Успешное завершение программы"_s);
    QCOMPARE(labelText(window, "aBeforeLabel"), u"7F"_s);
    QVERIFY(locked());

    enter(window);
    QTRY_VERIFY(window.isNull());
    QVERIFY(unlocked());
}

void TestLaunch::wrongCellGetsTheErrorsDialog_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("OK") << u"ok"_s;
    QTest::newRow("Escape") << u"escape"_s;
    QTest::newRow("close button") << u"close"_s;
}

void TestLaunch::wrongCellGetsTheErrorsDialog()
{
    QFETCH(QString, how);
    // A broken signals cell, never left before the start button is pressed.
    QTest::mouseClick(editor->ttCell(0, 8), Qt::LeftButton);
    type(u"y20,y"_s);
    QVERIFY(editor->ttCell(0, 8)->isCorrect());

    QString heading;
    QString message;
    bool lockedMeanwhile = false;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        heading = child<QLabel>(dialog, "errorLabel")->text();
        message = child<QLabel>(dialog, "infoLabel")->text();
        lockedMeanwhile = locked();
        if (how == "ok"_L1)
            QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
        else if (how == "escape"_L1)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    const QSize startSize = button("startButton")->size();
    QTest::mouseClick(button("startButton"), Qt::LeftButton);
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ErrorsDialog"_s);
    QCOMPARE(heading, u"Программа содержит ошибки"_s);
    QCOMPARE(message, u"Поля, содержащие ошибки, подсвечены красным.\n"
                      u"Исправьте данные и попробуйте снова."_s);
    QVERIFY(lockedMeanwhile);
    QVERIFY(!openExecutionWindow());
    QVERIFY(unlocked());
    QVERIFY(!editor->ttCell(0, 8)->isCorrect());
    QCOMPARE(button("startButton")->size(), startSize); // the press look is undone

    // Mended, the table launches; the state cells were marked when the signals were judged.
    editor->ttCell(0, 2)->fillAndCommit(u"0"_s);
    editor->ttCell(0, 4)->fillAndCommit(u"0"_s);
    editor->ttCell(0, 8)->fillAndCommit(u"y20"_s);
    QCOMPARE(editor->errorCount(), 0);
    QPointer<ExecutionWindow> window = editortest::pressStart(*editor);
    QVERIFY(window);
    QCOMPARE(labelText(window, "operationLabel"), u"Выполнена микрооперация y20 :    A := R"_s);
    window->close();
    QTRY_VERIFY(window.isNull());
    QVERIFY(unlocked());
}

void TestLaunch::stateWithoutPartnerIsJudgedAtLaunch()
{
    // "3" as the source state, the next state left empty (marked), then signals that are all
    // dropped: emptying themselves, they clear both state marks, and nothing shows red.
    QTest::mouseClick(editor->ttCell(0, 2), Qt::LeftButton);
    type(u"3"_s);
    for (int i = 0; i < 3; ++i)
        press(Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), editor->ttCell(0, 8));
    QVERIFY(!editor->ttCell(0, 4)->isCorrect());
    type(u"y80"_s);

    // The launch judges the row as its saved document opens: the next state is wanted.
    testutil::DialogAnswerer answer([](QWidget *dialog) {
        QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
    });
    QTest::mouseClick(button("startButton"), Qt::LeftButton);
    QCOMPARE(editor->ttCell(0, 8)->text(), QString());
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ErrorsDialog"_s);
    QVERIFY(!openExecutionWindow());
    QVERIFY(!editor->ttCell(0, 4)->isCorrect());
    QCOMPARE(editor->errorCount(), 1);
    QVERIFY(unlocked());

    editor->ttCell(0, 4)->fillAndCommit(u"0"_s);
    QCOMPARE(editor->errorCount(), 0);
    QTest::mouseClick(button("startButton"), Qt::LeftButton);
    QVERIFY(openExecutionWindow());
}

QTEST_MAIN(TestLaunch)
#include "tst_launch.moc"
