// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/memorybyte.h"

namespace orb {

QString maskedByteText(QStringView raw)
{
    // What Qt's mask character 'H' takes, in order, skipping everything else: the ASCII letters
    // a-f and A-F and every character Unicode counts as a number (so also "١" or "²"), and NUL;
    // '>' shows them in upper case. The test holds this against a real QLineEdit.
    QString text;
    for (const QChar c : raw) {
        if (text.size() == 2)
            break;
        const char16_t u = c.unicode();
        if (u == 0 || c.isNumber() || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F'))
            text += c.toUpper();
    }
    return text;
}

int readMemoryByte(QStringView text)
{
    bool converted = false;
    const int value = text.toInt(&converted, 16);
    return converted && value >= 0 && value <= 255 ? value : 0;
}

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

QString formatHex(int value)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    const QChar text[2] = {QChar(digits[(value >> 4) & 0xF]), QChar(digits[value & 0xF])};
    return QString(text, 2);
}

} // namespace orb
