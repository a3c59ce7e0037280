#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The bold font of the dialogs' texts and of the execution window's operation line. The family
// asked for first is the one the forms were designed with; no system has a font of that exact
// name, and the usual fallback (a wide sans) cuts off the longer headings in their fixed-size
// labels, so narrower families of similar metrics are asked for next.

#include <QFont>
#include <QStringList>

namespace orb {

inline QFont dialogFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Shell Dig 2"), QStringLiteral("Tahoma"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Bold);
    return font;
}

} // namespace orb
