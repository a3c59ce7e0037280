// SPDX-License-Identifier: GPL-3.0-or-later
//
// The check window through the real windows: F8 on a saved document with its test file beside
// it, the results following an edit of the table, the document untouched by the checks, and
// how a test file is chosen and refused.

#include "editorfixture.h"
#include "testutil.h"

#include "app/mainwindow.h"
#include "cells/ramlineedit.h"
#include "selfcheck/casememoryview.h"
#include "selfcheck/selfchecklink.h"
#include "selfcheck/selfcheckwindow.h"
#include "sim/executionwindow.h"
#include "undo/documenthistory.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

using namespace Qt::StringLiterals;

namespace {

// Everything of the document a check could change: each cell's text and mark, the memory, the
// history.
struct DocumentState {
    QStringList cells;
    QStringList memory;
    int undoCount = 0;
    int undoIndex = 0;

    static DocumentState of(MainWindow &window)
    {
        DocumentState state{{},
                            window.memory().texts(),
                            window.history().stack().count(),
                            window.history().stack().index()};
        for (const auto &row : window.tableRows().rows()) {
            for (const auto &cell : row.cells)
                state.cells << cell.text + QLatin1Char(cell.correct ? '+' : '-');
        }
        return state;
    }
    bool operator==(const DocumentState &) const = default;
};

QStringList column(const SelfCheckWindow &check, int column)
{
    QStringList texts;
    const QStandardItemModel *model = check.casesModel();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->item(row, column)->text();
    return texts;
}

// Opens case `row` of the check window with Enter, as a student does.
ExecutionWindow *showCase(SelfCheckLink &link, int row)
{
    QTableView *view = link.checkWindow()->casesView();
    view->setFocus(Qt::OtherFocusReason);
    view->setCurrentIndex(view->model()->index(row, 0));
    QTest::keyClick(view, Qt::Key_Return);
    return link.caseRun();
}

} // namespace

class TestSelfCheckWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }
    void checksAndFollowsTheTable();
    void testFileChoiceAndMistakes();
    void showsACaseOnItsOwnData();

private:
    QTemporaryDir dir_;
};

void TestSelfCheckWindow::checksAndFollowsTheTable()
{
    // The sum example saved with its first transition going nowhere, and its teacher's cases.
    QByteArray document =
        testutil::readAll(QStringLiteral(ORB_SOURCE_DIR "/examples/01-add-two-bytes.orb"));
    QVERIFY(document.startsWith("MKT8\n0\n1\n"));
    document.replace(0, 9, "MKT8\n0\n9\n");
    const QString folder = dir_.filePath(u"sum"_s);
    QVERIFY(QDir().mkpath(folder));
    testutil::writeAll(folder + u"/sum.orb"_s, document);
    testutil::writeAll(folder + u"/sum.orbtest"_s,
                       "case sum\n expect M02=3C end=success\n"
                       "case small\n points 2\n set M00=01 M01=02\n expect M02=03\n"
                       "case never\n visibility hidden\n expect A=01\n");

    auto window = editortest::showWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QVERIFY(window->openDocument(folder + u"/sum.orb"_s));
    auto *link = window->findChild<SelfCheckLink *>();
    QVERIFY(link);
    link->chooseTestFile = [](QWidget *, const QString &) {
        qFatal("the only test file beside the document is taken without asking");
        return QString();
    };
    const DocumentState opened = DocumentState::of(*window);

    QTest::keyClick(window.get(), Qt::Key_F8);
    SelfCheckWindow *check = link->checkWindow();
    QVERIFY(check && check->isVisible());
    QCOMPARE(check->windowTitle(), u"ORB — проверка"_s);
    QTRY_VERIFY(link->outcome() && !link->checking());
    QCOMPARE(check->summary(), u"Зачтено 0 из 3, баллы 0 из 4"_s);
    QCOMPARE(column(*check, SelfCheckWindow::NameColumn),
             (QStringList{u"sum"_s, u"small"_s, u"never (скрытый)"_s}));
    QCOMPARE(column(*check, SelfCheckWindow::ResultColumn), QStringList(3, u"остановилась"_s));
    QCOMPARE(column(*check, SelfCheckWindow::FailureColumn),
             QStringList(3, u"не описан переход из состояния 9"_s));
    QCOMPARE(check->selectedCase(), 0);
    // The missing state 9 is orb-check's finding on row 1; a double-click on it goes there.
    auto *problems = testutil::child<QListWidget>(check, "problemsList");
    const QList<QListWidgetItem *> rowOne =
        problems->findItems(u"строка 1: "_s, Qt::MatchStartsWith);
    QCOMPARE(rowOne.size(), 1);
    QVERIFY2(rowOne.first()->text().contains(u"состояние 9"_s), qPrintable(rowOne.first()->text()));
    editortest::focusCell(*window, 2, 8);
    const QPoint at = problems->visualItemRect(rowOne.first()).center();
    QTest::mouseClick(problems->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(problems->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(QApplication::focusWidget(), window->ttCell(0, 2));
    testutil::renderToPng(check, u"selfcheck-window-failing"_s);
    QVERIFY(DocumentState::of(*window) == opened);

    // Mending the next state turns the cases green without another key.
    editortest::focusCell(*window, 0, 4);
    QTRY_VERIFY(!link->checking());
    QTest::keyClick(editortest::focused(), Qt::Key_End);
    QTest::keyClick(editortest::focused(), Qt::Key_Backspace);
    editortest::type(u"1"_s);
    // Typing is not checked: the cell is, once it is left.
    QTest::qWait(3 * SelfCheckLink::recheckDelayMs);
    QVERIFY(!link->checking());
    QCOMPARE(check->summary(), u"Зачтено 0 из 3, баллы 0 из 4"_s);
    editortest::focusCell(*window, 1, 4);
    QTRY_COMPARE(check->summary(), u"Зачтено 2 из 3, баллы 3 из 4"_s);
    QCOMPARE(column(*check, SelfCheckWindow::ResultColumn),
             (QStringList{u"зачтено"_s, u"зачтено"_s, u"неверный результат"_s}));
    QCOMPARE(column(*check, SelfCheckWindow::FailureColumn).last(),
             u"A: ожидалось 01, получено 3C"_s);
    QCOMPARE(check->selectedCase(), 2);
    QCOMPARE(check->casesModel()->item(0, 0)->background().color(), QColor(101, 220, 177));
    QVERIFY(check->casesModel()->item(2, 0)->background().color() != QColor(101, 220, 177));
    QCOMPARE(problems->count(), 0);
    testutil::renderToPng(check, u"selfcheck-window"_s);

    // A case is shown in the execution window over its own memory: the memory page shows that
    // read-only, the end screen lists what failed, and the document is as it was afterwards.
    const DocumentState mended = DocumentState::of(*window);
    QVERIFY(!window->findChild<CaseMemoryView *>());
    ExecutionWindow *run = showCase(*link, 1);
    QVERIFY(run && run->isVisible());
    QVERIFY2(run->windowTitle().endsWith(u" — случай «small»"_s), qPrintable(run->windowTitle()));
    auto *caseMemory = window->findChild<CaseMemoryView *>();
    QVERIFY(caseMemory && !caseMemory->isHidden());
    QCOMPARE(caseMemory->item(0, 0)->text(), u"01"_s);
    const auto pressKey = [](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Space); };
    testutil::DialogAnswerer stop(pressKey); // y70's "СТОП"
    run->runToEnd();
    run->executeStep();
    QCOMPARE(caseMemory->item(0, 2)->text(), u"03"_s);
    auto *operation = testutil::child<QLabel>(run, "operationLabel");
    QCOMPARE(operation->text(), u"Успешное завершение программы"_s);
    QCOMPARE(testutil::child<QLabel>(run, "caseNotesLabel")->text(), u"Случай зачтён"_s);
    QVERIFY(DocumentState::of(*window) == mended);
    run->close();
    QTRY_VERIFY(!link->caseRun() && !window->findChild<CaseMemoryView *>());
    run = showCase(*link, 2);
    QVERIFY(run);
    testutil::DialogAnswerer stopAgain(pressKey);
    run->runToEnd();
    run->executeStep();
    QCOMPARE(testutil::child<QLabel>(run, "caseNotesLabel")->text(),
             u"Не совпало:\nA: ожидалось 01, получено 3C"_s);
    testutil::renderToPng(run, u"selfcheck-case-end"_s);
    run->close();
    QTRY_VERIFY(!link->caseRun());
    QVERIFY(DocumentState::of(*window) == mended);
    QVERIFY(testutil::activate(window.get()));

    // A memory byte typed on the memory page is checked too.
    QTest::mouseClick(testutil::child<QPushButton>(window.get(), "ramButton"), Qt::LeftButton);
    QTest::mouseClick(window->ramCell(0, 0), Qt::LeftButton);
    editortest::type(u"00"_s);
    QTRY_COMPARE(check->summary(), u"Зачтено 1 из 3, баллы 2 из 4"_s);
    QCOMPARE(column(*check, SelfCheckWindow::FailureColumn).first(),
             u"M02: ожидалось 3C, получено 17"_s);
    QCOMPARE(DocumentState::of(*window).cells.size(), mended.cells.size());
}

void TestSelfCheckWindow::testFileChoiceAndMistakes()
{
    // A new document has no folder: the file dialog is asked, once; the file it gave is used
    // again for the same document.
    auto window = editortest::showWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *link = window->findChild<SelfCheckLink *>();
    const QString broken = dir_.filePath(u"broken.orbtest"_s);
    testutil::writeAll(broken, "case a\n expect Q=01\n");
    int asked = 0;
    link->chooseTestFile = [&](QWidget *, const QString &) {
        ++asked;
        return broken;
    };
    link->showCheck();
    QTest::ignoreMessage(QtWarningMsg, "This plugin does not support raise()");
    link->showCheck();
    QCOMPARE(asked, 1);
    SelfCheckWindow *check = link->checkWindow();
    auto *problems = testutil::child<QListWidget>(check, "problemsList");
    QCOMPARE(problems->count(), 1);
    QCOMPARE(problems->item(0)->text(), broken + u":2: unknown name \"Q\""_s);
    QCOMPARE(check->casesModel()->rowCount(), 0);
    QVERIFY(!link->checking());
    QVERIFY(!link->outcome());

    // "Другой файл…" asks again and runs the new file's cases.
    const QString good = dir_.filePath(u"good.orbtest"_s);
    testutil::writeAll(good, "case empty table stops\n expect end=stopped\n");
    link->chooseTestFile = [&](QWidget *, const QString &) { return good; };
    QTest::mouseClick(testutil::child<QPushButton>(check, "otherFileButton"), Qt::LeftButton);
    QTRY_COMPARE(check->summary(), u"Зачтено 1 из 1, баллы 1 из 1"_s);
    QCOMPARE(link->testFilePath(), good);
}

void TestSelfCheckWindow::showsACaseOnItsOwnData()
{
    // The largest of the bytes typed in, shown with y67; the case expects another byte shown.
    const QString folder = dir_.filePath(u"largest"_s);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(QStringLiteral(ORB_SOURCE_DIR "/examples/05-input-largest-byte.orb"),
                        folder + u"/largest.orb"_s));
    testutil::writeAll(folder + u"/largest.orbtest"_s,
                       "case largest\n input 12 7F 05 80 00\n display 81\n expect end=success\n");
    auto window = editortest::showWindow();
    QVERIFY(window->openDocument(folder + u"/largest.orb"_s));
    auto *link = window->findChild<SelfCheckLink *>();
    link->showCheck();
    QTRY_COMPARE(link->checkWindow()->summary(), u"Зачтено 0 из 1, баллы 0 из 1"_s);
    const DocumentState opened = DocumentState::of(*window);

    // Each y66 offers the case's next byte already typed; Enter takes it.
    QStringList offered;
    QStringList messages;
    testutil::DialogAnswerer answerer;
    answerer.answerEvery([&](QDialog *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(u"byteLineEdit"_s);
        if (edit && !edit->isHidden()) {
            offered << edit->text();
            QTest::keyClick(edit, Qt::Key_Return);
        } else {
            messages << testutil::child<QLabel>(dialog, "infoLabel")->text();
            QTest::keyClick(dialog, Qt::Key_Space);
        }
    });
    ExecutionWindow *run = showCase(*link, 0);
    QVERIFY(run);
    // The display that does not hold stops the run to the end at its y67, and says why.
    run->runToEnd();
    auto *operation = testutil::child<QLabel>(run, "operationLabel");
    QCOMPARE(operation->text(), u"Остановка: вывод: ожидалось 81, показано 80"_s);
    QCOMPARE(offered, (QStringList{u"12"_s, u"7F"_s, u"05"_s, u"80"_s, u"00"_s}));
    QCOMPARE(messages, QStringList{u"A = 80"_s});
    // Stepped back over it, the display holds again until y67 shows the byte once more.
    run->stepBack();
    run->runToEnd();
    QCOMPARE(operation->text(), u"Остановка: вывод: ожидалось 81, показано 80"_s);
    run->runToEnd();
    run->executeStep();
    QCOMPARE(operation->text(), u"Успешное завершение программы"_s);
    QCOMPARE(testutil::child<QLabel>(run, "caseNotesLabel")->text(),
             u"Не совпало:\nвывод: ожидалось 81, показано 80"_s);
    run->close();
    QTRY_VERIFY(!link->caseRun());
    QVERIFY(DocumentState::of(*window) == opened);
}

QTEST_MAIN(TestSelfCheckWindow)
#include "tst_selfcheckwindow.moc"
