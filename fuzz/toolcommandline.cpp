// SPDX-License-Identifier: GPL-3.0-or-later

#include "toolcommandline.h"

#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace fuzz {

QStringList toolArguments(const char *program, const uint8_t *data, size_t size)
{
    if (size > 2048)
        return {};
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList arguments{QString::fromLatin1(program)};
    for (const QByteArray &part : bytes.split('\0')) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString argument = decoder.decode(part);
        argument.replace(u'/', u'_');
        arguments << argument;
    }
    return arguments;
}

ToolFolder::ToolFolder() : previous_(QDir::currentPath())
{
    static QTemporaryDir *folder = nullptr;
    if (!folder) {
        folder = new QTemporaryDir;
        FUZZ_CHECK(folder->isValid());
        const auto write = [](const char *name, const QByteArray &bytes) {
            QFile file(folder->filePath(QString::fromLatin1(name)));
            FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        };
        write("a.orb", "MKT\n2\n0\n1\n\ny66\n1\n1\n\ny70\n");
        write("red.orb", "MKT\n1\n0\n1\nq\ny999\n");
        write("junk.orb", "\xff\xfe"
                          "MKT");
        write("t.txt", "case one\ninput 5\nexpect A=05\nexpect end=stopped\n");
        write("bad.txt", "case\nexpect Q=zz\n");
        QDir(folder->path()).mkdir(QStringLiteral("sub"));
        write("sub/b.orb", "MKT\n1\n0\n0\n\ny70\n");
    }
    FUZZ_CHECK(QDir::setCurrent(folder->path()));
}

ToolFolder::~ToolFolder()
{
    QDir::setCurrent(previous_);
}

bool terminalSafe(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\t')
            continue;
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E))
            return false;
    }
    return true;
}

} // namespace fuzz
