#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the fuzz targets share: a check that stops the run with a message, a trap that turns
// every Qt warning into a finding, and loading a document the way the editor does.

#include "app/document.h"
#include "cells/rowrules.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>

// A failed check is a finding: libFuzzer keeps the input that caused it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// Qt warnings (and Q_ASSERT's fatal messages) abort, so a hostile input that makes Qt
// complain is kept like a crash. Idempotent.
void trapQtWarnings();

// A document opened as the editor opens it: reset to the row count, every cell set and
// committed in file order, and the memory cells (all "00" before) given their texts through
// the memory cell's input mask.
struct OpenedDocument {
    orb::HeadlessTable table;
    QStringList memory; // 256 cell texts
};
void openDocument(const orb::LoadedDocument &document, OpenedDocument &opened);

// The rows and memory as Save writes them.
QByteArray saveDocument(const OpenedDocument &opened);

// What must hold of any table after loading: the error count matches the marks, every cell fits
// its line edit, a correct cell holds a correct normal text with its parsed form, and a row
// with conditions or signals cannot be launched without both states.
void checkTable(const orb::HeadlessTable &table);

// The one mark a load does not decide from the texts alone: an empty state cell beside a filled
// one in a row without conditions or signals is red, unless a signals text whose numbers were
// all dropped emptied itself after the states were loaded, which clears both state marks. So
// such a row can open launchable and, once saved, reopen with that cell red.
bool markDependsOnHistory(const orb::HeadlessTable::Row &row, int field);

// Parsed forms stay within their slots whatever the check returned.
void checkConditionSlots(const orb::ParsedConditions &parsed);
void checkSignalSlots(const orb::ParsedSignals &parsed);

} // namespace fuzz
