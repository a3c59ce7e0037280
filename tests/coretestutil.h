#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers shared by every test, the widget-free ones too: failing on Qt warnings and reading
// and writing whole files.

#include <QByteArray>
#include <QString>

namespace testutil {

// Turns every Qt warning of the current test function into a failure. QTest resets this after
// each function, so call it from both initTestCase() and init().
void failOnAnyWarning();

// Whole-file reads and writes for test documents; a failure ends the test run.
QByteArray readAll(const QString &path);
void writeAll(const QString &path, const QByteArray &bytes);

// python3-jsonschema's verdict on a JSON file against a schema (draft 2020-12): "" when valid.
QString jsonSchemaErrors(const QString &schemaPath, const QString &jsonPath);

} // namespace testutil
