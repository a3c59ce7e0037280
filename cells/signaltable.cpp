// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/signaltable.h"

namespace orb {

namespace {

constexpr SignalInfo controlField(int number, quint16 field)
{
    return {number,
            SignalKind::ControlField,
            u"",
            0,
            0,
            ZeroSignEffect::None,
            0,
            0,
            CarryEffect::None,
            false,
            nullptr,
            nullptr,
            field,
            DeviceEffect::None};
}

// A microoperation that copies a value; Z and N come from it.
constexpr SignalInfo copy(int number, const char16_t *text, Locations reads, Locations writes,
                          quint16 fields = 0, quint8 min = 0, quint8 max = 255)
{
    return {number,
            SignalKind::Microoperation,
            text,
            reads,
            writes,
            ZeroSignEffect::FromResult,
            min,
            max,
            CarryEffect::None,
            false,
            nullptr,
            nullptr,
            fields,
            DeviceEffect::None};
}

constexpr SignalInfo alu(int number, const char16_t *target, const char16_t *x, const char16_t *y,
                         Locations reads, Locations writes, quint16 fields = 0)
{
    return {number,
            SignalKind::Microoperation,
            target,
            reads,
            writes,
            ZeroSignEffect::FromResult,
            0,
            255,
            CarryEffect::Alu,
            true,
            x,
            y,
            quint16(aluFields | fields),
            DeviceEffect::None};
}

constexpr SignalInfo other(int number, const char16_t *text, Locations reads, Locations writes,
                           ZeroSignEffect zeroSign, DeviceEffect device = DeviceEffect::None)
{
    return {number, SignalKind::Microoperation, text,  reads,   writes,  zeroSign, 0,
            255,    CarryEffect::None,          false, nullptr, nullptr, 0,        device};
}

constexpr Locations rkLoadWrites = LocRK | LocR | LocS1 | LocS2 | LocS3 | LocConditionFlags;

// The texts are the program's own and must stay character for character as they are: "PC",
// "PB", "PA", "POH" and "PK" are written in Latin letters, while "ОП", "РИ", "Дисплей" and the
// "РА" of "ОП[РА]" are Cyrillic. y30 writes "ОП[PA]" with a Latin "PA", y60 and the РК loads
// "ОП[РА]" with a Cyrillic one. A test pins every code point; never "correct" them.
constexpr std::array<SignalInfo, 49> signalEntries{{
    controlField(6, countDownField),
    controlField(7, 1u << 7),
    controlField(8, 1u << 8),
    controlField(9, 1u << 9),
    controlField(10, 1u << 10),
    controlField(11, 1u << 11),
    controlField(12, 1u << 12),
    controlField(13, 1u << 13),
    controlField(14, 1u << 14),
    controlField(15, 1u << 15),
    copy(20, u"A := R", LocR, LocA, 0, 0, 15),
    copy(21, u"A := S1", LocS1, LocA),
    copy(22, u"A := S2", LocS2, LocA),
    copy(23, u"A := S3", LocS3, LocA),
    copy(24, u"A := PC", LocPC, LocA),
    copy(25, u"A := PB", LocRB, LocA),
    copy(26, u"A := SP", LocSP, LocA),
    copy(27, u"A := POH[R1]", LocRonR1 | LocS1, LocA),
    copy(28, u"A := POH[R2]", LocRonR2 | LocS2, LocA),
    copy(29, u"A := POH[T]", LocRonT, LocA, registerTFields),
    copy(30, u"A := ОП[PA]", LocMemory | LocRA, LocA),
    alu(31, u"A := ", u"A", u"B", LocA | LocB, LocA),
    copy(35, u"B := РИ", LocRI, LocB),
    copy(36, u"B := POH[R]", LocRonR | LocR, LocB),
    alu(37, u"B := ", u"A", u"B", LocA | LocB, LocB),
    copy(38, u"B := F.R", LocR, LocB, 0, 240, 255),
    copy(41, u"PA := POH[T]", LocRonT, LocRA, registerTFields),
    alu(42, u"PA := ", u"A", u"B", LocA | LocB, LocRA),
    other(43, u"PA := 0", 0, LocRA, ZeroSignEffect::ZeroSet),
    copy(45, u"PB := A", LocA, LocRB),
    {47, SignalKind::Microoperation, u"РИ := РИ ", LocRI, LocRI, ZeroSignEffect::FromResult, 0, 255,
     CarryEffect::Counter, false, nullptr, nullptr, countDownField, DeviceEffect::None},
    copy(48, u"РИ := A", LocA, LocRI),
    other(49, u"PC := 0", 0, LocPC, ZeroSignEffect::ZeroSet),
    alu(50, u"PC := ", u"PC", u"A", LocPC | LocA, LocPC),
    copy(52, u"SP := A", LocA, LocSP),
    alu(53, u"SP := ", u"SP", u"A", LocSP | LocA, LocSP),
    copy(55, u"POH[R] := S1", LocS1 | LocR, LocRonR),
    copy(56, u"POH[R1] := A", LocA | LocS1, LocRonR1),
    alu(57, u"POH[R] := ", u"POH[R]", u"A", LocRonR | LocR | LocA, LocRonR),
    alu(58, u"POH[T] := ", u"POH[T]", u"A", LocRonT | LocA, LocRonT, registerTFields),
    copy(60, u"ОП[РА] := A", LocA | LocRA, LocMemory),
    other(62, u"PK[31:16] := ОП[РА]", LocRA | LocMemory, rkLoadWrites, ZeroSignEffect::None),
    other(63, u"PK[31:8] := ОП[РА]", LocRA | LocMemory, rkLoadWrites, ZeroSignEffect::None),
    other(64, u"PK[31:0] := ОП[РА]", LocRA | LocMemory, rkLoadWrites, ZeroSignEffect::None),
    other(66, u"A := Дисплей", LocDevice, LocA, ZeroSignEffect::None, DeviceEffect::DataByte),
    other(67, u"Дисплей := A", LocA, LocDevice, ZeroSignEffect::None, DeviceEffect::Message),
    other(68, u"\"Переполнение\"", 0, LocDevice, ZeroSignEffect::None, DeviceEffect::Message),
    other(69, u"\"Ошибка в КОП\"", 0, LocDevice, ZeroSignEffect::None, DeviceEffect::Message),
    other(70, u"\"СТОП\"", 0, LocDevice, ZeroSignEffect::None, DeviceEffect::Stop),
}};

// Signal number -> index in `signalEntries`, -1 for a number that names no signal.
constexpr std::array<qint8, 100> signalIndexes = [] {
    std::array<qint8, 100> indexes{};
    for (qint8 &index : indexes)
        index = -1;
    for (size_t i = 0; i < signalEntries.size(); ++i)
        indexes[size_t(signalEntries[i].number)] = qint8(i);
    return indexes;
}();

} // namespace

const std::array<SignalInfo, 49> &signalTable()
{
    return signalEntries;
}

const SignalInfo *signalInfo(int number)
{
    if (number < 0 || number >= int(signalIndexes.size()))
        return nullptr;
    const int index = signalIndexes[size_t(number)];
    return index < 0 ? nullptr : &signalEntries[size_t(index)];
}

} // namespace orb
