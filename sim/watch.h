#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Watches: a register, a flag or a memory byte that a run to the end keeps an eye on. A run
// stops after the press whose microoperation changed a watched register or flag (to the given
// value, when one is given) or wrote to a watched memory byte (that value, when given). The
// execution window and orb-run both hand their watches to the step engine, which judges them.

#include <QString>
#include <QStringView>

#include <optional>

namespace orb {

struct Watch {
    enum class Kind : quint8 { Register, Memory };
    Kind kind = Kind::Register;
    int index =
        0; // Register: the register table's index (flags from registerCount); Memory: address
    int value = -1; // -1: any change (any write); otherwise the value it must become

    bool isFlag() const;
    bool operator==(const Watch &) const = default;
};

// How a watch is named: as the execution window labels it ("РОН3", "ОП[3A]") or as orb-run's
// options and summary spell it ("RON3", "M3A").
enum class WatchNames { Panel, Ascii };

QString watchName(const Watch &watch, WatchNames names);
// The name, and " = 3C" for a watch with a value.
QString watchText(const Watch &watch, WatchNames names);
// A value as the watched thing shows it: two hexadecimal digits, 0 or 1 for a flag.
QString watchValueText(const Watch &watch, int value);
// A value typed for a watch: one or two hexadecimal digits, 0 or 1 for a flag.
std::optional<int> parseWatchValue(const Watch &watch, QStringView text);
// orb-run's NAME or NAME=VALUE: a register, a flag or Maa, as in expectations (any letter case).
// On a wrong text, nullopt and *error says what is wrong.
std::optional<Watch> parseWatch(QStringView text, QString *error);

// A press that a watch stopped: what the watched thing held before it and after.
struct WatchStop {
    Watch watch;
    int oldValue = 0;
    int newValue = 0;

    // "A изменился 00 → 3C", "A = 3C", "запись в ОП[3A]: 00 → 05", "ОП[3A] = 05".
    QString reason(WatchNames names) const;
    bool operator==(const WatchStop &) const = default;
};

} // namespace orb
