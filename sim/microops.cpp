// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/microops.h"

using namespace Qt::StringLiterals;

namespace orb {

namespace {

int logicFunction(int function, int x, int y)
{
    const auto inv = Processor::invertBits;
    switch (function) {
    case 0:
        return inv(x);
    case 1:
        return inv(x | y);
    case 2:
        return inv(x) & y;
    case 3:
        return 0;
    case 4:
        return inv(x & y);
    case 5:
        return inv(y);
    case 6:
        return x ^ y;
    case 7:
        return x & inv(y);
    case 8:
        return inv(x) | y;
    case 9:
        return inv(x ^ y);
    case 10:
        return y;
    case 11:
        return x & y;
    case 12:
        return 255;
    case 13:
        return x | inv(y);
    case 14:
        return x | y;
    default:
        return x;
    }
}

int add(Processor &processor, int x, int y)
{
    processor.setAdderFlags(x, y, false);
    return (x + y) & 0xFF;
}

int subtract(Processor &processor, int x, int y)
{
    processor.setAdderFlags(x, y, true);
    return (x - y) & 0xFF;
}

} // namespace

int computeAlu(Processor &processor, int function, bool logic, int x, int y)
{
    if (logic)
        return logicFunction(function, x, y);
    switch (function) {
    case 0:
        return add(processor, x, 1);
    case 1:
        return processor.shiftLeftBits(x, 1);
    case 2:
        return add(processor, x, 2);
    case 4:
        return processor.shiftRightBits(x, 0);
    case 5:
        return add(processor, x, 3);
    case 6:
        return subtract(processor, x, y);
    case 8:
        return processor.shiftRightBits(x, 1);
    case 9:
        return add(processor, x, y);
    case 10:
        return subtract(processor, y, x);
    case 11:
        return add(processor, x, 4);
    case 12:
        return processor.shiftLeftBits(x, 0);
    case 15:
        return subtract(processor, x, 1);
    default:
        return noAluOperation; // 3, 7, 13, 14
    }
}

QString aluText(int function, bool logic, const QString &x, const QString &y)
{
    if (logic) {
        switch (function) {
        case 0:
            return u'!' + x;
        case 1:
            return u"!("_s + x + u" v "_s + y + u')';
        case 2:
            return u'!' + x + u" & "_s + y;
        case 3:
            return QStringLiteral("0");
        case 4:
            return u"!("_s + x + u" & "_s + y + u')';
        case 5:
            return u'!' + y;
        case 6:
            return x + u" ^ "_s + y;
        case 7:
            return x + u" & !"_s + y;
        case 8:
            return u'!' + x + u" v "_s + y;
        case 9:
            return u"!("_s + x + u" ^ "_s + y + u')';
        case 10:
            return y;
        case 11:
            return x + u" & "_s + y;
        case 12:
            return QStringLiteral("FF");
        case 13:
            return x + u" v !"_s + y;
        case 14:
            return x + u" v "_s + y;
        default:
            return x;
        }
    }
    switch (function) {
    case 0:
        return x + u" + 1"_s;
    case 1:
        return x + u" << 1 (1)"_s;
    case 2:
        return x + u" + 2"_s;
    case 4:
        return x + u" >> 1 (0)"_s;
    case 5:
        return x + u" + 3"_s;
    case 6:
        return x + u" - "_s + y;
    case 8:
        return x + u" >> 1 (1)"_s;
    case 9:
        return x + u" + "_s + y;
    case 10:
        return y + u" - "_s + x;
    case 11:
        return x + u" + 4"_s;
    case 12:
        return x + u" << 1 (0)"_s;
    case 15:
        return x + u" - 1"_s;
    default:
        return QString();
    }
}

bool loadRk(Processor &processor, MemoryAccess &memory, int extra)
{
    if (processor.ra + extra > 255)
        return false;
    for (int i = 0; i < 4; ++i)
        processor.rk[size_t(i)] = i <= extra ? memory.readMemory(processor.ra + i) : 0;
    const int rk1 = processor.rk[0];
    processor.r = rk1 & 0x0F;
    processor.s1 = processor.rk[1];
    processor.s2 = processor.rk[2];
    processor.s3 = processor.rk[3];
    processor.x4 = quint8((rk1 >> 7) & 1);
    processor.x3 = quint8((rk1 >> 6) & 1);
    processor.x2 = quint8((rk1 >> 5) & 1);
    processor.x1 = quint8((rk1 >> 4) & 1);
    return true;
}

QString Operation::text() const
{
    switch (kind) {
    case Kind::None:
        return QString();
    case Kind::NoAluOperation:
        return QStringLiteral("Операции для данного набора сигналов не существует");
    case Kind::NoMicrooperations:
        return QStringLiteral("Нет микроопераций");
    case Kind::RkLoadFailed: {
        const char16_t *name = signal == 62   ? u"y62: PK[31:16]"
                               : signal == 63 ? u"y63: PK[31:8]"
                                              : u"y64: PK[31:0]";
        return u"<font color='red'>Невозможно выполнить микрооперацию "_s +
               QString::fromUtf16(name) + u" := ОП[PA]</font>"_s;
    }
    case Kind::Microoperation:
        break;
    }
    QString text = u"Выполнена микрооперация y"_s + QString::number(signal) + u" :    "_s;
    const SignalInfo *info = signalInfo(signal);
    if (!info || info->kind != SignalKind::Microoperation)
        return text; // a number without a microoperation: the prefix alone
    text += QString::fromUtf16(info->text);
    if (info->usesAlu) {
        text += aluText(aluFunction, logic, QString::fromUtf16(info->aluX),
                        QString::fromUtf16(info->aluY));
    } else if (info->carry == CarryEffect::Counter) {
        text += countDown ? u"- 1"_s : u"+ 1"_s;
    }
    return text;
}

MicroopOutcome performMicrooperation(int signal, const ControlFields &fields, Processor &processor,
                                     MemoryAccess &memory)
{
    MicroopOutcome outcome;
    Operation &operation = outcome.operation;
    operation.kind = Operation::Kind::Microoperation;
    operation.signal = quint8(signal);
    operation.aluFunction = quint8(fields.aluFunction());
    operation.logic = fields.logicMode();
    operation.countDown = fields.countDown();

    Processor &p = processor;
    // Runs the row's ALU function; false when it does not exist, leaving everything as it was.
    auto alu = [&](int x, int y, int &result) {
        const int value = computeAlu(p, operation.aluFunction, operation.logic, x, y);
        if (value == noAluOperation) {
            operation.kind = Operation::Kind::NoAluOperation;
            return false;
        }
        result = value;
        p.setZeroAndSign(value);
        return true;
    };
    auto assign = [&](int &target, int value) {
        target = value;
        p.setZeroAndSign(value);
    };

    switch (signal) {
    case 20:
        assign(p.a, p.r);
        break;
    case 21:
        assign(p.a, p.s1);
        break;
    case 22:
        assign(p.a, p.s2);
        break;
    case 23:
        assign(p.a, p.s3);
        break;
    case 24:
        assign(p.a, p.rs);
        break;
    case 25:
        assign(p.a, p.rv);
        break;
    case 26:
        assign(p.a, p.sp);
        break;
    case 27:
        assign(p.a, p.ron[size_t(p.r1())]);
        break;
    case 28:
        assign(p.a, p.ron[size_t(p.r2())]);
        break;
    case 29:
        assign(p.a, p.ron[size_t(fields.registerT())]);
        break;
    case 30:
        assign(p.a, memory.readMemory(p.ra));
        break;
    case 31:
        alu(p.a, p.b, p.a);
        break;
    case 35:
        assign(p.b, p.ri);
        break;
    case 36:
        assign(p.b, p.ron[size_t(p.r)]);
        break;
    case 37:
        alu(p.a, p.b, p.b);
        break;
    case 38:
        assign(p.b, 0xF0 + p.r);
        break;
    case 41:
        assign(p.ra, p.ron[size_t(fields.registerT())]);
        break;
    case 42:
        alu(p.a, p.b, p.ra);
        break;
    case 43:
        p.ra = 0;
        p.z = 1;
        break;
    case 45:
        assign(p.rv, p.a);
        break;
    case 47:
        if (operation.countDown) {
            p.setAdderFlags(p.ri, 1, true);
            assign(p.ri, (p.ri - 1) & 0xFF);
        } else {
            p.setAdderFlags(p.ri, 1, false);
            assign(p.ri, (p.ri + 1) & 0xFF);
        }
        break;
    case 48:
        assign(p.ri, p.a);
        break;
    case 49:
        p.rs = 0;
        p.z = 1;
        break;
    case 50:
        alu(p.rs, p.a, p.rs);
        break;
    case 52:
        assign(p.sp, p.a);
        break;
    case 53:
        alu(p.sp, p.a, p.sp);
        break;
    case 55:
        assign(p.ron[size_t(p.r)], p.s1);
        break;
    case 56:
        assign(p.ron[size_t(p.r1())], p.a);
        break;
    case 57: {
        int &target = p.ron[size_t(p.r)];
        alu(target, p.a, target);
        break;
    }
    case 58: {
        int &target = p.ron[size_t(fields.registerT())];
        alu(target, p.a, target);
        break;
    }
    case 60:
        memory.writeMemory(p.ra, p.a);
        p.setZeroAndSign(p.a);
        break;
    case 62:
    case 63:
    case 64:
        if (!loadRk(p, memory, signal - 61))
            operation.kind = Operation::Kind::RkLoadFailed;
        break;
    case 66:
        outcome.device = DeviceRequest::DataByte;
        break;
    case 67:
    case 68:
    case 69:
    case 70:
        outcome.device = DeviceRequest::Message;
        break;
    default:
        break; // no microoperation: the step is taken with the prefix alone
    }
    return outcome;
}

QString deviceMessage(int signal, const Processor &processor)
{
    switch (signal) {
    case 66:
        return dataBytePrompt();
    case 67:
        return u"A = "_s + formatHex(processor.a);
    case 68:
        return QStringLiteral("Переполнение");
    case 69:
        return QStringLiteral("Ошибка в коде операции");
    case 70:
        return QStringLiteral("СТОП");
    default:
        return QString();
    }
}

QString dataBytePrompt()
{
    return QStringLiteral("Введите байт данных: ");
}

} // namespace orb
