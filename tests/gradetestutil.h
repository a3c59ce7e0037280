#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers of the orb-grade tests: documents made from rows, orb-grade run in-process, and a
// JSON report checked against its schema with python3-jsonschema.

#include "cells/memorybyte.h"
#include "clitestutil.h"
#include "grade/gradecli.h"
#include "run/runner.h"

#include <QBuffer>
#include <QProcess>
#include <QStringList>

namespace gradetest {

using namespace Qt::StringLiterals;

// A document from rows "source|next|conditions|signals" and memory bytes from address 0.
inline QByteArray documentText(const QStringList &rows, const QList<int> &memory = {})
{
    QByteArray text = "MKT" + QByteArray::number(rows.size()) + '\n';
    for (const QString &row : rows) {
        const QStringList cells = row.split(u'|');
        Q_ASSERT(cells.size() == 4);
        for (const QString &cell : cells)
            text += cell.toUtf8() + '\n';
    }
    for (int address = 0; address < 256; ++address)
        text += orb::formatHex(address < memory.size() ? memory[address] : 0).toLatin1();
    return text;
}

// M02 := M00 + M01, with the rows of the example document that does it.
inline const QStringList sumRows{u"0|1||y43"_s,
                                 u"1|2||y30,y48"_s,
                                 u"2|3||y24,y35,y42"_s,
                                 u"3|4||y30"_s,
                                 u"4|5||y11,y14,y31,y45"_s,
                                 u"5|6||y13,y24,y42"_s,
                                 u"6|7||y25,y60"_s,
                                 u"7|7||y70"_s};

using Outcome = clitest::Outcome;

inline Outcome grade(const QStringList &arguments)
{
    return clitest::runInProcess(
        +[](const QStringList &args, QIODevice &out, QIODevice &err) {
            return orb::runGradeCommandLine(args, out, err);
        },
        u"orb-grade"_s, arguments);
}

inline QString schemaPath(const QString &name = u"orb-grade.schema.json"_s)
{
    return QStringLiteral(ORB_SOURCE_DIR "/grade/") + name;
}

// python3-jsonschema's verdict on a JSON file: "" when it is valid.
inline QString schemaErrors(const QString &reportPath, const QString &schema = schemaPath())
{
    QProcess python;
    python.start(
        u"python3"_s,
        {u"-c"_s,
         u"import json, sys, jsonschema\n"
         u"schema = json.load(open(sys.argv[1]))\n"
         u"jsonschema.Draft202012Validator.check_schema(schema)\n"
         u"jsonschema.validate(json.load(open(sys.argv[2], encoding='utf-8')), schema)\n"_s,
         schema, reportPath});
    if (!python.waitForFinished(60000))
        return u"python3 did not finish"_s;
    if (python.exitCode() == 0)
        return {};
    return QString::fromUtf8(python.readAllStandardError()).right(600);
}

} // namespace gradetest
