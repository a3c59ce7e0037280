#include "app/document.h"

#include "app/constants.h"
#include "cells/rowrules.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

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

} // namespace

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

std::optional<LoadedDocument> parseDocumentText(QStringView text)
{
    if (!text.startsWith(documentMagic))
        return std::nullopt;

    qsizetype pos = documentMagic.size();
    const qsizetype countEnd = text.indexOf(documentSeparator, pos);
    const QStringView countText = countEnd < 0 ? text.mid(pos) : text.mid(pos, countEnd - pos);
    pos = countEnd < 0 ? text.size() : countEnd + 1;

    bool converted = false;
    int announcedRows = countText.toInt(&converted);
    if (!converted || announcedRows < 1)
        announcedRows = 1;

    LoadedDocument document;
    document.rowCount = std::min(announcedRows, maxDocumentRows);

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
    while (document.cells.size() < cellCount) {
        const std::optional<QStringView> field = nextField();
        if (!field)
            break;
        document.cells.append(field->toString());
    }
    // The rows the table cannot hold are skipped so that the memory after them still loads.
    const qsizetype surplusCells = qsizetype(announcedRows - document.rowCount) * 4;
    for (qsizetype i = 0; i < surplusCells && nextField(); ++i) {
    }

    while (pos < text.size() && document.memory.size() < memoryCellCount) {
        document.memory.append(text.mid(pos, 2).toString());
        pos += 2;
    }
    return document;
}

std::optional<LoadedDocument> parseDocument(const QByteArray &bytes)
{
    if (bytes.size() > maxDocumentBytes)
        return std::nullopt;
    QStringDecoder decoder(documentEncoding);
    QString text = decoder.decode(bytes);
    // Text-mode reading as on Windows: CR LF is one line end.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return parseDocumentText(text);
}

std::optional<LoadedDocument> readDocumentFile(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (file.size() > maxDocumentBytes)
        return std::nullopt;
    // Read one byte more than allowed: files that report no size (pipes, devices) are limited
    // the same way.
    const QByteArray bytes = file.read(maxDocumentBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return parseDocument(bytes);
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

QString maskedByteText(QStringView raw)
{
    // What Qt's mask character 'H' takes, in order, skipping everything else: the ASCII letters
    // a-f and A-F and every character Unicode counts as a number (so also "١" or "²"), and NUL;
    // '>' shows them in upper case. The test holds this against a real QLineEdit.
    QString text;
    for (const QChar c : raw) {
        if (text.size() == 2)
            break;
        const char16_t u = c.unicode();
        if (u == 0 || c.isNumber() || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F'))
            text += c.toUpper();
    }
    return text;
}

int readMemoryByte(QStringView text)
{
    bool converted = false;
    const int value = text.toInt(&converted, 16);
    return converted && value >= 0 && value <= 255 ? value : 0;
}

void loadTable(HeadlessTable &table, const LoadedDocument &document)
{
    table.reset(document.rowCount);
    const qsizetype cellCount =
        qMin(document.cells.size(), qsizetype(document.rowCount) * fieldCount);
    for (qsizetype i = 0; i < cellCount; ++i)
        table.fillAndCommit(int(i / fieldCount), int(i % fieldCount), document.cells[i]);
}

QString formatMemoryByte(int value)
{
    Q_ASSERT(value >= 0 && value <= 255);
    // Built by hand: it runs 256 times per save and once per memory write of a run.
    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    const QChar pair[2] = {QChar(digits[(value >> 4) & 0xF]), QChar(digits[value & 0xF])};
    return QString(pair, 2);
}

} // namespace orb
