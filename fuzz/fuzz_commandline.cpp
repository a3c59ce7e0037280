// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes orb-run's command line and its expectations files with any bytes: the input split at
// NUL bytes is an argument vector, and the whole input is also read as an expectations text.
// Options are judged without touching a file; a usage error says what is wrong in one line
// that a terminal shows as it is; expectations are bounded, and written out again they parse
// to the same list.

#include "fuzzsupport.h"

#include "run/runner.h"
#include "sim/registers.h"

#include <QStringDecoder>

#include <cstdint>

namespace {

bool terminalSafe(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E))
            return false;
    }
    return true;
}

void checkCommandLine(const QStringList &arguments)
{
    const orb::CommandLine command = orb::parseCommandLine(arguments);
    switch (command.action) {
    case orb::CommandLine::Action::Usage:
        FUZZ_CHECK(!command.text.isEmpty());
        FUZZ_CHECK(terminalSafe(orb::terminalText(command.text)));
        break;
    case orb::CommandLine::Action::Help:
    case orb::CommandLine::Action::Version:
        FUZZ_CHECK(command.text.endsWith(u'\n'));
        break;
    case orb::CommandLine::Action::Run: {
        const orb::RunOptions &options = command.options;
        FUZZ_CHECK(!options.documentPath.isEmpty());
        FUZZ_CHECK(options.maxSteps >= 1 && options.maxSteps <= orb::maxMaxSteps);
        for (const int byte : options.inputs)
            FUZZ_CHECK(byte >= 0 && byte <= 255);
        FUZZ_CHECK(!options.expect || !options.expectPath.isEmpty());
        // Every value came from the arguments: a plain decimal count and the given document.
        FUZZ_CHECK(arguments.contains(options.documentPath));
        break;
    }
    }
}

QString valueText(const orb::Expectation &e)
{
    static const QString ends[] = {QStringLiteral("success"), QStringLiteral("stopped"),
                                   QStringLiteral("limit")};
    switch (e.kind) {
    case orb::Expectation::Kind::End:
        return ends[e.value];
    case orb::Expectation::Kind::Flag:
        return QString::number(e.value);
    default:
        return QString::number(e.value, 16);
    }
}

void checkExpectations(const QString &text)
{
    QString error;
    const std::optional<QList<orb::Expectation>> parsed = orb::parseExpectations(text, &error);
    if (!parsed) {
        // A line number, the reason and at most 60 characters of the line, each escaped to at
        // most six.
        FUZZ_CHECK(!error.isEmpty());
        FUZZ_CHECK(error.size() <= 100 + 6 * 60);
        FUZZ_CHECK(terminalSafe(error));
        return;
    }
    QString rewritten;
    for (const orb::Expectation &e : *parsed) {
        switch (e.kind) {
        case orb::Expectation::Kind::End:
            FUZZ_CHECK(e.value >= orb::RunSucceeded && e.value <= orb::RunLimit);
            break;
        case orb::Expectation::Kind::Flag:
            FUZZ_CHECK(e.value == 0 || e.value == 1);
            FUZZ_CHECK(e.index >= 0 && e.index < 8);
            break;
        case orb::Expectation::Kind::Register:
            FUZZ_CHECK(e.index >= 0 && e.index < orb::registerNames().size());
            FUZZ_CHECK(e.value >= 0 && e.value <= 255);
            break;
        case orb::Expectation::Kind::Memory:
            FUZZ_CHECK(e.index >= 0 && e.index <= 255);
            FUZZ_CHECK(e.value >= 0 && e.value <= 255);
            break;
        }
        rewritten += e.name + u'=' + valueText(e) + u'\n';
    }
    const std::optional<QList<orb::Expectation>> again = orb::parseExpectations(rewritten, &error);
    FUZZ_CHECK(again && again->size() == parsed->size());
    for (qsizetype i = 0; i < parsed->size(); ++i) {
        const orb::Expectation &a = parsed->at(i);
        const orb::Expectation &b = again->at(i);
        FUZZ_CHECK(a.kind == b.kind && a.name == b.name && a.index == b.index &&
                   a.value == b.value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    // Argument vectors longer than this add nothing the parser has not seen.
    if (size > 4096)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);

    QStringList arguments{QStringLiteral("orb-run")};
    for (const QByteArray &argument : bytes.split('\0'))
        arguments << QString::fromUtf8(argument);
    checkCommandLine(arguments);
    checkExpectations(text);
    FUZZ_CHECK(terminalSafe(orb::terminalText(text, true, 60)));
    return 0;
}
