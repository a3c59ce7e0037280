// SPDX-License-Identifier: GPL-3.0-or-later
//
// Every test file, expectations file and command line that the README, the user guide and the
// manual pages show is taken from them and run: each test file must pass on the sum program it
// is written for (examples/01-add-two-bytes.orb), and each command must run as printed on a
// class laid out as the texts describe it, with the built programs.

#include "coretestutil.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

struct Example {
    enum class Kind { File, Command };
    Kind kind;
    QString where; // SOURCE:LINE
    QString name;  // a file's name
    QString text;  // its contents, or the command line
};

bool isCommand(const QString &line)
{
    static const QRegularExpression command(u"^(orb-(run|check|grade)( |$)|for \\w+ in )"_s);
    // Synopses ("[--max-steps N]") and output lines ("orb-run: warning: …") are no commands.
    return line.contains(command) && !line.contains(u"[-"_s) && !line.contains(u"]..."_s);
}

// The indented code blocks of a Markdown text: "$ cat NAME" and the lines under it are a file;
// "$ COMMAND" (with "> " continuation lines) and a bare command line are commands.
QList<Example> markdownExamples(const QString &source, const QString &text)
{
    QList<Example> examples;
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        static const QRegularExpression codeLine(u"^( {4,})(\\$ )?(.*)$"_s);
        const QRegularExpressionMatch m = codeLine.match(lines[i]);
        if (!m.hasMatch())
            continue;
        const qsizetype indent = m.capturedLength(1);
        const bool prompt = m.capturedLength(2) > 0;
        const QString where = u"%1:%2"_s.arg(source).arg(i + 1);
        QString line = m.captured(3);
        if (prompt && line.startsWith(u"cat "_s)) {
            QString contents;
            while (i + 1 < lines.size() && lines[i + 1].size() > indent &&
                   lines[i + 1].left(indent).trimmed().isEmpty() &&
                   !lines[i + 1].mid(indent).startsWith(u"$ "_s))
                contents += lines[++i].mid(indent) + u'\n';
            examples.append({Example::Kind::File, where, line.mid(4).trimmed(), contents});
            continue;
        }
        if (!(prompt || !line.startsWith(u' ')) || !isCommand(line))
            continue;
        while (i + 1 < lines.size() && lines[i + 1].mid(indent).startsWith(u"> "_s))
            line += u'\n' + lines[++i].mid(indent + 2);
        examples.append({Example::Kind::Command, where, {}, line});
    }
    return examples;
}

// A man page's text as the reader sees it.
QString fromRoff(QString line)
{
    line.replace(u"\\-"_s, u"-"_s);
    line.replace(u"\\e"_s, u"\\"_s);
    line.replace(u"\\&"_s, QString());
    return line;
}

// A manual page: its .nf blocks (a test or expectations file when it has NAME=VALUE items and
// no JSON, a command when it starts with one) and the ".B orb-…" lines of its EXAMPLES.
QList<Example> manExamples(const QString &source, const QString &text)
{
    QList<Example> examples;
    const QStringList lines = text.split(u'\n');
    bool inExamples = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString where = u"%1:%2"_s.arg(source).arg(i + 1);
        if (lines[i].startsWith(u".SH"_s))
            inExamples = lines[i] == u".SH EXAMPLES"_s;
        if (inExamples && lines[i].startsWith(u".B orb-"_s)) {
            const QString command = fromRoff(lines[i].mid(3));
            if (command.contains(u' '))
                examples.append({Example::Kind::Command, where, {}, command});
            continue;
        }
        if (lines[i] != u".nf"_s)
            continue;
        QStringList block;
        while (++i < lines.size() && lines[i] != u".fi"_s)
            block << fromRoff(lines[i]);
        const QString joined = block.join(u'\n').replace(u"\\\n"_s, QString());
        if (block.isEmpty() || joined.startsWith(u'{'))
            continue;
        static const QRegularExpression item(u"^\\s*(expect |[A-Za-z0-9]+=)"_s,
                                             QRegularExpression::MultilineOption);
        if (isCommand(block.first())) {
            if (block.first().startsWith(u"for "_s)) {
                examples.append({Example::Kind::Command, where, {}, joined});
            } else {
                for (const QString &line : joined.split(u'\n'))
                    examples.append({Example::Kind::Command, where, {}, line});
            }
        } else if (joined.contains(item)) {
            examples.append({Example::Kind::File, where,
                             joined.contains(u"case "_s) ? u"sum.orbtest"_s : u"sum.expect"_s,
                             joined + u'\n'});
        }
    }
    return examples;
}

QList<Example> allExamples()
{
    QList<Example> examples;
    for (const QString &name : {u"README.md"_s, u"docs/guide.ru.md"_s}) {
        examples += markdownExamples(
            name, QString::fromUtf8(readAll(QStringLiteral(ORB_SOURCE_DIR "/") + name)));
    }
    const QDir packaging(QStringLiteral(ORB_SOURCE_DIR "/packaging"));
    for (const QString &name : packaging.entryList({u"orb-*.1.in"_s}))
        examples += manExamples(u"packaging/"_s + name,
                                QString::fromUtf8(readAll(packaging.filePath(name))));
    return examples;
}

// The sum program's one-row cheat: y70, with the answer for 25 + 17 stored at 02.
QByteArray cheat()
{
    return "MKT1\n0\n0\n\ny70\n253C" + QByteArray(508, '0');
}

struct Outcome {
    int status = -1;
    QString output;
};

// A command in bash, in `folder`, with the built programs first on the PATH.
Outcome shell(const QString &folder, const QString &command)
{
    const ProcessOutcome o = runProcess(
        u"bash"_s, {u"-o"_s, u"pipefail"_s, u"-c"_s, u"PATH=\"$PWD/.bin:$PATH\"\n"_s + command},
        {.folder = folder});
    return {o.status, o.finished ? o.out + o.err : u"did not finish"_s};
}

} // namespace

class TestDocExamples : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { failOnAnyWarning(); }
    void examplesRun_data();
    void examplesRun();

private:
    QTemporaryDir dir_;
    QList<Example> examples_;
    void makeClass(const QString &folder);
};

void TestDocExamples::initTestCase()
{
    failOnAnyWarning();
    QVERIFY(dir_.isValid());
    examples_ = allExamples();
    // A test of the texts that found nothing in them would test nothing.
    int files = 0;
    int commands = 0;
    for (const Example &e : std::as_const(examples_))
        ++(e.kind == Example::Kind::File ? files : commands);
    QVERIFY2(files >= 6 && commands >= 14,
             qPrintable(u"%1 files, %2 commands"_s.arg(files).arg(commands)));
}

// The class and the files the texts speak of, in a folder of their own.
void TestDocExamples::makeClass(const QString &folder)
{
    QDir().mkpath(folder + u"/.bin"_s);
    for (const QString &program : {u"orb-run"_s, u"orb-check"_s, u"orb-grade"_s})
        QFile::link(builtProgram(program), folder + u"/.bin/"_s + program);
    const QByteArray sum = example(u"01-add-two-bytes.orb"_s);
    for (const QString &name :
         {u"solution.orb"_s, u"reference.orb"_s, u"01-add-two-bytes.orb"_s, u"ivanov.orb"_s,
          u"doc.orb"_s, u"документ.orb"_s, u"лабораторная.orb"_s, u"lab3.orb"_s})
        writeAll(folder + u'/' + name, sum);
    writeAll(folder + u"/05-input-largest-byte.orb"_s, example(u"05-input-largest-byte.orb"_s));
    writeAll(folder + u"/petrov.orb"_s, cheat());
    writeAll(folder + u"/lab2.orb"_s, "MKT1\n0\n0\n\n\xF3"
                                      "30\n" +
                                          QByteArray(512, '0'));
    for (const QString &klass : {u"class"_s, u"группа"_s, u"submissions"_s}) {
        QDir().mkpath(folder + u'/' + klass);
        writeAll(folder + u'/' + klass + u"/ivanova.orb"_s, sum);
        writeAll(folder + u'/' + klass + u"/petrov.orb"_s, cheat());
    }
    // The texts' own test and expectations files; "basic.orbtest" is the first two cases of
    // the test file.
    for (const Example &e : std::as_const(examples_)) {
        if (e.kind == Example::Kind::File && !QFile::exists(folder + u'/' + e.name))
            writeAll(folder + u'/' + e.name, e.text.toUtf8());
    }
    const QString tests = QString::fromUtf8(readAll(folder + u"/sum.orbtest"_s));
    qsizetype third = tests.indexOf(u"\ncase "_s);
    third = tests.indexOf(u"\ncase "_s, tests.indexOf(u"\ncase "_s, third + 1) + 1);
    writeAll(folder + u"/basic.orbtest"_s, tests.left(third + 1).toUtf8());
}

void TestDocExamples::examplesRun_data()
{
    QTest::addColumn<int>("index");
    for (qsizetype i = 0; i < examples_.size(); ++i)
        QTest::newRow(qPrintable(examples_[i].where)) << int(i);
}

void TestDocExamples::examplesRun()
{
    QFETCH(int, index);
    const Example &e = examples_[index];
    const QString folder = dir_.filePath(QString::number(index));
    makeClass(folder);
    if (e.kind == Example::Kind::File) {
        // Written for the sum program: the program meets every item, as the reference.
        writeAll(folder + u"/shown."_s + QFileInfo(e.name).suffix(), e.text.toUtf8());
        const QString command =
            e.name.endsWith(u".expect"_s)
                ? u"orb-run --expect shown.expect 01-add-two-bytes.orb"_s
                : u"orb-grade --reference solution.orb shown.orbtest -- solution.orb"_s;
        const Outcome o = shell(folder, command);
        QVERIFY2(o.status == 0, qPrintable(e.text + u"\n→ "_s + o.output));
        return;
    }
    const Outcome o = shell(folder, e.text);
    // What the texts show may fail a submission (1, 2, 3, 5) but never the command itself.
    static const QRegularExpression broken(
        u"not checked|не проверено|exit status \\d|not an ORB document|output not written|"
        u"cannot read|no such file|command not found|Try '"_s);
    static const QList<int> failures{4, 6, 64, 126, 127, -1};
    QVERIFY2(!failures.contains(o.status) && !o.output.contains(broken),
             qPrintable(u"status %1: %2"_s.arg(o.status).arg(o.output.left(2000))));
}

QTEST_GUILESS_MAIN(TestDocExamples)
#include "tst_docexamples.moc"
