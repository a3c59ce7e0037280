// SPDX-License-Identifier: GPL-3.0-or-later
//
// Files that are not what they seem, through the real orb-grade, orb-run and orb-check: pipes
// and devices as inputs (refused at once, the others still graded), reports aimed at devices,
// pipes, folders and inputs, a full disk that keeps the old report, and file names that are
// not UTF-8.

#include "app/document.h"
#include "app/fileaccess.h"

#include "coretestutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

using namespace orb;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

using Outcome = ProcessOutcome;

// Runs a built program in `folder` for at most 20 s; with `fileSizeLimit` > 0 no file it
// writes may grow past that many bytes (a full disk).
Outcome run(const QString &name, const QStringList &arguments, const QString &folder,
            const QString &standardOutput = {}, rlim_t fileSizeLimit = 0)
{
    const auto limitFiles = [fileSizeLimit] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    return runProcess(builtProgram(name), arguments,
                      {.folder = folder,
                       .outputFile = standardOutput,
                       .inChild = fileSizeLimit > 0 ? limitFiles : std::function<void()>(),
                       .seconds = 20});
}

// M02 := M00 + M01 (examples/01-add-two-bytes.orb) on two data sets.
const QByteArray sumTests = "case 25 + 17\n set M00=25 M01=17\n expect end=success M02=3C\n"
                            "case carry out\n set M00=FF M01=01\n expect M02=00\n";

// Pipes and devices made in the test's own folder: a device node of /dev/full, never the
// system's own, so that a regression cannot replace a device of the machine.
void makeFifo(const QString &path)
{
    QVERIFY2(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0, qPrintable(path));
}

bool makeFullDevice(const QString &path)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 7)) == 0;
}

bool isFifo(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
}

} // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { failOnAnyWarning(); }

    void namesKeepTheirBytes();
    void shownNames_data();
    void shownNames();
    void specialInputsAreRefused_data();
    void specialInputsAreRefused();
    void editorOpenDoesNotWait();
    void reportTargets_data();
    void reportTargets();
    void reportOverAnInput_data();
    void reportOverAnInput();
    void fullDiskKeepsTheOldReport_data();
    void fullDiskKeepsTheOldReport();
    void namesThatAreNotUtf8();

private:
    QTemporaryDir dir_;
    QString path(const QString &name) const { return dir_.filePath(name); }
    // Copies into `folder` the test file (a name ending in .orbtest) or the sum program (any
    // other name), folders made as needed.
    void copyInputs(const QString &folder, const QStringList &names) const
    {
        for (const QString &name : names) {
            QDir(folder).mkpath(QFileInfo(name).path());
            QFile::copy(path(name.endsWith(u".orbtest"_s) ? u"sum.orbtest"_s : u"ref.orb"_s),
                        folder + u'/' + name);
        }
    }
};

void TestHostileFiles::initTestCase()
{
    failOnAnyWarning();
    QVERIFY(dir_.isValid());
    writeAll(path(u"sum.orbtest"_s), sumTests);
    QFile::copy(examplePath(u"01-add-two-bytes.orb"_s), path(u"ref.orb"_s));
}

void TestHostileFiles::namesKeepTheirBytes()
{
    // Every byte string without NUL and '/' survives the way into a path and back, and valid
    // UTF-8 reads as itself.
    QRandomGenerator random(29);
    for (int i = 0; i < 5000; ++i) {
        QByteArray bytes;
        const int length = int(random.bounded(1, 24));
        for (int k = 0; k < length; ++k)
            bytes += char(random.bounded(1, 256));
        const QString path = pathFromNative(bytes);
        QCOMPARE(nativePath(path), bytes);
        if (const QString utf8 = QString::fromUtf8(bytes);
            utf8.toUtf8() == bytes && !utf8.contains(QChar::ReplacementCharacter))
            QCOMPARE(path, utf8);
    }
}

void TestHostileFiles::shownNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTF-8") << QByteArray("класс/Иванова.orb") << u"класс/Иванова.orb"_s;
    // "Иванова" in Windows-1251, as a Windows archive unpacks it.
    QTest::newRow("Windows-1251") << QByteArray("\xC8\xE2\xE0\xED\xEE\xE2\xE0.orb")
                                  << u"Иванова.orb"_s;
    QTest::newRow("UTF-8 folder, Windows-1251 name")
        << QByteArray("класс/\xCF\xE5\xF2\xF0\xEE\xE2.orb") << u"класс/Петров.orb"_s;
    // 98 has no character in Windows-1251; control characters read as no letter either.
    QTest::newRow("no Windows-1251 either") << QByteArray("a\x98\x81z") << u"a\uFFFD\u0403z"_s;
}

void TestHostileFiles::shownNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(shownPath(pathFromNative(bytes)), shown);
}

void TestHostileFiles::specialInputsAreRefused_data()
{
    // Each row names a FIFO (fifo.orb) in one role; the run must end at once with the status
    // and the reason given.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("orb-run document")
        << u"orb-run"_s << QStringList{u"fifo.orb"_s} << 4
        << u"orb-run: fifo.orb is not an ORB document: it is not a regular file\n"_s;
    QTest::newRow("orb-run --expect")
        << u"orb-run"_s << QStringList{u"--expect"_s, u"fifo.orb"_s, u"ref.orb"_s} << 64
        << u"cannot read the expectations file fifo.orb: not a regular file"_s;
    QTest::newRow("orb-run --tests document")
        << u"orb-run"_s << QStringList{u"--tests"_s, u"sum.orbtest"_s, u"fifo.orb"_s} << 4
        << u"orb-run: fifo.orb is not an ORB document: it is not a regular file\n"_s;
    QTest::newRow("orb-run --tests file")
        << u"orb-run"_s << QStringList{u"--tests"_s, u"fifo.orb"_s, u"ref.orb"_s} << 64
        << u"cannot read the test file fifo.orb: not a regular file"_s;
    QTest::newRow("orb-check") << u"orb-check"_s << QStringList{u"fifo.orb"_s, u"ref.orb"_s} << 4
                               << u"orb-check: fifo.orb is not an ORB document: it is not a "
                                  u"regular file\n"_s;
    QTest::newRow("orb-grade test file")
        << u"orb-grade"_s << QStringList{u"fifo.orb"_s, u"ref.orb"_s} << 4
        << u"orb-grade: cannot read the test file fifo.orb: not a regular file\n"_s;
    QTest::newRow("orb-grade reference")
        << u"orb-grade"_s
        << QStringList{u"--reference"_s, u"fifo.orb"_s, u"sum.orbtest"_s, u"ref.orb"_s} << 4
        << u"orb-grade: the reference: fifo.orb is not an ORB document: it is not a regular "
           u"file\n"_s;
    // Named on the command line (a glob does that) it is graded as unreadable, and the run
    // goes on with the others.
    QTest::newRow("orb-grade submission named")
        << u"orb-grade"_s << QStringList{u"sum.orbtest"_s, u"fifo.orb"_s, u"ref.orb"_s} << 1
        << u""_s;
    // In a folder it is skipped, and said so.
    QTest::newRow("orb-grade submission in a folder")
        << u"orb-grade"_s << QStringList{u"sum.orbtest"_s, u"class"_s} << 0
        << u"orb-grade: skipped class/fifo.orb: not a regular file\n"_s;
}

void TestHostileFiles::specialInputsAreRefused()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir work;
    const QString folder = work.path();
    copyInputs(folder, {u"class/ivanova.orb"_s, u"ref.orb"_s, u"sum.orbtest"_s});
    makeFifo(folder + u"/fifo.orb"_s);
    makeFifo(folder + u"/class/fifo.orb"_s);

    const Outcome o = run(name, arguments, folder);
    QVERIFY2(o.finished, "the program waited for a writer of the pipe");
    QCOMPARE(o.status, status);
    QVERIFY2(o.err.contains(message), qPrintable(o.err));
    if (name == u"orb-grade"_s && status == 1) {
        QVERIFY2(o.out.contains(u"fifo.orb is not an ORB document: it is not a regular file"_s),
                 qPrintable(o.out));
        QVERIFY2(o.out.contains(QRegularExpression(u"\nref.orb +✓ +✓ +2/2\n"_s)),
                 qPrintable(o.out));
    }
}

void TestHostileFiles::editorOpenDoesNotWait()
{
    // The editor's Open reads through readDocumentFile: it must refuse a pipe without waiting
    // for a writer. Should it wait, the test opens the pipe's other end and fails.
    const QString fifo = path(u"open-fifo.orb"_s);
    makeFifo(fifo);
    std::atomic<bool> done{false};
    ReadError error;
    std::thread reader([&] {
        readDocumentFile(fifo, &error);
        done = true;
    });
    for (int waited = 0; !done && waited < 10000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool waitedForAWriter = !done;
    if (waitedForAWriter)
        ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY));
    reader.join();
    QVERIFY2(!waitedForAWriter, "Open waited for a writer of the pipe");
    QCOMPARE(error.failure, ReadFailure::NotRegularFile);
}

void TestHostileFiles::reportTargets_data()
{
    QTest::addColumn<QString>("target"); // fifo, device, full, folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("pipe") << u"fifo"_s << 0 << QString();
    QTest::newRow("full device") << u"full"_s << 6
                                 << u"orb-grade: cannot write report: No space left on device\n"_s;
    QTest::newRow("folder") << u"folder"_s << 6
                            << u"orb-grade: cannot write report: is a folder\n"_s;
}

void TestHostileFiles::reportTargets()
{
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir work;
    const QString report = work.filePath(u"report"_s);
    QByteArray received;
    std::thread reader;
    int ownWriter = -1;
    if (target == u"fifo"_s) {
        makeFifo(report);
        // The pipe's reader gets the whole report, as it would from `> report`. The test holds
        // a write end of its own too, so that nothing waits however orb-grade treats the pipe.
        const int readEnd = ::open(QFile::encodeName(report).constData(), O_RDONLY | O_NONBLOCK);
        ownWriter = ::open(QFile::encodeName(report).constData(), O_WRONLY);
        QVERIFY(readEnd >= 0 && ownWriter >= 0);
        ::fcntl(readEnd, F_SETFL, 0);
        reader = std::thread([readEnd, &received] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(readEnd, buffer, sizeof buffer)) > 0;)
                received.append(buffer, n);
            ::close(readEnd);
        });
    } else if (target == u"full"_s) {
        if (!makeFullDevice(report))
            QSKIP("device nodes cannot be made here");
    } else {
        QDir().mkdir(report);
    }
    const Outcome o = run(
        u"orb-grade"_s,
        {u"--report"_s, u"json:report"_s, path(u"sum.orbtest"_s), path(u"ref.orb"_s)}, work.path());
    if (reader.joinable()) {
        ::close(ownWriter);
        reader.join();
    }
    QVERIFY2(o.finished, "orb-grade did not end");
    QCOMPARE(o.status, status);
    QCOMPARE(o.err, message);
    const QFileInfo after(report);
    if (target == u"fifo"_s) {
        QVERIFY2(isFifo(report), "the pipe was replaced by a file");
        QVERIFY(received.startsWith("{\"tool\":\"orb-grade\""));
        QVERIFY(received.endsWith("}\n"));
    } else if (target == u"full"_s) {
        QVERIFY2(!after.isFile(), "the device was replaced by a file");
    } else {
        QVERIFY(after.isDir());
    }
}

void TestHostileFiles::reportOverAnInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("input"); // the file that must stay as it was
    QTest::newRow("the reference") << QStringList{u"--reference"_s, u"ref.orb"_s,     u"--report"_s,
                                                  u"csv:ref.orb"_s, u"sum.orbtest"_s, u"class"_s}
                                   << u"ref.orb"_s;
    QTest::newRow("the test file")
        << QStringList{u"--report"_s, u"json:sum.orbtest"_s, u"sum.orbtest"_s, u"class"_s}
        << u"sum.orbtest"_s;
    QTest::newRow("through a link")
        << QStringList{u"--report"_s, u"tap:link.orb"_s, u"sum.orbtest"_s, u"class"_s}
        << u"class/ivanova.orb"_s;
    // A student's file named like an option, handed over by a shell glob before the others.
    QTest::newRow("a classmate's work")
        << QStringList{u"sum.orbtest"_s, u"--report=csv:class/ivanova.orb"_s,
                       u"class/ivanova.orb"_s}
        << u"class/ivanova.orb"_s;
    QTest::newRow("gradescope folder holding submissions")
        << QStringList{u"--report"_s, u"gradescope:class"_s, u"sum.orbtest"_s, u"class"_s,
                       u"ref.orb"_s}
        << u"class/ivanova.orb"_s;
}

void TestHostileFiles::reportOverAnInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, input);
    QTemporaryDir work;
    copyInputs(work.path(),
               {u"ref.orb"_s, u"sum.orbtest"_s, u"class/ivanova.orb"_s, u"class/petrov.orb"_s});
    QVERIFY(QFile::link(work.filePath(u"class/ivanova.orb"_s), work.filePath(u"link.orb"_s)));
    const QByteArray before = readAll(work.filePath(input));
    const Outcome o = run(u"orb-grade"_s, arguments, work.path());
    QCOMPARE(o.status, 64);
    QVERIFY2(o.err.contains(u"would overwrite the input"_s), qPrintable(o.err));
    QCOMPARE(readAll(work.filePath(input)), before);
    QVERIFY(QFileInfo(work.filePath(u"class/petrov.orb"_s)).isFile());
}

void TestHostileFiles::fullDiskKeepsTheOldReport_data()
{
    // The programs write with a file size limit of 20 bytes, as on a full disk: a small report
    // that fits the write buffer fails only when the buffer is written.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("toStandardOutput");
    QTest::addColumn<QString>("message");
    QTest::newRow("orb-grade json")
        << u"orb-grade"_s
        << QStringList{u"--report"_s, u"json:old.txt"_s, u"sum.orbtest"_s, u"ref.orb"_s} << false
        << u"orb-grade: cannot write old.txt: File too large\n"_s;
    QTest::newRow("orb-grade csv")
        << u"orb-grade"_s
        << QStringList{u"--report"_s, u"csv:old.txt"_s, u"sum.orbtest"_s, u"ref.orb"_s} << false
        << u"orb-grade: cannot write old.txt: File too large\n"_s;
    QTest::newRow("orb-check --dot")
        << u"orb-check"_s << QStringList{u"--dot"_s, u"old.txt"_s, u"ref.orb"_s} << false
        << u"orb-check: cannot write old.txt: File too large\n"_s;
    QTest::newRow("orb-run --tests > full")
        << u"orb-run"_s << QStringList{u"--tests"_s, u"sum.orbtest"_s, u"ref.orb"_s} << true
        << u"orb-run: cannot write the output: File too large\n"_s;
    QTest::newRow("orb-check > full") << u"orb-check"_s << QStringList{u"ref.orb"_s} << true
                                      << u"orb-check: cannot write the report: File too large\n"_s;
    QTest::newRow("orb-grade > full")
        << u"orb-grade"_s << QStringList{u"sum.orbtest"_s, u"ref.orb"_s} << true
        << u"orb-grade: cannot write to standard output: File too "
           u"large\n"_s;
}

void TestHostileFiles::fullDiskKeepsTheOldReport()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(bool, toStandardOutput);
    QFETCH(QString, message);
    QTemporaryDir work;
    copyInputs(work.path(), {u"ref.orb"_s, u"sum.orbtest"_s});
    const QByteArray old = "the report of yesterday\n";
    writeAll(work.filePath(u"old.txt"_s), old);
    const Outcome o = run(name, arguments, work.path(),
                          toStandardOutput ? work.filePath(u"out.txt"_s) : QString(), 20);
    QVERIFY(o.finished);
    QCOMPARE(o.status, 6);
    QCOMPARE(o.err, message);
    QCOMPARE(readAll(work.filePath(u"old.txt"_s)), old);
    // No temporary file is left beside it.
    QStringList left = QDir(work.path()).entryList(QDir::Files);
    left.removeAll(u"out.txt"_s);
    QCOMPARE(left, (QStringList{u"old.txt"_s, u"ref.orb"_s, u"sum.orbtest"_s}));
}

void TestHostileFiles::namesThatAreNotUtf8()
{
    // A Windows archive unpacked in a Russian class: "Иванова.orb" in Windows-1251 bytes. Found
    // in a folder or named directly, it opens, passes, and is shown in Cyrillic.
    QTemporaryDir work;
    const QByteArray name = "\xC8\xE2\xE0\xED\xEE\xE2\xE0.orb";
    const QByteArray native = QFile::encodeName(work.path()) + "/class/" + name;
    QDir(work.path()).mkdir(u"class"_s);
    {
        const QByteArray bytes = readAll(path(u"ref.orb"_s));
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
    }
    const Outcome folder = run(u"orb-grade"_s, {path(u"sum.orbtest"_s), u"class"_s}, work.path());
    QCOMPARE(folder.status, 0);
    QVERIFY2(folder.out.contains(u"Иванова.orb  ✓"_s), qPrintable(folder.out));

    // On the command line the name reaches the program as bytes.
    const Outcome named = runProcess(u"/bin/sh"_s,
                                     {u"-c"_s, u"exec \"$0\" \"$1\" *.orb"_s,
                                      builtProgram(u"orb-grade"_s), path(u"sum.orbtest"_s)},
                                     {.folder = work.path() + u"/class"_s, .seconds = 20});
    QVERIFY2(named.status == 0, qPrintable(named.out + named.err));
    QVERIFY2(named.out.contains(u"Иванова.orb  ✓"_s), qPrintable(named.out));
    // QTemporaryDir cannot remove what it cannot name.
    QCOMPARE(::unlink(native.constData()), 0);
}

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
