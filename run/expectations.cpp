// SPDX-License-Identifier: GPL-3.0-or-later

#include "run/expectations.h"

#include "app/fileaccess.h"
#include "run/terminaltext.h"
#include "sim/registers.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace orb {

std::optional<int> parseHexByte(QStringView text)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        int digit;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

std::optional<QList<Expectation>> parseExpectations(QStringView text, QString *error)
{
    QList<Expectation> expectations;
    QHash<QString, int> seenOnLine;
    int lineNumber = 0;
    auto fail = [&](const QString &what) {
        if (error)
            *error = QString::number(lineNumber) + u": "_s + what;
        return std::nullopt;
    };
    for (const QStringView rawLine : text.tokenize(u'\n')) {
        ++lineNumber;
        const QStringView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return fail(u"expected NAME=VALUE, got %1"_s.arg(echoText(line)));
        const QString name = line.left(equals).trimmed().toString().toUpper();
        const QStringView value = line.mid(equals + 1).trimmed();

        Expectation e;
        e.name = name;
        if (name == u"END"_s) {
            e.kind = Expectation::Kind::End;
            e.name = u"end"_s;
            if (value == u"success"_s)
                e.value = RunSucceeded;
            else if (value == u"stopped"_s)
                e.value = RunStopped;
            else if (value == u"limit"_s)
                e.value = RunLimit;
            else if (value == u"break"_s)
                e.value = RunBreak;
            else
                return fail(
                    u"end must be success, stopped, limit or break, not %1"_s.arg(echoText(value)));
        } else if (const int reg = registerIndex(name); reg >= 0 && reg < registerCount) {
            e.kind = Expectation::Kind::Register;
            e.index = reg;
            const std::optional<int> byte = parseHexByte(value);
            if (!byte)
                return fail(u"%1 must be a hexadecimal byte (00 to FF), not %2"_s.arg(
                    name, echoText(value)));
            e.value = *byte;
        } else if (reg >= registerCount) {
            e.kind = Expectation::Kind::Flag;
            e.index = reg - registerCount;
            if (value != u"0"_s && value != u"1"_s)
                return fail(u"%1 must be 0 or 1, not %2"_s.arg(name, echoText(value)));
            e.value = value == u"1"_s;
        } else if (name.startsWith(u'M') && parseHexByte(QStringView(name).mid(1))) {
            e.kind = Expectation::Kind::Memory;
            e.index = *parseHexByte(QStringView(name).mid(1));
            e.name = u"M"_s + formatHex(e.index);
            const std::optional<int> byte = parseHexByte(value);
            if (!byte)
                return fail(u"%1 must be a hexadecimal byte (00 to FF), not %2"_s.arg(
                    e.name, echoText(value)));
            e.value = *byte;
        } else {
            return fail(u"unknown name %1"_s.arg(echoText(line.left(equals).trimmed())));
        }
        if (const auto seen = seenOnLine.constFind(e.name); seen != seenOnLine.cend())
            return fail(u"%1 is already expected on line %2"_s.arg(e.name).arg(*seen));
        seenOnLine.insert(e.name, lineNumber);
        expectations << e;
    }
    return expectations;
}

std::optional<QList<Expectation>> readExpectationsFile(const QString &path, QString *error)
{
    const QString shown = terminalText(shownPath(path));
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (path.isEmpty())
        return fail(u"--expect needs a file name"_s);
    QFile file;
    OpenError openError;
    if (!openRegularFile(file, path, &openError))
        return fail(u"cannot read the expectations file %1: %2"_s.arg(
            shown,
            openError.failure == OpenFailure::IsFolder ? u"it is a folder"_s : openError.message));
    // One byte more than allowed, so that devices and pipes without a size are bounded too.
    const QByteArray bytes = file.read(maxExpectationsBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(u"cannot read the expectations file %1: %2"_s.arg(shown, file.errorString()));
    if (bytes.size() > maxExpectationsBytes)
        return fail(u"the expectations file %1 is larger than 1 MiB"_s.arg(shown));
    // UTF-8 with or without a byte order mark, as editors on Windows save it; CR LF as LF.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    QString parseError;
    std::optional<QList<Expectation>> parsed = parseExpectations(text, &parseError);
    if (!parsed)
        return fail(shown + u':' + parseError);
    if (parsed->isEmpty())
        return fail(u"the expectations file %1 expects nothing (no NAME=VALUE line)"_s.arg(shown));
    return parsed;
}

} // namespace orb
