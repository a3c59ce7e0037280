// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/processor.h"

namespace orb {

Bits Processor::toBits(int value)
{
    Bits bits;
    for (int i = 0; i < 8; ++i)
        bits[size_t(i)] = quint8((value >> (7 - i)) & 1);
    return bits;
}

int Processor::fromBits(const Bits &bits)
{
    int value = 0;
    for (quint8 bit : bits)
        value = value << 1 | (bit & 1);
    return value;
}

int Processor::shiftRightBits(int value, int incoming)
{
    if (value & 1)
        c = 1;
    if (((value >> 7) & 1) != incoming)
        p = 1;
    return (value >> 1) | (incoming << 7);
}

int Processor::shiftLeftBits(int value, int incoming)
{
    if (value & 0x80)
        c = 1;
    if (((value >> 7) & 1) != ((value >> 6) & 1))
        p = 1;
    return ((value << 1) & 0xFF) | incoming;
}

void Processor::setAdderFlags(int x, int y, bool subtract)
{
    // The carry (borrow) into bit 7 is that of the lower seven bits, the one out of bit 7 that
    // of the whole byte; this is the ripple chain's result without walking it bit by bit.
    bool out7;
    bool out6;
    if (subtract) {
        out7 = x < y;
        out6 = (x & 0x7F) < (y & 0x7F);
    } else {
        out7 = x + y > 0xFF;
        out6 = (x & 0x7F) + (y & 0x7F) > 0x7F;
    }
    c = out7;
    p = out7 != out6;
}

} // namespace orb
