#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The microprogram document (*.orb) as plain data: writing the texts of the table and the
// memory into a document, reading them back, and the file access around it. The editor's
// New/Open/Save and the headless runner use these same functions, so both read a document
// exactly alike.
//
// A document is "MKT", the row count in decimal and a newline; then each row's four cell texts
// (source state, next state, conditions, signals), each followed by a newline; then the 256
// memory cells as two hexadecimal digits each, with nothing after the last. It is stored in
// Windows-1251 with LF line ends; CR LF line ends are read as well.

#include "app/loadreport.h"
#include "cells/memorybyte.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>

namespace orb {

inline constexpr int maxDocumentRows = 500;
inline constexpr int memoryCellCount = 256;
// Larger files are refused unread: no real microprogram comes near this.
inline constexpr qint64 maxDocumentBytes = 1024 * 1024;

// The four cell texts of one row, in field order (see orb::Field).
using RowTexts = std::array<QString, 4>;

// What a document asks the editor to show. The loader creates rowCount rows, then fills cells
// in order (row by row, four per row) as far as the list goes, and gives the memory cells from
// address 0 the texts of memory as far as it goes; cells beyond either list keep what they had.
struct LoadedDocument {
    int rowCount = 1;   // 1 .. maxDocumentRows
    QStringList cells;  // at most rowCount * 4 texts, raw as stored
    QStringList memory; // at most memoryCellCount texts of two characters (the last may be one),
                        // raw as stored; a memory cell keeps of it what its input mask accepts
};

// The document text of a table and a memory. Each memory text is stored as the two digits of
// the byte it reads as (readMemoryByte), so a cell left with one digit or none cannot shift
// the bytes after it. Line breaks and NULs inside a cell text would split the cell on reading;
// they are stored as blanks.
QString serializeDocumentText(const QList<RowTexts> &rows, const QStringList &memory);
// The same, encoded for the file: Windows-1251, LF line ends. Characters Windows-1251 cannot
// hold are stored as '?'.
QByteArray serializeDocument(const QList<RowTexts> &rows, const QStringList &memory);

// Why a file or its bytes could not be read as a document.
enum class ReadFailure {
    None,
    EmptyPath,  // no file name at all
    CannotOpen, // missing, no permission, ...
    IsFolder,
    NotRegularFile, // a pipe, device or socket
    ReadFailed,     // an I/O error while reading
    TooLarge,       // more than maxDocumentBytes
    Empty,          // no bytes at all
    UnicodeBom,     // starts with a UTF-8 or UTF-16 byte order mark: saved as Unicode
    NoMagic,        // does not start with "MKT"
};
struct ReadError {
    ReadFailure failure = ReadFailure::None;
    QString message; // English, one line, without the file name
    // True for the failures of a document's content (the file was read but is no document),
    // false for those of the file itself.
    bool notADocument() const;
};

// Reads a document text (line ends already LF). nullopt unless it starts with "MKT". What had
// to be reinterpreted is appended to *report (if given).
std::optional<LoadedDocument> parseDocumentText(QStringView text, LoadReport *report = nullptr);
// Reads the bytes of a document file: refused when larger than maxDocumentBytes or without
// the magic; decodes Windows-1251 and drops the CR of each CR LF. On refusal *error says why.
std::optional<LoadedDocument> parseDocument(const QByteArray &bytes, LoadReport *report = nullptr,
                                            ReadError *error = nullptr);

// Reads and parses a file; nullopt when it cannot be opened or read, is too large or is not a
// document, with *error saying which.
std::optional<LoadedDocument> readDocumentFile(const QString &path, ReadError *error = nullptr,
                                               LoadReport *report = nullptr);

class HeadlessTable;
// Fills a table as the editor's Open fills its cells: `rowCount` blank rows, then every cell the
// text reached set and committed in row order, so it gets exactly the editor's red marks.
void loadTable(HeadlessTable &table, const LoadedDocument &document);
// Replaces the file atomically with bytes: on any failure the previous file stays as it was,
// false is returned and *error (if given) says what failed, naming the file.
bool writeDocumentFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace orb
