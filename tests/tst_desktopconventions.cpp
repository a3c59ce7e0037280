// SPDX-License-Identifier: GPL-3.0-or-later
//
// What users expect of a desktop editor, through the real windows: a stray Enter in the exit
// dialog keeps the program, a clicked memory byte takes the two digits typed next, a typed
// data byte replaces the "00", a save without a suffix stays visible to Open, the keyboard
// shortcuts, and Qt's own texts in Russian without a change to ours.

#include "app/authorinfodialog.h"
#include "app/errorsdialog.h"
#include "app/exitdialog.h"
#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "sim/executionwindow.h"
#include "sim/infodialog.h"
#include "editorfixture.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolTip>
#include <QTranslator>

#include <memory>

using editortest::executionWindowCount;
using editortest::openExecutionWindow;
using editortest::press;
using editortest::type;
using testutil::child;

using namespace Qt::StringLiterals;

namespace {

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// The offscreen platform cannot raise a window and says so each time a tool tip comes up;
// only that warning is let through while one is shown.
QtMessageHandler previousHandler = nullptr;

void dropRaiseWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message == u"This plugin does not support raise()"_s)
        return;
    previousHandler(type, context, message);
}

// The tool tip that the cell shows when the mouse rests on it, as Qt asks for it (a widget
// that has none ignores the request); empty when it shows none.
QString toolTipOf(QWidget *cell)
{
    const QPoint point = cell->rect().center();
    QHelpEvent event(QEvent::ToolTip, point, cell->mapToGlobal(point));
    previousHandler = qInstallMessageHandler(dropRaiseWarning);
    QApplication::sendEvent(cell, &event);
    qInstallMessageHandler(previousHandler);
    return event.isAccepted() ? QToolTip::text() : QString();
}

// Answers the file dialog that comes next with `path` as its file name and Return, or with
// Escape for an empty path; reports the dialog's mode, default suffix and starting selection.
testutil::DialogAnswerer answerFileDialog(const QString &path,
                                          QFileDialog::AcceptMode *mode = nullptr,
                                          QString *defaultSuffix = nullptr,
                                          QString *startsAt = nullptr)
{
    return testutil::DialogAnswerer([path, mode, defaultSuffix, startsAt](QWidget *dialog) {
        auto *fileDialog = qobject_cast<QFileDialog *>(dialog);
        if (!fileDialog) {
            qobject_cast<QDialog *>(dialog)->reject(); // not left open to hang the test
            QFAIL("not a file dialog");
        }
        if (mode)
            *mode = fileDialog->acceptMode();
        if (defaultSuffix)
            *defaultSuffix = fileDialog->defaultSuffix();
        if (startsAt) {
            const QStringList selected = fileDialog->selectedFiles();
            *startsAt =
                selected.isEmpty() ? fileDialog->directory().absolutePath() : selected.constFirst();
        }
        if (path.isEmpty()) {
            QTest::keyClick(fileDialog, Qt::Key_Escape);
            return;
        }
        auto *name = child<QLineEdit>(fileDialog, "fileNameEdit");
        name->setFocus();
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

// The offscreen platform warns each time a shown file dialog or message box sets its size
// limits; a real desktop does not.
void expectSizeHintWarnings(int dialogs)
{
    if (QGuiApplication::platformName() != u"offscreen"_s)
        return;
    for (int i = 0; i < dialogs; ++i)
        QTest::ignoreMessage(QtWarningMsg, "This plugin does not support propagateSizeHints()");
}

} // namespace

Q_DECLARE_METATYPE(Key)

class TestDesktopConventions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void exitDialogKeys_data();
    void exitDialogKeys();
    void memoryByteClicked_data();
    void memoryByteClicked();
    void dataByteReplacesZeros_data();
    void dataByteReplacesZeros();
    void saveAddsTheSuffix_data();
    void saveAddsTheSuffix();
    void saveAsksBeforeReplacing_data();
    void saveAsksBeforeReplacing();
    void toolBarShortcuts();
    void f5Launches();
    void f5WithAWrongCell();
    void f5WhileRunning();
    void qtTranslationsMissing();
    void qtTranslationsInstalled();
    void redCellSaysWhy_data();
    void redCellSaysWhy();
    void loadedStateSaysWhy();
    void toolTipOnHover();
    void droppedSignalsNote();

private:
    QPushButton *button(const char *name) { return child<QPushButton>(editor.get(), name); }
    // Types a row into the table from its source-state cell, moving with Right at each end.
    void typeRow(const QStringList &texts);
    void activateEditor();

    std::unique_ptr<MainWindow> editor;
    QTemporaryDir directory;
};

void TestDesktopConventions::initTestCase()
{
    testutil::failOnAnyWarning();
    QVERIFY(directory.isValid());
    // Qt's file dialog keeps its last folder in the user's settings; not the real ones.
    QStandardPaths::setTestModeEnabled(true);
    // Closing the editor answered with "Да" must not end the test's own event loops.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestDesktopConventions::init()
{
    testutil::failOnAnyWarning();
    editor = std::make_unique<MainWindow>();
    editor->show();
    activateEditor();
}

void TestDesktopConventions::activateEditor()
{
    QVERIFY(testutil::activate(editor.get()));
}

void TestDesktopConventions::cleanup()
{
    delete openExecutionWindow();
    editor.reset();
    for (const QString &name : QDir(directory.path()).entryList(QDir::Files))
        QFile::remove(directory.filePath(name));
}

void TestDesktopConventions::typeRow(const QStringList &texts)
{
    for (qsizetype field = 0; field < texts.size(); ++field) {
        if (field > 0)
            press(Qt::Key_Right);
        type(texts[field]);
    }
}

void TestDesktopConventions::exitDialogKeys_data()
{
    QTest::addColumn<QList<Key>>("keys");
    QTest::addColumn<bool>("ends");
    QTest::newRow("Return") << QList<Key>{{Qt::Key_Return}} << false;
    QTest::newRow("keypad Enter") << QList<Key>{{Qt::Key_Enter, Qt::KeypadModifier}} << false;
    QTest::newRow("Space") << QList<Key>{{Qt::Key_Space}} << false;
    QTest::newRow("Escape") << QList<Key>{{Qt::Key_Escape}} << false;
    // Moving to "Да" first is a choice: then Return means it.
    QTest::newRow("Tab, Return") << QList<Key>{{Qt::Key_Tab}, {Qt::Key_Return}} << true;
}

void TestDesktopConventions::exitDialogKeys()
{
    QFETCH(QList<Key>, keys);
    QFETCH(bool, ends);
    editor->ttCell(0, 2)->setFocus();
    type(u"12"_s);
    QString focusedAtFirst;
    bool defaultAtFirst = false;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        QWidget *focus = dialog->focusWidget();
        focusedAtFirst = focus ? focus->objectName() : QString();
        defaultAtFirst = child<QPushButton>(dialog, "cancelButton")->isDefault();
        for (const Key &key : keys)
            QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, key.key,
                            key.modifiers);
        if (dialog->isVisible()) {
            // Not answered by the keys: a failure, but the test must not hang in the dialog.
            qobject_cast<QDialog *>(dialog)->reject();
            focusedAtFirst = u"still open"_s;
        }
    });
    const bool closed = editor->close();
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ExitDialog"_s);
    QCOMPARE(focusedAtFirst, u"cancelButton"_s);
    QVERIFY(defaultAtFirst);
    QCOMPARE(closed, ends);
    QCOMPARE(editor->isVisible(), !ends);
    QCOMPARE(editor->ttCell(0, 2)->text(), u"12"_s);
}

void TestDesktopConventions::memoryByteClicked_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<double>("where"); // across the cell, 0 = left edge, 1 = right edge
    QTest::newRow("0x12 centre") << 0x12 << 0.5;
    QTest::newRow("0x12 right half") << 0x12 << 0.9;
    QTest::newRow("0x12 left edge") << 0x12 << 0.1;
    QTest::newRow("0x0F centre, end of a row") << 0x0F << 0.5;
}

void TestDesktopConventions::memoryByteClicked()
{
    QFETCH(int, address);
    QFETCH(double, where);
    QTest::mouseClick(button("ramButton"), Qt::LeftButton);
    RamLineEdit *cell = editor->ramCell(address / 16, address % 16);
    QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    QTRY_VERIFY(cell->isVisible());
    const QPoint point(int(where * cell->width()), cell->height() / 2);
    QTest::mouseClick(cell, Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(QApplication::focusWidget(), cell);
    type(u"ab"_s);
    QCOMPARE(cell->text(), u"AB"_s);
    const int next = address + 1;
    RamLineEdit *nextCell = editor->ramCell(next / 16, next % 16);
    QCOMPARE(nextCell->text(), u"00"_s);
    QCOMPARE(QApplication::focusWidget(), nextCell);
    QCOMPARE(nextCell->cursorPosition(), 0);

    // A Shift+click that selects both digits keeps its selection.
    QTest::mouseClick(cell, Qt::LeftButton, Qt::NoModifier, QPoint(1, cell->height() / 2));
    QTest::mouseClick(cell, Qt::LeftButton, Qt::ShiftModifier,
                      QPoint(cell->width() - 1, cell->height() / 2));
    QCOMPARE(cell->selectedText(), u"AB"_s);
}

void TestDesktopConventions::dataByteReplacesZeros_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("expected");
    QTest::newRow("one digit") << u"a"_s << 0x0A;
    QTest::newRow("two digits") << u"7f"_s << 0x7F;
    QTest::newRow("untouched 00") << QString() << 0;
}

void TestDesktopConventions::dataByteReplacesZeros()
{
    QFETCH(QString, typed);
    QFETCH(int, expected);
    // The first step reads a data byte from the display.
    typeRow({u"0"_s, u"0"_s, QString(), u"y66"_s});
    QString shown;
    bool entryFocused = false;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        auto *entry = child<QLineEdit>(dialog, "byteLineEdit");
        entryFocused = dialog->focusWidget() == entry;
        shown = entry->text();
        QTest::keyClicks(entry, typed);
        QTest::keyClick(entry, Qt::Key_Return);
    });
    QTest::mouseClick(button("startButton"), Qt::LeftButton);
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"InfoDialog"_s);
    QVERIFY(entryFocused);
    QCOMPARE(shown, u"00"_s);
    ExecutionWindow *window = openExecutionWindow();
    QVERIFY(window);
    QCOMPARE(window->engine().processor().a, expected);
}

void TestDesktopConventions::saveAddsTheSuffix_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no suffix") << u"add"_s << u"add.orb"_s;
    QTest::newRow("suffix typed") << u"sum.orb"_s << u"sum.orb"_s;
    QTest::newRow("other suffix kept") << u"notes.txt"_s << u"notes.txt"_s;
}

void TestDesktopConventions::saveAddsTheSuffix()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    type(u"7"_s);
    expectSizeHintWarnings(1);
    auto answer = answerFileDialog(directory.filePath(typed));
    QTest::keyClick(editor.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(answer.answered());
    const QStringList files = QDir(directory.path()).entryList(QDir::Files);
    QCOMPARE(files, QStringList{written});
    QVERIFY(testutil::readAll(directory.filePath(written)).startsWith("MKT1\n7\n\n\n\n00"));

    // The next save starts at the file written, the open dialog still at the home folder.
    QString startsAt;
    const auto startOf = [&](Qt::Key key) {
        activateEditor();
        editor->ttCell(0, 4)->setFocus();
        expectSizeHintWarnings(1);
        auto cancel = answerFileDialog(QString(), nullptr, nullptr, &startsAt);
        press(key, Qt::ControlModifier);
        QVERIFY(cancel.answered());
    };
    startOf(Qt::Key_S);
    QCOMPARE(startsAt, directory.filePath(written));
    startOf(Qt::Key_O);
    QCOMPARE(startsAt, QDir::homePath());
}

void TestDesktopConventions::saveAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("replaced") << true;
    QTest::newRow("kept") << false;
}

void TestDesktopConventions::saveAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    const QString existing = directory.filePath(u"add.orb"_s);
    testutil::writeAll(existing, "MKT1\n3\n\n\n\n");
    type(u"7"_s);
    QString question;
    bool dialogStayed = false;
    std::unique_ptr<testutil::DialogAnswerer> confirm;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        auto *fileDialog = qobject_cast<QFileDialog *>(dialog);
        if (!fileDialog) {
            qobject_cast<QDialog *>(dialog)->reject();
            QFAIL("not a file dialog");
        }
        // The question comes from inside the Return below.
        confirm = std::make_unique<testutil::DialogAnswerer>([&](QWidget *box) {
            auto *message = qobject_cast<QMessageBox *>(box);
            QVERIFY(message);
            question = message->text();
            message->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        auto *name = child<QLineEdit>(fileDialog, "fileNameEdit");
        name->setText(directory.filePath(u"add"_s));
        QTest::keyClick(name, Qt::Key_Return);
        dialogStayed = fileDialog->isVisible();
        if (dialogStayed)
            fileDialog->reject();
    });
    button("addButton")->setFocus(); // the save commits the cell being edited either way
    expectSizeHintWarnings(2);
    editor->findChild<QAction *>(u"actionSave"_s)->trigger();
    QVERIFY(answer.answered());
    QVERIFY(confirm && confirm->answered());
    QVERIFY2(question.contains(u"add.orb"_s), qPrintable(question));
    QCOMPARE(dialogStayed, !replace);
    QCOMPARE(testutil::readAll(existing).left(12),
             replace ? QByteArray("MKT1\n7\n\n\n\n00") : QByteArray("MKT1\n3\n\n\n\n"));
    QCOMPARE(QDir(directory.path()).entryList(QDir::Files), QStringList{u"add.orb"_s});
}

void TestDesktopConventions::toolBarShortcuts()
{
    const struct {
        const char *name;
        const char *keys;
        QString toolTip;
    } actions[] = {{"actionNew", "Ctrl+N", u"Новый Файл"_s},
                   {"actionOpen", "Ctrl+O", u"Открыть Файл"_s},
                   {"actionSave", "Ctrl+S", u"Сохранить"_s},
                   {"info", "", u"Инфо"_s}};
    auto *toolBar = child<QToolBar>(editor.get(), "mainToolBar");
    for (const auto &expected : actions) {
        auto *action = editor->findChild<QAction *>(QLatin1String(expected.name));
        QVERIFY(action);
        QCOMPARE(action->shortcut(), QKeySequence(QLatin1String(expected.keys)));
        QCOMPARE(action->toolTip(), expected.toolTip);
        QCOMPARE(toolBar->widgetForAction(action)->toolTip(), expected.toolTip);
    }

    // Ctrl+O in a cell: the open dialog, a document read.
    const QString document = directory.filePath(u"five.orb"_s);
    testutil::writeAll(document, "MKT2\n5\n6\n\ny20\n\n\n\n\n");
    QFileDialog::AcceptMode mode = QFileDialog::AcceptSave;
    {
        expectSizeHintWarnings(1);
        auto answer = answerFileDialog(document, &mode);
        press(Qt::Key_O, Qt::ControlModifier);
        QVERIFY(answer.answered());
    }
    QCOMPARE(mode, QFileDialog::AcceptOpen);
    QCOMPARE(editor->stringCount(), 2);
    QCOMPARE(editor->ttCell(0, 8)->text(), u"y20"_s);

    // Ctrl+S: the save dialog, with the suffix it completes; cancelled, nothing is written.
    QString suffix;
    activateEditor();
    editor->ttCell(1, 4)->setFocus();
    {
        expectSizeHintWarnings(1);
        auto answer = answerFileDialog(QString(), &mode, &suffix);
        press(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(answer.answered());
    }
    QCOMPARE(mode, QFileDialog::AcceptSave);
    QCOMPARE(suffix, u"orb"_s);
    QCOMPARE(QDir(directory.path()).entryList(QDir::Files), QStringList{u"five.orb"_s});

    // Ctrl+N in a cell being typed into: one empty row again.
    activateEditor();
    editor->ttCell(1, 2)->setFocus();
    type(u"9"_s);
    press(Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(editor->stringCount(), 1);
    QCOMPARE(editor->ttCell(0, 2)->text(), QString());
    QCOMPARE(editor->ttCell(0, 8)->text(), QString());
    QCOMPARE(editor->errorCount(), 0);
}

void TestDesktopConventions::f5Launches()
{
    // The signals are still being typed: F5 ends their edit first, as a click would.
    typeRow({u"0"_s, u"0"_s, QString(), u"Y20"_s});
    QCOMPARE(editor->ttCell(0, 8)->text(), u"Y20"_s);
    const QSize startSize = button("startButton")->size();
    press(Qt::Key_F5);
    ExecutionWindow *window = openExecutionWindow();
    QVERIFY(window);
    QCOMPARE(editor->ttCell(0, 8)->text(), u"y20"_s);
    QCOMPARE(child<QLabel>(window, "operationLabel")->text(),
             u"Выполнена микрооперация y20 :    A := R"_s);
    QCOMPARE(button("startButton")->size(), startSize);
    QVERIFY(!button("startButton")->isEnabled());
}

void TestDesktopConventions::f5WithAWrongCell()
{
    // A source state left without a next state: F5 judges it and refuses the launch.
    type(u"1"_s);
    const QSize startSize = button("startButton")->size();
    bool lockedMeanwhile = false;
    testutil::DialogAnswerer answer([&](QWidget *dialog) {
        lockedMeanwhile = !button("startButton")->isEnabled();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    press(Qt::Key_F5);
    QVERIFY(answer.answered());
    QCOMPARE(answer.dialogClass(), u"ErrorsDialog"_s);
    QVERIFY(lockedMeanwhile);
    QVERIFY(!openExecutionWindow());
    QVERIFY(!editor->ttCell(0, 4)->isCorrect());
    QVERIFY(button("startButton")->isEnabled());
    QCOMPARE(button("startButton")->size(), startSize);
}

void TestDesktopConventions::f5WhileRunning()
{
    typeRow({u"0"_s, u"0"_s, QString(), u"y20"_s});
    press(Qt::Key_F5);
    QPointer<ExecutionWindow> window = openExecutionWindow();
    QVERIFY(window);
    // Back in the editor, locked while the program runs: F5 opens no second window.
    activateEditor();
    QTest::keyClick(editor.get(), Qt::Key_F5);
    QCOMPARE(executionWindowCount(), 1);
    QVERIFY(!button("startButton")->isEnabled());
    window->close();
    QTRY_VERIFY(window.isNull());
    QVERIFY(button("startButton")->isEnabled());
}

namespace {

// Every text a user can read in a window: labels, buttons, actions, entries, titles and tips.
QStringList visibleTexts(QWidget *window)
{
    QStringList texts{window->windowTitle()};
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        texts << widget->objectName() + u": "_s + widget->toolTip();
        if (auto *label = qobject_cast<QLabel *>(widget))
            texts << label->text();
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            texts << button->text();
        if (auto *entry = qobject_cast<QLineEdit *>(widget))
            texts << entry->text() + u"|"_s + entry->placeholderText();
        if (auto *box = qobject_cast<QGroupBox *>(widget))
            texts << box->title();
    }
    for (QAction *action : window->findChildren<QAction *>())
        texts << action->text() + u"|"_s + action->toolTip();
    return texts;
}

QStringList ourWindowsTexts()
{
    QStringList texts;
    MainWindow editor;
    texts << visibleTexts(&editor);
    ExitDialog exit;
    texts << visibleTexts(&exit);
    AuthorInfoDialog info;
    texts << visibleTexts(&info);
    ErrorsDialog errors(u"Программа содержит ошибки"_s, u"Исправьте"_s);
    texts << visibleTexts(&errors);
    {
        ExecutionWindow window(&editor);
        texts << visibleTexts(&window);
        InfoDialog byte(&window, u"Введите байт данных: "_s, true);
        texts << visibleTexts(&byte);
        InfoDialog message(&window, u"СТОП"_s, false);
        texts << visibleTexts(&message);
    }
    return texts;
}

QStringList lineEditMenuTexts()
{
    QLineEdit entry;
    std::unique_ptr<QMenu> menu(entry.createStandardContextMenu());
    QStringList texts;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

} // namespace

void TestDesktopConventions::qtTranslationsMissing()
{
    const QStringList english = {u"&Undo\tCtrl+Z"_s,     u"&Redo\tCtrl+Y"_s,  u"Cu&t\tCtrl+X"_s,
                                 u"&Copy\tCtrl+C"_s,     u"&Paste\tCtrl+V"_s, u"Delete"_s,
                                 u"Select All\tCtrl+A"_s};
    QCOMPARE(lineEditMenuTexts(), english);
    // An empty folder and one that does not exist: nothing installed, Qt's texts as they were.
    QCOMPARE(orb::installQtTranslations(qApp, directory.path()), nullptr);
    QCOMPARE(orb::installQtTranslations(qApp, directory.filePath(u"none"_s)), nullptr);
    QCOMPARE(lineEditMenuTexts(), english);
}

void TestDesktopConventions::qtTranslationsInstalled()
{
    if (!QFile::exists(orb::systemQtTranslationsPath() + u"/qtbase_ru.qm"_s))
        QSKIP("the system has no Qt translations (qt6-translations-l10n)");
    const QStringList ours = ourWindowsTexts();
    std::unique_ptr<QTranslator> translator(orb::installQtTranslations(qApp));
    QVERIFY(translator);
    QCOMPARE(lineEditMenuTexts(),
             (QStringList{u"&Отменить действие\tCtrl+Z"_s, u"&Повторить действие\tCtrl+Y"_s,
                          u"&Вырезать\tCtrl+X"_s, u"&Копировать\tCtrl+C"_s, u"В&ставить\tCtrl+V"_s,
                          u"Удалить"_s, u"Выделить всё\tCtrl+A"_s}));
    {
        QFileDialog dialog(editor.get());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        auto *buttons = child<QDialogButtonBox>(&dialog, "buttonBox");
        QCOMPARE(buttons->button(QDialogButtonBox::Save)->text(), u"&Сохранить"_s);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), u"Отмена"_s);
    }
    // No text of ours is Qt's to translate.
    QCOMPARE(ourWindowsTexts(), ours);
}

void TestDesktopConventions::redCellSaysWhy_data()
{
    QTest::addColumn<int>("column"); // the cell typed into and left
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("redColumn"); // the cell whose tool tip is read
    QTest::addColumn<QString>("reason");

    const auto conditions = [](const char *name, const QString &typed, const QString &reason) {
        QTest::newRow(name) << 6 << typed << 6 << reason;
    };
    conditions("blank before b", u" b"_s, u"Пробел перед «b»"_s);
    conditions("blank after -b", u"-b "_s, u"Пробел после «-b»"_s);
    conditions("blank inside !b", u"! b"_s, u"Пробел внутри «!b»"_s);
    conditions("b in a list", u"b,x1"_s,
               u"«b» — постоянное условие: оно пишется одно, без запятых и других условий"_s);
    conditions("operand twice", u"x1,-X1"_s, u"x1 указан дважды"_s);
    conditions("unknown operand", u"x5"_s,
               u"«x5» — нет такого условия; допустимы x4 x3 x2 x1 z n c p"_s);
    conditions("Cyrillic x", u"Х1"_s, u"Кириллическая буква «х» в «х1»: нужна латинская x"_s);
    conditions("Cyrillic c", u"z,с"_s, u"Кириллическая буква «с» в «с»: нужна латинская c"_s);
    conditions("Cyrillic p", u"-р"_s, u"Кириллическая буква «р» в «р»: нужна латинская p"_s);
    conditions("two prefixes", u"--x1"_s, u"Два знака отрицания подряд перед «x1»"_s);
    conditions("prefix at the end", u"x1,-"_s, u"«-» без условия после него"_s);
    conditions("lone prefix", u"!,x1"_s, u"«!» без условия после него"_s);
    conditions("comma missing", u"x1z"_s, u"Нет запятой между условиями в «x1z»: пишите x1,z"_s);

    const auto signalCell = [](const char *name, const QString &typed, const QString &reason) {
        QTest::newRow(name) << 8 << typed << 8 << reason;
    };
    signalCell("Cyrillic y", u"у30"_s, u"Кириллическая буква «у» в «у30»: нужна латинская y"_s);
    signalCell("y alone", u"y20,y"_s, u"«y» без номера сигнала"_s);
    signalCell("signals glued", u"y20y21"_s, u"Нет запятой между сигналами в «y20y21»"_s);
    signalCell("three digits", u"y123"_s,
               u"«y123» — нет такого сигнала: номер сигнала — не больше двух цифр"_s);
    signalCell("letter after y", u"y1x"_s, u"«y1x» — после y нужен номер сигнала из цифр"_s);
    signalCell("number without y", u"20"_s, u"«20» — перед номером сигнала нужна буква y"_s);
    signalCell("not a signal", u"z20"_s,
               u"«z20» — не сигнал: сигнал пишется буквой y с номером, например y20"_s);
    signalCell("signal twice", u"y6,Y06"_s, u"y6 указан дважды"_s);
    signalCell("eleven signals", u"y0,y1,y2,y3,y4,y5,y6,y7,y8,y9,y10"_s, u"Больше 10 сигналов"_s);

    // A row with something in it needs both states; the empty state cell says which.
    QTest::newRow("source state missing")
        << 4 << u"5"_s << 2 << u"Строка не пуста — нужно исходное состояние"_s;
    QTest::newRow("next state missing")
        << 2 << u"5"_s << 4 << u"Строка не пуста — нужно следующее состояние"_s;
    QTest::newRow("states missing for conditions")
        << 6 << u"x1"_s << 4 << u"Строка не пуста — нужно следующее состояние"_s;
    QTest::newRow("states missing for signals")
        << 8 << u"y20"_s << 2 << u"Строка не пуста — нужно исходное состояние"_s;
}

void TestDesktopConventions::redCellSaysWhy()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(int, redColumn);
    QFETCH(QString, reason);
    // A fresh table's cells say nothing.
    for (int c = 2; c <= 8; c += 2)
        QCOMPARE(toolTipOf(editor->ttCell(0, c)), QString());

    editor->ttCell(0, column)->setFocus();
    type(typed);
    QTest::mouseClick(button("addButton"), Qt::LeftButton); // leaves the cell, adds a row
    TTLineEdit *red = editor->ttCell(0, redColumn);
    QVERIFY(!red->isCorrect());
    QCOMPARE(toolTipOf(red), reason);
    // Every other cell of the row that is not red says nothing.
    for (int c = 2; c <= 8; c += 2) {
        if (editor->ttCell(0, c)->isCorrect())
            QCOMPARE(toolTipOf(editor->ttCell(0, c)), QString());
    }

    // Mended, the row is correct and silent again.
    const QStringList mended = {u"1"_s, u"2"_s, u"z"_s, u"y20"_s};
    for (int c = 2; c <= 8; c += 2) {
        TTLineEdit *cell = editor->ttCell(0, c);
        cell->setFocus();
        cell->selectAll();
        type(mended[c / 2 - 1]);
    }
    editor->ttCell(1, 2)->setFocus();
    QCOMPARE(editor->errorCount(), 0);
    for (int c = 2; c <= 8; c += 2)
        QCOMPARE(toolTipOf(editor->ttCell(0, c)), QString());
}

void TestDesktopConventions::loadedStateSaysWhy()
{
    // State texts no keyboard can type reach a table only from a file.
    const QString document = directory.filePath(u"states.orb"_s);
    testutil::writeAll(document, "MKT3\n1a\n0\n\n\n1\xEE\n0\n\n\n 1\n0\n\n\n");
    expectSizeHintWarnings(1);
    auto answer = answerFileDialog(document);
    QTest::keyClick(editor.get(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(answer.answered());
    QCOMPARE(editor->stringCount(), 3);
    QCOMPARE(toolTipOf(editor->ttCell(0, 2)),
             u"«a» в «1a» — не цифра: состояние — число от 0 до 999"_s);
    QCOMPARE(toolTipOf(editor->ttCell(1, 2)), u"Буква «о» в «1о»: нужна цифра 0"_s);
    QCOMPARE(toolTipOf(editor->ttCell(2, 2)),
             u"Пробел в « 1»: номер состояния пишется без пробелов"_s);
    QCOMPARE(toolTipOf(editor->ttCell(0, 4)), QString());
}

void TestDesktopConventions::toolTipOnHover()
{
    // The mouse resting on a red cell brings its reason up, as Qt's own tool tips come.
    editor->ttCell(0, 6)->setFocus();
    type(u"x5"_s);
    editor->ttCell(0, 2)->setFocus();
    TTLineEdit *red = editor->ttCell(0, 6);
    QVERIFY(!red->isCorrect());
    previousHandler = qInstallMessageHandler(dropRaiseWarning);
    QTest::mouseMove(red, QPoint(5, 5));
    QTest::mouseMove(red, red->rect().center());
    QTRY_VERIFY(QToolTip::isVisible());
    qInstallMessageHandler(previousHandler);
    QCOMPARE(QToolTip::text(), u"«x5» — нет такого условия; допустимы x4 x3 x2 x1 z n c p"_s);
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible())
            testutil::renderToPng(widget, u"cell-tooltip"_s);
    }
}

void TestDesktopConventions::droppedSignalsNote()
{
    TTLineEdit *cell = editor->ttCell(0, 8);
    cell->setFocus();
    type(u"y32, Y6,y80"_s);
    editor->ttCell(0, 2)->setFocus();
    QCOMPARE(cell->text(), u"y6"_s);
    QVERIFY(cell->isCorrect());
    QCOMPARE(toolTipOf(cell), u"y32, y80 — таких сигналов нет; убраны"_s);
    // Visiting the cell without typing keeps the note.
    cell->setFocus();
    editor->ttCell(0, 6)->setFocus();
    QCOMPARE(toolTipOf(cell), u"y32, y80 — таких сигналов нет; убраны"_s);
    // Typing ends it at once, and a text that drops nothing brings none.
    cell->setFocus();
    press(Qt::Key_End);
    type(u",y7"_s);
    QCOMPARE(toolTipOf(cell), QString());
    editor->ttCell(0, 6)->setFocus();
    QCOMPARE(cell->text(), u"y6,y7"_s);
    QCOMPARE(toolTipOf(cell), QString());

    // Everything dropped: the cell is empty and says what it lost.
    cell->setFocus();
    cell->selectAll();
    type(u"y16"_s);
    editor->ttCell(0, 6)->setFocus();
    QCOMPARE(cell->text(), QString());
    QCOMPARE(toolTipOf(cell), u"y16 — такого сигнала нет; убран"_s);

    // A row inserted above moves the texts down; the note does not stay on another text.
    cell->setFocus();
    type(u"y20,y99"_s);
    editor->ttCell(0, 6)->setFocus();
    QCOMPARE(toolTipOf(cell), u"y99 — такого сигнала нет; убран"_s);
    editor->ttCell(0, 2)->setFocus();
    editor->ttCell(0, 2)->setCursorPosition(0);
    QTest::mouseClick(button("addButton"), Qt::LeftButton);
    QCOMPARE(editor->stringCount(), 2);
    QCOMPARE(cell->text(), QString());
    QCOMPARE(toolTipOf(cell), QString());
}

QTEST_MAIN(TestDesktopConventions)
#include "tst_desktopconventions.moc"
