// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/analysis.h"

#include "sim/microops.h"
#include "sim/processor.h"
#include "sim/registers.h"

#include <algorithm>
#include <array>
#include <set>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

constexpr int stateCount = 1000; // state cells hold 0 … 999
constexpr int flagVectors = 256;

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
            parts << flagName(k) + u'=' + QString::number((flags >> k) & 1);
    }
    return parts.join(u", "_s);
}

const StateFacts *Analysis::facts(int state) const
{
    const auto it = std::lower_bound(states.begin(), states.end(), state,
                                     [](const StateFacts &f, int s) { return f.state < s; });
    return it != states.end() && it->state == state ? &*it : nullptr;
}

namespace {

// What the passes of analyzeProgram share: the program, the analysis being built and, per
// state (in the order of Analysis::states), what its first row's signals leave in the flags.
struct Passes {
    Passes(const Program &program, Analysis &result) : program(program), result(result) {}

    const Program &program;
    Analysis &result;
    std::vector<int> indexOf = std::vector<int>(stateCount, -1); // state -> index of its facts
    std::vector<quint16> lastOutcomes;     // resultFlagOutcomes of the last microoperation
    std::vector<bool> loadsConditionFlags; // loads РК (y62 … y64): X4 … X1 may change
    bool hasStart = false;

    int factsIndex(int state) const
    {
        return state >= 0 && state < stateCount ? indexOf[size_t(state)] : -1;
    }
    // The first row of a state whose condition holds on `flags`; -1 for none.
    int firstHolding(const StateFacts &facts, int flags) const
    {
        for (int row : facts.rows) {
            if (program.row(row).condition.holds(flags))
                return row;
        }
        return -1;
    }
    void add(const char16_t *code, Severity severity, QList<int> rows, QList<int> states,
             const QString &message)
    {
        result.findings.append(
            {QString::fromUtf16(code), severity, std::move(rows), std::move(states), message});
    }
};

// The states with rows, in ascending order, each with its rows in table order.
void collectStates(Passes &p)
{
    const int rowCount = p.program.rowCount();
    for (int i = 0; i < rowCount; ++i) {
        const int state = p.program.row(i).sourceState;
        if (state >= 0 && state < stateCount)
            p.indexOf[size_t(state)] = 0;
    }
    for (int state = 0; state < stateCount; ++state) {
        if (p.indexOf[size_t(state)] == 0) {
            p.indexOf[size_t(state)] = int(p.result.states.size());
            p.result.states.emplace_back().state = state;
        }
    }
    for (int i = 0; i < rowCount; ++i) {
        const int index = p.factsIndex(p.program.row(i).sourceState);
        if (index >= 0)
            p.result.states[size_t(index)].rows.push_back(i);
    }
}

// Signals as the engine loads them from a state's first row: control fields up to the first
// number above 15, then the microoperations in order until the end mark; y70 stops.
void loadSignals(Passes &p)
{
    p.lastOutcomes.assign(p.result.states.size(), 0);
    p.loadsConditionFlags.assign(p.result.states.size(), false);
    for (size_t s = 0; s < p.result.states.size(); ++s) {
        StateFacts &facts = p.result.states[s];
        const auto &list = p.program.row(facts.rows.front()).signalNumbers;
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
                p.loadsConditionFlags[s] = true;
            if (list[i] == 70) {
                facts.stops = true;
                break;
            }
        }
        if (!facts.microops.empty())
            p.lastOutcomes[s] = resultFlagOutcomes(facts.microops.back(), facts.controlFields);
    }
}

// The flag vectors each state may be entered with and tried on, to a fixed point: a state is
// entered with the flags its predecessor left. Marks the takeable rows and the missing states.
void propagateFlags(Passes &p)
{
    Analysis &result = p.result;
    result.takeable.assign(size_t(p.program.rowCount()), false);
    std::set<int> missing;
    std::vector<int> work;
    std::vector<bool> queued(result.states.size(), false);
    if (const int start = p.factsIndex(0); start >= 0) {
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
            if (p.loadsConditionFlags[size_t(s)]) {
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
                    if (p.lastOutcomes[size_t(s)] & (1u << o))
                        facts.exit.set(size_t(x | o << 4));
                }
            }
        }
        if (facts.stops)
            continue;
        for (int v = 0; v < flagVectors; ++v) {
            if (!facts.exit[size_t(v)])
                continue;
            const int row = p.firstHolding(facts, v);
            if (row < 0)
                continue;
            result.takeable[size_t(row)] = true;
            const int target = p.program.row(row).nextState;
            const int t = p.factsIndex(target);
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
}

// Whether the program can start, and end with success.
void checkStartAndSuccess(Passes &p)
{
    p.hasStart = p.factsIndex(0) >= 0;
    if (!p.hasStart) {
        p.add(u"no-start", Severity::Error, {}, {0},
              u"нет ни одной строки с исходным состоянием 0: выполнение сразу остановится "
              u"с сообщением «Не описан переход из состояния 0»"_s);
    } else if (std::none_of(p.result.states.begin(), p.result.states.end(),
                            [](const StateFacts &f) { return f.reachable() && f.stops; })) {
        p.add(u"no-success", Severity::Error, {}, {},
              u"ни один путь из состояния 0 не доходит до микрооперации y70: программа не может "
              u"завершиться успешно"_s);
    }
}

// The rows of a state after its first one: signals that are never executed, and rows that an
// earlier row of the state always wins over.
void checkLaterRows(Passes &p, const StateFacts &facts)
{
    for (size_t k = 1; k < facts.rows.size(); ++k) {
        const int row = facts.rows[k];
        const ProgramRow &r = p.program.row(row);
        if (!r.signalsText.isEmpty()) {
            p.add(u"ignored-signals", Severity::Warning, {row + 1}, {facts.state},
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
                if (p.program.row(facts.rows[j]).condition.holds(v)) {
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
                earlier << QString::number(e) + u' ' + quotedCondition(p.program.row(e - 1));
            p.add(u"shadowed-row", Severity::Warning, QList<int>{row + 1} + shadowing,
                  {facts.state},
                  fill(u"строка %1 никогда не выбирается: когда выполнено её условие %2, "
                       u"выполнено и условие %3 %4 того же состояния %5, стоящей выше",
                       {num(row + 1), quotedCondition(r),
                        shadowing.size() == 1 ? u"строки" : u"одной из строк",
                        earlier.join(u", "_s), num(facts.state)}));
        }
    }
}

// Conditions that never hold, and conditions on a result flag that the state's last
// microoperation cannot set.
void checkConditions(Passes &p, const StateFacts &facts, quint16 lastOutcomes)
{
    const int first = facts.rows.front();
    for (int row : facts.rows) {
        const ProgramRow &r = p.program.row(row);
        if (r.condition.kind == TransitionCondition::Kind::Never) {
            QString message = fill(u"строка %1: условие %2 никогда не выполняется, переход "
                                   u"по этой строке невозможен",
                                   {num(row + 1), quotedCondition(r)});
            if (row == first)
                message += fill(u" (сигналы строки выполняются, но из состояния %1 по ней не "
                                u"перейти)",
                                {num(facts.state)});
            p.add(u"never-row", Severity::Warning, {row + 1}, {facts.state}, message);
        }
        // A flag the last microoperation cannot set is 0 whenever this row is tried.
        if (!facts.microops.empty() && !facts.stops &&
            r.condition.kind == TransitionCondition::Kind::Flags) {
            QStringList unset;
            for (int k = ZFlag; k <= PFlag; ++k) {
                if (!(r.condition.mask & (1 << k)))
                    continue;
                bool canBeSet = false;
                for (int o = 0; o < 16; ++o)
                    canBeSet = canBeSet || ((lastOutcomes & (1u << o)) && (o & (1 << (k - ZFlag))));
                if (!canBeSet)
                    unset << flagName(k);
            }
            if (!unset.isEmpty()) {
                const bool one = unset.size() == 1;
                p.add(u"flag-never-set", Severity::Warning, {row + 1}, {facts.state},
                      fill(u"строка %1: условие проверяет %2 %3, но последняя микрооперация "
                           u"состояния %4 (y%5) %6 не устанавливает: при проверке %7 всегда 0",
                           {num(row + 1), one ? u"флаг" : u"флаги", unset.join(u", "_s),
                            num(facts.state), num(facts.microops.back()), one ? u"его" : u"их",
                            one ? u"он" : u"они"}));
            }
        }
    }
}

// Control fields that none of the first row's microoperations reads.
void checkControlFields(Passes &p, const StateFacts &facts)
{
    const int first = facts.rows.front();
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
        p.add(u"unused-control-field", Severity::Note, {first + 1}, {facts.state},
              fill(facts.microops.empty()
                       ? u"строка %1: %2 %3 ни на что не %5: в строке нет микроопераций"
                       : u"строка %1: %2 %3 не %4 ни одной микрооперацией строки",
                   {num(first + 1), one ? u"управляющее поле" : u"управляющие поля",
                    signalList(unused), one ? u"используется" : u"используются",
                    one ? u"влияет" : u"влияют"}));
    }
}

// A stop "при данных условиях": flags on which no row of the state holds.
void checkIncompleteState(Passes &p, const StateFacts &facts, const QList<int> &stateRows)
{
    if (!facts.reachable() || facts.stops)
        return;
    int tested = 0;
    for (int row : facts.rows) {
        if (p.program.row(row).condition.kind == TransitionCondition::Kind::Flags)
            tested |= p.program.row(row).condition.mask;
    }
    for (int v = 0; v < flagVectors; ++v) {
        if (facts.exit[size_t(v)] && p.firstHolding(facts, v) < 0) {
            const QString when =
                tested ? u"при "_s + describeFlags(v, tested) : u"при любых флагах"_s;
            p.add(u"incomplete-state", Severity::Note, stateRows, {facts.state},
                  fill(u"состояние %1: %2 не выполняется ни одно условие его строк — если "
                       u"выполнение дойдёт сюда, оно остановится «при данных условиях»",
                       {num(facts.state), when}));
            break;
        }
    }
}

// Every state's own checks, state by state.
void checkStates(Passes &p)
{
    for (size_t s = 0; s < p.result.states.size(); ++s) {
        const StateFacts &facts = p.result.states[s];
        QList<int> stateRows;
        for (int row : facts.rows)
            stateRows << row + 1;
        if (p.hasStart && !facts.reachable()) {
            p.add(u"unreachable-state", Severity::Warning, stateRows, {facts.state},
                  fill(u"состояние %1 (%2 %3) недостижимо из состояния 0: эти строки никогда "
                       u"не выполняются",
                       {num(facts.state), stateRows.size() == 1 ? u"строка" : u"строки",
                        joinNumbers(stateRows)}));
        }
        checkLaterRows(p, facts);
        checkConditions(p, facts, p.lastOutcomes[s]);
        checkControlFields(p, facts);
        checkIncompleteState(p, facts, stateRows);
    }
}

// Takeable rows that lead to a state without rows.
void checkMissingStates(Passes &p)
{
    for (int target : p.result.missingStates) {
        for (int row = 0; row < p.program.rowCount(); ++row) {
            if (!p.result.takeable[size_t(row)] || p.program.row(row).nextState != target)
                continue;
            const int source = p.program.row(row).sourceState;
            QList<int> states{source, target};
            std::sort(states.begin(), states.end());
            states.erase(std::unique(states.begin(), states.end()), states.end());
            p.add(u"missing-state", Severity::Error, {row + 1}, states,
                  fill(u"строка %1: переход из состояния %2 в состояние %3, для которого нет ни "
                       u"одной строки — если выполнение дойдёт сюда, оно остановится с "
                       u"сообщением «Не описан переход из состояния %3»",
                       {num(row + 1), num(source), num(target)}));
        }
    }
}

// Cycles of states without microoperations: the flags cannot change in them, so for a given
// flag vector the walk is fixed and, once it repeats a state, loops for ever.
void findEmptyCycles(Passes &p)
{
    const std::vector<StateFacts> &states = p.result.states;
    std::set<QList<int>> cycles;
    std::vector<quint8> colour(states.size());
    std::vector<int> path;
    for (int v = 0; v < flagVectors; ++v) {
        std::fill(colour.begin(), colour.end(), quint8(0));
        for (size_t s = 0; s < states.size(); ++s) {
            const StateFacts &start = states[s];
            if (!start.microops.empty() || !start.entry[size_t(v)] || colour[s])
                continue;
            path.clear();
            int current = int(s);
            for (;;) {
                if (colour[size_t(current)] == 2)
                    break;
                if (colour[size_t(current)] == 1) {
                    const auto begin = std::find(path.begin(), path.end(), current);
                    QList<int> cycle;
                    for (auto it = begin; it != path.end(); ++it)
                        cycle << states[size_t(*it)].state;
                    std::sort(cycle.begin(), cycle.end());
                    if (cycles.insert(cycle).second) {
                        QList<int> rows;
                        for (auto it = begin; it != path.end(); ++it)
                            rows << p.firstHolding(states[size_t(*it)], v) + 1;
                        std::sort(rows.begin(), rows.end());
                        p.add(u"empty-cycle", Severity::Warning, rows, cycle,
                              (cycle.size() == 1
                                   ? u"состояние %1 без микроопераций переходит само в себя"_s.arg(
                                         cycle.first())
                                   : u"состояния %1 без микроопераций переходят друг в друга по "
                                     u"кругу"_s.arg(joinNumbers(cycle))) +
                                  u" (строки %1): флаги в этом цикле не меняются, и если "
                                  u"выполнение дойдёт сюда при %2, оно зациклится"_s.arg(
                                      joinNumbers(rows), describeFlags(v, 0xFF)));
                    }
                    break;
                }
                colour[size_t(current)] = 1;
                path.push_back(current);
                const int row = p.firstHolding(states[size_t(current)], v);
                if (row < 0)
                    break;
                const int next = p.factsIndex(p.program.row(row).nextState);
                if (next < 0 || !states[size_t(next)].microops.empty())
                    break;
                current = next;
            }
            for (int visited : path)
                colour[size_t(visited)] = 2;
        }
    }
}

} // namespace

Analysis analyzeProgram(const Program &program)
{
    Analysis result;
    Passes passes(program, result);
    collectStates(passes);
    loadSignals(passes);
    propagateFlags(passes);
    checkStartAndSuccess(passes);
    checkStates(passes);
    checkMissingStates(passes);
    findEmptyCycles(passes);
    std::stable_sort(result.findings.begin(), result.findings.end(),
                     [](const Finding &a, const Finding &b) {
                         if (a.row() != b.row())
                             return a.row() < b.row();
                         return a.severity < b.severity;
                     });
    return result;
}

} // namespace orb
