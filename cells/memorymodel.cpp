// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/memorymodel.h"

#include "cells/memorybyte.h"

namespace orb {

namespace {

// The texts of the 256 byte values over static characters: a program's write stores one of
// them without formatting or allocating, and copies of them share nothing that counts
// references, so models on several threads never touch a common counter.
constexpr std::array<char16_t, 2 *MemoryModel::size> byteDigits = [] {
    constexpr char16_t digits[] = u"0123456789ABCDEF";
    std::array<char16_t, 2 * MemoryModel::size> all{};
    for (int value = 0; value < MemoryModel::size; ++value) {
        all[size_t(2 * value)] = digits[value >> 4];
        all[size_t(2 * value + 1)] = digits[value & 15];
    }
    return all;
}();

const std::array<QString, MemoryModel::size> &byteTexts()
{
    static const auto texts = [] {
        std::array<QString, MemoryModel::size> all;
        for (int value = 0; value < MemoryModel::size; ++value) {
            all[size_t(value)] = QString::fromRawData(
                reinterpret_cast<const QChar *>(byteDigits.data() + 2 * value), 2);
            Q_ASSERT(all[size_t(value)] == formatHex(value));
        }
        return all;
    }();
    return texts;
}

} // namespace

MemoryModel::MemoryModel(QObject *parent) : QObject(parent)
{
    texts_.fill(byteTexts()[0]);
}

MemoryModel::~MemoryModel() = default;

bool MemoryModel::store(int address, const QString &text)
{
    const quint8 index = quint8(address);
    if (texts_[index] == text)
        return false;
    texts_[index] = text;
    bytes_[index] = quint8(readMemoryByte(text));
    emit textChanged(index);
    return true;
}

void MemoryModel::setText(int address, const QString &text)
{
    store(address, maskedByteText(text));
}

void MemoryModel::setByte(int address, int value)
{
    store(address, byteTexts()[quint8(value)]);
}

void MemoryModel::writeMemory(int address, int value)
{
    if (store(address, byteTexts()[quint8(value)]))
        emit written(quint8(address));
}

QStringList MemoryModel::texts() const
{
    return QStringList(texts_.begin(), texts_.end());
}

void MemoryModel::setTexts(const QStringList &texts)
{
    const qsizetype count = qMin(texts.size(), qsizetype(size));
    for (qsizetype address = 0; address < count; ++address)
        setText(int(address), texts[address]);
}

void MemoryModel::fill(const QString &text)
{
    const QString masked = maskedByteText(text);
    for (int address = 0; address < size; ++address)
        store(address, masked);
}

} // namespace orb
