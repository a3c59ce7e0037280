// SPDX-License-Identifier: GPL-3.0-or-later

#include "monkeyactions.h"

#include "app/document.h"
#include "app/helpwindow.h"
#include "app/rowmarks.h"
#include "cells/celllanguage.h"
#include "cells/ramlineedit.h"
#include "cells/rowrules.h"
#include "cells/tablerows.h"
#include "cells/ttlineedit.h"
#include "scriptedwindow.h"
#include "sim/executionwindow.h"
#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <memory>
#include <optional>
#include <random>
#include <utility>

using namespace Qt::StringLiterals;

namespace monkey {

namespace {

QString caughtWarning;
Counts counts;

void trapMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The offscreen platform cannot raise a window; on a desktop the call works.
    if (message == u"This plugin does not support raise()"_s)
        return;
    if (type != QtDebugMsg && type != QtInfoMsg && caughtWarning.isEmpty())
        caughtWarning = message;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

const char *const kindNames[] = {"type",     "key",      "ramtype", "ramkey",     "button", "new",
                                 "open",     "save",     "exit",    "breakpoint", "help",   "step",
                                 "runtoend", "stepback", "escape",  "closerun"};
static_assert(std::size(kindNames) == size_t(Kind::Count));

const Qt::Key keys[] = {Qt::Key_Up,     Qt::Key_Down,    Qt::Key_Left,      Qt::Key_Right,
                        Qt::Key_W,      Qt::Key_A,       Qt::Key_S,         Qt::Key_D,
                        Qt::Key_Return, Qt::Key_Enter,   Qt::Key_Backspace, Qt::Key_Delete,
                        Qt::Key_Tab,    Qt::Key_Backtab, Qt::Key_Home,      Qt::Key_End};
constexpr int keyCount = int(std::size(keys));
const char *const buttons[] = {"addButton", "deleteButton", "startButton", "editButton",
                               "ramButton"};
constexpr int buttonCount = int(std::size(buttons));
// The Open and Save dialogs' answers, relative to the folder; "" is a cancelled dialog.
const char *const paths[] = {"a.orb",     "b.orb",         "c.orb",        "",
                             ".",         "missing/x.orb", "junk.orb",     "locked.orb",
                             "empty.orb", "example1.orb",  "example2.orb", "example3.orb"};
// Working programs, so that runs get long: copied into the folder as example1 … example3.
const char *const examples[] = {"03-fetch-decode-loop.orb",      "04-display-loop.orb",
                                "05-input-largest-byte.orb",     "01-add-two-bytes.orb",
                                "02-multiply-shift-and-add.orb", "06-signed-add-overflow.orb"};
constexpr int pathCount = int(std::size(paths));

// The cell language, more often than anything else; then what looks like it.
QString randomText(std::mt19937 &random)
{
    static const QString language = u"yyyyxxxzZnNcCpP0123456789,,,--  "_s;
    static const QString lookalikes = u"уУхХсСрРеЕаАоО"_s;
    static const QString other = u"!?;:.()ЙжЫ\t"_s;
    QString text;
    const int length = int(random() % 8) + 1;
    for (int i = 0; i < length; ++i) {
        const auto pick = quint32(random() % 100);
        if (pick < 75)
            text += language[qsizetype(random() % quint32(language.size()))];
        else if (pick < 90)
            text += lookalikes[qsizetype(random() % quint32(lookalikes.size()))];
        else if (pick < 96)
            text += other[qsizetype(random() % quint32(other.size()))];
        else
            text += QString(qsizetype(random() % 60) + 10,
                            language[qsizetype(random() % quint32(language.size()))]);
    }
    return text;
}

QString randomHex(std::mt19937 &random)
{
    static const QString digits = u"0123456789abcdefABCDEFgх "_s;
    QString text;
    const int length = int(random() % 3) + 1;
    for (int i = 0; i < length; ++i)
        text += digits[qsizetype(random() % quint32(digits.size()))];
    return text;
}

// Typing as a keyboard does it, Cyrillic letters included (QTest's own typing knows ASCII only).
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        // Keys go where the focus is now: a Tab moves it on.
        if (QWidget *focus = QApplication::focusWidget())
            widget = focus;
        if (ch == u'\t') {
            QTest::keyClick(widget, Qt::Key_Tab);
            continue;
        }
        const auto code = Qt::Key(ch.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Press, widget, code, QString(ch), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, code, QString(ch), Qt::NoModifier);
    }
}

// The table as the execution window snapshots it.
class RowsSource final : public orb::TableSource {
public:
    explicit RowsSource(const orb::TableRows &rows) : rows_(rows) {}
    int rowCount() const override { return rows_.rowCount(); }
    QString cellText(int row, int field) const override { return rows_.cellText(row, field); }
    orb::ParsedConditions parsedConditions(int row) const override
    {
        return rows_.row(row).conditions;
    }
    orb::ParsedSignals parsedSignals(int row) const override
    {
        return rows_.row(row).signalNumbers;
    }

private:
    const orb::TableRows &rows_;
};

class ShadowMemory final : public orb::MemoryAccess {
public:
    std::array<int, orb::memoryCellCount> bytes{};
    int readMemory(int address) override { return bytes[size_t(address & 0xFF)]; }
    void writeMemory(int address, int value) override { bytes[size_t(address & 0xFF)] = value; }
};

// The engine a run is checked against: fed the same presses, with the data bytes the dialogs
// were given.
class ShadowRun final : public orb::ExecutionView {
public:
    ShadowRun(const orb::TableRows &rows, ShadowMemory &memory)
        : engine(RowsSource(rows), memory, *this)
    {
        engine.setHistoryEnabled(true);
    }
    void updateRegisterPanel(orb::Panel) override {}
    void showEndScreen() override {}
    void showMessage(const QString &) override {}
    std::optional<int> requestDataByte(const QString &) override
    {
        if (enteredBytes.empty()) {
            missingByte = true;
            return std::nullopt;
        }
        const int value = enteredBytes.front();
        enteredBytes.erase(enteredBytes.begin());
        return value;
    }
    void showStepLimitDialog(const QString &, const QString &) override {}
    void scheduleDeletion() override { closed = true; }

    orb::StepEngine engine;
    std::vector<int> enteredBytes;
    bool missingByte = false;
    bool closed = false;
};

std::array<int, ExecutionWindow::panelCellCount> panelValues(const orb::Processor &p)
{
    return {p.rk[0],   p.rk[1],   p.rk[2],   p.rk[3],   p.ron[0], p.ron[1], p.ron[2],  p.ron[3],
            p.ron[4],  p.ron[5],  p.ron[6],  p.ron[7],  p.ron[8], p.ron[9], p.ron[10], p.ron[11],
            p.ron[12], p.ron[13], p.ron[14], p.ron[15], p.a,      p.b,      p.rs,      p.sp,
            p.ri,      p.ra,      p.rv,      p.r,       p.s1,     p.s2,     p.s3,      p.x4,
            p.x3,      p.x2,      p.x1,      p.z,       p.n,      p.c,      p.p};
}

// Whether the start button would open the execution window: no red cell, and none that the
// launch's judgement of each row finds.
bool launchRuns(const orb::TableRows &rows)
{
    if (rows.errorCount() > 0)
        return false;
    for (const orb::TableRows::Row &row : rows.rows()) {
        std::array<QString, orb::fieldCount> texts;
        for (int field = 0; field < orb::fieldCount; ++field)
            texts[size_t(field)] = row.cells[size_t(field)].text;
        for (const bool correct : orb::RowRules::judgedMarks(texts)) {
            if (!correct)
                return false;
        }
    }
    return true;
}

class Session {
public:
    explicit Session(quint64 seed);
    ~Session();
    void perform(const Action &action);
    QString check();

private:
    ExecutionWindow *findRun() const;
    void settle();
    void answerDialog(QDialog *dialog);
    void clickButton(QWidget *window, const char *name);
    void focusCell(QWidget *cell);
    void activateEditor();
    void syncShadowMemory();
    void afterLaunch();
    QString checkRun();

    QTemporaryDir folder;
    std::unique_ptr<editortest::ScriptedWindow> editor;
    QPointer<ExecutionWindow> run;
    std::unique_ptr<ShadowMemory> shadowMemory;
    std::unique_ptr<ShadowRun> shadow;
    std::mt19937 answers;
    testutil::DialogAnswerer answerer;
    std::vector<int> enteredBytes; // confirmed in the data-byte dialogs during the action
    bool launchPressed = false;    // the action released an enabled start button
};

Session::Session(quint64 seed) : answers(quint32(seed))
{
    std::mt19937 random(quint32(seed * 7919 + 1));
    QByteArray junk;
    for (int i = 0; i < 300; ++i)
        junk += char(random() % 256);
    if (random() % 2)
        junk.prepend("MKT\n7\n");
    testutil::writeAll(folder.filePath(u"junk.orb"_s), junk);
    testutil::writeAll(folder.filePath(u"empty.orb"_s), QByteArray());
    for (int i = 1; i <= 3; ++i)
        QFile::copy(QStringLiteral(ORB_SOURCE_DIR "/examples/") +
                        QLatin1String(examples[random() % std::size(examples)]),
                    folder.filePath(u"example%1.orb"_s.arg(i)));
    testutil::writeAll(folder.filePath(u"locked.orb"_s), "MKT\n1\n0\n0\n\ny1\n");
    QFile::setPermissions(folder.filePath(u"locked.orb"_s), QFileDevice::Permissions());

    editor = std::make_unique<editortest::ScriptedWindow>();
    editor->show();
    activateEditor();
    answerer.answerEvery([this](QDialog *dialog) { answerDialog(dialog); });
    shadowMemory = std::make_unique<ShadowMemory>();
    syncShadowMemory();
}

Session::~Session()
{
    answerer.answerEvery({});
    shadow.reset();
    delete run.data();
    if (HelpWindow *help = HelpWindow::instance())
        help->close();
    editor.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QFile::setPermissions(folder.filePath(u"locked.orb"_s),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Every modal dialog is answered as a user would, from the action's own answers.
void Session::answerDialog(QDialog *dialog)
{
    ++counts.dialogs;
    auto *edit = dialog->findChild<QLineEdit *>(u"byteLineEdit"_s);
    if (edit && !edit->isHidden()) {
        static const char *const typed[] = {"", "7", "3c", "FF", "0", "a1", "zz"};
        QTest::keyClicks(edit, QLatin1String(typed[answers() % std::size(typed)]));
        bool ok = false;
        const int value = edit->text().toInt(&ok, 16);
        enteredBytes.push_back(ok ? value : 0);
        QTest::keyClick(edit, Qt::Key_Return);
        return;
    }
    if (auto *no = dialog->findChild<QPushButton *>(u"cancelButton"_s);
        no && no->text() == u" Нет"_s) {
        QTest::mouseClick(no, Qt::LeftButton);
        return;
    }
    if (auto *ok = dialog->findChild<QPushButton *>(u"okButton"_s)) {
        QTest::mouseClick(ok, Qt::LeftButton);
        return;
    }
    static const Qt::Key closing[] = {Qt::Key_Space, Qt::Key_Return, Qt::Key_Escape, Qt::Key_A};
    QTest::keyClick(dialog, closing[answers() % std::size(closing)]);
}

ExecutionWindow *Session::findRun() const
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<ExecutionWindow *>(widget))
            return window;
    }
    return nullptr;
}

void Session::settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Session::clickButton(QWidget *window, const char *name)
{
    auto *button = window->findChild<QPushButton *>(QLatin1String(name));
    if (button && button->isVisible() && button->isEnabled())
        QTest::mouseClick(button, Qt::LeftButton);
}

// The window system activates a window later; the next action needs the editor active now,
// which only the call Qt 6.5 deprecated (with nothing synchronous in its place) still does.
void Session::activateEditor()
{
    editor->activateWindow();
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(editor.get());
    QT_WARNING_POP
}

void Session::focusCell(QWidget *cell)
{
    if (!cell || !cell->isEnabled())
        return;
    activateEditor();
    cell->setFocus(Qt::MouseFocusReason);
}

void Session::syncShadowMemory()
{
    for (int address = 0; address < orb::memoryCellCount; ++address)
        shadowMemory->bytes[size_t(address)] =
            orb::readMemoryByte(editor->ramCell(address / 16, address % 16)->text());
}

void Session::afterLaunch()
{
    run = findRun();
    if (!run)
        return;
    // The window ran its first step while it was built; the shadow does the same.
    shadow = std::make_unique<ShadowRun>(editor->tableRows(), *shadowMemory);
    shadow->enteredBytes = std::exchange(enteredBytes, {});
    shadow->engine.start();
    ++counts.launches;
}

void Session::perform(const Action &action)
{
    enteredBytes.clear();
    answers.seed(action.answers);
    const bool hadRun = run;
    const int rows = editor->stringCount();
    switch (action.kind) {
    case Kind::Type:
        focusCell(editor->viewCell(action.a % rows, orb::gridColumnOfField(action.b % 4)));
        if (auto *cell = qobject_cast<TTLineEdit *>(QApplication::focusWidget()))
            typeText(cell, action.text);
        break;
    case Kind::Key:
    case Kind::RamKey: {
        if (action.kind == Kind::RamKey)
            focusCell(editor->ramCell(action.a / 16 % 16, action.a % 16));
        QWidget *focus = QApplication::focusWidget();
        if (qobject_cast<TTLineEdit *>(focus) || qobject_cast<RamLineEdit *>(focus))
            QTest::keyClick(focus, keys[action.b / 2 % keyCount],
                            action.b % 2 ? Qt::ShiftModifier : Qt::NoModifier);
        break;
    }
    case Kind::RamType:
        focusCell(editor->ramCell(action.a / 16 % 16, action.a % 16));
        if (auto *cell = qobject_cast<RamLineEdit *>(QApplication::focusWidget()))
            typeText(cell, action.text);
        break;
    case Kind::Button: {
        const bool start = action.a % buttonCount == 2;
        if (start) {
            syncShadowMemory();
            const auto *button = editor->findChild<QPushButton *>(u"startButton"_s);
            launchPressed = button->isVisible() && button->isEnabled();
        }
        clickButton(editor.get(), buttons[action.a % buttonCount]);
        if (start && !hadRun)
            afterLaunch();
        break;
    }
    case Kind::New:
        editor->findChild<QAction *>(u"actionNew"_s)->trigger();
        break;
    case Kind::Open:
    case Kind::Save: {
        const QString path = QLatin1String(paths[action.a % pathCount]);
        const QString answer = path.isEmpty() ? QString() : folder.filePath(path);
        editor->openAnswer = answer;
        editor->saveAnswer = answer;
        editor->findChild<QAction *>(action.kind == Kind::Open ? u"actionOpen"_s : u"actionSave"_s)
            ->trigger();
        break;
    }
    case Kind::Exit:
        editor->close();
        break;
    case Kind::Breakpoint:
        if (QLabel *label = editor->rowNumberLabel(action.a % rows); label && label->isVisible())
            QTest::mouseClick(label, Qt::LeftButton);
        break;
    case Kind::Help:
        if (action.b % 2 && run)
            QTest::keyClick(run, Qt::Key_F1);
        else
            QTest::keyClick(editor.get(), Qt::Key_F1);
        if (HelpWindow *help = HelpWindow::instance(); help && action.a % 2)
            help->close();
        break;
    case Kind::Step:
    case Kind::RunToEnd:
    case Kind::StepBack:
        if (!run)
            break;
        ++counts.runPresses;
        if (action.kind == Kind::Step)
            clickButton(run, "nextButton");
        else if (action.kind == Kind::RunToEnd)
            clickButton(run, "endButton");
        else if (action.b % 2)
            QTest::keyClick(run, Qt::Key_Backspace);
        else
            clickButton(run, "pushButton_3");
        if (shadow) {
            shadow->enteredBytes = std::exchange(enteredBytes, {});
            if (action.kind == Kind::Step)
                shadow->engine.executeStep();
            else if (action.kind == Kind::RunToEnd) {
                shadow->engine.setBreakpoints(editor->findChild<RowMarks *>()->breakpoints());
                shadow->engine.runToEnd();
            } else if (run && run->findChild<QPushButton *>(u"pushButton_3"_s)->isVisible())
                shadow->engine.stepBack();
        }
        break;
    case Kind::Escape:
        if (run)
            QTest::keyClick(run, Qt::Key_Escape);
        break;
    case Kind::CloseRun:
        if (run)
            run->close();
        break;
    // Undo and redo go here once the editor has them.
    case Kind::Count:
        break;
    }
    settle();
    if (!run)
        shadow.reset();
    if (!run || !shadow || action.kind < Kind::Step)
        syncShadowMemory();
}

QString Session::check()
{
    if (!caughtWarning.isEmpty())
        return u"Qt warning: "_s + caughtWarning;
    const orb::TableRows &rows = editor->tableRows();
    const int n = rows.rowCount();
    if (n != editor->stringCount() || n < 1 || n > MainWindow::maxStringCount)
        return u"stringCount %1"_s.arg(n);

    int wrong = 0;
    const QWidget *focus = QApplication::focusWidget();
    for (int row = 0; row < n; ++row) {
        for (int field = 0; field < orb::fieldCount; ++field) {
            const bool correct = rows.isCorrect(row, field);
            wrong += correct ? 0 : 1;
            // A cell that has been left has had its check: what the check refuses is red.
            const TTLineEdit *cell = nullptr;
            const QString text = rows.cellText(row, field);
            if (focus) {
                if (auto *edit = qobject_cast<const TTLineEdit *>(focus);
                    edit && edit->row() == row && edit->field() == field)
                    cell = edit;
            }
            if (cell || !correct)
                continue;
            bool refused = false;
            if (orb::isStateField(field)) {
                refused = !orb::isStateTextValid(text);
            } else if (field == orb::ConditionsField) {
                orb::ParsedConditions parsed;
                refused = !orb::checkTransitionConditions(text, parsed);
            } else {
                orb::ParsedSignals parsed;
                refused = !orb::checkControlSignals(text, parsed);
            }
            if (refused)
                return u"row %1 field %2 \"%3\" is refused by its check but not red"_s.arg(row + 1)
                    .arg(field)
                    .arg(text);
        }
    }
    if (wrong != editor->errorCount())
        return u"errorCount %1, red cells %2"_s.arg(editor->errorCount()).arg(wrong);

    for (int row : {0, n / 2, n - 1}) {
        const QLabel *label = editor->rowNumberLabel(row);
        if (!label || label->text() != QString::number(row + 1))
            return u"row %1 is labelled \"%2\""_s.arg(row + 1).arg(label ? label->text()
                                                                         : u"<none>"_s);
    }

    const bool locked = !editor->findChild<QWidget *>(u"scrollAreaContents"_s)->isEnabled();
    const bool exists = findRun() != nullptr;
    if (locked != exists || (run != nullptr) != exists)
        return u"table locked %1 with an execution window %2"_s.arg(locked).arg(exists);

    // The document as Save would write it, read back.
    QList<orb::RowTexts> texts;
    for (int row = 0; row < n; ++row) {
        orb::RowTexts rowTexts;
        for (int field = 0; field < orb::fieldCount; ++field)
            rowTexts[size_t(field)] = rows.cellText(row, field);
        texts << rowTexts;
    }
    QStringList memory;
    for (int address = 0; address < orb::memoryCellCount; ++address)
        memory << editor->ramCell(address / 16, address % 16)->text();
    const std::optional<orb::LoadedDocument> document =
        orb::parseDocumentText(orb::serializeDocumentText(texts, memory));
    if (!document || document->rowCount != n)
        return u"the document does not read back"_s;
    for (int row = 0; row < n; ++row) {
        for (int field = 0; field < orb::fieldCount; ++field) {
            const QString read = document->cells.value(row * orb::fieldCount + field);
            // Line breaks and NULs, which only a read file can put into a cell, are stored
            // as blanks.
            QString stored = rows.cellText(row, field);
            for (QChar &c : stored) {
                if (c == u'\n' || c == u'\r' || c == u'\0')
                    c = u' ';
            }
            if (read != stored)
                return u"row %1 field %2 reads back as \"%3\", not \"%4\""_s.arg(row + 1)
                    .arg(field)
                    .arg(read, rows.cellText(row, field));
        }
    }
    // The launch and the programs that run a document agree on what runs. The saved document
    // is opened again as orb-run and orb-grade open it; the editor's own marks may differ from
    // its marks where the order of the edits cleared one (emptied signals clear both state
    // marks), but the table runs exactly when that document has no red cell: judged as a launch
    // judges it (a cell in editing is not yet judged), and when the start button really is
    // released.
    orb::HeadlessTable table;
    orb::loadTable(table, *document);
    table.judgeForLaunch();
    if (!qobject_cast<const TTLineEdit *>(focus) && launchRuns(rows) != (table.errorCount() == 0))
        return table.errorCount() == 0 ? u"the launch refuses a table whose document runs"_s
                                       : u"the launch runs a table whose document reads back with "
                                         u"red cells"_s;
    if (std::exchange(launchPressed, false)) {
        if (run && table.errorCount() > 0)
            return u"the execution window runs a table whose document has red cells"_s;
        if (!run && rows.errorCount() == 0)
            return u"the launch refused a table without red cells"_s;
    }
    for (int address = 0; address < orb::memoryCellCount; ++address) {
        if (orb::readMemoryByte(document->memory.value(address)) !=
            orb::readMemoryByte(memory[address]))
            return u"memory byte %1 reads back wrong"_s.arg(address);
    }
    return checkRun();
}

QString Session::checkRun()
{
    if (!run || !shadow)
        return {};
    if (shadow->missingByte)
        return u"the shadow run asked for a data byte the window did not"_s;
    if (!shadow->enteredBytes.empty())
        return u"the window asked for a data byte the shadow run did not"_s;
    for (int address = 0; address < orb::memoryCellCount; ++address) {
        const int cell = orb::readMemoryByte(editor->ramCell(address / 16, address % 16)->text());
        if (cell != shadowMemory->bytes[size_t(address)])
            return u"memory byte %1 is %2, the shadow run has %3"_s.arg(address).arg(cell).arg(
                shadowMemory->bytes[size_t(address)]);
    }
    const auto before = panelValues(shadow->engine.beforePanel());
    const auto after = panelValues(shadow->engine.afterPanel().registers);
    const auto &keys = ExecutionWindow::panelCellKeys();
    for (int i = 0; i < ExecutionWindow::panelCellCount; ++i) {
        for (const auto &[suffix, values] :
             {std::pair{"BeforeLabel", &before}, std::pair{"AfterLabel", &after}}) {
            const QString name = QLatin1String(keys[size_t(i)]) + QLatin1String(suffix);
            const int value = (*values)[size_t(i)];
            const QString expected = i < ExecutionWindow::registerCellCount
                                         ? orb::formatHex(value)
                                         : QString::number(value);
            auto *label = run->findChild<QLabel *>(name);
            if (!label || label->text() != expected)
                return u"%1 shows \"%2\", the shadow run %3"_s.arg(
                    name, label ? label->text() : u"<none>"_s, expected);
        }
    }
    if (!shadow->engine.endScreenShown()) {
        const QString step = run->findChild<QLabel *>(u"stepLabel"_s)->text();
        if (step != QString::number(shadow->engine.afterPanel().stepLabel()))
            return u"step %1, the shadow run %2"_s.arg(step).arg(
                shadow->engine.afterPanel().stepLabel());
    }
    return {};
}

} // namespace

QString Action::describe() const
{
    QString line =
        QLatin1String(kindNames[int(kind)]) + u' ' + QString::number(a) + u' ' + QString::number(b);
    if (!text.isEmpty())
        line += u" \""_s + text + u'"';
    return line;
}

std::vector<Action> generate(quint64 seed, int count)
{
    std::mt19937 random(quint32(seed ^ (seed >> 32)));
    // Editing is most of what a user does; run actions are frequent enough that runs get long.
    static const std::pair<Kind, int> weights[] = {
        {Kind::Type, 30},    {Kind::Key, 22},       {Kind::RamType, 6}, {Kind::RamKey, 4},
        {Kind::Button, 10},  {Kind::New, 1},        {Kind::Open, 4},    {Kind::Save, 2},
        {Kind::Exit, 1},     {Kind::Breakpoint, 3}, {Kind::Help, 1},    {Kind::Step, 12},
        {Kind::RunToEnd, 3}, {Kind::StepBack, 4},   {Kind::Escape, 1},  {Kind::CloseRun, 1}};
    int total = 0;
    for (const auto &[kind, weight] : weights)
        total += weight;
    std::vector<Action> actions;
    while (int(actions.size()) < count) {
        int pick = int(random() % quint32(total));
        Action action;
        for (const auto &[kind, weight] : weights) {
            if (pick < weight) {
                action.kind = kind;
                break;
            }
            pick -= weight;
        }
        action.a = int(random() % 1000);
        action.b = int(random() % 1000);
        action.answers = quint32(random());
        if (action.kind == Kind::Type)
            action.text = randomText(random);
        else if (action.kind == Kind::RamType)
            action.text = randomHex(random);
        else if (action.kind == Kind::Button && random() % 3 == 0)
            action.a = 2; // the start button, so that runs happen
        else if (action.kind == Kind::Open && random() % 2 == 0)
            action.a = pathCount - 1 - int(random() % 3); // a working program
        actions.push_back(action);
        // After a launch a user mostly presses on in the run for a while.
        if (action.kind == Kind::Button && action.a % buttonCount == 2) {
            static const Kind burst[] = {Kind::Step,     Kind::Step,       Kind::Step,
                                         Kind::Step,     Kind::StepBack,   Kind::StepBack,
                                         Kind::RunToEnd, Kind::Breakpoint, Kind::RamType};
            for (int press = int(random() % 25); press > 0 && int(actions.size()) < count;
                 --press) {
                Action next;
                next.kind = burst[random() % std::size(burst)];
                next.a = int(random() % 1000);
                next.b = int(random() % 1000);
                next.answers = quint32(random());
                if (next.kind == Kind::RamType)
                    next.text = randomHex(random);
                actions.push_back(next);
            }
        }
    }
    actions.resize(size_t(std::min<qsizetype>(qsizetype(actions.size()), count)));
    return actions;
}

Outcome runActions(const std::vector<Action> &actions, quint64 seed)
{
    caughtWarning.clear();
    Outcome outcome;
    Session session(seed);
    if (QString failure = session.check(); !failure.isEmpty()) {
        outcome.failure = u"before any action: "_s + failure;
        return outcome;
    }
    for (const Action &action : actions) {
        ++outcome.done;
        session.perform(action);
        outcome.failure = session.check();
        if (!outcome.failure.isEmpty())
            break;
    }
    return outcome;
}

QString writeScript(const std::vector<Action> &actions, quint64 seed)
{
    QString script = u"seed %1\n"_s.arg(seed);
    for (const Action &action : actions)
        script += QLatin1String(kindNames[int(action.kind)]) + u' ' + QString::number(action.a) +
                  u' ' + QString::number(action.b) + u' ' + QString::number(action.answers) + u' ' +
                  QString::fromLatin1(action.text.toUtf8().toPercentEncoding()) + u'\n';
    return script;
}

std::vector<Action> readScript(const QString &script, quint64 *seed)
{
    std::vector<Action> actions;
    for (const QString &line : script.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(u' ');
        if (parts.size() == 2 && parts[0] == u"seed"_s) {
            *seed = parts[1].toULongLong();
            continue;
        }
        if (parts.size() < 4 || line.startsWith(u'#'))
            continue;
        Action action;
        for (int kind = 0; kind < int(Kind::Count); ++kind) {
            if (parts[0] == QLatin1String(kindNames[kind]))
                action.kind = Kind(kind);
        }
        action.a = parts[1].toInt();
        action.b = parts[2].toInt();
        action.answers = parts[3].toUInt();
        if (parts.size() > 4)
            action.text = QString::fromUtf8(QByteArray::fromPercentEncoding(parts[4].toLatin1()));
        actions.push_back(action);
    }
    return actions;
}

const Counts &totals()
{
    return counts;
}

void installWarningTrap()
{
    qInstallMessageHandler(trapMessages);
}

} // namespace monkey
