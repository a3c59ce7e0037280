// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/registers.h"

#include <cstddef>
#include <type_traits>

namespace orb {

const std::array<RegisterInfo, registerTableSize> &registerTable()
{
    static const std::array<RegisterInfo, registerTableSize> table = {{
        {"RK1", u"РК1", "rk1", "RK", 0, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.rk[0]); },
         [](Processor &p, int value) { p.rk[0] = value; }},
        {"RK2", u"РК2", "rk2", "RK", 0, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.rk[1]); },
         [](Processor &p, int value) { p.rk[1] = value; }},
        {"RK3", u"РК3", "rk3", "RK", 0, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.rk[2]); },
         [](Processor &p, int value) { p.rk[2] = value; }},
        {"RK4", u"РК4", "rk4", "RK", 0, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.rk[3]); },
         [](Processor &p, int value) { p.rk[3] = value; }},
        {"RON0", u"РОН0", "ron0", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[0]); },
         [](Processor &p, int value) { p.ron[0] = value; }},
        {"RON1", u"РОН1", "ron1", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[1]); },
         [](Processor &p, int value) { p.ron[1] = value; }},
        {"RON2", u"РОН2", "ron2", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[2]); },
         [](Processor &p, int value) { p.ron[2] = value; }},
        {"RON3", u"РОН3", "ron3", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[3]); },
         [](Processor &p, int value) { p.ron[3] = value; }},
        {"RON4", u"РОН4", "ron4", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[4]); },
         [](Processor &p, int value) { p.ron[4] = value; }},
        {"RON5", u"РОН5", "ron5", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[5]); },
         [](Processor &p, int value) { p.ron[5] = value; }},
        {"RON6", u"РОН6", "ron6", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[6]); },
         [](Processor &p, int value) { p.ron[6] = value; }},
        {"RON7", u"РОН7", "ron7", "RON", 1, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[7]); },
         [](Processor &p, int value) { p.ron[7] = value; }},
        {"RON8", u"РОН8", "ron8", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[8]); },
         [](Processor &p, int value) { p.ron[8] = value; }},
        {"RON9", u"РОН9", "ron9", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[9]); },
         [](Processor &p, int value) { p.ron[9] = value; }},
        {"RON10", u"РОН10", "ron10", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[10]); },
         [](Processor &p, int value) { p.ron[10] = value; }},
        {"RON11", u"РОН11", "ron11", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[11]); },
         [](Processor &p, int value) { p.ron[11] = value; }},
        {"RON12", u"РОН12", "ron12", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[12]); },
         [](Processor &p, int value) { p.ron[12] = value; }},
        {"RON13", u"РОН13", "ron13", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[13]); },
         [](Processor &p, int value) { p.ron[13] = value; }},
        {"RON14", u"РОН14", "ron14", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[14]); },
         [](Processor &p, int value) { p.ron[14] = value; }},
        {"RON15", u"РОН15", "ron15", "RON", 2, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ron[15]); },
         [](Processor &p, int value) { p.ron[15] = value; }},
        {"A", u"A", "a", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.a); }, [](Processor &p, int value) { p.a = value; }},
        {"B", u"B", "b", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.b); }, [](Processor &p, int value) { p.b = value; }},
        {"PC", u"РС", "rs", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.rs); },
         [](Processor &p, int value) { p.rs = value; }},
        {"SP", u"SP", "sp", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.sp); },
         [](Processor &p, int value) { p.sp = value; }},
        {"RI", u"РИ", "ri", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ri); },
         [](Processor &p, int value) { p.ri = value; }},
        {"RA", u"РА", "ra", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.ra); },
         [](Processor &p, int value) { p.ra = value; }},
        {"RB", u"РВ", "rv", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.rv); },
         [](Processor &p, int value) { p.rv = value; }},
        {"R", u"R", "r", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.r); }, [](Processor &p, int value) { p.r = value; }},
        {"S1", u"S1", "s1", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.s1); },
         [](Processor &p, int value) { p.s1 = value; }},
        {"S2", u"S2", "s2", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.s2); },
         [](Processor &p, int value) { p.s2 = value; }},
        {"S3", u"S3", "s3", nullptr, 3, RegisterFormat::Hex,
         [](const Processor &p) { return int(p.s3); },
         [](Processor &p, int value) { p.s3 = value; }},
        {"X4", u"X4", "x4", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.x4); },
         [](Processor &p, int value) { p.x4 = quint8(value); }},
        {"X3", u"X3", "x3", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.x3); },
         [](Processor &p, int value) { p.x3 = quint8(value); }},
        {"X2", u"X2", "x2", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.x2); },
         [](Processor &p, int value) { p.x2 = quint8(value); }},
        {"X1", u"X1", "x1", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.x1); },
         [](Processor &p, int value) { p.x1 = quint8(value); }},
        {"Z", u"Z", "z", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.z); },
         [](Processor &p, int value) { p.z = quint8(value); }},
        {"N", u"N", "n", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.n); },
         [](Processor &p, int value) { p.n = quint8(value); }},
        {"C", u"C", "c", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.c); },
         [](Processor &p, int value) { p.c = quint8(value); }},
        {"P", u"P", "p", nullptr, 4, RegisterFormat::Decimal,
         [](const Processor &p) { return int(p.p); },
         [](Processor &p, int value) { p.p = quint8(value); }},
    }};
    return table;
}

RegisterPlace registerPlace(int index)
{
    static_assert(std::is_standard_layout_v<Processor>);
    static_assert(offsetof(Processor, s3) ==
                  offsetof(Processor, rk) + (registerCount - 1) * sizeof(int));
    static_assert(offsetof(Processor, p) == offsetof(Processor, x4) + flagCount - 1);
    if (index < registerCount)
        return {quint16(offsetof(Processor, rk) + size_t(index) * sizeof(int)), false};
    return {quint16(offsetof(Processor, x4) + size_t(index - registerCount)), true};
}

int registerIndex(QStringView name)
{
    const auto &table = registerTable();
    for (int i = 0; i < registerTableSize; ++i) {
        if (name.compare(QLatin1StringView(table[size_t(i)].name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString formatRegisterValue(const RegisterInfo &info, int value)
{
    return info.format == RegisterFormat::Hex ? formatHex(value) : QString::number(value);
}

QString formatRadix(int value, Radix radix)
{
    value &= 0xFF;
    switch (radix) {
    case Radix::Hex:
        break;
    case Radix::Unsigned:
        return QString::number(value);
    case Radix::Signed: {
        const int signedValue = value > 127 ? value - 256 : value;
        return (signedValue > 0 ? QStringLiteral("+") : QString()) + QString::number(signedValue);
    }
    case Radix::Binary: {
        const QString bits = QStringLiteral("%1").arg(value, 8, 2, QChar(u'0'));
        return bits.left(4) + QChar(u' ') + bits.mid(4);
    }
    }
    return formatHex(value);
}

const QStringList &registerNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int i = 0; i < registerCount; ++i)
            list << QString::fromLatin1(registerTable()[size_t(i)].name);
        return list;
    }();
    return names;
}

int registerValue(const Processor &p, int index)
{
    return registerTable()[size_t(index)].read(p);
}

QString flagName(int flag)
{
    return QString::fromLatin1(registerTable()[size_t(registerCount + flag)].name);
}

const QStringList &flagOperandNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int flag = 0; flag < flagCount; ++flag)
            list << QString::fromLatin1(registerTable()[size_t(registerCount + flag)].panelKey);
        return list;
    }();
    return names;
}

} // namespace orb
