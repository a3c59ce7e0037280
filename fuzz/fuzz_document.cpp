// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes the document reader with any bytes: a document opens within the table's and the
// memory's bounds, loads into a table as the editor loads it, and saving and reopening it gives
// back the same cells.

#include "fuzzsupport.h"

#include "app/document.h"

#include <QStringDecoder>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// Characters a save keeps: those Windows-1251 reads back as themselves, except the line
// breaks and NULs it stores as blanks.
bool fileCanHold(QChar c)
{
    static const QString readable = [] {
        QByteArray every(256, 0);
        for (int b = 0; b < 256; ++b)
            every[b] = char(b);
        QStringDecoder decoder("windows-1251");
        return QString(decoder.decode(every));
    }();
    if (c == u'\r' || c == u'\n' || c == u'\0')
        return false;
    return c.unicode() < 0x80 || readable.contains(c);
}

bool rowSurvivesSave(const orb::HeadlessTable::Row &row)
{
    for (const orb::HeadlessTable::Cell &cell : row.cells) {
        for (const QChar c : cell.text) {
            if (!fileCanHold(c))
                return false;
        }
    }
    return true;
}

void checkSameMemory(const fuzz::OpenedDocument &a, const fuzz::OpenedDocument &b)
{
    for (int i = 0; i < orb::memoryCellCount; ++i)
        FUZZ_CHECK(orb::readMemoryByte(a.memory[i]) == orb::readMemoryByte(b.memory[i]));
}

void checkSameRow(const orb::HeadlessTable::Row &a, const orb::HeadlessTable::Row &b)
{
    for (int field = 0; field < orb::fieldCount; ++field) {
        FUZZ_CHECK(a.cells[size_t(field)].text == b.cells[size_t(field)].text);
        if (!fuzz::markDependsOnHistory(a, field))
            FUZZ_CHECK(a.cells[size_t(field)].correct == b.cells[size_t(field)].correct);
    }
}

// Parses the text once more from a buffer of exactly its length (no terminating NUL), so that
// AddressSanitizer sees any read past its end. Widened as Latin-1 rather than decoded: every
// Windows-1251 byte is one UTF-16 unit, so the fields fall at the same places, at a fraction of
// the decoder's cost.
std::optional<orb::LoadedDocument> parseExact(const QByteArray &bytes)
{
    QString text = QString::fromLatin1(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const std::unique_ptr<char16_t[]> buffer(new char16_t[size_t(text.size())]);
    std::copy(text.utf16(), text.utf16() + text.size(), buffer.get());
    return orb::parseDocumentText(QStringView(buffer.get(), text.size()));
}

void checkSameShape(const orb::LoadedDocument &a, const orb::LoadedDocument &b)
{
    FUZZ_CHECK(a.rowCount == b.rowCount);
    FUZZ_CHECK(a.cells.size() == b.cells.size());
    for (qsizetype i = 0; i < a.cells.size(); ++i)
        FUZZ_CHECK(a.cells[i].size() == b.cells[i].size());
    FUZZ_CHECK(a.memory.size() == b.memory.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    // Not copied, so the reader works on the fuzzer's own buffer of exactly this size.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<orb::LoadedDocument> document = orb::parseDocument(bytes);
    FUZZ_CHECK(document.has_value() ==
               (bytes.startsWith("MKT") && bytes.size() <= orb::maxDocumentBytes));
    if (!document)
        return 0;
    const std::optional<orb::LoadedDocument> exact = parseExact(bytes);
    FUZZ_CHECK(exact.has_value());
    checkSameShape(*document, *exact);

    fuzz::OpenedDocument first;
    fuzz::openDocument(*document, first);
    fuzz::checkTable(first.table);

    const QByteArray saved = fuzz::saveDocument(first);
    const std::optional<orb::LoadedDocument> reread = orb::parseDocument(saved);
    FUZZ_CHECK(reread.has_value());
    FUZZ_CHECK(reread->rowCount == first.table.rowCount());
    FUZZ_CHECK(reread->cells.size() == qsizetype(reread->rowCount) * orb::fieldCount);
    FUZZ_CHECK(reread->memory.size() == orb::memoryCellCount);

    fuzz::OpenedDocument second;
    fuzz::openDocument(*reread, second);
    fuzz::checkTable(second.table);
    checkSameMemory(first, second);
    bool everyRowSurvives = true;
    for (int r = 0; r < first.table.rowCount(); ++r) {
        if (rowSurvivesSave(first.table.row(r)))
            checkSameRow(first.table.row(r), second.table.row(r));
        else
            everyRowSurvives = false;
    }

    // Once saved, a document is stable: save, open, save gives the same bytes and cells. When
    // every row survived the first save, the rows and bytes above are what the second save
    // writes, so it would be the first one again.
    if (everyRowSurvives)
        return 0;
    const QByteArray savedAgain = fuzz::saveDocument(second);
    const std::optional<orb::LoadedDocument> rereadAgain = orb::parseDocument(savedAgain);
    FUZZ_CHECK(rereadAgain.has_value());
    fuzz::OpenedDocument third;
    fuzz::openDocument(*rereadAgain, third);
    for (int r = 0; r < second.table.rowCount(); ++r)
        checkSameRow(second.table.row(r), third.table.row(r));
    checkSameMemory(second, third);
    FUZZ_CHECK(fuzz::saveDocument(third) == savedAgain);
    return 0;
}
