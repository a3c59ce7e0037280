#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The 49 signals as one table: the numbers the cell language accepts, and for each signal what
// the microoperations do with it (sim/microops.h) and the facts the static checks and the help
// tables read. It sits below both the cell language and the simulator, so that both take the
// signal numbers from here.

#include <QtGlobal>

#include <array>

namespace orb {

// Places a microoperation reads or writes, as bits of a Locations set. RonR, RonR1, RonR2 and
// RonT are the general register that R, R1, R2 or T selects; Memory is the byte at РА (and the
// bytes after it for the РК loads); ConditionFlags are X4 … X1; Device is the display dialog.
enum Location : quint32 {
    LocA = 1u << 0,
    LocB = 1u << 1,
    LocRA = 1u << 2, // РА, "PA" in texts
    LocRB = 1u << 3, // РВ, "PB"
    LocPC = 1u << 4, // РС, "PC"
    LocSP = 1u << 5,
    LocRI = 1u << 6,
    LocR = 1u << 7,
    LocS1 = 1u << 8,
    LocS2 = 1u << 9,
    LocS3 = 1u << 10,
    LocRK = 1u << 11,
    LocRonR = 1u << 12,
    LocRonR1 = 1u << 13,
    LocRonR2 = 1u << 14,
    LocRonT = 1u << 15,
    LocMemory = 1u << 16,
    LocConditionFlags = 1u << 17,
    LocDevice = 1u << 18,
};
using Locations = quint32;

// How a microoperation leaves Z and N (all four result flags are cleared before it).
enum class ZeroSignEffect : quint8 {
    None,       // both stay 0
    FromResult, // from the value written: Z if 0, else N if above 127
    ZeroSet,    // Z := 1
};

// How a microoperation leaves C and P.
enum class CarryEffect : quint8 {
    None,    // both stay 0
    Alu,     // from the ALU: adder or shift in arithmetic mode, untouched (0) in logic mode
    Counter, // from the РИ counter's adder: + 1, or - 1 when y6 is listed
};

enum class SignalKind : quint8 { ControlField, Microoperation };

enum class DeviceEffect : quint8 {
    None,
    DataByte, // asks for a byte, which goes to A
    Message,  // shows a message
    Stop,     // shows "СТОП" and stops the automaton with success
};

// One signal of the set: what the cell language accepts, what the engine does with it, and the
// facts the static checks and the help tables read. The execution below is a switch for speed;
// a test checks it against this table.
struct SignalInfo {
    int number;
    SignalKind kind;
    // The operation text after "Выполнена микрооперация yN :    ": the whole text, or for an ALU
    // microoperation the part before the ALU text ("A := "), or for y47 the part before the
    // direction ("РИ := РИ "). Empty for control fields.
    const char16_t *text;
    Locations reads;
    Locations writes;
    ZeroSignEffect zeroSign;
    // The range of the value Z and N come from when zeroSign is FromResult and the ALU is not
    // used (R is 0..15; F.R is 240 + R).
    quint8 resultMin;
    quint8 resultMax;
    CarryEffect carry;
    bool usesAlu;
    // The ALU operand names as the text writes them (ALU microoperations only).
    const char16_t *aluX;
    const char16_t *aluY;
    // Bit k set: the microoperation reads control field yk (6..15).
    quint16 controlFields;
    DeviceEffect device;
};

// The 49 signals in ascending order of their numbers.
const std::array<SignalInfo, 49> &signalTable();
// The entry of `number`; nullptr for a number that names no signal.
const SignalInfo *signalInfo(int number);

// Control-field bit sets of SignalInfo::controlFields.
inline constexpr quint16 countDownField = 1u << 6;
inline constexpr quint16 registerTFields = 0xFu << 7; // y7 … y10
inline constexpr quint16 aluFields = 0x1Fu << 11;     // y11 … y15

} // namespace orb
