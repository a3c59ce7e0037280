// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-screenshots: renders every window and dialog of ORB to PNG files, with example
// microprograms loaded so that the pictures show real programs. The screenshots target runs
// it on the offscreen platform; the user guide's pictures are chosen from its output.
//
// Usage: orb-screenshots OUTPUT_FOLDER
// Exits with 1 when a window or dialog could not be shown (each is named on standard error);
// the pictures that could be made are written all the same.

#include "app/mainwindow.h"
#include "cells/ttlineedit.h"
#include "sim/executionwindow.h"
#include "sim/infodialog.h"
#include "tests/dialoganswerer.h"
#include "tests/scriptedwindow.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <cstdio>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using testutil::DialogAnswerer;

QDir outputFolder;
QStringList problems;

void problem(const QString &text)
{
    problems << text;
    std::fprintf(stderr, "orb-screenshots: %s\n", qPrintable(text));
}

void settle()
{
    // Two rounds: showing a window posts the layout requests that the first round handles.
    QApplication::processEvents();
    QApplication::processEvents();
}

void savePicture(QWidget *widget, const QString &name)
{
    settle();
    const QString path = outputFolder.filePath(name + u".png"_s);
    if (widget->grab().save(path))
        std::printf("%s\n", qPrintable(path));
    else
        problem(u"cannot write %1"_s.arg(path));
}

void pressKey(QWidget *widget, Qt::Key key, const QString &text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
}

bool isByteRequest(QDialog *dialog)
{
    const auto *entry = dialog->findChild<QLineEdit *>(u"byteLineEdit"_s);
    return entry && entry->isVisibleTo(dialog);
}

// Answers the message dialog with a key and the data-byte dialog with the next of bytes (00
// when none is left) and Return, as the user does; pictures the first dialog of each kind
// under the name given, when there is one.
DialogAnswerer::Answer infoDialogAnswer(const QString &messagePicture, const QString &bytePicture,
                                        const QStringList &bytes = {})
{
    auto pictured = std::make_shared<QStringList>();
    auto queue = std::make_shared<QStringList>(bytes);
    return [=](QDialog *dialog) {
        if (!qobject_cast<InfoDialog *>(dialog)) {
            problem(u"unexpected dialog %1 during a run"_s.arg(
                QLatin1StringView(dialog->metaObject()->className())));
            dialog->reject();
            return;
        }
        const bool byteRequest = isByteRequest(dialog);
        if (byteRequest) {
            auto *entry = dialog->findChild<QLineEdit *>(u"byteLineEdit"_s);
            entry->setText(queue->isEmpty() ? u"00"_s : queue->takeFirst());
        }
        const QString picture = byteRequest ? bytePicture : messagePicture;
        if (!picture.isEmpty() && !pictured->contains(picture)) {
            savePicture(dialog, picture);
            *pictured << picture;
        }
        if (byteRequest)
            pressKey(dialog, Qt::Key_Return, u"\r"_s);
        else
            pressKey(dialog, Qt::Key_Space, u" "_s);
    };
}

// Grabs the dialog, then closes it as its close button would.
DialogAnswerer::Answer pictureAndReject(const QString &picture)
{
    return [=](QDialog *dialog) {
        savePicture(dialog, picture);
        dialog->reject();
    };
}

// The editor's window with its file dialogs answered by the tool: Open takes the example
// named, Save the file name given.
using editortest::ScriptedWindow;

std::unique_ptr<ScriptedWindow> showMainWindow()
{
    auto window = std::make_unique<ScriptedWindow>();
    window->show();
    window->activateWindow();
    const QDeadlineTimer deadline(2000);
    while (!window->isActiveWindow() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    settle();
    return window;
}

// Opens an example with the tool bar's Open, as a student does.
bool loadExample(ScriptedWindow &window, const QString &fileName)
{
    window.openAnswer = QDir(QStringLiteral(ORB_EXAMPLES_DIR)).filePath(fileName);
    auto *open = window.findChild<QAction *>(u"actionOpen"_s);
    if (!open) {
        problem(u"no Open action in the main window"_s);
        return false;
    }
    open->trigger();
    // A document that opened has its first cell's text; the new window's table had none.
    if (window.ttCell(0, 2)->text().isEmpty()) {
        problem(u"Open did not load %1"_s.arg(window.openAnswer));
        return false;
    }
    // The rows took the focus one by one; the picture starts at the top of the table.
    window.ttCell(0, 2)->setFocus(Qt::OtherFocusReason);
    settle();
    return true;
}

QPushButton *button(QWidget &window, const char *name)
{
    auto *found = window.findChild<QPushButton *>(QLatin1StringView(name));
    if (!found)
        problem(u"no button %1 in %2"_s.arg(QLatin1StringView(name),
                                            QLatin1StringView(window.metaObject()->className())));
    return found;
}

ExecutionWindow *openExecutionWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<ExecutionWindow *>(widget); window && window->isVisible())
            return window;
    }
    return nullptr;
}

// Launches the window's microprogram with the start button, answering the dialogs of the
// first step with answer; returns the execution window that opened.
ExecutionWindow *launch(DialogAnswerer &answerer, MainWindow &window,
                        const DialogAnswerer::Answer &answer)
{
    QPushButton *start = button(window, "startButton");
    if (!start)
        return nullptr;
    answerer.run([start] { start->click(); }, answer);
    ExecutionWindow *execution = openExecutionWindow();
    if (!execution)
        problem(u"the start button opened no execution window"_s);
    return execution;
}

void closeExecutionWindow(ExecutionWindow *window)
{
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    settle();
}

// Steps until the end screen shows, at most limit presses.
void stepToEnd(DialogAnswerer &answerer, ExecutionWindow *window,
               const DialogAnswerer::Answer &answer, int limit = 10000)
{
    for (int press = 0; press < limit && !window->engine().endScreenShown(); ++press)
        answerer.run([window] { window->executeStep(); }, answer);
    if (!window->engine().endScreenShown())
        problem(u"the run did not reach its end screen"_s);
}

void mainWindowPictures(DialogAnswerer &answerer)
{
    auto window = showMainWindow();
    if (!loadExample(*window, u"03-fetch-decode-loop.orb"_s))
        return;
    savePicture(window.get(), u"main-window"_s);

    if (QPushButton *ram = button(*window, "ramButton")) {
        ram->click();
        savePicture(window.get(), u"main-window-memory"_s);
    }
    if (QPushButton *edit = button(*window, "editButton"))
        edit->click();

    // A run in the middle, when the fetch has loaded an instruction and its data, and at its
    // end after the stop message.
    ExecutionWindow *execution = launch(answerer, *window, infoDialogAnswer({}, {}));
    if (!execution)
        return;
    for (int press = 0; press < 30 && !execution->engine().endScreenShown(); ++press)
        answerer.run([execution] { execution->executeStep(); }, infoDialogAnswer({}, {}));
    savePicture(execution, u"execution-window"_s);
    stepToEnd(answerer, execution, infoDialogAnswer({}, {}));
    savePicture(execution, u"execution-window-end"_s);
    closeExecutionWindow(execution);

    // The credits behind the tool bar's Info action.
    if (auto *info = window->findChild<QAction *>(u"info"_s)) {
        if (answerer.run([info] { info->trigger(); }, pictureAndReject(u"credits-dialog"_s)) == 0)
            problem(u"the Info action opened no dialog: no credits picture"_s);
    } else {
        problem(u"no Info action in the main window"_s);
    }

    // Closing asks first; the answer " Нет" keeps the window.
    if (answerer.run([&window] { window->close(); }, pictureAndReject(u"exit-dialog"_s)) == 0)
        problem(u"closing the main window asked nothing: no exit dialog picture"_s);
}

void errorPictures(DialogAnswerer &answerer)
{
    auto window = showMainWindow();
    if (!loadExample(*window, u"01-add-two-bytes.orb"_s))
        return;
    // Two typical slips: a blank instead of a comma, and a signal given twice.
    window->ttCell(1, 6)->fillAndCommit(u"x1 z"_s);
    window->ttCell(2, 8)->fillAndCommit(u"y30,y48,y30"_s);
    window->ttCell(0, 2)->setFocus(Qt::OtherFocusReason);
    savePicture(window.get(), u"main-window-errors"_s);
    if (QPushButton *start = button(*window, "startButton")) {
        if (answerer.run([start] { start->click(); }, pictureAndReject(u"errors-dialog"_s)) == 0)
            problem(u"a launch with wrong cells showed no errors dialog"_s);
    }

    // A save into a folder that does not exist fails and says so.
    window->saveAnswer = outputFolder.filePath(u"no such folder/sum.orb"_s);
    if (auto *saveAction = window->findChild<QAction *>(u"actionSave"_s)) {
        if (answerer.run([saveAction] { saveAction->trigger(); },
                         pictureAndReject(u"save-failed-dialog"_s)) == 0)
            problem(u"a failed save showed no dialog"_s);
    } else {
        problem(u"no Save action in the main window"_s);
    }
}

void messagePictures(DialogAnswerer &answerer)
{
    // Display output: the first "A = 4F" of the display loop.
    {
        auto window = showMainWindow();
        if (!loadExample(*window, u"04-display-loop.orb"_s))
            return;
        const auto answer = infoDialogAnswer(u"info-dialog-message"_s, {});
        if (ExecutionWindow *execution = launch(answerer, *window, answer)) {
            stepToEnd(answerer, execution, answer);
            closeExecutionWindow(execution);
        }
    }
    // Data-byte input, with a byte typed in.
    {
        auto window = showMainWindow();
        if (!loadExample(*window, u"05-input-largest-byte.orb"_s))
            return;
        // The byte 00 ends the input, so that the run comes to its end.
        const auto answer = infoDialogAnswer({}, u"info-dialog-byte"_s, {u"7F"_s, u"00"_s});
        if (ExecutionWindow *execution = launch(answerer, *window, answer)) {
            stepToEnd(answerer, execution, answer);
            closeExecutionWindow(execution);
        }
    }
}

void stepLimitPicture(DialogAnswerer &answerer)
{
    // A microprogram that never stops: state 0 counts РИ up and returns to itself.
    auto window = showMainWindow();
    window->ttCell(0, 2)->fillAndCommit(u"0"_s);
    window->ttCell(0, 4)->fillAndCommit(u"0"_s);
    window->ttCell(0, 8)->fillAndCommit(u"y47"_s);
    ExecutionWindow *execution = launch(answerer, *window, infoDialogAnswer({}, {}));
    if (!execution)
        return;
    const int dialogs = answerer.run([execution] { execution->runToEnd(); },
                                     pictureAndReject(u"step-limit-dialog"_s));
    if (dialogs == 0)
        problem(u"the run to the end passed its step limit without a dialog"_s);
    savePicture(execution, u"execution-window-step-limit"_s);
    closeExecutionWindow(execution);
}

// Breakpoints on two rows and a run to the end stopped at the first: the main window marks
// that row with both marks; the picture puts the execution window beside it, as it opens.
void debuggerPicture(DialogAnswerer &answerer)
{
    auto window = showMainWindow();
    if (!loadExample(*window, u"03-fetch-decode-loop.orb"_s))
        return;
    for (const int row : {9, 12}) {
        if (QLabel *label = window->rowNumberLabel(row)) {
            // A click on the row number, as a student sets a breakpoint.
            const QPointF inside(label->width() / 2.0, label->height() / 2.0);
            QMouseEvent press(QEvent::MouseButtonPress, inside, label->mapToGlobal(inside),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(label, &press);
        }
    }
    ExecutionWindow *execution = launch(answerer, *window, infoDialogAnswer({}, {}));
    if (!execution)
        return;
    answerer.run([execution] { execution->runToEnd(); }, infoDialogAnswer({}, {}));
    if (!execution->engine().arrivedAtBreakpoint())
        problem(u"the run to the end did not stop at the breakpoint"_s);
    settle();
    const QPixmap main = window->grab();
    const QPixmap run = execution->grab();
    QPixmap both(main.width() + 10 + run.width(), std::max(main.height(), run.height()));
    both.fill(Qt::white);
    {
        QPainter painter(&both);
        painter.drawPixmap(0, 0, main);
        painter.drawPixmap(main.width() + 10, 0, run);
    }
    const QString path = outputFolder.filePath(u"debugger.png"_s);
    if (both.save(path))
        std::printf("%s\n", qPrintable(path));
    else
        problem(u"cannot write %1"_s.arg(path));
    closeExecutionWindow(execution);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: orb-screenshots OUTPUT_FOLDER\n");
        return 64;
    }
    outputFolder.setPath(arguments[1]);
    if (!QDir().mkpath(outputFolder.path())) {
        std::fprintf(stderr, "orb-screenshots: cannot create %s\n", qPrintable(arguments[1]));
        return 1;
    }

    // A dialog that comes where none is expected is noted and closed, so that the tool goes on.
    DialogAnswerer answerer;
    answerer.answerEvery([](QDialog *dialog) {
        problem(
            u"unexpected dialog %1"_s.arg(QLatin1StringView(dialog->metaObject()->className())));
        dialog->reject();
    });
    mainWindowPictures(answerer);
    errorPictures(answerer);
    messagePictures(answerer);
    stepLimitPicture(answerer);
    debuggerPicture(answerer);
    return problems.isEmpty() ? 0 : 1;
}
