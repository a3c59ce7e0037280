#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Style sheets and document constants shared by the editor, the cells and the document code.
// Each constant is the concatenation of its pieces with nothing in between; the pieces are
// kept apart here so that each reads like one line of a style sheet.

#include <QString>
#include <QStringList>

namespace orb {

inline const QString inactiveTabStyle =
    QStringLiteral("QPushButton {") + QStringLiteral("   background-color: rgb(234, 234, 234);") +
    QStringLiteral("   border: 1px solid  rgb(217, 217, 217);") +
    QStringLiteral("   border-top-right-radius: 15px;") +
    QStringLiteral("   border-bottom-right-radius: 15px;") + QStringLiteral("   outline: none;") +
    QStringLiteral("}") + QStringLiteral("QPushButton:hover {") +
    QStringLiteral("   background-color: rgb(245, 245, 245);") + QStringLiteral("}");

inline const QString activeTabStyle = QStringLiteral("border: 1px solid  white;") +
                                      QStringLiteral("border-right: 0px;") +
                                      QStringLiteral("outline: none;");

inline const QString ramEvenRowStyle =
    QStringLiteral("QLineEdit {") + QStringLiteral("   border: 0px;") +
    QStringLiteral("   background-color: rgb(250,250,250);") +
    QStringLiteral("   color: rgb(75,75,75);") + QStringLiteral("   font-weight: bold;") +
    QStringLiteral("}") + QStringLiteral("QLineEdit:focus{") +
    QStringLiteral("   border: 1px solid rgb(100,100,100);") + QStringLiteral("}");

inline const QString ramOddRowStyle =
    QStringLiteral("QLineEdit {") + QStringLiteral("   border: 0px solid;") +
    QStringLiteral("   color: rgb(75,75,75);") + QStringLiteral("   font-weight: bold;") +
    QStringLiteral("}") + QStringLiteral("QLineEdit:focus {") +
    QStringLiteral("   border: 1px solid rgb(100,100,100);") + QStringLiteral("}");

inline const QString correctCellStyle =
    QStringLiteral("background-color: #f2f2f2;") + QStringLiteral("border-radius: 6px;") +
    QStringLiteral("font-weight: bold;") + QStringLiteral("color: #4C5866;");

inline const QString incorrectCellStyle =
    QStringLiteral("background-color: #f2f2f2;") + QStringLiteral("border-radius: 6px;") +
    QStringLiteral("border: 1px solid #E28383;") + QStringLiteral("font-weight: bold;") +
    QStringLiteral("color: #4C5866;");

inline const QString rowNumberStyle = QStringLiteral("background-color: rgb(101, 220, 177);") +
                                      QStringLiteral("border-radius: 10px;") +
                                      QStringLiteral("color: rgb(255, 255, 255);");

// The row-number label of a row with a breakpoint (the same shape in red), of the row an
// execution window shows (framed), and of a row that is both.
inline const QString breakpointRowNumberStyle =
    QStringLiteral("background-color: rgb(226, 131, 131);") +
    QStringLiteral("border-radius: 10px;") + QStringLiteral("color: rgb(255, 255, 255);");

inline const QString currentRowNumberStyle =
    QStringLiteral("background-color: rgb(101, 220, 177);") +
    QStringLiteral("border-radius: 10px;") + QStringLiteral("color: rgb(255, 255, 255);") +
    QStringLiteral("border: 2px solid rgb(60, 100, 160);") + QStringLiteral("padding: -2px;");

inline const QString currentBreakpointRowNumberStyle =
    QStringLiteral("background-color: rgb(226, 131, 131);") +
    QStringLiteral("border-radius: 10px;") + QStringLiteral("color: rgb(255, 255, 255);") +
    QStringLiteral("border: 2px solid rgb(60, 100, 160);") + QStringLiteral("padding: -2px;");

inline const QString ramHeaderStyle =
    QStringLiteral("border-radius: 8px;") + QStringLiteral("background-color: rgb(87, 161, 217);") +
    QStringLiteral("color: white;") + QStringLiteral("font-weight: bold;");

inline const QString documentMagic = QStringLiteral("MKT");
inline constexpr QChar documentSeparator = u'\n';

} // namespace orb
