// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/reportsupport.h"

#include "app/fileaccess.h"
#include "run/terminaltext.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <map>

using namespace Qt::StringLiterals;

namespace orb {

bool caseRan(const CaseResult &c)
{
    return c.status != CaseStatus::RedCells && c.status != CaseStatus::Unreadable;
}

std::map<int, int, std::greater<>> pointsHistogram(const GradeRun &run)
{
    std::map<int, int, std::greater<>> counts;
    for (const SubmissionResult &s : run.results)
        ++counts[s.points];
    return counts;
}

int passedAllCount(const GradeRun &run)
{
    return int(std::count_if(run.results.cbegin(), run.results.cend(),
                             [](const SubmissionResult &s) { return s.allPassed(); }));
}

void writeUtf8(QIODevice &out, const QString &text)
{
    out.write(text.toUtf8());
}

QString shown(const QString &text)
{
    return terminalText(text);
}

QString pointsText(int points, int max)
{
    return u"%1/%2"_s.arg(points).arg(max);
}

std::optional<ReportFormat> reportFormat(const QString &name)
{
    if (name == u"json"_s)
        return ReportFormat::Json;
    if (name == u"csv"_s)
        return ReportFormat::Csv;
    if (name == u"junit"_s)
        return ReportFormat::Junit;
    if (name == u"tap"_s)
        return ReportFormat::Tap;
    if (name == u"gradescope"_s)
        return ReportFormat::Gradescope;
    return std::nullopt;
}

QStringList caseMessages(const CaseResult &result)
{
    QStringList lines;
    if (result.status == CaseStatus::Loops)
        lines << u"the step limit stopped it"_s;
    else if (result.status == CaseStatus::Stopped)
        lines << u"stopped without success"_s;
    for (const Mismatch &m : result.mismatches)
        lines << u"%1: expected %2, got %3"_s.arg(m.name, m.expected, m.got);
    if (result.divergence)
        lines << u"first divergence: "_s + result.divergence->text();
    return lines;
}

QString verdictLine(const TestCase &testCase, const CaseResult &result)
{
    QString line =
        u"case %1: %2, %3 steps"_s.arg(shown(testCase.name), caseStatusName(result.status))
            .arg(result.steps);
    for (const QString &message : caseMessages(result))
        line += u"; "_s + shown(message);
    return line;
}

namespace {

// Every report file goes through the one output writer: devices and pipes written directly,
// regular files replaced atomically once flushed, folders refused.
bool saveAtomically(const QString &path, const std::function<void(QIODevice &)> &writer,
                    QString *error)
{
    return writeOutputFile(path, writer, error);
}

// A gradescope file name for a submission: its name with .json for .orb, folders kept.
QString gradescopeFileName(const QString &name)
{
    QString file = name;
    if (file.endsWith(u".orb"_s))
        file.chop(4);
    // A name given as an absolute or upward path stays inside the report folder.
    file = QDir::cleanPath(file);
    while (file.startsWith(u"../"_s))
        file.remove(0, 3);
    while (file.startsWith(u'/'))
        file.remove(0, 1);
    return file + u".json"_s;
}

} // namespace

bool writeReport(ReportFormat format, const QString &path, const GradeRun &run,
                 QIODevice &standardOutput, QString *error)
{
    std::function<void(QIODevice &)> writer;
    switch (format) {
    case ReportFormat::Json:
        writer = [&run](QIODevice &out) { writeJsonReport(out, run); };
        break;
    case ReportFormat::Csv:
        writer = [&run](QIODevice &out) { writeCsvReport(out, run); };
        break;
    case ReportFormat::Junit:
        writer = [&run](QIODevice &out) { writeJunitReport(out, run); };
        break;
    case ReportFormat::Tap:
        writer = [&run](QIODevice &out) { writeTapReport(out, run); };
        break;
    case ReportFormat::Gradescope:
        // PATH.json (or -) is Gradescope's one results.json; any other PATH is a folder of one
        // file per submission, replaced as a whole.
        if (path != u"-"_s && !path.endsWith(u".json"_s, Qt::CaseInsensitive)) {
            return writeOutputFolder(
                path,
                [&run](const QString &folder, QString *fileError) {
                    for (const SubmissionResult &s : run.results) {
                        const QString file = QDir(folder).filePath(gradescopeFileName(s.name));
                        if (!QDir().mkpath(QFileInfo(file).path())) {
                            *fileError =
                                u"cannot create the folder %1"_s.arg(QFileInfo(file).path());
                            return false;
                        }
                        if (!saveAtomically(
                                file, [&](QIODevice &out) { writeGradescopeResult(out, run, s); },
                                fileError))
                            return false;
                    }
                    return true;
                },
                error);
        }
        writer = [&run](QIODevice &out) {
            if (run.results.size() == 1)
                writeGradescopeResult(out, run, run.results.front());
            else
                writeGradescopeRefusal(out, run);
        };
        break;
    }
    if (path == u"-"_s) {
        writer(standardOutput);
        if (auto *file = qobject_cast<QFileDevice *>(&standardOutput);
            file && file->error() != QFileDevice::NoError) {
            *error = u"cannot write to standard output: %1"_s.arg(file->errorString());
            return false;
        }
        return true;
    }
    return saveAtomically(path, writer, error);
}

} // namespace orb
