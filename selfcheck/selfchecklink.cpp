// SPDX-License-Identifier: GPL-3.0-or-later

#include "selfcheck/selfchecklink.h"

#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "selfcheck/casememoryview.h"
#include "selfcheck/selfcheckwindow.h"
#include "sim/executionwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <memory>

using namespace Qt::StringLiterals;

SelfCheckLink::SelfCheckLink(QWidget *window, const orb::TableRows &rows,
                             const orb::MemoryModel &memory, CheckHost &host)
    : QObject(window), window_(window), rows_(rows), memory_(memory), host_(host)
{
    chooseTestFile = [](QWidget *parent, const QString &folder) {
        return QFileDialog::getOpenFileName(parent, QString(), folder, u"Тесты ORB (*.orbtest)"_s);
    };
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(recheckDelayMs);
    connect(timer_, &QTimer::timeout, this, &SelfCheckLink::startCheck);
    connect(&watcher_, &QFutureWatcher<orb::CheckOutcome>::finished, this,
            &SelfCheckLink::checkFinished);

    for (auto change : {&orb::TableRows::rowsInserted, &orb::TableRows::rowsRemoved})
        connect(&rows, change, this, &SelfCheckLink::scheduleCheck);
    connect(&rows, &orb::TableRows::rowsMoved, this, &SelfCheckLink::scheduleCheck);
    connect(&rows, &orb::TableRows::rowsReset, this, &SelfCheckLink::scheduleCheck);
    // A cell's text changes with every key typed into it; it is checked once it is left. Any
    // other change of a row or a byte (undo, a moved row, a program's write, Open) is checked
    // as it comes. Judged once every follower has had the change, so that the cell shows what
    // the row holds.
    const auto unlessTyped = [this] {
        if (!check_ || !check_->isVisible())
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                auto *cell = qobject_cast<QLineEdit *>(QApplication::focusWidget());
                const bool typing =
                    cell && cell->window() == window_ && cell->isModified() &&
                    (qobject_cast<TTLineEdit *>(cell) || qobject_cast<RamLineEdit *>(cell));
                if (!typing)
                    scheduleCheck();
            },
            Qt::QueuedConnection);
    };
    connect(&rows, &orb::TableRows::rowsChanged, this, unlessTyped);
    connect(&memory, &orb::MemoryModel::textChanged, this, unlessTyped);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *) {
        // Leaving a cell commits it; a typed memory byte moves the focus on to the next one.
        if (!old || old->window() != window_)
            return;
        if (qobject_cast<TTLineEdit *>(old) || qobject_cast<RamLineEdit *>(old))
            scheduleCheck();
    });
    installShortcut(window);
}

SelfCheckLink::~SelfCheckLink()
{
    watcher_.waitForFinished();
    delete check_;
}

QKeySequence SelfCheckLink::checkKey()
{
    return QKeySequence(Qt::Key_F8);
}

void SelfCheckLink::installShortcut(QWidget *window)
{
    auto *shortcut = new QShortcut(checkKey(), window);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] { showCheck(); });
}

void SelfCheckLink::documentReplaced()
{
    if (caseRun_)
        caseRun_->close();
    if (!check_ || !check_->isVisible())
        return;
    if (const QString found = testPaths_.value(documentKey(), findTestFile());
        !found.isEmpty() && found != testPath_) {
        testPath_ = found;
        loadTestFile();
    }
    scheduleCheck();
}

void SelfCheckLink::attach(ExecutionWindow *run)
{
    installShortcut(run);
}

SelfCheckWindow *SelfCheckLink::checkWindow() const
{
    return check_;
}

QString SelfCheckLink::documentKey() const
{
    return host_.documentPath();
}

QString SelfCheckLink::findTestFile()
{
    const QString document = host_.documentPath();
    if (document.isEmpty())
        return {};
    const QDir folder = QFileInfo(document).dir();
    const QStringList found = folder.entryList({u"*.orbtest"_s}, QDir::Files | QDir::Readable);
    return found.size() == 1 ? folder.filePath(found.first()) : QString();
}

SelfCheckWindow *SelfCheckLink::showCheck()
{
    if (!check_) {
        check_ = new SelfCheckWindow;
        connect(check_, &SelfCheckWindow::otherFileRequested, this, [this] {
            const QString folder = !testPath_.isEmpty() ? QFileInfo(testPath_).path()
                                   : !host_.documentPath().isEmpty()
                                       ? QFileInfo(host_.documentPath()).path()
                                       : QDir::homePath();
            useTestFile(chooseTestFile(check_, folder));
        });
        connect(check_, &SelfCheckWindow::cellChosen, this, &SelfCheckLink::chooseCell);
        connect(check_, &SelfCheckWindow::caseActivated, this, &SelfCheckLink::showCase);
    }
    QString path = testPaths_.value(documentKey());
    if (path.isEmpty())
        path = findTestFile();
    if (path.isEmpty()) {
        const QString document = host_.documentPath();
        path = chooseTestFile(window_,
                              document.isEmpty() ? QDir::homePath() : QFileInfo(document).path());
    }
    if (!path.isEmpty()) {
        testPath_ = path;
        loadTestFile();
    }
    if (check_->isVisible()) {
        check_->raise();
    } else {
        check_->show();
    }
    check_->activateWindow();
    if (tests_)
        startCheck();
    return check_;
}

void SelfCheckLink::useTestFile(const QString &path)
{
    if (path.isEmpty())
        return;
    testPath_ = path;
    loadTestFile();
    if (tests_)
        startCheck();
}

void SelfCheckLink::loadTestFile()
{
    testPaths_.insert(documentKey(), testPath_);
    check_->showTestFile(QDir::toNativeSeparators(testPath_));
    QString error;
    tests_ = orb::readTestFile(testPath_, &error);
    ++generation_;
    outcome_.reset();
    if (!tests_)
        check_->showTestFileError(error);
}

orb::CheckSnapshot SelfCheckLink::snapshot() const
{
    orb::CheckSnapshot snapshot;
    snapshot.rows = rows_.rows();
    snapshot.memory.bytes = memory_.bytes();
    return snapshot;
}

bool SelfCheckLink::checking() const
{
    return timer_->isActive() || watcher_.isRunning() || again_;
}

void SelfCheckLink::scheduleCheck()
{
    if (!tests_ || !check_ || !check_->isVisible())
        return;
    timer_->start();
}

void SelfCheckLink::startCheck()
{
    timer_->stop();
    if (!tests_)
        return;
    if (watcher_.isRunning()) {
        again_ = true;
        return;
    }
    again_ = false;
    runningGeneration_ = generation_;
    watcher_.setFuture(QtConcurrent::run(
        [snapshot = snapshot(), tests = *tests_] { return orb::checkSnapshot(snapshot, tests); }));
}

void SelfCheckLink::checkFinished()
{
    if (again_) {
        startCheck();
        return;
    }
    if (!tests_ || !check_)
        return;
    // A test file replaced while the check ran makes its outcome stale.
    if (runningGeneration_ != generation_) {
        startCheck();
        return;
    }
    outcome_ = watcher_.result();
    check_->showOutcome(*tests_, *outcome_);
    emit checked();
}

ExecutionWindow *SelfCheckLink::showCase(int index)
{
    if (!tests_ || index < 0 || index >= tests_->cases.size() || rows_.runLocked())
        return nullptr;
    const orb::TestCase &testCase = tests_->cases[index];
    // The run's own memory: the document's bytes with the case's written over them. It goes
    // with the window; the memory page shows it until then.
    auto *memory = new orb::MemoryModel(this);
    memory->setTexts(memory_.texts());
    for (const orb::Expectation &set : testCase.sets) {
        if (set.kind == orb::Expectation::Kind::Memory)
            memory->setText(set.index, orb::formatHex(set.value));
    }
    auto watch = std::make_shared<orb::CaseWatch>(testCase);
    orb::RunHooks hooks;
    hooks.prepare = [sets = testCase.sets](orb::Processor &processor) {
        for (const orb::Expectation &set : sets) {
            if (set.kind == orb::Expectation::Kind::Register)
                orb::setRegisterValue(processor, set.index, set.value);
            else if (set.kind == orb::Expectation::Kind::Flag)
                orb::setFlagValue(processor, set.index, set.value);
        }
    };
    hooks.inputs = testCase.inputs;
    hooks.displayed = [watch](int value) { return watch->shown(value); };
    hooks.displayTakenBack = [watch] { watch->unshow(); };
    hooks.endNotes = [watch, memory](const orb::Processor &processor, bool succeeded) {
        return watch->endFailures(processor, memory->bytes(),
                                  succeeded ? orb::RunSucceeded : orb::RunStopped);
    };
    ExecutionWindow *run = host_.launch([&] {
        auto *window = new ExecutionWindow(rows_, *memory, window_, std::move(hooks));
        window->setWindowTitle(u"%1 — случай «%2»"_s.arg(window->windowTitle(), testCase.name));
        return window;
    });
    if (!run) {
        delete memory;
        return nullptr;
    }
    auto *view = new CaseMemoryView(host_.ramTable(), *memory, testCase.name);
    connect(run, &QObject::destroyed, memory, [memory, view] {
        delete view;
        memory->deleteLater();
    });
    caseRun_ = run;
    return run;
}

ExecutionWindow *SelfCheckLink::caseRun() const
{
    return caseRun_;
}

void SelfCheckLink::chooseCell(int row, int field)
{
    if (row < 0 || row >= rows_.rowCount())
        return;
    host_.selectCell(row, orb::gridColumnOfField(field < 0 ? orb::SourceStateField : field));
}
