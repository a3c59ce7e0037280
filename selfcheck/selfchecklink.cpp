// SPDX-License-Identifier: GPL-3.0-or-later

#include "selfcheck/selfchecklink.h"

#include "app/mainwindow.h"
#include "cells/memorybyte.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "selfcheck/selfcheckwindow.h"
#include "sim/executionwindow.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

SelfCheckLink::SelfCheckLink(MainWindow *window) : QObject(window), window_(window)
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

    const orb::TableRows &rows = window->tableRows();
    for (auto change : {&orb::TableRows::rowsInserted, &orb::TableRows::rowsRemoved})
        connect(&rows, change, this, &SelfCheckLink::scheduleCheck);
    connect(&rows, &orb::TableRows::rowsMoved, this, &SelfCheckLink::scheduleCheck);
    connect(&rows, &orb::TableRows::rowsReset, this, &SelfCheckLink::scheduleCheck);
    // A cell's text changes with every key typed into it; it is checked once it is left. Any
    // other change of a row (undo, a moved row) is checked as it comes. Judged once every
    // follower of the rows has had the change, so that the cell shows what the row holds.
    connect(&rows, &orb::TableRows::rowsChanged, this, [this] {
        if (!check_ || !check_->isVisible())
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                auto *cell = qobject_cast<TTLineEdit *>(QApplication::focusWidget());
                if (!cell || cell->window() != window_ || !cell->isModified())
                    scheduleCheck();
            },
            Qt::QueuedConnection);
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *) {
        // Leaving a cell commits it; a typed memory byte moves the focus on to the next one.
        if (!old || old->window() != window_)
            return;
        if (qobject_cast<TTLineEdit *>(old) || qobject_cast<RamLineEdit *>(old))
            scheduleCheck();
    });
    // New and Open: another document, perhaps with a test file of its own.
    connect(window, &MainWindow::closed, this, [this] {
        if (!check_ || !check_->isVisible())
            return;
        if (const QString found = testPaths_.value(documentKey(), findTestFile());
            !found.isEmpty() && found != testPath_) {
            testPath_ = found;
            loadTestFile();
        }
        scheduleCheck();
    });
    connect(window, &MainWindow::launched, this, &SelfCheckLink::attach);
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
    return window_->documentPath();
}

QString SelfCheckLink::findTestFile()
{
    const QString document = window_->documentPath();
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
                                   : !window_->documentPath().isEmpty()
                                       ? QFileInfo(window_->documentPath()).path()
                                       : QDir::homePath();
            useTestFile(chooseTestFile(check_, folder));
        });
        connect(check_, &SelfCheckWindow::cellChosen, this, &SelfCheckLink::chooseCell);
    }
    QString path = testPaths_.value(documentKey());
    if (path.isEmpty())
        path = findTestFile();
    if (path.isEmpty()) {
        const QString document = window_->documentPath();
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
    snapshot.rows = window_->tableRows().rows();
    for (int address = 0; address < 256; ++address)
        snapshot.memory.bytes[size_t(address)] =
            quint8(orb::readMemoryByte(window_->ramCell(address / 16, address % 16)->text()));
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

void SelfCheckLink::chooseCell(int row, int field)
{
    if (row < 0 || row >= window_->stringCount())
        return;
    window_->selectCell(row, orb::gridColumnOfField(field < 0 ? orb::SourceStateField : field));
}
