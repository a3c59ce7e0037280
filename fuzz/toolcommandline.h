#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the command-line targets of orb-check and orb-grade share: the input split at NUL bytes
// is an argument vector, run in a folder of its own that holds a document, a test file and a
// few bad files, so that whatever the arguments name stays inside it.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// The arguments of one input (the program name first); every '/' becomes '_', so no argument
// reaches a file outside the folder. Empty for an input too long to add anything.
QStringList toolArguments(const char *program, const uint8_t *data, size_t size);
// Makes the folder (once per process) and enters it for the life of the object, then returns
// to the folder the process was in: libFuzzer reads its seeds and writes its corpus and
// artifacts after the first input has run, by the paths it was given, which may be relative.
class ToolFolder {
public:
    ToolFolder();
    ~ToolFolder();
    ToolFolder(const ToolFolder &) = delete;
    ToolFolder &operator=(const ToolFolder &) = delete;

private:
    QString previous_;
};
// Whether no character would disturb a terminal (the one-line messages must be shown as they are).
bool terminalSafe(QStringView text);

} // namespace fuzz
