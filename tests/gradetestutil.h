#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers of the orb-grade tests: orb-grade run in-process, the sum program's rows, and a JSON
// report checked against orb-grade's schemas.

#include "clitestutil.h"
#include "coretestutil.h"
#include "grade/gradecli.h"
#include "grade/testfile.h"
#include "run/runner.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace gradetest {

using namespace Qt::StringLiterals;

using clitest::documentText;

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

// A test file that must parse; one that does not ends the test run.
inline orb::TestFile parsed(const QByteArray &text)
{
    QString error;
    std::optional<orb::TestFile> file = orb::parseTestFile(text, u"t.orbtest"_s, &error);
    if (!file)
        qFatal("%s", qPrintable(error));
    return *file;
}

inline Outcome grade(const QStringList &arguments)
{
    return clitest::runInProcess(
        +[](const QStringList &args, QIODevice &out, QIODevice &err) {
            return orb::runGradeCommandLine(args, out, err);
        },
        u"orb-grade"_s, arguments);
}

// A report's JSON object; a classroom report's is in base64.
inline QJsonObject jsonOf(const QByteArray &json, bool base64 = false)
{
    return QJsonDocument::fromJson(base64 ? QByteArray::fromBase64(json) : json).object();
}

inline QString schemaPath(const QString &name = u"orb-grade.schema.json"_s)
{
    return QStringLiteral(ORB_SOURCE_DIR "/grade/") + name;
}

// python3-jsonschema's verdict on a JSON file: "" when it is valid.
inline QString schemaErrors(const QString &reportPath, const QString &schema = schemaPath())
{
    return testutil::jsonSchemaErrors(schema, reportPath);
}

} // namespace gradetest
