#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The teaching processor: the instruction register РК as four bytes, sixteen general registers
// РОН, eleven one-byte registers and eight one-bit flags, with the bit-level helpers of the
// function unit. Every value stays in 0..255 (flags 0 or 1). The main memory is not part of
// the model: it is reached through MemoryAccess, so the execution window works on the
// document's memory (a byte edited between two steps is what the next read returns) and the
// benchmarks and fuzzers on a plain byte array.

#include "cells/memorybyte.h" // formatHex, the text of a register's byte

#include <QString>

#include <array>

namespace orb {

// Bit array of a byte: entry 0 holds bit 7 (the most significant), entry 7 holds bit 0.
using Bits = std::array<quint8, 8>;

// The main memory ОП, 256 bytes at addresses 0..255.
class MemoryAccess {
public:
    virtual ~MemoryAccess() = default;
    // The byte at `address`; a cell that holds no hexadecimal number reads as 0.
    virtual int readMemory(int address) = 0;
    virtual void writeMemory(int address, int value) = 0;
    // A step taken back puts a byte back: no write of the program's.
    virtual void restoreMemory(int address, int value) { writeMemory(address, value); }
};

// Memory held in a plain array, for orb-run, benchmarks and tests.
class ByteArrayMemory final : public MemoryAccess {
public:
    ByteArrayMemory() { bytes.fill(0); }
    int readMemory(int address) override { return bytes[quint8(address)]; }
    void writeMemory(int address, int value) override { bytes[quint8(address)] = quint8(value); }

    std::array<quint8, 256> bytes;
};

// Flag indexes in the order of the condition operands x4, x3, x2, x1, z, n, c, p.
enum FlagIndex : int { X4Flag, X3Flag, X2Flag, X1Flag, ZFlag, NFlag, CFlag, PFlag };

class Processor {
public:
    // Registers in the order of the register panels; the names are the panels' cell keys:
    // rs = РС ("PC" in texts), ri = РИ, ra = РА ("PA"), rv = РВ ("PB").
    std::array<int, 4> rk{}; // РК1 (bits 31..24) … РК4 (bits 7..0)
    std::array<int, 16> ron{};
    int a = 0;
    int b = 0;
    int rs = 0;
    int sp = 0;
    int ri = 0;
    int ra = 0;
    int rv = 0;
    int r = 0; // lower half of РК1, 0..15
    int s1 = 0;
    int s2 = 0;
    int s3 = 0;
    // X4 … X1 are the upper half of РК1; Z, N, C, P the result flags.
    quint8 x4 = 0;
    quint8 x3 = 0;
    quint8 x2 = 0;
    quint8 x1 = 0;
    quint8 z = 0;
    quint8 n = 0;
    quint8 c = 0;
    quint8 p = 0;

    void reset() { *this = Processor(); }
    void setA(int value) { a = value; }

    // Register numbers derived on use.
    int r1() const { return s1 >> 4; }
    int r2() const { return s2 & 0x0F; }

    // The flags by FlagIndex, as the transition conditions test them.
    std::array<quint8, 8> flags() const { return {x4, x3, x2, x1, z, n, c, p}; }
    // The same as a bit set: bit k is the flag of FlagIndex k.
    int flagBits() const
    {
        return x4 | x3 << 1 | x2 << 2 | x1 << 3 | z << 4 | n << 5 | c << 6 | p << 7;
    }

    void clearResultFlags() { z = n = c = p = 0; }
    // Z := 1 for 0, otherwise N := 1 above 127; expects Z and N cleared.
    void setZeroAndSign(int value)
    {
        if (value == 0)
            z = 1;
        else if (value > 127)
            n = 1;
    }

    static Bits toBits(int value);
    static int fromBits(const Bits &bits);
    static int invertBits(int value) { return 255 - value; }

    // Shift towards bit 0 with `incoming` entering at bit 7. Sets C when bit 0 drops out as 1
    // and P when the sign changes; otherwise C and P stay as they are.
    int shiftRightBits(int value, int incoming);
    // Shift towards bit 7 with `incoming` entering at bit 0. Sets C when bit 7 drops out as 1
    // and P when bits 7 and 6 differ; otherwise C and P stay as they are.
    int shiftLeftBits(int value, int incoming);
    // C := carry (addition) or borrow (subtraction) out of bit 7, P := signed overflow, for the
    // 8-bit x + y or x - y. Always writes both.
    void setAdderFlags(int x, int y, bool subtract);

    bool operator==(const Processor &) const = default;
};

} // namespace orb
