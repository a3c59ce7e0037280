#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The microoperation set: what each signal number y20 … y70 does to the processor, with the
// function unit (ALU) that several of them share, and the texts that describe them.
//
// Performing a microoperation records a compact Operation instead of its text, so a run that
// nobody watches builds no strings; Operation::text() gives the exact text when it is shown.

#include "cells/signaltable.h"
#include "sim/processor.h"

#include <QString>

#include <array>

namespace orb {

// The control-field marks of the current row: marks[k] is 1 when yk (k <= 15) is listed.
struct ControlFields {
    std::array<quint8, 16> marks{};

    void clear() { marks.fill(0); }
    // y6: y47 counts РИ down.
    bool countDown() const { return marks[6]; }
    // T = 8·y10 + 4·y9 + 2·y8 + y7.
    int registerT() const { return marks[10] << 3 | marks[9] << 2 | marks[8] << 1 | marks[7]; }
    // F = 8·y11 + 4·y12 + 2·y13 + y14: y11 is the most significant, the opposite order to T.
    int aluFunction() const { return marks[11] << 3 | marks[12] << 2 | marks[13] << 1 | marks[14]; }
    // y15: logic functions; not listed: arithmetic functions.
    bool logicMode() const { return marks[15]; }
};

// What computeAlu returns for a function that does not exist (arithmetic 3, 7, 13, 14).
inline constexpr int noAluOperation = -1000;

// The ALU: function `function` (0..15) in logic or arithmetic mode applied to x and y.
// Arithmetic functions set C and P (adder or shift), logic functions leave them alone.
int computeAlu(Processor &processor, int function, bool logic, int x, int y);
// The function's text built from the operand names; empty for a function that does not exist.
QString aluText(int function, bool logic, const QString &xName, const QString &yName);

// y62, y63, y64 (extra = 1, 2, 3): РК1 … РК(extra+1) from memory at РА onwards, the rest of
// РК cleared, then R, S1 … S3 and X4 … X1 taken from РК. Returns false, changing nothing,
// when the last address would lie past 255.
bool loadRk(Processor &processor, MemoryAccess &memory, int extra);

// The description of the last operation, kept compact; text() builds the string.
struct Operation {
    enum class Kind : quint8 {
        None,           // nothing executed yet: the empty text
        Microoperation, // "Выполнена микрооперация yN :    " and the signal's own text
        NoAluOperation,    // the ALU function does not exist
        RkLoadFailed,      // a РК load past the end of memory (red)
        NoMicrooperations, // a row without microoperations
    };
    Kind kind = Kind::None;
    quint8 signal = 0;
    // The row's control fields that the text depends on.
    quint8 aluFunction = 0;
    bool logic = false;
    bool countDown = false;

    QString text() const;
    bool operator==(const Operation &) const = default;
};

// What a microoperation needs from the display device once its registers are done.
enum class DeviceRequest : quint8 {
    None,
    DataByte, // y66: ask for a data byte (dataBytePrompt()); an entered byte goes to A
    Message,  // y67 … y70: show deviceMessage(); y70 then stops the automaton
};

struct MicroopOutcome {
    Operation operation;
    DeviceRequest device = DeviceRequest::None;
};

// Performs microoperation `signal` and sets Z and N from the value it names. The caller has
// cleared Z, N, C and P. A signal number without a microoperation changes nothing.
MicroopOutcome performMicrooperation(int signal, const ControlFields &fields, Processor &processor,
                                     MemoryAccess &memory);
// Whether microoperation `signal` writes to memory (y60 writes A at РА; no other writes).
inline bool writesMemory(int signal)
{
    return signal == 60;
}

// The message of y67 … y70 for the processor's current state ("A = 05", "СТОП", ...).
QString deviceMessage(int signal, const Processor &processor);
QString dataBytePrompt();

} // namespace orb
