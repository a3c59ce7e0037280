// SPDX-License-Identifier: GPL-3.0-or-later
//
// What a microoperation can leave in the result flags Z, N, C and P: the sets the static checks
// hold a state's conditions against.

#include "analysis/analysis.h"

#include "sim/microops.h"
#include "sim/processor.h"

#include <array>
#include <atomic>

namespace orb {

namespace {

// Z, N, C, P of a processor as an index of resultFlagOutcomes' set.
int resultIndex(int z, int n, int c, int p)
{
    return z | n << 1 | c << 2 | p << 3;
}

int zeroSignIndex(int value)
{
    return resultIndex(value == 0, value > 127, 0, 0);
}

// The outcomes of one ALU function, tried on every pair of bytes.
quint16 aluFunctionOutcomes(int logic, int function)
{
    // Functions of x alone need no second operand.
    const bool usesY = logic ? !(function == 0 || function == 3 || function == 12 || function == 15)
                             : (function == 6 || function == 9 || function == 10);
    quint16 set = 0;
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < (usesY ? 256 : 1); ++y) {
            Processor p;
            const int value = computeAlu(p, function, logic, x, y);
            if (value == noAluOperation)
                set |= 1;
            else
                set |= quint16(1u << resultIndex(value == 0, value > 127, p.c, p.p));
        }
    }
    return set;
}

// Each function's outcomes are found on its first use. The whole table at once took about 20 ms,
// spent at the start of one grading thread while the other waited for it; a table uses few
// functions. Two threads may find the same set at once and store it twice; no set is 0.
quint16 aluOutcomes(int logic, int function)
{
    static std::array<std::atomic<quint16>, 32> known{};
    std::atomic<quint16> &slot = known[size_t(logic * 16 + function)];
    quint16 set = slot.load(std::memory_order_relaxed);
    if (set == 0) {
        set = aluFunctionOutcomes(logic, function);
        slot.store(set, std::memory_order_relaxed);
    }
    return set;
}

} // namespace

namespace {

// The outcomes of a microoperation that does not use the ALU; y6 is the only field that matters.
quint16 fixedOutcomes(const SignalInfo *info, bool countDown)
{
    quint16 set = 0;
    switch (info->zeroSign) {
    case ZeroSignEffect::None:
        set = 1;
        break;
    case ZeroSignEffect::ZeroSet:
        set = quint16(1u << resultIndex(1, 0, 0, 0));
        break;
    case ZeroSignEffect::FromResult:
        if (info->carry == CarryEffect::Counter) {
            // The РИ counter: every value of РИ through the adder.
            const bool down = countDown;
            for (int ri = 0; ri < 256; ++ri) {
                Processor p;
                p.setAdderFlags(ri, 1, down);
                const int value = (down ? ri - 1 : ri + 1) & 0xFF;
                set |= quint16(1u << resultIndex(value == 0, value > 127, p.c, p.p));
            }
        } else {
            for (int value = info->resultMin; value <= info->resultMax; ++value)
                set |= quint16(1u << zeroSignIndex(value));
        }
        break;
    }
    return set;
}

} // namespace

quint16 resultFlagOutcomes(int signal, const ControlFields &fields)
{
    const SignalInfo *info = signalInfo(signal);
    if (!info || info->kind != SignalKind::Microoperation)
        return 1; // nothing happens: the flags stay cleared
    if (info->usesAlu)
        return aluOutcomes(fields.logicMode() ? 1 : 0, fields.aluFunction());
    // Every entry of the signal table, once, with and without y6.
    static const std::array<quint16, 2 * 100> fixed = [] {
        std::array<quint16, 2 * 100> table{};
        for (const SignalInfo &entry : signalTable()) {
            if (entry.kind == SignalKind::Microoperation && !entry.usesAlu) {
                table[size_t(2 * entry.number)] = fixedOutcomes(&entry, false);
                table[size_t(2 * entry.number + 1)] = fixedOutcomes(&entry, true);
            }
        }
        return table;
    }();
    return fixed[size_t(2 * signal + (fields.countDown() ? 1 : 0))];
}

} // namespace orb
