#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// A teacher's test file (*.orbtest): named cases, each with its own data (memory bytes and
// registers set before the first press, data bytes for y66) and what the run must end with
// (final values, the values y67 shows, the messages y68 and y69 show). A file of bare NAME=VALUE
// lines, as orb-run --expect reads, is one case named after the file.

#include "run/expectations.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace orb {

inline constexpr qint64 maxTestFileBytes = 1024 * 1024;
inline constexpr int maxCasePoints = 1000000;
// The points of all cases together, so that every total fits the reports' integers.
inline constexpr qint64 maxTotalPoints = 1000000000;

// One expect item; `fromReference` items (written NAME=?) take their value from the reference
// solution's run of the same case before anything is graded.
struct ExpectItem {
    Expectation expectation;
    bool fromReference = false;
    int line = 0;
};

struct TestCase {
    QString name;
    int line = 0; // of its `case` line (1 for a file without one)
    int maxSteps = defaultMaxSteps;
    int points = 1;
    QList<Expectation> sets; // Register, Flag and Memory only
    QList<int> inputs;
    QList<ExpectItem> expects;
    bool checksDisplay = false;
    QList<int> display;
    // The messages y68 and y69 show, in order (signal numbers), when a `messages` line is given.
    bool checksMessages = false;
    QList<int> messages;

    bool needsReference() const;
};

struct TestFile {
    QList<TestCase> cases;

    bool needsReference() const;
    int maxPoints() const;
    // The index of the case called name, or -1.
    int caseIndex(const QString &name) const;
};

// The words of a `messages` line: overflow (y68, "Переполнение") and opcode-error (y69,
// "Ошибка в коде операции"); 0 / "" for anything else.
int messageSignal(QStringView name);
QString messageName(int signal);

// Parses the bytes of a test file. fileName names the file in messages and is the name of the
// one case of a file without `case` lines. On a mistake, nullopt and *error =
// "FILE:LINE: what is wrong".
std::optional<TestFile> parseTestFile(const QByteArray &bytes, const QString &fileName,
                                      QString *error);

// Reads and parses a file; *error also says why a file cannot be read. *unreadable (if given)
// tells a file that cannot be read from one with a mistake in it.
std::optional<TestFile> readTestFile(const QString &path, QString *error,
                                     bool *unreadable = nullptr);

} // namespace orb
