// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/analysis.h"

#include "sim/microops.h"
#include "sim/processor.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <set>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

constexpr int stateCount = 1000; // state cells hold 0 … 999
constexpr int flagVectors = 256;
constexpr int zFlagBit = 1 << ZFlag;

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

QString joinNumbers(const QList<int> &numbers)
{
    QStringList parts;
    for (int number : numbers)
        parts << QString::number(number);
    return parts.join(u", "_s);
}

QString quotedCondition(const ProgramRow &row)
{
    return row.conditionText.isEmpty() ? u"(пустое, всегда истинно)"_s
                                       : u'«' + row.conditionText + u'»';
}

QString signalList(const std::vector<int> &numbers)
{
    QStringList parts;
    for (int number : numbers)
        parts << u"y"_s + QString::number(number);
    return parts.join(u',');
}

// The pattern with %1 … %9 replaced by args, in one pass: the checks of a large table write
// hundreds of messages, and QString::arg parses its pattern once per argument.
QString fill(QStringView pattern, std::initializer_list<QStringView> args)
{
    QString out;
    qsizetype size = pattern.size();
    for (QStringView arg : args)
        size += arg.size();
    out.reserve(size);
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' &&
            pattern[i + 1] <= u'9') {
            const size_t index = size_t(pattern[i + 1].unicode() - u'1');
            if (index < args.size())
                out += *(args.begin() + index);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString num(int value)
{
    return QString::number(value);
}

const char16_t *const flagNames[8] = {u"X4", u"X3", u"X2", u"X1", u"Z", u"N", u"C", u"P"};

} // namespace

QString severityName(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return u"error"_s;
    case Severity::Warning:
        return u"warning"_s;
    case Severity::Note:
        break;
    }
    return u"note"_s;
}

QString describeFlags(int flags, int mask)
{
    QStringList parts;
    for (int k = 0; k < 8; ++k) {
        if (mask & (1 << k))
            parts << QString::fromUtf16(flagNames[k]) + u'=' + QString::number((flags >> k) & 1);
    }
    return parts.join(u", "_s);
}

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

const StateFacts *Analysis::facts(int state) const
{
    const auto it = std::lower_bound(states.begin(), states.end(), state,
                                     [](const StateFacts &f, int s) { return f.state < s; });
    return it != states.end() && it->state == state ? &*it : nullptr;
}

Analysis analyzeProgram(const Program &program)
{
    Analysis result;
    const int rowCount = program.rowCount();
    result.takeable.assign(size_t(rowCount), false);

    // The states with rows, in ascending order, and where each one sits.
    std::vector<int> indexOf(stateCount, -1);
    for (int i = 0; i < rowCount; ++i) {
        const int state = program.row(i).sourceState;
        if (state >= 0 && state < stateCount)
            indexOf[size_t(state)] = 0;
    }
    for (int state = 0; state < stateCount; ++state) {
        if (indexOf[size_t(state)] == 0) {
            indexOf[size_t(state)] = int(result.states.size());
            result.states.emplace_back().state = state;
        }
    }
    auto factsIndex = [&](int state) {
        return state >= 0 && state < stateCount ? indexOf[size_t(state)] : -1;
    };
    for (int i = 0; i < rowCount; ++i) {
        const int index = factsIndex(program.row(i).sourceState);
        if (index >= 0)
            result.states[size_t(index)].rows.push_back(i);
    }

    // Signals as the engine loads them from a state's first row: control fields up to the
    // first number above 15, then the microoperations in order until the end mark; y70 stops.
    std::vector<quint16> lastOutcomes(result.states.size(), 0);
    std::vector<bool> loadsConditionFlags(result.states.size(), false);
    for (size_t s = 0; s < result.states.size(); ++s) {
        StateFacts &facts = result.states[s];
        const auto &list = program.row(facts.rows.front()).signalNumbers;
        size_t i = 0;
        for (; i < list.size() && list[i] != 0; ++i) {
            if (list[i] > 15)
                break;
            if (list[i] > 0)
                facts.controlFields.marks[size_t(list[i])] = 1;
        }
        for (; i < list.size() && list[i] != 0; ++i) {
            facts.microops.push_back(list[i]);
            if (list[i] >= 62 && list[i] <= 64)
                loadsConditionFlags[s] = true;
            if (list[i] == 70) {
                facts.stops = true;
                break;
            }
        }
        if (!facts.microops.empty())
            lastOutcomes[s] = resultFlagOutcomes(facts.microops.back(), facts.controlFields);
    }

    // The first row of a state whose condition holds on `flags`; -1 for none.
    auto firstHolding = [&](const StateFacts &facts, int flags) {
        for (int row : facts.rows) {
            if (program.row(row).condition.holds(flags))
                return row;
        }
        return -1;
    };

    // Flag sets to a fixed point: a state is entered with the flags its predecessor left.
    std::set<int> missing;
    std::vector<int> work;
    std::vector<bool> queued(result.states.size(), false);
    if (const int start = factsIndex(0); start >= 0) {
        result.states[size_t(start)].entry.set(0); // every flag is 0 at the start
        work.push_back(start);
        queued[size_t(start)] = true;
    }
    while (!work.empty()) {
        const int s = work.back();
        work.pop_back();
        queued[size_t(s)] = false;
        StateFacts &facts = result.states[size_t(s)];
        if (facts.microops.empty()) {
            facts.exit = facts.entry;
        } else {
            // X4 … X1 as entered, or any after a РК load; Z, N, C, P from the last microoperation.
            quint16 conditionFlags = 0;
            if (loadsConditionFlags[size_t(s)]) {
                conditionFlags = 0xFFFF;
            } else {
                for (int v = 0; v < flagVectors; ++v) {
                    if (facts.entry[size_t(v)])
                        conditionFlags |= quint16(1u << (v & 0xF));
                }
            }
            facts.exit.reset();
            for (int x = 0; x < 16; ++x) {
                if (!(conditionFlags & (1u << x)))
                    continue;
                for (int o = 0; o < 16; ++o) {
                    if (lastOutcomes[size_t(s)] & (1u << o))
                        facts.exit.set(size_t(x | o << 4));
                }
            }
        }
        if (facts.stops)
            continue;
        for (int v = 0; v < flagVectors; ++v) {
            if (!facts.exit[size_t(v)])
                continue;
            const int row = firstHolding(facts, v);
            if (row < 0)
                continue;
            result.takeable[size_t(row)] = true;
            const int target = program.row(row).nextState;
            const int t = factsIndex(target);
            if (t < 0) {
                missing.insert(target);
                continue;
            }
            StateFacts &next = result.states[size_t(t)];
            if (!next.entry[size_t(v)]) {
                next.entry.set(size_t(v));
                if (!queued[size_t(t)]) {
                    queued[size_t(t)] = true;
                    work.push_back(t);
                }
            }
        }
    }
    result.missingStates.assign(missing.begin(), missing.end());

    QList<Finding> &findings = result.findings;
    auto add = [&](const char16_t *code, Severity severity, QList<int> rows, QList<int> states,
                   const QString &message) {
        findings.append(
            {QString::fromUtf16(code), severity, std::move(rows), std::move(states), message});
    };

    const bool hasStart = factsIndex(0) >= 0;
    if (!hasStart) {
        add(u"no-start", Severity::Error, {}, {0},
            u"нет ни одной строки с исходным состоянием 0: выполнение сразу остановится "
            u"с сообщением «Не описан переход из состояния 0»"_s);
    } else if (std::none_of(result.states.begin(), result.states.end(),
                            [](const StateFacts &f) { return f.reachable() && f.stops; })) {
        add(u"no-success", Severity::Error, {}, {},
            u"ни один путь из состояния 0 не доходит до микрооперации y70: программа не может "
            u"завершиться успешно"_s);
    }

    for (const StateFacts &facts : result.states) {
        const int first = facts.rows.front();
        QList<int> stateRows;
        for (int row : facts.rows)
            stateRows << row + 1;

        if (hasStart && !facts.reachable()) {
            add(u"unreachable-state", Severity::Warning, stateRows, {facts.state},
                fill(u"состояние %1 (%2 %3) недостижимо из состояния 0: эти строки никогда "
                     u"не выполняются",
                     {num(facts.state), stateRows.size() == 1 ? u"строка" : u"строки",
                      joinNumbers(stateRows)}));
        }

        // Rows of the state after its first one.
        for (size_t k = 1; k < facts.rows.size(); ++k) {
            const int row = facts.rows[k];
            const ProgramRow &r = program.row(row);
            if (!r.signalsText.isEmpty()) {
                add(u"ignored-signals", Severity::Warning, {row + 1}, {facts.state},
                    fill(u"строка %1 — не первая строка состояния %2, её сигналы %3 не "
                         u"выполняются",
                         {num(row + 1), num(facts.state), r.signalsText}));
            }
            if (r.condition.kind == TransitionCondition::Kind::Never)
                continue;
            // Shadowed: every flag vector on which this row holds makes an earlier row hold.
            QList<int> shadowing;
            bool covered = true;
            for (int v = 0; v < flagVectors && covered; ++v) {
                if (!r.condition.holds(v))
                    continue;
                bool earlier = false;
                for (size_t j = 0; j < k; ++j) {
                    if (program.row(facts.rows[j]).condition.holds(v)) {
                        earlier = true;
                        if (!shadowing.contains(facts.rows[j] + 1))
                            shadowing << facts.rows[j] + 1;
                        break;
                    }
                }
                covered = earlier;
            }
            if (covered) {
                std::sort(shadowing.begin(), shadowing.end());
                QStringList earlier;
                for (int e : shadowing)
                    earlier << QString::number(e) + u' ' + quotedCondition(program.row(e - 1));
                add(u"shadowed-row", Severity::Warning, QList<int>{row + 1} + shadowing,
                    {facts.state},
                    fill(u"строка %1 никогда не выбирается: когда выполнено её условие %2, "
                         u"выполнено и условие %3 %4 того же состояния %5, стоящей выше",
                         {num(row + 1), quotedCondition(r),
                          shadowing.size() == 1 ? u"строки" : u"одной из строк",
                          earlier.join(u", "_s), num(facts.state)}));
            }
        }

        for (int row : facts.rows) {
            const ProgramRow &r = program.row(row);
            if (r.condition.kind == TransitionCondition::Kind::Never) {
                QString message = fill(u"строка %1: условие %2 никогда не выполняется, переход "
                                       u"по этой строке невозможен",
                                       {num(row + 1), quotedCondition(r)});
                if (row == first)
                    message += fill(u" (сигналы строки выполняются, но из состояния %1 по ней не "
                                    u"перейти)",
                                    {num(facts.state)});
                add(u"never-row", Severity::Warning, {row + 1}, {facts.state}, message);
            }
            // A flag the last microoperation cannot set is 0 whenever this row is tried.
            if (!facts.microops.empty() && !facts.stops &&
                r.condition.kind == TransitionCondition::Kind::Flags) {
                const quint16 outcomes = lastOutcomes[size_t(&facts - result.states.data())];
                QStringList unset;
                for (int k = ZFlag; k <= PFlag; ++k) {
                    if (!(r.condition.mask & (1 << k)))
                        continue;
                    bool canBeSet = false;
                    for (int o = 0; o < 16; ++o)
                        canBeSet = canBeSet || ((outcomes & (1u << o)) && (o & (1 << (k - ZFlag))));
                    if (!canBeSet)
                        unset << QString::fromUtf16(flagNames[k]);
                }
                if (!unset.isEmpty()) {
                    const bool one = unset.size() == 1;
                    add(u"flag-never-set", Severity::Warning, {row + 1}, {facts.state},
                        fill(u"строка %1: условие проверяет %2 %3, но последняя микрооперация "
                             u"состояния %4 (y%5) %6 не устанавливает: при проверке %7 всегда 0",
                             {num(row + 1), one ? u"флаг" : u"флаги", unset.join(u", "_s),
                              num(facts.state), num(facts.microops.back()), one ? u"его" : u"их",
                              one ? u"он" : u"они"}));
                }
            }
        }

        // Control fields that none of the first row's microoperations reads.
        quint16 used = 0;
        for (int signal : facts.microops) {
            if (const SignalInfo *info = signalInfo(signal))
                used |= info->controlFields;
        }
        std::vector<int> unused;
        for (int field = 6; field <= 15; ++field) {
            if (facts.controlFields.marks[size_t(field)] && !(used & (1u << field)))
                unused.push_back(field);
        }
        if (!unused.empty()) {
            const bool one = unused.size() == 1;
            add(u"unused-control-field", Severity::Note, {first + 1}, {facts.state},
                fill(facts.microops.empty()
                         ? u"строка %1: %2 %3 ни на что не %5: в строке нет микроопераций"
                         : u"строка %1: %2 %3 не %4 ни одной микрооперацией строки",
                     {num(first + 1), one ? u"управляющее поле" : u"управляющие поля",
                      signalList(unused), one ? u"используется" : u"используются",
                      one ? u"влияет" : u"влияют"}));
        }

        // A stop "при данных условиях": flags on which no row of the state holds.
        if (facts.reachable() && !facts.stops) {
            int tested = 0;
            for (int row : facts.rows) {
                if (program.row(row).condition.kind == TransitionCondition::Kind::Flags)
                    tested |= program.row(row).condition.mask;
            }
            for (int v = 0; v < flagVectors; ++v) {
                if (facts.exit[size_t(v)] && firstHolding(facts, v) < 0) {
                    const QString when =
                        tested ? u"при "_s + describeFlags(v, tested) : u"при любых флагах"_s;
                    add(u"incomplete-state", Severity::Note, stateRows, {facts.state},
                        fill(u"состояние %1: %2 не выполняется ни одно условие его строк — если "
                             u"выполнение дойдёт сюда, оно остановится «при данных условиях»",
                             {num(facts.state), when}));
                    break;
                }
            }
        }
    }

    for (int target : result.missingStates) {
        for (int row = 0; row < rowCount; ++row) {
            if (!result.takeable[size_t(row)] || program.row(row).nextState != target)
                continue;
            const int source = program.row(row).sourceState;
            QList<int> states{source, target};
            std::sort(states.begin(), states.end());
            states.erase(std::unique(states.begin(), states.end()), states.end());
            add(u"missing-state", Severity::Error, {row + 1}, states,
                fill(u"строка %1: переход из состояния %2 в состояние %3, для которого нет ни "
                     u"одной строки — если выполнение дойдёт сюда, оно остановится с сообщением "
                     u"«Не описан переход из состояния %3»",
                     {num(row + 1), num(source), num(target)}));
        }
    }

    // Cycles of states without microoperations: the flags cannot change in them, so for a
    // given flag vector the walk is fixed and, once it repeats a state, loops for ever.
    std::set<QList<int>> cycles;
    std::vector<quint8> colour(result.states.size());
    std::vector<int> path;
    for (int v = 0; v < flagVectors; ++v) {
        std::fill(colour.begin(), colour.end(), quint8(0));
        for (size_t s = 0; s < result.states.size(); ++s) {
            const StateFacts &start = result.states[s];
            if (!start.microops.empty() || !start.entry[size_t(v)] || colour[s])
                continue;
            path.clear();
            int current = int(s);
            for (;;) {
                if (colour[size_t(current)] == 2)
                    break;
                if (colour[size_t(current)] == 1) {
                    const auto begin = std::find(path.begin(), path.end(), current);
                    QList<int> states;
                    for (auto it = begin; it != path.end(); ++it)
                        states << result.states[size_t(*it)].state;
                    std::sort(states.begin(), states.end());
                    if (cycles.insert(states).second) {
                        QList<int> rows;
                        for (auto it = begin; it != path.end(); ++it)
                            rows << firstHolding(result.states[size_t(*it)], v) + 1;
                        std::sort(rows.begin(), rows.end());
                        add(u"empty-cycle", Severity::Warning, rows, states,
                            (states.size() == 1
                                 ? u"состояние %1 без микроопераций переходит само в себя"_s.arg(
                                       states.first())
                                 : u"состояния %1 без микроопераций переходят друг в друга по "
                                   u"кругу"_s.arg(joinNumbers(states))) +
                                u" (строки %1): флаги в этом цикле не меняются, и если выполнение "
                                u"дойдёт сюда при %2, оно зациклится"_s.arg(
                                    joinNumbers(rows), describeFlags(v, 0xFF)));
                    }
                    break;
                }
                colour[size_t(current)] = 1;
                path.push_back(current);
                const int row = firstHolding(result.states[size_t(current)], v);
                if (row < 0)
                    break;
                const int next = factsIndex(program.row(row).nextState);
                if (next < 0 || !result.states[size_t(next)].microops.empty())
                    break;
                current = next;
            }
            for (int p : path)
                colour[size_t(p)] = 2;
        }
    }

    std::stable_sort(findings.begin(), findings.end(), [](const Finding &a, const Finding &b) {
        if (a.row() != b.row())
            return a.row() < b.row();
        return a.severity < b.severity;
    });
    return result;
}

} // namespace orb
