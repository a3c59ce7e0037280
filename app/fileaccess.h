#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// File access shared by the editor and the command-line programs, for files that are not what
// they seem: names that are not UTF-8, inputs that are pipes or devices (opening a pipe for
// reading waits for a writer, for ever), and outputs that are devices, pipes or inputs.
//
// Paths are QStrings in which each byte of a name that is not UTF-8 is kept as the lone
// surrogate U+DC80 + byte, so that a name found in a folder or given on the command line opens
// by its own bytes. Such a path is shown through shownPath().

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

namespace orb {

// The path of a name's bytes; valid UTF-8 reads as it is.
QString pathFromNative(QByteArrayView bytes);
// The bytes of a path, the kept bytes restored.
QByteArray nativePath(QStringView path);
// The arguments of main() with every name kept byte for byte.
QStringList argumentsFromNative(int argc, const char *const *argv);
// A path for people: a name that is not UTF-8 is decoded as Windows-1251 (Windows archives
// unpacked in a Russian class) when that reads, otherwise with replacement characters.
QString shownPath(QStringView path);

// Why a file could not be opened for reading.
enum class OpenFailure { None, CannotOpen, IsFolder, NotRegularFile };
struct OpenError {
    OpenFailure failure = OpenFailure::None;
    QString message; // English, without the file name: "is a folder", "not a regular file", ...
};
// Opens a regular file for reading and never waits: a pipe, device or socket is refused before
// anything is read from it.
bool openRegularFile(QFile &file, const QString &path, OpenError *error = nullptr);

// True when both paths name the same existing file or folder (also through links).
bool sameFile(const QString &a, const QString &b);

// Why the last write to a device failed: its error string, or the system's reason (errno) when
// Qt gives none ("Unknown error" after a short write).
QString writeErrorString(const QIODevice &device);

// Writes an output file (a report, a graph): `writer` writes it all to the device. An existing
// character device or pipe is written to directly, as a shell redirection would; a folder is
// refused; a regular file is replaced atomically, and only once every byte has reached the
// disk, so that on a failure (a full disk) the old file stays. On failure, false and *error =
// "cannot write PATH: the system's reason".
bool writeOutputFile(const QString &path, const std::function<void(QIODevice &)> &writer,
                     QString *error);

// Writes an output folder as a whole: `fill` writes every file into a new folder beside it, which
// then takes the folder's place in one step, so that no file of an earlier run stays and an
// interrupted run leaves the old folder as it was. On failure, false and *error.
bool writeOutputFolder(const QString &path,
                       const std::function<bool(const QString &folder, QString *error)> &fill,
                       QString *error);

} // namespace orb
