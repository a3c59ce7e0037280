// SPDX-License-Identifier: GPL-3.0-or-later

#include "run/opendocument.h"

#include "app/fileaccess.h"
#include "cells/cellproblem.h"
#include "run/terminaltext.h"

#include <QHash>

#include <array>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

const char *const columnNames[fieldCount] = {"source state", "next state", "conditions", "signals"};

} // namespace

OpenedDocument openDocument(const LoadedDocument &document)
{
    OpenedDocument opened;
    // What the editor's Open does: the rows first, then every cell present filled and committed
    // in row order, then the memory cells as their input mask and their reading see the text.
    loadTable(opened.table, document);
    for (qsizetype address = 0; address < document.memory.size(); ++address)
        opened.memory.bytes[size_t(address)] =
            quint8(readMemoryByte(maskedByteText(document.memory[address])));
    return opened;
}

QStringList wrongCellLines(const HeadlessTable &table, const LoadReport &report)
{
    QHash<int, int> cutTo; // row * fieldCount + field -> the length kept
    for (const LoadNotice &notice : report) {
        if (notice.code == u"load-text-cut"_s && notice.row > 0 && notice.field >= 0)
            cutTo.insert((notice.row - 1) * fieldCount + notice.field,
                         maxLengthOfField(notice.field));
    }
    QStringList lines;
    for (int row = 0; row < table.rowCount(); ++row) {
        const HeadlessTable::Row &cells = table.row(row);
        std::array<QString, 4> texts;
        for (int field = 0; field < fieldCount; ++field)
            texts[size_t(field)] = cells.cells[size_t(field)].text;
        for (int field = 0; field < fieldCount; ++field) {
            if (cells.cells[size_t(field)].correct)
                continue;
            QString line = u"row %1, %2: %3"_s.arg(row + 1).arg(
                QLatin1StringView(columnNames[field]), terminalText(texts[size_t(field)], true));
            if (const auto cut = cutTo.constFind(row * fieldCount + field); cut != cutTo.cend())
                line += u" (cut to %1 characters, as the editor keeps it)"_s.arg(*cut);
            if (const std::optional<CellProblem> problem = rowCellProblem(texts, field))
                line += u": "_s + terminalText(problem->message);
            lines << line;
        }
    }
    return lines;
}

RunStatus OpenOutcome::status() const
{
    if (!document)
        return RunUnreadable;
    return wrongCells.isEmpty() ? RunSucceeded : RunWrongCells;
}

OpenOutcome openDocumentPath(const QString &path, QIODevice *standardInput)
{
    OpenOutcome outcome;
    std::optional<LoadedDocument> loaded;
    if (path == u"-"_s) {
        outcome.shownName = u"standard input"_s;
        QByteArray bytes;
        if (standardInput && standardInput->isReadable())
            bytes = standardInput->read(maxDocumentBytes + 1);
        loaded = parseDocument(bytes, &outcome.report, &outcome.error);
    } else {
        outcome.shownName = terminalText(shownPath(path));
        loaded = readDocumentFile(path, &outcome.error, &outcome.report);
    }
    if (!loaded)
        return outcome;
    outcome.document = openDocument(*loaded);
    outcome.wrongCells = wrongCellLines(outcome.document->table, outcome.report);
    return outcome;
}

} // namespace orb
