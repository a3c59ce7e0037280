// SPDX-License-Identifier: GPL-3.0-or-later

#include "run/terminaltext.h"

using namespace Qt::StringLiterals;

namespace orb {

QString terminalText(QStringView text, bool quote, qsizetype maxLength)
{
    const bool cut = maxLength > 0 && text.size() > maxLength;
    if (cut)
        text = text.left(maxLength);
    QString shown;
    shown.reserve(text.size() + 2);
    if (quote)
        shown += u'"';
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            shown += u"\\n"_s;
        else if (u == u'\r')
            shown += u"\\r"_s;
        else if (u == u'\t')
            shown += u"\\t"_s;
        else if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            shown += u"\\x"_s + QString::number(u, 16).rightJustified(2, u'0');
        else if (u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
                 (u >= 0x2066 && u <= 0x2069))
            shown += u"\\u"_s + QString::number(u, 16);
        else if (quote && (u == u'"' || u == u'\\'))
            shown += u'\\' + c;
        else
            shown += c;
    }
    if (cut)
        shown += u'…';
    if (quote)
        shown += u'"';
    return shown;
}

QString echoText(QStringView text)
{
    return terminalText(text, true, echoLength);
}

} // namespace orb
