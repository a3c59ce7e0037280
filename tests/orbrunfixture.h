#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the tests of orb-run share: orb-run in-process, documents from rows, a view that
// answers nothing, a device that fails as a full disk, the trace's JSON taken apart.

#include "run/runner.h"
#include "sim/registers.h"
#include "sim/stepengine.h"
#include "clitestutil.h"
#include "coretestutil.h"
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace orbruntest {

using namespace orb;
using namespace Qt::StringLiterals;

using clitest::Outcome;

// What every orb-run test class has: no Qt warning passes, and a folder for its documents.
class OrbRunTest : public QObject {
    Q_OBJECT

protected:
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        testutil::failOnAnyWarning();
        QVERIFY(dir.isValid());
    }
    void init() { testutil::failOnAnyWarning(); }
};

inline Outcome runInProcess(const QStringList &arguments)
{
    return clitest::runInProcess(runCommandLine, u"orb-run"_s, arguments);
}

using clitest::documentText;

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    return testutil::writeFile(dir.filePath(name), bytes);
}

inline QJsonObject parseLine(const QString &line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning("not a JSON object (%s): %s", qPrintable(error.errorString()), qPrintable(line));
    return document.object();
}

// The top-level keys of a JSON Lines object in the order they stand in the text.
inline QStringList keyOrder(const QString &line, const QJsonObject &object)
{
    QList<std::pair<qsizetype, QString>> positions;
    for (const QString &key : object.keys())
        positions.append({line.indexOf(u'"' + key + u"\":"_s), key});
    std::sort(positions.begin(), positions.end());
    QStringList keys;
    for (const auto &entry : positions)
        keys << entry.second;
    return keys;
}

inline QJsonObject registersJson(const Processor &p)
{
    QJsonArray ron;
    for (const int value : p.ron)
        ron.append(value);
    return QJsonObject{{u"RK"_s, QJsonArray{p.rk[0], p.rk[1], p.rk[2], p.rk[3]}},
                       {u"RON"_s, ron},
                       {u"A"_s, p.a},
                       {u"B"_s, p.b},
                       {u"PC"_s, p.rs},
                       {u"SP"_s, p.sp},
                       {u"RI"_s, p.ri},
                       {u"RA"_s, p.ra},
                       {u"RB"_s, p.rv},
                       {u"R"_s, p.r},
                       {u"S1"_s, p.s1},
                       {u"S2"_s, p.s2},
                       {u"S3"_s, p.s3}};
}

inline QJsonObject flagsJson(const Processor &p)
{
    return QJsonObject{{u"X4"_s, p.x4}, {u"X3"_s, p.x3}, {u"X2"_s, p.x2}, {u"X1"_s, p.x1},
                       {u"Z"_s, p.z},   {u"N"_s, p.n},   {u"C"_s, p.c},   {u"P"_s, p.p}};
}

// A view for an engine driven by the test itself: data bytes from a list, nothing shown.
class QuietView final : public ExecutionView {
public:
    QList<int> dataBytes;
    QString lastMessage;
    bool askedForByte = false;
    void updateRegisterPanel(Panel) override {}
    void showEndScreen() override {}
    void showMessage(const QString &message) override { lastMessage = message; }
    std::optional<int> requestDataByte(const QString &) override
    {
        askedForByte = true;
        if (dataBytes.isEmpty())
            return std::nullopt;
        return dataBytes.takeFirst();
    }
    void showStepLimitDialog(const QString &, const QString &) override {}
    void scheduleDeletion() override {}
};

inline const QString y70Row = u"0|0||y70"_s;

// Outcome of a run with standard input.
inline Outcome runWithInput(const QStringList &arguments, const QByteArray &input)
{
    return clitest::runInProcess(runCommandLine, u"orb-run"_s, arguments, input);
}

// A device whose writes fail as on a full disk, after `accepted` bytes.
class FullDevice final : public QIODevice {
public:
    explicit FullDevice(qint64 accepted = 0) : accepted_(accepted) { open(WriteOnly); }
    qint64 written() const { return written_; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override
    {
        if (written_ + length > accepted_) {
            setErrorString(u"No space left on device"_s);
            return -1;
        }
        written_ += length;
        return length;
    }

private:
    qint64 accepted_;
    qint64 written_ = 0;
};

// A row that loops in state 0 for ever, and memory in full so the loader has nothing to say.
inline QByteArray loopDocument()
{
    return documentText({u"0|0||y20"_s});
}

// What orb-run says about the shipped document with wrong cells: each cell quoted, with the
// editor's reason.
inline QString shippedWrongCells()
{
    return u"row 1, conditions: \"х1\": Кириллическая буква «х» в «х1»: нужна латинская x\n"
           u"row 2, conditions: \"x1 x2\": Нет запятой между условиями в «x1x2»: пишите x1,x2\n"
           u"row 2, signals: \"у70\": Кириллическая буква «у» в «у70»: нужна латинская y\n"
           u"row 3, source state: \"12a\": «a» в «12a» — не цифра: состояние — число от 0 до "
           u"999\n"
           u"row 3, signals: \"y6,y06\": y6 указан дважды\n"
           u"row 4, next state: \"\": Строка не пуста — нужно следующее состояние\n"
           u"row 4, conditions: \"Переход\": «переход» — нет такого условия; допустимы x4 x3 x2 "
           u"x1 z n c p\n"_s;
}

} // namespace orbruntest
