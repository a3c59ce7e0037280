// SPDX-License-Identifier: GPL-3.0-or-later
//
// The loader's report: each kind of reinterpretation is named, once and only where it happens,
// without changing what is loaded; and a refused file says why.

#include "app/document.h"
#include "app/loadreport.h"
#include "cells/celllanguage.h"
#include "coretestutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

QByteArray memoryOf(int bytes)
{
    return QByteArray(bytes * 2, '0');
}

QByteArray oneRow(const QByteArray &memory)
{
    return "MKT1\n1\n2\nx1\ny20\n" + memory;
}

QStringList codes(const LoadReport &report)
{
    QStringList list;
    for (const LoadNotice &notice : report)
        list << notice.code;
    return list;
}

} // namespace

class TestLoadReport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    void notices_data();
    void notices();
    void cutTextsNameRowAndCell();
    void reportChangesNothingLoaded();
    void refusals_data();
    void refusals();
    void fileRefusals();
};

void TestLoadReport::notices_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("sound") << oneRow(memoryOf(256)) << QStringList();
    QTest::newRow("sound, CR LF") << QByteArray("MKT1\r\n1\r\n2\r\n\r\n\r\n" + memoryOf(256))
                                  << QStringList();
    QTest::newRow("line end after the memory") << oneRow(memoryOf(256) + "\n") << QStringList();
    QTest::newRow("lower-case hex") << oneRow(QByteArray(512, 'a')) << QStringList();
    QTest::newRow("count not a number") << QByteArray("MKTabc\n1\n2\n\n\n" + memoryOf(256))
                                        << QStringList{u"load-count-not-a-number"_s};
    QTest::newRow("count zero") << QByteArray("MKT0\n1\n2\n\n\n" + memoryOf(256))
                                << QStringList{u"load-count-not-a-number"_s};
    QTest::newRow("count too small")
        << QByteArray("MKT1\n1\n2\n\n\n3\n4\n\n\n" + memoryOf(256))
        << QStringList{u"load-count-too-small"_s, u"load-memory-long"_s, u"load-memory-not-hex"_s};
    // The memory line is read as the next row's source state, cut to three characters.
    QTest::newRow("count too large")
        << QByteArray("MKT3\n1\n2\n\n\n" + memoryOf(256))
        << QStringList{u"load-text-cut"_s, u"load-count-too-large"_s, u"load-memory-missing"_s};
    QTest::newRow("text ends in the rows")
        << QByteArray("MKT2\n1\n2\n")
        << QStringList{u"load-count-too-large"_s, u"load-memory-missing"_s};
    QTest::newRow("over 500") << QByteArray("MKT501\n" + QByteArray(501 * 4, '\n') + memoryOf(256))
                              << QStringList{u"load-over-500"_s};
    QTest::newRow("over 500, text ends")
        << QByteArray("MKT600\n" + QByteArray(501 * 4, '\n'))
        << QStringList{u"load-over-500"_s, u"load-count-too-large"_s, u"load-memory-missing"_s};
    QTest::newRow("memory missing") << oneRow("") << QStringList{u"load-memory-missing"_s};
    QTest::newRow("memory short") << oneRow(memoryOf(100) + "F")
                                  << QStringList{u"load-memory-short"_s};
    QTest::newRow("memory long") << oneRow(memoryOf(256) + "12")
                                 << QStringList{u"load-memory-long"_s};
    QTest::newRow("memory not hex")
        << oneRow(memoryOf(10) + "G5" + memoryOf(245)) << QStringList{u"load-memory-not-hex"_s};
    QTest::newRow("memory NUL") << oneRow(memoryOf(10) + QByteArray(2, '\0') + memoryOf(245))
                                << QStringList{u"load-memory-not-hex"_s};
    QTest::newRow("text cut") << QByteArray("MKT1\n1234\n2\n\n\n" + memoryOf(256))
                              << QStringList{u"load-text-cut"_s};
    QTest::newRow("UTF-8 Cyrillic") << oneRow(memoryOf(256))
                                           .replace("x1", "\xd1\x85"
                                                          "1")
                                    << QStringList{u"load-looks-like-utf8"_s};
    // Windows-1251 Cyrillic is not valid UTF-8.
    QTest::newRow("Windows-1251 Cyrillic") << oneRow(memoryOf(256))
                                                  .replace("x1", "\xf5"
                                                                 "1")
                                           << QStringList();
}

void TestLoadReport::notices()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    LoadReport report;
    ReadError error;
    QVERIFY(parseDocument(bytes, &report, &error));
    QCOMPARE(error.failure, ReadFailure::None);
    QCOMPARE(codes(report), expected);
    for (const LoadNotice &notice : report) {
        QVERIFY(!notice.message.isEmpty());
        QVERIFY(!notice.message.contains(u'\n'));
    }
}

void TestLoadReport::cutTextsNameRowAndCell()
{
    const QByteArray bytes = "MKT2\n1\n2\n" + QByteArray(28, 'z') + "\n\n3\n4\n\n" +
                             QByteArray(37, 'y') + "\n" + memoryOf(256);
    LoadReport report;
    QVERIFY(parseDocument(bytes, &report));
    QCOMPARE(report.size(), 2);
    QCOMPARE(report[0].row, 1);
    QCOMPARE(report[0].field, int(ConditionsField));
    QVERIFY(report[0].message.contains(u"cut to 27"_s));
    QCOMPARE(report[1].row, 2);
    QCOMPARE(report[1].field, int(SignalsField));
    QVERIFY(report[1].message.contains(u"cut to 36"_s));
    // Texts at the maximum length are not cut.
    LoadReport none;
    QVERIFY(parseDocument("MKT1\n123\n456\n" + QByteArray(27, 'z') + "\n" + QByteArray(36, 'y') +
                              "\n" + memoryOf(256),
                          &none));
    QVERIFY(none.isEmpty());
}

void TestLoadReport::reportChangesNothingLoaded()
{
    const QByteArray bytes = "MKT2\nabcd\n\n\n\n\n3\n4\n\n\n" + memoryOf(3) + "ZZ";
    LoadReport report;
    const std::optional<LoadedDocument> reported = parseDocument(bytes, &report);
    const std::optional<LoadedDocument> plain = parseDocument(bytes);
    QVERIFY(reported && plain);
    QVERIFY(!report.isEmpty());
    QCOMPARE(reported->rowCount, plain->rowCount);
    QCOMPARE(reported->cells, plain->cells);
    QCOMPARE(reported->memory, plain->memory);
}

void TestLoadReport::refusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("failure");
    QTest::newRow("empty") << QByteArray() << int(ReadFailure::Empty);
    QTest::newRow("no magic") << QByteArray("MK") << int(ReadFailure::NoMagic);
    QTest::newRow("lower-case magic") << QByteArray("mkt1\n") << int(ReadFailure::NoMagic);
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBFMKT1\n") << int(ReadFailure::UnicodeBom);
    QTest::newRow("UTF-16LE BOM") << QByteArray("\xFF\xFEM\0K\0T\0", 8)
                                  << int(ReadFailure::UnicodeBom);
    QTest::newRow("UTF-16BE BOM") << QByteArray("\xFE\xFF\0M\0K\0T", 8)
                                  << int(ReadFailure::UnicodeBom);
    QTest::newRow("too large") << QByteArray("MKT1\n" + QByteArray(maxDocumentBytes, '0'))
                               << int(ReadFailure::TooLarge);
}

void TestLoadReport::refusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, failure);
    ReadError error;
    QVERIFY(!parseDocument(bytes, nullptr, &error));
    QCOMPARE(int(error.failure), failure);
    QVERIFY(error.notADocument());
    QVERIFY(!error.message.isEmpty());
}

void TestLoadReport::fileRefusals()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ReadError error;
    QVERIFY(!readDocumentFile(QString(), &error));
    QCOMPARE(error.failure, ReadFailure::EmptyPath);
    QVERIFY(!readDocumentFile(dir.filePath(u"missing.orb"_s), &error));
    QCOMPARE(error.failure, ReadFailure::CannotOpen);
    QVERIFY(!error.notADocument());
    QVERIFY(!readDocumentFile(dir.path(), &error));
    QCOMPARE(error.failure, ReadFailure::IsFolder);
    const QString empty = dir.filePath(u"empty.orb"_s);
    testutil::writeAll(empty, QByteArray());
    QVERIFY(!readDocumentFile(empty, &error));
    QCOMPARE(error.failure, ReadFailure::Empty);
    const QString good = dir.filePath(u"good.orb"_s);
    testutil::writeAll(good, oneRow(memoryOf(100)));
    LoadReport report;
    error = ReadError{};
    QVERIFY(readDocumentFile(good, &error, &report));
    QCOMPARE(error.failure, ReadFailure::None);
    QCOMPARE(codes(report), QStringList{u"load-memory-short"_s});
#ifdef Q_OS_UNIX
    QVERIFY(!readDocumentFile(u"/dev/null"_s, &error));
    QCOMPARE(error.failure, ReadFailure::NotRegularFile);
    QVERIFY(error.notADocument());
#endif
}

QTEST_APPLESS_MAIN(TestLoadReport)
#include "tst_loadreport.moc"
