// SPDX-License-Identifier: GPL-3.0-or-later

#include "coretestutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace testutil {

void failOnAnyWarning()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    writeAll(path, bytes);
    return path;
}

QString examplePath(const QString &name)
{
    return QStringLiteral(ORB_SOURCE_DIR "/examples/") + name;
}

QByteArray example(const QString &name)
{
    return readAll(examplePath(name));
}

QString builtProgram(const QString &name)
{
    for (const char *folder : {"", "/grade", "/run", "/check"}) {
        const QFileInfo info(QStringLiteral(ORB_BINARY_DIR) + QLatin1StringView(folder) + u'/' +
                             name);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    qFatal("%s is not built", qPrintable(name));
}

ProcessOutcome runProcess(const QString &program, const QStringList &arguments,
                          const ProcessSetup &setup)
{
    QProcess process;
    process.setWorkingDirectory(setup.folder);
    if (!setup.inputFile.isEmpty())
        process.setStandardInputFile(setup.inputFile);
    if (!setup.outputFile.isEmpty())
        process.setStandardOutputFile(setup.outputFile);
    if (setup.inChild)
        process.setChildProcessModifier(setup.inChild);
    process.start(program, arguments);
    ProcessOutcome o;
    o.finished = process.waitForFinished(setup.seconds * 1000);
    if (!o.finished) {
        process.kill();
        process.waitForFinished();
    }
    if (o.finished && process.exitStatus() == QProcess::NormalExit)
        o.status = process.exitCode();
    o.out = QString::fromUtf8(process.readAllStandardOutput());
    o.err = QString::fromUtf8(process.readAllStandardError());
    return o;
}

QString jsonSchemaErrors(const QString &schemaPath, const QString &jsonPath)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import json, sys, jsonschema\n"
                                 "schema = json.load(open(sys.argv[1]))\n"
                                 "jsonschema.Draft202012Validator.check_schema(schema)\n"
                                 "jsonschema.validate(json.load(open(sys.argv[2], "
                                 "encoding='utf-8')), schema)\n"),
                  schemaPath, jsonPath});
    if (!python.waitForFinished(60000))
        return QStringLiteral("python3 did not finish");
    if (python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0)
        return {};
    return QString::fromUtf8(python.readAllStandardError()).right(600);
}

} // namespace testutil
