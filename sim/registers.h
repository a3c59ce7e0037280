#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The registers and flags of the processor as one table: their order on the execution
// window's panels, the names the panels show, the names of orb-run's summary, trace and
// expectations, how each value is written out and how it is read from and stored into a
// Processor. Everything that lists registers iterates this table.

#include "sim/processor.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstring>

namespace orb {

enum class RegisterFormat {
    Hex,     // a byte as two upper-case hexadecimal digits (formatHex)
    Decimal, // a flag as 0 or 1
};

struct RegisterInfo {
    const char *name; // "RK1", "RON0", "A", "PC", "RB", "X4", "Z": summary, JSON, expectations
    const char16_t *panelName; // as the panels label it: "РК1", "РОН0", "РС", "РВ", "X4"
    const char *panelKey;      // the panels' cell key: "rk1", "ron0", "rs", "rv", "x4"
    // Entries that the trace writes as one JSON array ("RK", "RON"); nullptr for the others.
    const char *group;
    int summaryLine; // the line of orb-run's summary that lists it (0 .. 4)
    RegisterFormat format;
    int (*read)(const Processor &);
    void (*write)(Processor &, int value);
};

inline constexpr int registerCount = 31; // the byte registers, first in the table
inline constexpr int flagCount = 8;      // then the flags, in FlagIndex order
inline constexpr int registerTableSize = registerCount + flagCount;

const std::array<RegisterInfo, registerTableSize> &registerTable();

// Where an entry of the table keeps its value in a Processor, for reading the same few entries
// after every press without a call through the table: the byte registers are the Processor's
// ints in table order, the flags its bytes.
struct RegisterPlace {
    quint16 offset = 0; // bytes from the start of a Processor
    bool flag = false;  // a byte, not an int

    // What the entry's read() returns.
    int read(const Processor &processor) const
    {
        const auto *at = reinterpret_cast<const unsigned char *>(&processor) + offset;
        if (flag)
            return *at;
        int value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
};
RegisterPlace registerPlace(int index);

// The table index of a name ("RK1", "pc", "x4"; any letter case); -1 when there is none.
int registerIndex(QStringView name);

// A value as the panels show it: two hexadecimal digits for a register, 0 or 1 for a flag.
QString formatRegisterValue(const RegisterInfo &info, int value);

// How a register's byte may be read on the panels; hexadecimal is the panels' own.
enum class Radix : quint8 { Hex, Unsigned, Signed, Binary };
inline constexpr int radixCount = 4;
// 0x3C: "3C", "60", "+60", "0011 1100"; 0x80 signed: "-128"; 0 signed: "0".
QString formatRadix(int value, Radix radix);

// The names of the byte registers in the order of the panels: RK1 … RK4, RON0 … RON15, A, B,
// PC, SP, RI, RA, RB, R, S1, S2, S3; and the value of the one at `index` in a processor.
const QStringList &registerNames();
int registerValue(const Processor &processor, int index);

// The flags by FlagIndex: a flag's name in the table ("X4" … "P"), and the operands a conditions
// cell names them by, in the order of its normal form ("x4" … "p": the panels' keys).
QString flagName(int flag);
const QStringList &flagOperandNames();
inline const QStringList conditionOperandNames = flagOperandNames();

} // namespace orb
