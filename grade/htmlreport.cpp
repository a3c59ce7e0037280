// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/copies.h"
#include "grade/studentfeedback.h"

#include <map>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

QString h(const QString &text)
{
    return htmlEscaped(text);
}

// The bars of the points histogram as inline SVG: one bar per points value up to 40 values,
// 20 equal ranges beyond.
QString histogramSvg(const GradeRun &run)
{
    const int max = run.tests.maxPoints();
    const int bins = max <= 40 ? max + 1 : 20;
    std::vector<int> counts(size_t(bins), 0);
    auto binOf = [&](int points) {
        if (max <= 40)
            return std::clamp(points, 0, max);
        return std::clamp(int(qint64(points) * bins / (qint64(max) + 1)), 0, bins - 1);
    };
    for (const SubmissionResult &s : run.results)
        ++counts[size_t(binOf(s.points))];
    const int highest = std::max(1, *std::max_element(counts.cbegin(), counts.cend()));
    constexpr int height = 160;
    constexpr int barWidth = 24;
    constexpr int gap = 6;
    const int width = bins * (barWidth + gap) + gap;
    QString svg = u"<svg id=\"histogram\" width=\"%1\" "
                  u"height=\"%2\" role=\"img\" aria-label=\"Распределение баллов\">"_s.arg(width)
                      .arg(height + 40);
    for (int b = 0; b < bins; ++b) {
        const int count = counts[size_t(b)];
        const int bar = count * height / highest;
        const int x = gap + b * (barWidth + gap);
        const QString label = max <= 40 ? QString::number(b)
                                        : u"%1–%2"_s.arg(qint64(b) * (max + 1) / bins)
                                              .arg(qint64(b + 1) * (max + 1) / bins - 1);
        svg += u"<g><title>%1 баллов: %2</title><rect x=\"%3\" y=\"%4\" width=\"%5\" "
               u"height=\"%6\" class=\"bar\"/><text x=\"%7\" y=\"%8\" class=\"axis\">%9</text>"_s
                   .arg(h(label))
                   .arg(count)
                   .arg(x)
                   .arg(20 + height - bar)
                   .arg(barWidth)
                   .arg(bar)
                   .arg(x + barWidth / 2)
                   .arg(height + 36)
                   .arg(h(label));
        if (count > 0)
            svg += u"<text x=\"%1\" y=\"%2\" class=\"count\">%3</text>"_s.arg(x + barWidth / 2)
                       .arg(20 + height - bar - 4)
                       .arg(count);
        svg += u"</g>"_s;
    }
    return svg + u"</svg>"_s;
}

QString statusWords(const SubmissionResult &s)
{
    if (s.document == CaseStatus::Unreadable)
        return u"не читается"_s;
    if (s.document == CaseStatus::RedCells)
        return u"ошибочные ячейки"_s;
    return s.allPassed() ? u"все тесты пройдены"_s : u"есть ошибки"_s;
}

QString caseCell(const CaseResult &c)
{
    const QString name = caseStatusName(c.status);
    return u"<td class=\"case %1\" title=\"%1\">%2</td>"_s.arg(
        name, c.status == CaseStatus::Passed ? u"✓"_s : h(name));
}

QString detailsOf(const GradeRun &run, const SubmissionResult &s)
{
    QString text;
    if (!s.readError.isEmpty())
        text += u"<p class=\"problem\">"_s + h(s.readError) + u"</p>"_s;
    if (!s.wrongCells.isEmpty()) {
        text += u"<p>Ошибочные ячейки:</p><ul>"_s;
        for (const QString &cell : s.wrongCells)
            text += u"<li>"_s + h(cell) + u"</li>"_s;
        text += u"</ul>"_s;
    }
    if (s.document == CaseStatus::Passed) {
        text += u"<ul>"_s;
        for (size_t i = 0; i < s.cases.size(); ++i) {
            const CaseResult &c = s.cases[i];
            const TestCase &t = run.tests.cases[qsizetype(i)];
            text += u"<li><b>%1</b>%2: %3, %4/%5"_s
                        .arg(h(t.name), t.visible() ? QString() : u" (скрытый)"_s,
                             h(caseStatusName(c.status)))
                        .arg(c.points)
                        .arg(c.maxPoints);
            const QStringList messages = caseMessages(c);
            if (!messages.isEmpty()) {
                text += u"<ul>"_s;
                for (const QString &m : messages)
                    text += u"<li>"_s + h(m) + u"</li>"_s;
                text += u"</ul>"_s;
            }
            text += u"</li>"_s;
        }
        text += u"</ul>"_s;
    }
    if (s.checked && !s.findings.isEmpty()) {
        text += u"<p>Статические проверки (orb-check): %1 ошибок, %2 предупреждений, %3 "
                u"замечаний.</p>"_s.arg(s.findingCount(Severity::Error))
                    .arg(s.findingCount(Severity::Warning))
                    .arg(s.findingCount(Severity::Note));
    }
    return text;
}

const char *const style = R"(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 3px 8px; text-align: left; }
th.sortable { cursor: pointer; background: #eee; }
th.sortable:after { content: " ⇅"; color: #888; }
tr.submission { cursor: pointer; }
tr.submission:hover { background: #f4f4ff; }
td.case { text-align: center; }
td.passed { background: #c8ecc8; }
td.wrong, td.stopped { background: #f6c6c6; }
td.loops { background: #f8ddb0; }
td.red-cells, td.unreadable { background: #ddd; color: #555; }
td.not-run { background: #fff3b0; }
tr.details td { background: #fafafa; }
.bar { fill: #5b7fc7; }
.axis, .count { font-size: 11px; text-anchor: middle; }
.problem { color: #a00; }
figure { margin: 0 0 1em 0; }
figcaption { font-size: 0.9em; color: #555; }
)";

// Sorting keeps each submission's details row under it; a click shows or hides the details. The
// page's address may name the first sort (#sort=points), which a test uses.
const char *const script = R"(
(function () {
  var table = document.getElementById('results');
  var body = table.tBodies[0];
  var direction = {};
  function sortBy(key) {
    var rows = Array.prototype.slice.call(body.querySelectorAll('tr.submission'));
    var numeric = key === 'points';
    direction[key] = -(direction[key] || (numeric ? 1 : -1));
    var d = direction[key];
    rows.sort(function (a, b) {
      var x = a.dataset[key], y = b.dataset[key];
      var c = numeric ? Number(x) - Number(y) : x.localeCompare(y, 'ru');
      return c ? d * c : a.dataset.name.localeCompare(b.dataset.name, 'ru');
    });
    rows.forEach(function (row) {
      var details = document.getElementById(row.dataset.details);
      body.appendChild(row);
      body.appendChild(details);
    });
  }
  Array.prototype.forEach.call(table.querySelectorAll('th.sortable'), function (th) {
    th.addEventListener('click', function () { sortBy(th.dataset.key); });
  });
  Array.prototype.forEach.call(body.querySelectorAll('tr.submission'), function (row) {
    row.addEventListener('click', function () {
      var details = document.getElementById(row.dataset.details);
      details.hidden = !details.hidden;
    });
  });
  var wanted = /#sort=(\w+)/.exec(location.hash);
  if (wanted) sortBy(wanted[1]);
  document.body.dataset.ready = 'yes';
})();
)";

} // namespace

void writeHtmlReport(QIODevice &out, const GradeRun &run)
{
    const int max = run.tests.maxPoints();
    QString page = u"<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
                   u"<title>ORB — результаты проверки</title><style>"_s +
                   QString::fromUtf8(style) + u"</style></head><body>\n"_s;
    page +=
        u"<h1>Результаты проверки</h1>\n<p>Тесты: %1%2. Работ: %3, все тесты прошли: %4, "
        u"наибольший балл: %5.</p>\n"_s
            .arg(h(run.testsPath),
                 run.referencePath.isEmpty() ? QString() : u"; эталон: "_s + h(run.referencePath))
            .arg(run.results.size())
            .arg(std::count_if(run.results.cbegin(), run.results.cend(),
                               [](const SubmissionResult &s) { return s.allPassed(); }))
            .arg(max);
    page += u"<figure>"_s + histogramSvg(run) +
            u"<figcaption>Баллы (по горизонтали) и число работ с ними</figcaption></figure>\n"_s;
    const std::vector<CopyGroup> copies = findCopies(run.results);
    if (!copies.empty()) {
        page += u"<h2>Одинаковые работы</h2>\n<ul id=\"copies\">"_s;
        for (const CopyGroup &group : copies) {
            QStringList names;
            for (const QString &name : group.submissions)
                names << h(name);
            page += u"<li class=\"%1\">%2: %3</li>"_s.arg(
                copyKindName(group.kind),
                group.kind == CopyGroup::Kind::SameFile
                    ? u"одинаковые файлы"_s
                    : u"одна таблица (с точностью до номеров состояний и порядка строк)"_s,
                names.join(u", "_s));
        }
        page += u"</ul>\n"_s;
    }
    page += u"<table id=\"results\"><thead><tr><th class=\"sortable\" data-key=\"name\">Работа"
            u"</th><th class=\"sortable\" data-key=\"points\">Баллы</th><th class=\"sortable\" "
            u"data-key=\"status\">Состояние</th>"_s;
    for (const TestCase &c : run.tests.cases)
        page += u"<th>"_s + h(c.name) + (c.visible() ? QString() : u" (скрытый)"_s) + u"</th>"_s;
    page += u"</tr></thead>\n<tbody>\n"_s;
    out.write(page.toUtf8());
    const qsizetype columns = run.tests.cases.size() + 3;
    for (size_t i = 0; i < run.results.size(); ++i) {
        const SubmissionResult &s = run.results[i];
        QString row = u"<tr class=\"submission\" data-name=\"%1\" data-points=\"%2\" "
                      u"data-status=\"%3\" data-details=\"d%4\"><td>%1</td><td>%2/%5</td>"
                      u"<td>%3</td>"_s.arg(h(s.name))
                          .arg(s.points)
                          .arg(h(statusWords(s)))
                          .arg(i)
                          .arg(max);
        for (const CaseResult &c : s.cases)
            row += caseCell(c);
        row += u"</tr>\n<tr class=\"details\" id=\"d%1\" hidden><td colspan=\"%2\">%3</td></tr>\n"_s
                   .arg(i)
                   .arg(columns)
                   .arg(detailsOf(run, s));
        out.write(row.toUtf8());
    }
    out.write("</tbody></table>\n<script>");
    out.write(script);
    out.write("</script>\n</body></html>\n");
}

} // namespace orb
