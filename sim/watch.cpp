// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/watch.h"

#include "sim/registers.h"

using namespace Qt::StringLiterals;

namespace orb {

namespace {

std::optional<int> parseHexDigits(QStringView text)
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

} // namespace

bool Watch::isFlag() const
{
    return kind == Kind::Register && index >= registerCount;
}

QString watchName(const Watch &watch, WatchNames names)
{
    if (watch.kind == Watch::Kind::Memory) {
        const QString address = formatHex(watch.index);
        return names == WatchNames::Panel ? u"ОП["_s + address + u']' : u"M"_s + address;
    }
    const RegisterInfo &info = registerTable()[size_t(watch.index)];
    return names == WatchNames::Panel ? QString::fromUtf16(info.panelName)
                                      : QString::fromLatin1(info.name);
}

QString watchValueText(const Watch &watch, int value)
{
    return watch.isFlag() ? QString::number(value) : formatHex(value);
}

QString watchText(const Watch &watch, WatchNames names)
{
    QString text = watchName(watch, names);
    if (watch.value >= 0)
        text += u" = "_s + watchValueText(watch, watch.value);
    return text;
}

std::optional<int> parseWatchValue(const Watch &watch, QStringView text)
{
    text = text.trimmed();
    if (watch.isFlag()) {
        if (text == u"0" || text == u"1")
            return text == u"1" ? 1 : 0;
        return std::nullopt;
    }
    return parseHexDigits(text);
}

std::optional<Watch> parseWatch(QStringView text, QString *error)
{
    auto fail = [error](const QString &what) {
        if (error)
            *error = what;
        return std::nullopt;
    };
    const qsizetype equals = text.indexOf(u'=');
    const QString name = (equals < 0 ? text : text.left(equals)).trimmed().toString().toUpper();
    Watch watch;
    if (const int index = registerIndex(name); index >= 0) {
        watch.index = index;
    } else if (name.startsWith(u'M') && parseHexDigits(QStringView(name).mid(1))) {
        watch.kind = Watch::Kind::Memory;
        watch.index = *parseHexDigits(QStringView(name).mid(1));
    } else {
        return fail(
            u"not a register (A, RON3, PC), a flag (Z, X1) or a memory byte (M00 to MFF)"_s);
    }
    if (equals < 0)
        return watch;
    const std::optional<int> value = parseWatchValue(watch, text.mid(equals + 1));
    if (!value)
        return fail(watch.isFlag() ? u"a flag's value must be 0 or 1"_s
                                   : u"the value must be a hexadecimal byte (00 to FF)"_s);
    watch.value = *value;
    return watch;
}

QString WatchStop::reason(WatchNames names) const
{
    const QString name = watchName(watch, names);
    const QString now = watchValueText(watch, newValue);
    if (watch.value >= 0)
        return name + u" = "_s + now;
    const QString was = watchValueText(watch, oldValue);
    if (watch.kind == Watch::Kind::Memory)
        return u"запись в "_s + name + u": "_s + was + u" → "_s + now;
    return name + u" изменился "_s + was + u" → "_s + now;
}

} // namespace orb
