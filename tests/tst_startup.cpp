// SPDX-License-Identifier: GPL-3.0-or-later
//
// The command line of ORB: `orb FILE` opens FILE as Open does, whatever its suffix; a file
// that is no document is refused silently and further arguments are ignored; `orb --graph
// FILE` opens the graph window on it as well.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "cells/ramlineedit.h"
#include "graph/graphlink.h"
#include "graph/graphview.h"
#include "graph/graphwindow.h"
#include "testutil.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString example = QStringLiteral(ORB_SOURCE_DIR "/examples/01-add-two-bytes.orb");

// The example's table and its two data bytes.
void verifyExampleLoaded(const MainWindow &window)
{
    QCOMPARE(window.stringCount(), 8);
    const QStringList first{u"0"_s, u"1"_s, QString(), u"y43"_s};
    const QStringList last{u"7"_s, u"7"_s, QString(), u"y70"_s};
    for (int field = 0; field < 4; ++field) {
        QCOMPARE(window.cellText(0, 2 + 2 * field), first[field]);
        QCOMPARE(window.cellText(7, 2 + 2 * field), last[field]);
    }
    QCOMPARE(window.cellText(4, 8), u"y11,y14,y31,y45"_s);
    QCOMPARE(window.ramCell(0, 0)->text(), u"25"_s);
    QCOMPARE(window.ramCell(0, 1)->text(), u"17"_s);
    QCOMPARE(window.ramCell(0, 2)->text(), u"00"_s);
    QCOMPARE(window.errorCount(), 0);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    void opensTheFirstArgument()
    {
        MainWindow window;
        window.show();
        QVERIFY(orb::openFromArguments(window, {u"orb"_s, example}));
        verifyExampleLoaded(window);

        // Only the first argument counts.
        MainWindow second;
        second.show();
        QVERIFY(orb::openFromArguments(second, {u"orb"_s, example, u"/nonexistent.orb"_s}));
        verifyExampleLoaded(second);
    }

    // --graph opens the graph window on the document, laid out; without a document, on the
    // empty table; only as the first argument.
    void graphWindow()
    {
        MainWindow window;
        window.show();
        QVERIFY(orb::openFromArguments(window, {u"orb"_s, u"--graph"_s, example}));
        verifyExampleLoaded(window);
        GraphWindow *graph = window.findChild<GraphLink *>()->graphWindow();
        QVERIFY(graph && graph->isVisible());
        const orb::GraphLayout &layout = graph->view()->graphLayout();
        QCOMPARE(layout.nodes.size(), size_t(graph->view()->model().nodes.size()));
        QVERIFY(!layout.nodes.empty() && !layout.bounds.isEmpty());
        QVERIFY(graph->statusLabel()->text().startsWith(u"Состояний: "_s));
        graph->close();

        MainWindow empty;
        empty.show();
        QVERIFY(!orb::openFromArguments(empty, {u"orb"_s, u"--graph"_s}));
        QVERIFY(empty.findChild<GraphLink *>()->graphWindow());

        MainWindow last;
        last.show();
        QVERIFY(orb::openFromArguments(last, {u"orb"_s, example, u"--graph"_s}));
        QVERIFY(!last.findChild<GraphLink *>()->graphWindow());
    }

    // A document is a document by its contents, not by its name.
    void anySuffix()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString renamed = dir.filePath(u"program"_s);
        testutil::writeAll(renamed, testutil::readAll(example));
        MainWindow window;
        window.show();
        QVERIFY(orb::openFromArguments(window, {u"orb"_s, renamed}));
        verifyExampleLoaded(window);
    }

    // Nothing to open, or nothing that opens: the window stays as it was, and says nothing.
    void refusedSilently_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QByteArray>("contents"); // written to the argument's file when set
        QTest::newRow("missing file") << u"missing.orb"_s << QByteArray();
        QTest::newRow("folder") << u"."_s << QByteArray();
        QTest::newRow("not a document") << u"notes.orb"_s << QByteArray("hello\n");
        QTest::newRow("empty file") << u"empty.orb"_s << QByteArray("");
        QTest::newRow("empty argument") << QString() << QByteArray();
    }
    void refusedSilently()
    {
        QFETCH(QString, argument);
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString path = argument.isEmpty() ? QString() : dir.filePath(argument);
        if (!contents.isNull())
            testutil::writeAll(path, contents);

        MainWindow window;
        window.show();
        QVERIFY(window.openDocument(example));
        QVERIFY(!orb::openFromArguments(window, {u"orb"_s, path}));
        verifyExampleLoaded(window);
        QVERIFY(!orb::openFromArguments(window, {u"orb"_s}));
        QVERIFY(!orb::openFromArguments(window, {}));
        verifyExampleLoaded(window);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
