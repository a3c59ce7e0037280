// SPDX-License-Identifier: GPL-3.0-or-later
//
// The memory model: what a cell text reads as, which changes are announced, and what the engine
// sees of it.

#include "cells/memorymodel.h"
#include "coretestutil.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMemoryModel : public QObject {
    Q_OBJECT

private slots:
    void init() { testutil::failOnAnyWarning(); }
    void startsAtZero();
    void texts_data();
    void texts();
    void announcements();
    void listsAndFill();
};

void TestMemoryModel::startsAtZero()
{
    const orb::MemoryModel memory;
    const QStringList texts = memory.texts();
    QCOMPARE(texts.size(), 256);
    QCOMPARE(texts.count(u"00"_s), 256);
    for (int address = 0; address < 256; ++address)
        QCOMPARE(memory.byte(address), 0);
}

void TestMemoryModel::texts_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("byte");

    QTest::newRow("two digits") << u"7f"_s << u"7F"_s << 0x7F;
    QTest::newRow("one digit") << u"A"_s << u"A"_s << 0x0A;
    QTest::newRow("empty") << u""_s << u""_s << 0;
    QTest::newRow("cut to two") << u"123"_s << u"12"_s << 0x12;
    QTest::newRow("non-digits skipped") << u"g-5z"_s << u"5"_s << 5;
    QTest::newRow("another script's digit reads as 0") << u"\u0661F"_s << u"\u0661F"_s << 0;
}

void TestMemoryModel::texts()
{
    QFETCH(QString, raw);
    QFETCH(QString, text);
    QFETCH(int, byte);

    orb::MemoryModel memory;
    memory.setText(0x42 + 256, raw); // addresses wrap as the address register does
    QCOMPARE(memory.text(0x42), text);
    QCOMPARE(memory.byte(0x42), byte);
    QCOMPARE(memory.readMemory(0x42), byte);
    QCOMPARE(memory.text(0x41), u"00"_s);
}

void TestMemoryModel::announcements()
{
    orb::MemoryModel memory;
    QSignalSpy changed(&memory, &orb::MemoryModel::textChanged);
    QSignalSpy written(&memory, &orb::MemoryModel::written);
    const auto addresses = [](const QSignalSpy &spy) {
        QList<int> list;
        for (const QList<QVariant> &call : spy)
            list << call.at(0).toInt();
        return list;
    };

    memory.setText(3, u"0A"_s);
    memory.setText(3, u"0a"_s); // the same text: nothing
    memory.setByte(4, 0x10A);   // the low byte
    memory.writeMemory(-1, 0xC3);
    memory.writeMemory(-1, 0xC3); // unchanged: no write to follow
    memory.restoreMemory(5, 0x01);
    QCOMPARE(addresses(changed), (QList<int>{3, 4, 255, 5}));
    QCOMPARE(addresses(written), QList<int>{255});
    QCOMPARE(memory.text(4), u"0A"_s);
    QCOMPARE(memory.text(255), u"C3"_s);
    QCOMPARE(memory.byte(5), 1);
}

void TestMemoryModel::listsAndFill()
{
    orb::MemoryModel memory;
    memory.setText(200, u"FF"_s);
    memory.setTexts({u"1"_s, u"zz"_s, u"Ab"_s});
    QCOMPARE(memory.texts().mid(0, 4), (QStringList{u"1"_s, u""_s, u"AB"_s, u"00"_s}));
    QCOMPARE(memory.byte(200), 0xFF); // beyond the list: kept
    const std::array<quint8, 256> bytes = memory.bytes();
    QCOMPARE(bytes[0], quint8(1));
    QCOMPARE(bytes[2], quint8(0xAB));

    QSignalSpy changed(&memory, &orb::MemoryModel::textChanged);
    memory.fill(u"00"_s);
    QCOMPARE(changed.size(), 4); // only the cells that held something else
    QCOMPARE(memory.texts().count(u"00"_s), 256);
}

QTEST_GUILESS_MAIN(TestMemoryModel)
#include "tst_memorymodel.moc"
