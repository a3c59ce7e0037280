// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/grader.h"

#include "grade/copies.h"
#include "app/fileaccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

using namespace Qt::StringLiterals;

namespace orb {

bool SubmissionResult::allPassed() const
{
    return document == CaseStatus::Passed &&
           std::all_of(cases.cbegin(), cases.cend(),
                       [](const CaseResult &c) { return c.status == CaseStatus::Passed; });
}

int SubmissionResult::findingCount(Severity severity) const
{
    return int(std::count_if(findings.cbegin(), findings.cend(),
                             [severity](const Finding &f) { return f.severity == severity; }));
}

QString SubmissionResult::firstProblem(const TestFile &tests) const
{
    if (document == CaseStatus::Unreadable)
        return readError;
    if (document == CaseStatus::RedCells)
        return u"wrong cells: "_s + wrongCells.join(u"; "_s);
    for (size_t i = 0; i < cases.size(); ++i) {
        const CaseResult &c = cases[i];
        if (c.status == CaseStatus::Passed)
            continue;
        QString text = tests.cases[qsizetype(i)].name + u": "_s;
        if (c.status == CaseStatus::Loops)
            text += u"the step limit stopped it"_s;
        else if (c.status == CaseStatus::Stopped)
            text += u"stopped without success"_s;
        else if (c.status == CaseStatus::NotRun)
            text += u"not run: the deadline came first"_s;
        else if (!c.mismatches.isEmpty())
            text += u"%1 expected %2, got %3"_s.arg(
                c.mismatches.first().name, c.mismatches.first().expected, c.mismatches.first().got);
        return text;
    }
    return {};
}

LoadedSubmission loadSubmission(const QString &path, QList<Finding> *findings)
{
    LoadedSubmission loaded;
    LoadReport report;
    ReadError readError;
    const std::optional<LoadedDocument> document = readDocumentFile(path, &readError, &report);
    if (!document) {
        // The messages of orb-run, without its program name.
        const QString shown = shownPath(path);
        loaded.readError = readError.notADocument()
                               ? u"%1 is not an ORB document: %2"_s.arg(shown, readError.message)
                               : u"cannot read %1: %2"_s.arg(shown, readError.message);
        return loaded;
    }
    OpenedDocument opened = openDocument(*document);
    loaded.wrongCells = wrongCellLines(opened.table, report);
    loaded.memory = opened.memory;
    if (loaded.wrongCells.isEmpty())
        loaded.program.emplace(HeadlessTableSource(opened.table));
    if (findings)
        *findings = checkLoadedDocument(path, opened, report).findings;
    return loaded;
}

std::optional<Reference> prepareReference(const QString &path, TestFile &tests, QString *error)
{
    LoadedSubmission loaded = loadSubmission(path);
    if (!loaded.readError.isEmpty()) {
        *error = u"the reference: "_s + loaded.readError;
        return std::nullopt;
    }
    if (!loaded.program) {
        *error =
            u"the reference %1 has wrong cells: %2"_s.arg(path, loaded.wrongCells.join(u"; "_s));
        return std::nullopt;
    }
    Reference reference{std::move(*loaded.program), loaded.memory};
    for (TestCase &c : tests.cases) {
        CaseRun run(reference.program, reference.memory, c);
        run.runToEnd();
        for (ExpectItem &item : c.expects) {
            if (item.fromReference)
                item.expectation.value = run.finalValue(item.expectation);
        }
        if (const QList<Mismatch> mismatches = caseMismatches(c, run); !mismatches.isEmpty()) {
            QStringList lines;
            for (const Mismatch &m : mismatches)
                lines << u"%1 expected %2, got %3"_s.arg(m.name, m.expected, m.got);
            *error =
                u"the reference %1 fails case \"%2\": %3"_s.arg(path, c.name, lines.join(u"; "_s));
            return std::nullopt;
        }
    }
    return reference;
}

namespace {

bool hasDocumentSuffix(const std::filesystem::path &path)
{
    const std::string extension = path.extension().string();
    return extension.size() == 4 &&
           QByteArrayView(extension).compare(".orb", Qt::CaseInsensitive) == 0;
}

// Walks one folder given on the command line: its .orb files in `found`, everything with the
// suffix that is not taken (and every folder that cannot be read) in `skipped`.
class FolderWalk {
public:
    FolderWalk(const std::filesystem::path &root, const QString &given,
               std::vector<Submission> &found, QList<SkippedFile> &skipped)
        : root_(root), given_(given), found_(found), skipped_(skipped)
    {
    }

    void walk(const std::filesystem::path &folder)
    {
        namespace fs = std::filesystem;
        std::error_code code;
        fs::directory_iterator it(folder, code);
        if (code) {
            skip(folder, u"cannot read the folder: "_s + QString::fromLocal8Bit(code.message()));
            return;
        }
        std::vector<fs::path> subfolders;
        for (; !code && it != fs::directory_iterator(); it.increment(code)) {
            const fs::directory_entry &entry = *it;
            std::error_code entryCode;
            const bool link = entry.is_symlink(entryCode);
            if (entry.is_directory(entryCode)) {
                // Links to folders are not entered: they may lead anywhere, or round.
                if (link)
                    skip(entry.path(), u"a link to a folder, not followed"_s);
                else
                    subfolders.push_back(entry.path());
                continue;
            }
            if (!hasDocumentSuffix(entry.path()))
                continue;
            if (link) {
                const fs::path target = fs::canonical(entry.path(), entryCode);
                const auto [rootEnd, unused] =
                    std::mismatch(root_.begin(), root_.end(), target.begin(), target.end());
                if (entryCode || rootEnd != root_.end()) {
                    skip(entry.path(),
                         entryCode ? u"a broken link"_s : u"a link out of the folder"_s);
                    continue;
                }
            }
            if (!entry.is_regular_file(entryCode)) {
                skip(entry.path(), u"not a regular file"_s);
                continue;
            }
            found_.push_back({name(entry.path()), path(entry.path())});
        }
        if (code)
            skip(folder, u"cannot read the folder: "_s + QString::fromLocal8Bit(code.message()));
        for (const fs::path &subfolder : subfolders)
            walk(subfolder);
    }

private:
    QString relative(const std::filesystem::path &entry) const
    {
        return pathFromNative(entry.lexically_relative(root_).generic_string());
    }
    QString name(const std::filesystem::path &entry) const { return shownPath(relative(entry)); }
    QString path(const std::filesystem::path &entry) const
    {
        return QDir(given_).filePath(relative(entry));
    }
    void skip(const std::filesystem::path &entry, const QString &reason)
    {
        skipped_.append({entry == root_ ? shownPath(given_) : shownPath(path(entry)), reason});
    }

    std::filesystem::path root_;
    QString given_;
    std::vector<Submission> &found_;
    QList<SkippedFile> &skipped_;
};

} // namespace

std::optional<std::vector<Submission>> findSubmissions(const QStringList &paths, QString *error,
                                                       QList<SkippedFile> *skippedFiles)
{
    namespace fs = std::filesystem;
    std::vector<Submission> submissions;
    QList<SkippedFile> skipped;
    for (const QString &path : paths) {
        const QByteArray native = nativePath(path);
        std::error_code code;
        const fs::file_status status = fs::status(fs::path(native.toStdString()), code);
        if (!fs::exists(status)) {
            *error = u"%1: no such file or folder"_s.arg(shownPath(path));
            return std::nullopt;
        }
        // A file named here is graded whatever it is: one that is no document is reported
        // as unreadable with the reason.
        if (!fs::is_directory(status)) {
            submissions.push_back({shownPath(path), path});
            continue;
        }
        const fs::path root = fs::canonical(fs::path(native.toStdString()), code);
        if (code) {
            *error = u"cannot read the folder %1: %2"_s.arg(shownPath(path),
                                                            QString::fromLocal8Bit(code.message()));
            return std::nullopt;
        }
        std::vector<Submission> found;
        FolderWalk(root, path, found, skipped).walk(root);
        std::sort(found.begin(), found.end(),
                  [](const Submission &a, const Submission &b) { return a.name < b.name; });
        submissions.insert(submissions.end(), found.begin(), found.end());
    }
    if (skippedFiles)
        *skippedFiles = skipped;
    // Reports are keyed by name: two of one name would be indistinguishable.
    std::vector<QString> names;
    names.reserve(submissions.size());
    for (const Submission &s : submissions)
        names.push_back(s.name);
    std::sort(names.begin(), names.end());
    if (const auto twice = std::adjacent_find(names.begin(), names.end()); twice != names.end()) {
        *error = u"two submissions are named %1; grade their folders separately"_s.arg(*twice);
        return std::nullopt;
    }
    return submissions;
}

CaseResult caseResult(const TestCase &testCase, const CaseRun &run)
{
    CaseResult result;
    result.maxPoints = testCase.points;
    result.steps = run.engine().stepCount();
    result.end = run.end();
    result.mismatches = caseMismatches(testCase, run);
    result.status = caseStatus(testCase, run, result.mismatches);
    if (result.status == CaseStatus::Passed)
        result.points = testCase.points;
    return result;
}

CaseResult gradeCase(const Program &program, const ByteArrayMemory &memory,
                     const TestCase &testCase, const Reference *reference,
                     GradeClock::time_point deadline)
{
    CaseRun run(program, memory, testCase);
    const bool timed = deadline != GradeClock::time_point::max();
    // The clock is read every few thousand presses: a case of millions of steps stays inside
    // the deadline, and a short one is not slowed down.
    for (unsigned presses = 1; run.press(); ++presses) {
        if (timed && presses % 4096 == 0 && GradeClock::now() >= deadline) {
            CaseResult result;
            result.maxPoints = testCase.points;
            result.status = CaseStatus::NotRun;
            return result;
        }
    }
    CaseResult result = caseResult(testCase, run);
    if (result.status != CaseStatus::Passed && reference &&
        (!timed || GradeClock::now() < deadline))
        result.divergence =
            findDivergence(program, memory, reference->program, reference->memory, testCase);
    return result;
}

SubmissionResult gradeSubmission(const Submission &submission, const TestFile &tests,
                                 const Reference *reference, GradeClock::time_point deadline)
{
    SubmissionResult result;
    result.name = submission.name;
    const LoadedSubmission loaded = loadSubmission(submission.path, &result.findings);
    result.checked = loaded.readError.isEmpty();
    const CaseStatus none = !loaded.readError.isEmpty() ? CaseStatus::Unreadable
                            : !loaded.program           ? CaseStatus::RedCells
                                                        : CaseStatus::Passed;
    result.document = none;
    result.readError = loaded.readError;
    result.wrongCells = loaded.wrongCells;
    if (loaded.readError.isEmpty()) {
        QFile file(submission.path);
        if (file.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(&file);
            result.fileDigest = hash.result();
        }
    }
    if (loaded.program)
        result.tableDigest = tableDigest(*loaded.program);
    for (const TestCase &c : tests.cases) {
        if (none != CaseStatus::Passed) {
            CaseResult unrun;
            unrun.status = none;
            unrun.maxPoints = c.points;
            unrun.steps = 0;
            result.cases.push_back(unrun);
            continue;
        }
        if (deadline != GradeClock::time_point::max() && GradeClock::now() >= deadline) {
            CaseResult unrun;
            unrun.status = CaseStatus::NotRun;
            unrun.maxPoints = c.points;
            result.cases.push_back(unrun);
            continue;
        }
        result.cases.push_back(gradeCase(*loaded.program, loaded.memory, c, reference, deadline));
        result.points += result.cases.back().points;
    }
    return result;
}

std::vector<SubmissionResult> gradeAll(const std::vector<Submission> &submissions,
                                       const TestFile &tests, const Reference *reference,
                                       int threads, const std::function<void(int)> &progress,
                                       GradeLimits *limits)
{
    const GradeClock::time_point deadline =
        limits ? limits->deadline : GradeClock::time_point::max();
    std::vector<SubmissionResult> results(submissions.size());
    std::atomic<size_t> next{0};
    std::atomic<int> done{0};
    std::mutex mutex;
    std::condition_variable finished;
    // Each worker takes the next submission and writes only its own slot.
    auto work = [&] {
        for (size_t i = next++; i < submissions.size(); i = next++) {
            results[i] = gradeSubmission(submissions[i], tests, reference, deadline);
            if (++done == int(submissions.size())) {
                std::lock_guard lock(mutex);
                finished.notify_all();
            }
        }
    };
    const int count = std::clamp(threads, 1, std::max(1, int(submissions.size())));
    // With a progress report on several threads the calling thread only watches.
    const bool watch = progress && count > 1;
    std::vector<std::thread> workers;
    // Under an address-space limit (a Jobe sandbox) the system may refuse a thread's stack: the
    // grading goes on with the threads it has.
    for (int i = watch ? 0 : 1; i < count; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error &) {
            break;
        }
    }
    if (limits)
        limits->threadsStarted = int(workers.size()) + (watch && !workers.empty() ? 0 : 1);
    if (watch && workers.empty()) {
        work();
    } else if (watch) {
        std::unique_lock lock(mutex);
        while (!finished.wait_for(lock, std::chrono::milliseconds(100),
                                  [&] { return done == int(submissions.size()); }))
            progress(done);
    } else if (progress) {
        for (size_t i = next++; i < submissions.size(); i = next++) {
            results[i] = gradeSubmission(submissions[i], tests, reference, deadline);
            ++done;
            if ((i & 15) == 0)
                progress(done);
        }
    }
    work();
    for (std::thread &worker : workers)
        worker.join();
    if (progress)
        progress(done);
    return results;
}

} // namespace orb
