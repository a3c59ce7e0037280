// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/copies.h"

#include <QCryptographicHash>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <deque>
#include <map>
#include <tuple>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// A row without its states: what it tests and what it does.
using RowBody = std::tuple<int, int, int, std::vector<int>>;

RowBody bodyOf(const ProgramRow &row)
{
    std::vector<int> signalList;
    for (const qint32 s : row.signalNumbers) {
        if (s == 0)
            break;
        signalList.push_back(s);
    }
    return {int(row.condition.kind), row.condition.mask, row.condition.expected,
            std::move(signalList)};
}

} // namespace

QByteArray tableDigest(const Program &program)
{
    const int count = program.rowCount();
    if (count == 0)
        return {};
    std::map<int, std::vector<int>> rowsOf; // source state → its rows
    for (int i = 0; i < count; ++i)
        rowsOf[program.row(i).sourceState].push_back(i);
    // A row that is never found (no source state) keeps -1.
    std::map<int, int> label{{-1, -1}, {0, 0}};
    int nextLabel = 1;
    auto labelOf = [&](int state) {
        const auto found = label.find(state);
        return found == label.end() ? INT_MAX : found->second;
    };
    // States numbered in the order a walk from state 0 meets them, each state's rows taken in
    // the order of what they test and do: a renumbering does not change that order.
    auto walk = [&](int start) {
        std::deque<int> queue{start};
        while (!queue.empty()) {
            const int state = queue.front();
            queue.pop_front();
            const auto rows = rowsOf.find(state);
            if (rows == rowsOf.end())
                continue;
            std::vector<int> order = rows->second;
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                const ProgramRow &ra = program.row(a);
                const ProgramRow &rb = program.row(b);
                return std::make_tuple(bodyOf(ra), labelOf(ra.nextState)) <
                       std::make_tuple(bodyOf(rb), labelOf(rb.nextState));
            });
            for (const int r : order) {
                const int next = program.row(r).nextState;
                if (!label.count(next)) {
                    label[next] = nextLabel++;
                    queue.push_back(next);
                }
            }
        }
    };
    walk(0);
    // States no walk from 0 reaches, in the order of their rows' contents.
    for (;;) {
        std::optional<std::pair<std::vector<RowBody>, int>> first;
        for (const auto &[state, rows] : rowsOf) {
            if (label.count(state))
                continue;
            std::vector<RowBody> bodies;
            for (const int r : rows)
                bodies.push_back(bodyOf(program.row(r)));
            std::sort(bodies.begin(), bodies.end());
            if (!first || bodies < first->first)
                first = {bodies, state};
        }
        if (!first)
            break;
        label[first->second] = nextLabel++;
        walk(first->second);
    }
    std::vector<std::tuple<int, int, RowBody>> rows;
    for (int i = 0; i < count; ++i) {
        const ProgramRow &row = program.row(i);
        rows.emplace_back(labelOf(row.sourceState), labelOf(row.nextState), bodyOf(row));
    }
    std::sort(rows.begin(), rows.end());
    QByteArray text;
    for (const auto &[source, next, body] : rows) {
        text += QByteArray::number(source) + ' ' + QByteArray::number(next) + ' ' +
                QByteArray::number(std::get<0>(body)) + ' ' +
                QByteArray::number(std::get<1>(body)) + ' ' + QByteArray::number(std::get<2>(body));
        for (const int s : std::get<3>(body))
            text += ' ' + QByteArray::number(s);
        text += '\n';
    }
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}

QString copyKindName(CopyGroup::Kind kind)
{
    return kind == CopyGroup::Kind::SameFile ? u"same-file"_s : u"same-table"_s;
}

std::vector<CopyGroup> findCopies(const std::vector<SubmissionResult> &results)
{
    std::vector<CopyGroup> groups;
    // Digest → the submissions that have it, in the report's order.
    auto group = [&](CopyGroup::Kind kind, auto digestOf) {
        QHash<QByteArray, QList<size_t>> members;
        std::vector<QByteArray> order;
        for (size_t i = 0; i < results.size(); ++i) {
            const QByteArray digest = digestOf(results[i]);
            if (digest.isEmpty())
                continue;
            QList<size_t> &list = members[digest];
            if (list.isEmpty())
                order.push_back(digest);
            list << i;
        }
        for (const QByteArray &digest : order) {
            const QList<size_t> &list = members[digest];
            if (list.size() < 2)
                continue;
            if (kind == CopyGroup::Kind::SameTable) {
                const QByteArray file = results[list.first()].fileDigest;
                if (std::all_of(list.cbegin(), list.cend(),
                                [&](size_t i) { return results[i].fileDigest == file; }))
                    continue;
            }
            CopyGroup g;
            g.kind = kind;
            for (const size_t i : list)
                g.submissions << results[i].name;
            groups.push_back(g);
        }
    };
    group(CopyGroup::Kind::SameFile, [](const SubmissionResult &s) { return s.fileDigest; });
    group(CopyGroup::Kind::SameTable, [](const SubmissionResult &s) { return s.tableDigest; });
    return groups;
}

} // namespace orb
