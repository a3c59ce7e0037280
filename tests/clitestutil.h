#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Runs a command-line program's entry point in-process, as its main() would: the program name
// first, standard output and standard error collected in memory, standard input from bytes.
// And the documents the programs are given, made from rows.

#include "cells/memorybyte.h"

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

namespace clitest {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
    QStringList outLines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    QStringList errLines() const { return err.split(u'\n', Qt::SkipEmptyParts); }
};

// An entry point as orb-run, orb-check and orb-grade have it, without and with standard input.
using EntryPoint = int (*)(const QStringList &arguments, QIODevice &out, QIODevice &err);
using EntryPointWithInput = int (*)(const QStringList &arguments, QIODevice *in, QIODevice &out,
                                    QIODevice &err);

// Calls `run` with the two collecting devices and keeps what it wrote.
template <typename Run> Outcome collect(const Run &run)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    Outcome outcome;
    outcome.status = run(out, err);
    outcome.out = QString::fromUtf8(out.data());
    outcome.err = QString::fromUtf8(err.data());
    return outcome;
}

inline Outcome runInProcess(EntryPoint entry, const QString &program, const QStringList &arguments)
{
    return collect([&](QIODevice &out, QIODevice &err) {
        return entry(QStringList{program} + arguments, out, err);
    });
}

inline Outcome runInProcess(EntryPointWithInput entry, const QString &program,
                            const QStringList &arguments, const QByteArray &input)
{
    QBuffer in;
    in.setData(input);
    in.open(QIODevice::ReadOnly);
    return collect([&](QIODevice &out, QIODevice &err) {
        return entry(QStringList{program} + arguments, &in, out, err);
    });
}

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

} // namespace clitest
