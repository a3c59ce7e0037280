#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers shared by every test, the widget-free ones too: failing on Qt warnings and reading
// and writing whole files.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace testutil {

// Turns every Qt warning of the current test function into a failure. QTest resets this after
// each function, so call it from both initTestCase() and init().
void failOnAnyWarning();

// Whole-file reads and writes for test documents; a failure ends the test run.
QByteArray readAll(const QString &path);
void writeAll(const QString &path, const QByteArray &bytes);
// writeAll that makes the file's folders first; returns the path.
QString writeFile(const QString &path, const QByteArray &bytes);

// A file of examples/ and its bytes.
QString examplePath(const QString &name);
QByteArray example(const QString &name);

// A program of this build (orb-run, orb-check, orb-grade), wherever the build puts it.
QString builtProgram(const QString &name);

// A program run to its end, or for at most `seconds` and then killed (a hang is a failure,
// not a stuck test). `status` is the exit code, -1 when it crashed or did not finish.
struct ProcessOutcome {
    bool finished = false;
    int status = -1;
    QString out;
    QString err;
};
struct ProcessSetup {
    QString folder = {};                // the working folder
    QString inputFile = {};             // standard input, or none
    QString outputFile = {};            // standard output, or collected in `out`
    std::function<void()> inChild = {}; // run in the child before the program starts
    int seconds = 60;
};
ProcessOutcome runProcess(const QString &program, const QStringList &arguments,
                          const ProcessSetup &setup = {});

// python3-jsonschema's verdict on a JSON file against a schema (draft 2020-12): "" when valid.
QString jsonSchemaErrors(const QString &schemaPath, const QString &jsonPath);

} // namespace testutil

#include <QTest>

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0) && defined(QTRY_IMPL)
// Qt 6.8's QTRY_ macros take their timeout as std::chrono and narrow its count to int
// inside their expansion, which -Wconversion reports in every test that waits. The same steps
// with the narrowing written out.
#undef QTRY_IMPL
// clang-format off
#define QTRY_IMPL(expr, timeoutAsGiven) \
    const auto qt_test_timeoutAsMs = [&] { \
        using namespace std::chrono_literals; \
        return std::chrono::milliseconds{timeoutAsGiven}; \
    }(); \
    const int qt_test_timeoutValue = static_cast<int>(qt_test_timeoutAsMs.count()); \
    const int qt_test_step = qt_test_timeoutValue < 350 ? qt_test_timeoutValue / 7 + 1 : 50; \
    { QTRY_LOOP_IMPL(expr, qt_test_timeoutValue, qt_test_step) } \
    QTRY_TIMEOUT_DEBUG_IMPL(expr, qt_test_timeoutValue, qt_test_step)
// clang-format on
#endif
