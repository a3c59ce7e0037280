// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/fileaccess.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace orb {

namespace {

constexpr char16_t keptByteBase = 0xDC00;

bool isKeptByte(QStringView path, qsizetype i)
{
    const char16_t c = path[i].unicode();
    return c >= 0xDC80 && c <= 0xDCFF && (i == 0 || !path[i - 1].isHighSurrogate());
}

// The length of the valid UTF-8 sequence at bytes[i], or 0.
qsizetype utf8SequenceLength(QByteArrayView bytes, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (qsizetype k = i + 2; k < i + length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF)
            return 0;
    }
    return length;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

QString pathFromNative(QByteArrayView bytes)
{
    QString path;
    path.reserve(bytes.size());
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = utf8SequenceLength(bytes, i);
        if (length > 0) {
            i += length;
            continue;
        }
        path += QString::fromUtf8(bytes.sliced(runStart, i - runStart));
        path += QChar(char16_t(keptByteBase + static_cast<unsigned char>(bytes[i])));
        runStart = ++i;
    }
    path += QString::fromUtf8(bytes.sliced(runStart));
    return path;
}

QByteArray nativePath(QStringView path)
{
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isKeptByte(path, i))
            continue;
        bytes += path.sliced(runStart, i - runStart).toUtf8();
        bytes += char(path[i].unicode() - keptByteBase);
        runStart = i + 1;
    }
    bytes += path.sliced(runStart).toUtf8();
    return bytes;
}

QStringList argumentsFromNative(int argc, const char *const *argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << pathFromNative(QByteArrayView(argv[i]));
    return arguments;
}

QString shownPath(QStringView path)
{
    QString shown;
    qsizetype i = 0;
    while (i < path.size()) {
        if (!isKeptByte(path, i)) {
            shown += path[i++];
            continue;
        }
        QByteArray run;
        while (i < path.size() && isKeptByte(path, i))
            run += char(path[i++].unicode() - keptByteBase);
        // A byte Windows-1251 leaves undefined (98) or a control character reads as no letter.
        QStringDecoder decoder("windows-1251");
        QString text = decoder.decode(run);
        if (decoder.hasError() || !decoder.isValid())
            text = QString(run.size(), QChar::ReplacementCharacter);
        for (QChar &c : text) {
            if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
                c = QChar::ReplacementCharacter;
        }
        shown += text;
    }
    return shown;
}

bool openRegularFile(QFile &file, const QString &path, OpenError *error)
{
    auto fail = [&](OpenFailure failure, const QString &message) {
        if (error)
            *error = OpenError{failure, message};
        return false;
    };
#ifdef Q_OS_UNIX
    // Without O_NONBLOCK opening a pipe waits for a writer; the type is judged on what was
    // opened, so nothing can be swapped in between.
    const QByteArray name = nativePath(path);
    if (name.isEmpty())
        return fail(OpenFailure::CannotOpen, u"no file name"_s);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(OpenFailure::CannotOpen, systemError(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(OpenFailure::CannotOpen, systemError(code));
    }
    if (S_ISDIR(status.st_mode)) {
        ::close(fd);
        return fail(OpenFailure::IsFolder, u"is a folder"_s);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(OpenFailure::NotRegularFile, u"not a regular file"_s);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(OpenFailure::CannotOpen, file.errorString());
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.isDir())
        return fail(OpenFailure::IsFolder, u"is a folder"_s);
    if (info.exists() && !info.isFile())
        return fail(OpenFailure::NotRegularFile, u"not a regular file"_s);
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(OpenFailure::CannotOpen, file.errorString());
    return true;
#endif
}

bool sameFile(const QString &a, const QString &b)
{
#ifdef Q_OS_UNIX
    struct stat first {};
    struct stat second {};
    return ::stat(nativePath(a).constData(), &first) == 0 &&
           ::stat(nativePath(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
#else
    const QFileInfo first(a);
    return first.exists() && first.canonicalFilePath() == QFileInfo(b).canonicalFilePath();
#endif
}

QString writeErrorString(const QIODevice &device)
{
    const int code = errno;
    QString reason = device.errorString();
    if ((reason.isEmpty() || reason == u"Unknown error"_s) && code != 0)
        return systemError(code);
    return reason;
}

bool writeOutputFile(const QString &path, const std::function<void(QIODevice &)> &writer,
                     QString *error)
{
    auto fail = [&](const QString &reason) {
        if (error)
            *error = u"cannot write %1: %2"_s.arg(shownPath(path), reason);
        return false;
    };
    const QByteArray name = nativePath(path);
#ifdef Q_OS_UNIX
    struct stat status {};
    if (::stat(name.constData(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return fail(u"is a folder"_s);
        if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) {
            // As `> PATH` in a shell: /dev/null stays a device, a pipe's reader gets the text.
            const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0)
                return fail(systemError(errno));
            QFile file;
            if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
                ::close(fd);
                return fail(file.errorString());
            }
            errno = 0;
            writer(file);
            if (!file.flush() || file.error() != QFileDevice::NoError)
                return fail(writeErrorString(file));
            return true;
        }
        if (!S_ISREG(status.st_mode))
            return fail(u"not a regular file"_s);
    }
#endif
    QSaveFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    errno = 0;
    writer(file);
    // The buffer's last write happens here: commit() would close the file without saying that
    // it failed, and put a cut file in place of the old one.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = writeErrorString(file);
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool writeOutputFolder(const QString &path,
                       const std::function<bool(const QString &folder, QString *error)> &fill,
                       QString *error)
{
    auto fail = [&](const QString &reason) {
        if (error)
            *error = u"cannot write %1: %2"_s.arg(shownPath(path), reason);
        return false;
    };
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return fail(u"not a folder"_s);
    const QString parent = info.absolutePath();
    if (!QDir().mkpath(parent))
        return fail(u"cannot create the folder %1"_s.arg(shownPath(parent)));
    // Hidden beside it, on the same file system, so that the last step is a rename.
    QTemporaryDir fresh(parent + u"/."_s + info.fileName() + u"-XXXXXX"_s);
    if (!fresh.isValid())
        return fail(fresh.errorString());
    QFile::setPermissions(fresh.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther);
    if (!fill(fresh.path(), error))
        return false;
    const QByteArray from = QFile::encodeName(fresh.path());
    const QByteArray to = nativePath(info.absoluteFilePath());
    if (!info.exists()) {
        if (std::rename(from.constData(), to.constData()) != 0)
            return fail(systemError(errno));
        fresh.setAutoRemove(false);
        return true;
    }
#ifdef Q_OS_LINUX
    // The two folders trade places; the old one, now under the temporary name, is removed.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        return true;
#endif
    const QByteArray old = from + ".old";
    if (std::rename(to.constData(), old.constData()) != 0)
        return fail(systemError(errno));
    if (std::rename(from.constData(), to.constData()) != 0) {
        const int code = errno;
        std::rename(old.constData(), to.constData());
        return fail(systemError(code));
    }
    QDir(QFile::decodeName(old)).removeRecursively();
    return true;
}

} // namespace orb
