// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/document.h"

#include "app/constants.h"
#include "app/fileaccess.h"
#include "cells/celllanguage.h"
#include "cells/rowrules.h"
#include "sim/processor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// Documents come from Russian-language Windows systems; they are read and written in their
// encoding on every system.
constexpr const char *documentEncoding = "windows-1251";

QString storedCellText(const QString &text)
{
    QString stored = text;
    for (QChar &c : stored) {
        if (c == u'\n' || c == u'\r' || c == u'\0')
            c = u' ';
    }
    return stored;
}

QByteArray encodeDocumentText(const QString &text)
{
    QStringEncoder encoder(documentEncoding);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    // Some character has no Windows-1251 code. Encode character by character so that exactly
    // those become '?' (the converter's own substitute is the control code SUB). A converter
    // keeps its error once set, so each character gets a fresh one; ASCII maps to itself.
    bytes.clear();
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            bytes += char(c.unicode());
            ++i;
            continue;
        }
        qsizetype length = 1;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            length = 2;
        QStringEncoder single(documentEncoding);
        const QByteArray one = single.encode(QStringView(text).mid(i, length));
        bytes += single.hasError() ? QByteArray("?") : one;
        i += length;
    }
    return bytes;
}

void note(LoadReport *report, const char *code, const QString &message, int row = 0, int field = -1)
{
    if (report)
        report->append(LoadNotice{QString::fromLatin1(code), row, field, message});
}

// At most 60 characters of a text quoted in a message; the rest is "…".
QString quoted(QStringView text)
{
    constexpr qsizetype shown = 60;
    return u'"' + text.left(shown).toString() + (text.size() > shown ? u"…\""_s : u"\""_s);
}

bool isAsciiHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

const char *const fieldNames[] = {"source state", "next state", "conditions", "signals"};

// What the memory cells make of the text after the rows.
void reportMemory(QStringView memoryText, int announcedRows, LoadReport *report)
{
    // A line end after the last byte is what a text editor adds; the cells never see it. A
    // CR alone is the end of a CR LF conversion of a file whose last line had no line end.
    if (memoryText.endsWith(documentSeparator))
        memoryText.chop(1);
    if (memoryText.endsWith(u'\r'))
        memoryText.chop(1);
    if (memoryText.contains(documentSeparator)) {
        note(report, "load-count-too-small",
             u"line breaks follow the rows announced (%1): the rows after them are not loaded "
             u"and their text is read as memory"_s.arg(announcedRows));
    }
    const qsizetype wanted = qsizetype(memoryCellCount) * 2;
    if (memoryText.isEmpty()) {
        note(report, "load-memory-missing",
             u"no memory follows the rows; every memory byte is 00"_s);
        return;
    }
    if (memoryText.size() < wanted) {
        note(report, "load-memory-short",
             u"the memory holds %1 of 512 characters; the bytes from %2 on are 00"_s
                 .arg(memoryText.size())
                 .arg(formatMemoryByte(int((memoryText.size() + 1) / 2))));
    } else if (memoryText.size() > wanted) {
        note(report, "load-memory-long",
             u"the memory holds %1 characters, not 512; the rest is not read"_s.arg(
                 memoryText.size()));
    }
    const QStringView read = memoryText.left(wanted);
    qsizetype first = -1;
    qsizetype count = 0;
    for (qsizetype i = 0; i < read.size(); ++i) {
        if (isAsciiHexDigit(read[i]))
            continue;
        if (first < 0)
            first = i;
        ++count;
    }
    if (count > 0) {
        note(report, "load-memory-not-hex",
             u"the memory holds %1 characters that are not hexadecimal digits (the first in "
             u"byte %2); the memory cells drop them or read the byte as 00"_s.arg(count)
                 .arg(formatMemoryByte(int(first / 2))));
    }
}

bool looksLikeUtf8Cyrillic(const QByteArray &bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x400 && c.unicode() <= 0x4FF; });
}

std::nullopt_t fail(ReadError *error, ReadFailure failure, const QString &message)
{
    if (error)
        *error = ReadError{failure, message};
    return std::nullopt;
}

} // namespace

bool ReadError::notADocument() const
{
    switch (failure) {
    case ReadFailure::NotRegularFile:
    case ReadFailure::TooLarge:
    case ReadFailure::Empty:
    case ReadFailure::UnicodeBom:
    case ReadFailure::NoMagic:
        return true;
    default:
        return false;
    }
}

QString serializeDocumentText(const QList<RowTexts> &rows, const QStringList &memory)
{
    QString text = documentMagic + QString::number(rows.size()) + documentSeparator;
    for (const RowTexts &row : rows) {
        for (const QString &cell : row)
            text += storedCellText(cell) + documentSeparator;
    }
    for (const QString &byteText : memory)
        text += formatMemoryByte(readMemoryByte(byteText));
    return text;
}

QByteArray serializeDocument(const QList<RowTexts> &rows, const QStringList &memory)
{
    return encodeDocumentText(serializeDocumentText(rows, memory));
}

std::optional<LoadedDocument> parseDocumentText(QStringView text, LoadReport *report)
{
    if (!text.startsWith(documentMagic))
        return std::nullopt;

    qsizetype pos = documentMagic.size();
    const qsizetype countEnd = text.indexOf(documentSeparator, pos);
    const QStringView countText = countEnd < 0 ? text.mid(pos) : text.mid(pos, countEnd - pos);
    pos = countEnd < 0 ? text.size() : countEnd + 1;

    bool converted = false;
    int announcedRows = countText.toInt(&converted);
    if (!converted || announcedRows < 1) {
        note(report, "load-count-not-a-number",
             u"the row count %1 is not a number from 1 up; read as 1 row"_s.arg(quoted(countText)));
        announcedRows = 1;
    }

    LoadedDocument document;
    document.rowCount = std::min(announcedRows, maxDocumentRows);
    if (announcedRows > maxDocumentRows) {
        note(report, "load-over-500",
             u"%1 rows announced; a table holds %2, the rows after row %2 are skipped"_s
                 .arg(announcedRows)
                 .arg(maxDocumentRows));
    }

    // A field runs up to the next newline or NUL, which is consumed, or to the end of the text.
    const char16_t *const characters = text.utf16();
    const qsizetype length = text.size();
    auto nextField = [&]() -> std::optional<QStringView> {
        if (pos >= length)
            return std::nullopt;
        qsizetype end = pos;
        while (end < length && characters[end] != documentSeparator && characters[end] != u'\0')
            ++end;
        const QStringView field(characters + pos, end - pos);
        pos = std::min(end + 1, length);
        return field;
    };

    const qsizetype cellCount = qsizetype(document.rowCount) * 4;
    // No more fields than line ends in the text, whatever the count line announces.
    document.cells.reserve(std::min(cellCount, text.count(documentSeparator) + 1));
    document.memory.reserve(memoryCellCount);
    bool ended = false;
    while (document.cells.size() < cellCount) {
        const std::optional<QStringView> field = nextField();
        if (!field) {
            ended = true;
            break;
        }
        if (report) {
            const int index = int(document.cells.size());
            const int fieldIndex = index % fieldCount;
            const int maxLength = maxLengthOfField(fieldIndex);
            if (field->size() > maxLength) {
                note(report, "load-text-cut",
                     u"row %1, %2: %3 characters, cut to %4 as the editor keeps it"_s
                         .arg(index / fieldCount + 1)
                         .arg(QLatin1StringView(fieldNames[fieldIndex]))
                         .arg(field->size())
                         .arg(maxLength),
                     index / fieldCount + 1, fieldIndex);
            }
        }
        document.cells.append(field->toString());
    }
    // The rows the table cannot hold are skipped so that the memory after them still loads.
    const qsizetype surplusCells = qsizetype(announcedRows - document.rowCount) * 4;
    for (qsizetype i = 0; i < surplusCells && !ended; ++i)
        ended = !nextField();
    if (ended) {
        note(report, "load-count-too-large",
             u"the text ends within the rows announced (%1); complete rows: %2"_s.arg(announcedRows)
                 .arg(document.cells.size() / fieldCount));
    }
    if (report)
        reportMemory(text.mid(pos), announcedRows, report);

    while (pos < text.size() && document.memory.size() < memoryCellCount) {
        document.memory.append(text.mid(pos, 2).toString());
        pos += 2;
    }
    return document;
}

std::optional<LoadedDocument> parseDocument(const QByteArray &bytes, LoadReport *report,
                                            ReadError *error)
{
    if (bytes.size() > maxDocumentBytes)
        return fail(error, ReadFailure::TooLarge, u"it is larger than 1 MiB"_s);
    if (bytes.isEmpty())
        return fail(error, ReadFailure::Empty, u"the file is empty"_s);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return fail(error, ReadFailure::UnicodeBom,
                    u"it starts with a UTF-8 byte order mark: it was saved as Unicode, and "
                    u"documents are Windows-1251"_s);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return fail(error, ReadFailure::UnicodeBom,
                    u"it starts with a UTF-16 byte order mark: it was saved as Unicode, and "
                    u"documents are Windows-1251"_s);
    QStringDecoder decoder(documentEncoding);
    QString text = decoder.decode(bytes);
    // Text-mode reading as on Windows: CR LF is one line end.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    LoadReport notices;
    std::optional<LoadedDocument> document = parseDocumentText(text, report ? &notices : nullptr);
    if (!document)
        return fail(error, ReadFailure::NoMagic, u"it does not start with \"MKT\""_s);
    if (report) {
        if (looksLikeUtf8Cyrillic(bytes))
            note(report, "load-looks-like-utf8",
                 u"the file looks like UTF-8 with Cyrillic letters; it is read as "
                 u"Windows-1251, as the editor reads it, so they show as other letters"_s);
        report->append(notices);
    }
    return document;
}

std::optional<LoadedDocument> readDocumentFile(const QString &path, ReadError *error,
                                               LoadReport *report)
{
    if (path.isEmpty())
        return fail(error, ReadFailure::EmptyPath, u"no file name"_s);
    QFile file;
    OpenError openError;
    if (!openRegularFile(file, path, &openError)) {
        switch (openError.failure) {
        case OpenFailure::IsFolder:
            return fail(error, ReadFailure::IsFolder, openError.message);
        case OpenFailure::NotRegularFile:
            // A pipe would be read only once a writer came, perhaps never; devices and sockets
            // are no documents.
            return fail(error, ReadFailure::NotRegularFile, u"it is not a regular file"_s);
        default:
            return fail(error, ReadFailure::CannotOpen, openError.message);
        }
    }
    if (file.size() > maxDocumentBytes)
        return fail(error, ReadFailure::TooLarge, u"it is larger than 1 MiB"_s);
    // Read one byte more than allowed: files that report no size (pipes, devices) are limited
    // the same way.
    const QByteArray bytes = file.read(maxDocumentBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(error, ReadFailure::ReadFailed, file.errorString());
    return parseDocument(bytes, report, error);
}

bool writeDocumentFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const QString shownPath = QDir::toNativeSeparators(path);
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };

    // Unbuffered, so that a short write (disk full, size limit) shows in write()'s result:
    // QSaveFile::commit() does not report a failed flush of its buffer in this Qt.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return fail(QStringLiteral("Не удалось открыть файл «%1» для записи: %2")
                        .arg(shownPath, file.errorString()));
    }
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("записано %1 байт из %2")
                                         .arg(std::max<qint64>(written, 0))
                                         .arg(bytes.size());
        file.cancelWriting();
        return fail(QStringLiteral("Не удалось записать файл «%1»: %2").arg(shownPath, reason));
    }
    if (!file.commit()) {
        return fail(QStringLiteral("Не удалось сохранить файл «%1»: %2")
                        .arg(shownPath, file.errorString()));
    }
    return true;
}

void loadTable(HeadlessTable &table, const LoadedDocument &document)
{
    table.reset(document.rowCount);
    const qsizetype cellCount =
        qMin(document.cells.size(), qsizetype(document.rowCount) * fieldCount);
    for (qsizetype i = 0; i < cellCount; ++i)
        table.fillAndCommit(int(i / fieldCount), int(i % fieldCount), document.cells[i]);
}

} // namespace orb
