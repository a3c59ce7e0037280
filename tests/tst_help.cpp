// SPDX-License-Identifier: GPL-3.0-or-later
//
// The help window: the students' part of the guide rendered with its pictures, a table of
// contents that reaches every heading, links between sections that land on their heading,
// F1 from the main window and from the execution window, and the column headings' tool tips
// that point to it.

#include "app/helpwindow.h"
#include "app/mainwindow.h"
#include "editorfixture.h"
#include "sim/executionwindow.h"
#include "testutil.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QUrl>

#include <memory>

using testutil::activate;
using testutil::child;

using namespace Qt::StringLiterals;

namespace {

struct Link {
    QString href;
    int position; // inside the link's text
};

QList<Link> linksOf(const QTextDocument *document)
{
    QList<Link> links;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString href = fragment.charFormat().anchorHref();
            if (!href.isEmpty())
                links << Link{href, fragment.position() + fragment.length() / 2};
        }
    }
    return links;
}

// The heading block that carries an anchor.
QTextBlock headingWithAnchor(const QTextDocument *document, const QString &anchor)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0 &&
            block.begin().fragment().charFormat().anchorNames().contains(anchor))
            return block;
    }
    return QTextBlock();
}

// Whether the view shows the heading at its top, or is scrolled as far as it goes towards it.
bool scrolledTo(QTextBrowser *browser, const QTextBlock &block)
{
    const qreal top = browser->document()->documentLayout()->blockBoundingRect(block).top();
    const QScrollBar *bar = browser->verticalScrollBar();
    return qAbs(bar->value() - qMin<qreal>(top, bar->maximum())) <= 1;
}

void closeHelp()
{
    delete HelpWindow::instance();
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }
    void cleanup() { closeHelp(); }

    // The students' part ends where the teachers' begins; the window is an ordinary,
    // resizable window with the help's title and a contents entry for every heading.
    void studentPartAndContents()
    {
        const QString guide = HelpWindow::studentGuide();
        QVERIFY(guide.startsWith(u"# ORB: руководство пользователя"_s));
        QVERIFY(guide.contains(u"\n### Клавиши\n"_s));
        QVERIFY(!guide.contains(u"Для преподавателей"_s));
        QVERIFY(!guide.contains(u"orb-run [--input"_s));

        HelpWindow *window = HelpWindow::showHelp();
        // F1 again raises the same window (a request the offscreen platform cannot follow).
        QTest::ignoreMessage(QtWarningMsg, "This plugin does not support raise()");
        QCOMPARE(HelpWindow::showHelp(), window);
        QCOMPARE(window->windowTitle(), u"ORB — справка"_s);
        QVERIFY(window->isWindow());
        QCOMPARE(window->windowModality(), Qt::NonModal);
        QVERIFY(window->minimumSize() != window->maximumSize());
        QVERIFY(!window->testAttribute(Qt::WA_QuitOnClose));

        QStringList treeAnchors;
        QList<QTreeWidgetItem *> pending;
        for (int i = 0; i < window->contents()->topLevelItemCount(); ++i)
            pending << window->contents()->topLevelItem(i);
        while (!pending.isEmpty()) {
            QTreeWidgetItem *item = pending.takeFirst();
            treeAnchors << item->data(0, Qt::UserRole).toString();
            for (int i = item->childCount() - 1; i >= 0; --i)
                pending.prepend(item->child(i));
        }
        QCOMPARE(treeAnchors, window->anchors());
        for (const char16_t *anchor :
             {u"для-студентов", u"процессор", u"язык-ячеек", u"функции-алу", u"микрооперации",
              u"клавиши", u"пример-сложение-двух-байтов"})
            QVERIFY2(window->anchors().contains(QString::fromUtf16(anchor)),
                     qPrintable(QString::fromUtf16(anchor)));
        // The sections sit under their part, the part under the title.
        QTreeWidgetItem *title = window->contents()->topLevelItem(0);
        QCOMPARE(window->contents()->topLevelItemCount(), 1);
        QCOMPARE(title->child(0)->text(0), u"Для студентов"_s);
        QVERIFY(title->child(0)->childCount() >= 8);
    }

    // The help opens wholly on the screen: kept where it fits, moved in where it sticks out,
    // shrunk to a screen smaller than it.
    void fitsOnScreen_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("fitted");
        const QRect large(0, 0, 1920, 1080);
        QTest::newRow("fits") << QRect(100, 50, 1000, 720) << large << QRect(100, 50, 1000, 720);
        QTest::newRow("off the right and bottom")
            << QRect(1500, 900, 1000, 720) << large << QRect(920, 360, 1000, 720);
        QTest::newRow("off the left and top, panel at the top")
            << QRect(-50, 0, 1000, 720) << QRect(0, 30, 1920, 1050) << QRect(0, 30, 1000, 720);
        QTest::newRow("small screen")
            << QRect(200, 100, 1000, 720) << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600);
        QTest::newRow("second screen")
            << QRect(1900, 0, 1000, 720) << QRect(1920, 0, 1280, 1024) << QRect(1920, 0, 1000, 720);
    }
    void fitsOnScreen()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, available);
        QFETCH(QRect, fitted);
        QCOMPARE(HelpWindow::fitOnScreen(frame, available), fitted);
        HelpWindow *window = HelpWindow::showHelp();
        QVERIFY(window->screen()->availableGeometry().contains(window->frameGeometry()));
    }

    // The help starts with the tutorial; the search field finds a text, goes on to the next
    // match with Enter, round to the first, and says when there is none.
    void tutorialAndSearch()
    {
        HelpWindow *window = HelpWindow::showHelp();
        QCOMPARE(window->anchors().value(2), u"первая-программа"_s);
        QVERIFY(HelpWindow::studentGuide().contains(u"Успешное завершение программы"_s));
        QLineEdit *search = child<QLineEdit>(window, "searchField");
        QTest::keyClicks(search, u"F8"_s);
        QTextCursor first = window->browser()->textCursor();
        QCOMPARE(first.selectedText(), u"F8"_s);
        int matches = 1;
        for (;; ++matches) {
            QTest::keyClick(search, Qt::Key_Return);
            if (window->browser()->textCursor().selectionStart() == first.selectionStart())
                break;
            QVERIFY(matches < 50);
        }
        QVERIFY(matches >= 2);
        QTest::keyClicks(search, u"qqq"_s);
        QVERIFY(!window->find(search->text()));
        QVERIFY(!search->styleSheet().isEmpty());
    }

    // Every link of the help is a section of it and lands there, by a call and by a click;
    // an entry of the contents does the same; a link to nowhere changes nothing.
    void linksAndContentsReachTheirHeadings()
    {
        HelpWindow *window = HelpWindow::showHelp();
        window->resize(900, 600);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTextBrowser *browser = window->browser();
        const QList<Link> links = linksOf(browser->document());
        QVERIFY(links.size() >= 3);
        for (const Link &link : links) {
            const QUrl url(link.href);
            QVERIFY2(url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment(),
                     qPrintable(link.href));
            const QString anchor = url.fragment(QUrl::FullyDecoded);
            const QTextBlock heading = headingWithAnchor(browser->document(), anchor);
            QVERIFY2(heading.isValid(), qPrintable(link.href));
            browser->verticalScrollBar()->setValue(0);
            window->followLink(url);
            QVERIFY2(scrolledTo(browser, heading), qPrintable(link.href));
        }

        // A real click on the first link.
        const Link first = links.first();
        const QTextBlock target =
            headingWithAnchor(browser->document(), QUrl(first.href).fragment(QUrl::FullyDecoded));
        QTextCursor cursor(browser->document());
        cursor.setPosition(first.position);
        browser->verticalScrollBar()->setValue(0);
        browser->setTextCursor(cursor);
        browser->ensureCursorVisible();
        const QPoint point = browser->cursorRect(cursor).center();
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, point);
        QTRY_VERIFY(scrolledTo(browser, target));

        QTreeWidgetItem *memory =
            window->contents()
                ->findItems(u"Память"_s, Qt::MatchExactly | Qt::MatchRecursive)
                .value(0);
        QVERIFY(memory);
        browser->verticalScrollBar()->setValue(0);
        QTest::mouseClick(window->contents()->viewport(), Qt::LeftButton, {},
                          window->contents()->visualItemRect(memory).center());
        QVERIFY(scrolledTo(browser, headingWithAnchor(browser->document(), u"память"_s)));

        const int before = browser->verticalScrollBar()->value();
        QVERIFY(!window->openAnchor(u"нет-такого-раздела"_s));
        window->followLink(QUrl(u"#нет-такого-раздела"_s));
        window->followLink(QUrl(u"README.md"_s));
        QCOMPARE(browser->verticalScrollBar()->value(), before);
    }

    // Every picture of the guide is found and is a real image; the rendering is kept as PNG.
    void picturesAndRendering()
    {
        HelpWindow *window = HelpWindow::showHelp();
        window->resize(1000, 720);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTextBrowser *browser = window->browser();
        int pictures = 0;
        for (QTextBlock block = browser->document()->begin(); block.isValid();
             block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                if (!format.isImageFormat())
                    continue;
                const QString name = format.toImageFormat().name();
                const QVariant data =
                    browser->loadResource(QTextDocument::ImageResource, QUrl(name));
                QVERIFY2(!QImage::fromData(data.toByteArray()).isNull(), qPrintable(name));
                // Scaled down to the view when wider, never cut off.
                QVERIFY2(format.toImageFormat().width() <= browser->viewport()->width(),
                         qPrintable(name));
                ++pictures;
            }
        }
        QCOMPARE(pictures, 6);
        QVERIFY(window->openAnchor(u"главное-окно"_s));
        const QImage image = window->grab().toImage();
        QVERIFY(!image.isNull());
        QVERIFY(!testutil::renderToPng(window, u"help-window"_s).isEmpty());
    }

    // Anchors as a repository viewer makes them, so the same links work there and here.
    void headingAnchors_data()
    {
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("colon") << u"Пример: сложение двух байтов"_s
                               << u"пример-сложение-двух-байтов"_s;
        QTest::newRow("capitals") << u"Функции АЛУ"_s << u"функции-алу"_s;
        QTest::newRow("punctuation")
            << u"Программа orb-run (для всех)"_s << u"программа-orb-run-для-всех"_s;
    }
    void headingAnchors()
    {
        QFETCH(QString, heading);
        QFETCH(QString, anchor);
        QCOMPARE(HelpWindow::headingAnchor(heading), anchor);
    }

    // F1 opens the help from the editor and from a running program, and the help does not
    // block either window.
    void f1FromBothWindows()
    {
        auto window = std::make_unique<MainWindow>();
        QVERIFY(activate(window.get()));
        QVERIFY(!HelpWindow::instance());
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(),
                        Qt::Key_F1);
        QVERIFY(HelpWindow::instance());
        QTRY_VERIFY(HelpWindow::instance()->isVisible());
        closeHelp();

        QVERIFY(
            window->openDocument(QStringLiteral(ORB_SOURCE_DIR "/examples/01-add-two-bytes.orb")));
        QVERIFY(activate(window.get()));
        ExecutionWindow *execution = editortest::pressStart(*window);
        QVERIFY(execution);
        QVERIFY(activate(execution));
        const int step = execution->engine().state().stepCount;
        QTest::keyClick(execution->focusWidget() ? execution->focusWidget() : execution,
                        Qt::Key_F1);
        QVERIFY(HelpWindow::instance());
        QTRY_VERIFY(HelpWindow::instance()->isVisible());
        // F1 is no step; Enter in the execution window still steps while the help is open.
        QCOMPARE(execution->engine().state().stepCount, step);
        QVERIFY(activate(execution));
        QTest::keyClick(execution->focusWidget(), Qt::Key_Return);
        QCOMPARE(execution->engine().state().stepCount, step + 1);
        execution->close();
        QTRY_VERIFY(!qobject_cast<ExecutionWindow *>(QApplication::activeWindow()));
    }

    // The column headings explain their column in one line and point to the help; the Info
    // action keeps its tool tip.
    void headingToolTips()
    {
        MainWindow window;
        for (const char *name : {"label1", "label2", "label3", "label4"}) {
            const QString tip = child<QLabel>(&window, name)->toolTip();
            QVERIFY2(tip.endsWith(u". Справка: F1"_s), name);
            QVERIFY2(!tip.contains(u'\n'), name);
            QVERIFY2(tip.size() > 40, name);
        }
        QCOMPARE(window.findChild<QAction *>(u"info"_s)->toolTip(), u"Инфо"_s);
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
