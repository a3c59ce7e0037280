// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/caserun.h"

#include "cells/memorybyte.h"
#include "sim/registers.h"

using namespace Qt::StringLiterals;

namespace orb {

namespace {

QString bytesText(const QList<int> &bytes)
{
    if (bytes.isEmpty())
        return u"nothing"_s;
    QStringList texts;
    for (const int byte : bytes)
        texts << formatHex(byte);
    return texts.join(u' ');
}

} // namespace

QString caseStatusName(CaseStatus status)
{
    switch (status) {
    case CaseStatus::Passed:
        return u"passed"_s;
    case CaseStatus::Wrong:
        return u"wrong"_s;
    case CaseStatus::Loops:
        return u"loops"_s;
    case CaseStatus::Stopped:
        return u"stopped"_s;
    case CaseStatus::RedCells:
        return u"red-cells"_s;
    case CaseStatus::Unreadable:
        return u"unreadable"_s;
    case CaseStatus::NotRun:
        return u"not-run"_s;
    }
    return {};
}

QString endName(RunStatus status)
{
    switch (status) {
    case RunSucceeded:
        return u"success"_s;
    case RunStopped:
        return u"stopped"_s;
    default:
        return u"limit"_s;
    }
}

void setRegisterValue(Processor &p, int index, int value)
{
    if (index < 4) {
        p.rk[size_t(index)] = value;
        return;
    }
    if (index < 20) {
        p.ron[size_t(index - 4)] = value;
        return;
    }
    int *const singles[] = {&p.a,  &p.b, &p.rs, &p.sp, &p.ri, &p.ra,
                            &p.rv, &p.r, &p.s1, &p.s2, &p.s3};
    *singles[index - 20] = value;
}

void setFlagValue(Processor &p, int index, int value)
{
    quint8 *const flags[] = {&p.x4, &p.x3, &p.x2, &p.x1, &p.z, &p.n, &p.c, &p.p};
    *flags[index] = quint8(value ? 1 : 0);
}

void CaseRun::View::showMessage(const QString &)
{
    // The message of y67 is "A = " and A; the other messages show no value.
    const int signal = run_.currentSignal();
    if (signal == 67)
        run_.displayed_ << run_.engine_.processor().a;
    else if (signal == 68 || signal == 69)
        run_.messages_ << signal;
}

std::optional<int> CaseRun::View::requestDataByte(const QString &)
{
    // As closing the dialog without an entry once the case's bytes are used up.
    if (run_.nextInput_ < run_.inputs_.size())
        return run_.inputs_[run_.nextInput_++];
    return std::nullopt;
}

CaseRun::CaseRun(Program program, const ByteArrayMemory &memory, const TestCase &testCase)
    : memory_(memory), view_(*this), engine_(std::move(program), memory_, view_),
      inputs_(testCase.inputs), maxSteps_(testCase.maxSteps)
{
    // As if the bytes had been typed into the memory page before the launch, and as if the
    // engine had reset the registers to these values.
    Processor &p = engine_.processor();
    for (const Expectation &set : testCase.sets) {
        switch (set.kind) {
        case Expectation::Kind::Memory:
            memory_.bytes[size_t(set.index)] = quint8(set.value);
            break;
        case Expectation::Kind::Register:
            setRegisterValue(p, set.index, set.value);
            break;
        case Expectation::Kind::Flag:
            setFlagValue(p, set.index, set.value);
            break;
        case Expectation::Kind::End:
            break;
        }
    }
    initialMemory_ = memory_;
}

bool CaseRun::press()
{
    if (over_)
        return false;
    if (!started_) {
        started_ = true;
        engine_.start();
        return true;
    }
    if (engine_.endScreenShown()) {
        over_ = true;
        return false;
    }
    if (engine_.stepCount() > maxSteps_) {
        limit_ = true;
        over_ = true;
        return false;
    }
    engine_.executeStep();
    return true;
}

void CaseRun::runToEnd()
{
    while (press()) {
    }
}

bool CaseRun::nextMicrooperation()
{
    for (;;) {
        const int before = engine_.stepCount();
        if (!press())
            return false;
        // A transition from a row without microoperations counts a step too.
        if (engine_.stepCount() > before &&
            engine_.afterPanel().operation.kind != Operation::Kind::NoMicrooperations)
            return true;
    }
}

int CaseRun::currentSignal() const
{
    return engine_.executingSignal();
}

RunStatus CaseRun::end() const
{
    if (limit_)
        return RunLimit;
    return engine_.state().succeeded ? RunSucceeded : RunStopped;
}

int CaseRun::finalValue(const Expectation &e) const
{
    const Processor &p = engine_.processor();
    switch (e.kind) {
    case Expectation::Kind::End:
        return end();
    case Expectation::Kind::Register:
        return registerValue(p, e.index);
    case Expectation::Kind::Flag:
        return p.flags()[size_t(e.index)];
    case Expectation::Kind::Memory:
        return memory_.bytes[size_t(e.index)];
    }
    return 0;
}

QString expectationValueText(const Expectation &e, int value)
{
    switch (e.kind) {
    case Expectation::Kind::End:
        return endName(RunStatus(value));
    case Expectation::Kind::Flag:
        return QString::number(value);
    default:
        return formatHex(value);
    }
}

QList<Mismatch> caseMismatches(const TestCase &testCase, const CaseRun &run)
{
    QList<Mismatch> mismatches;
    for (const ExpectItem &item : testCase.expects) {
        const Expectation &e = item.expectation;
        const int got = run.finalValue(e);
        if (got != e.value)
            mismatches << Mismatch{e.name, expectationValueText(e, e.value),
                                   expectationValueText(e, got)};
    }
    if (testCase.checksDisplay && run.displayed() != testCase.display)
        mismatches << Mismatch{u"display"_s, bytesText(testCase.display),
                               bytesText(run.displayed())};
    if (testCase.checksMessages && run.messages() != testCase.messages) {
        auto names = [](const QList<int> &signal) {
            QStringList words;
            for (const int s : signal)
                words << messageName(s);
            return words.isEmpty() ? u"none"_s : words.join(u' ');
        };
        mismatches << Mismatch{u"messages"_s, names(testCase.messages), names(run.messages())};
    }
    return mismatches;
}

CaseStatus caseStatus(const TestCase &testCase, const CaseRun &run,
                      const QList<Mismatch> &mismatches)
{
    if (mismatches.isEmpty())
        return CaseStatus::Passed;
    auto expectsEnd = [&](RunStatus end) {
        return std::any_of(testCase.expects.cbegin(), testCase.expects.cend(),
                           [end](const ExpectItem &item) {
                               return item.expectation.kind == Expectation::Kind::End &&
                                      item.expectation.value == end;
                           });
    };
    if (run.end() == RunLimit && !expectsEnd(RunLimit))
        return CaseStatus::Loops;
    if (run.end() == RunStopped && !expectsEnd(RunStopped))
        return CaseStatus::Stopped;
    return CaseStatus::Wrong;
}

QString Divergence::text() const
{
    switch (kind) {
    case Kind::StudentEnded:
        return u"microoperation %1: the run ended (%2) at step %3, the reference's executes "
               u"\"%4\" at step %5"_s.arg(index)
                   .arg(studentEnd)
                   .arg(studentStep)
                   .arg(referenceOperation)
                   .arg(referenceStep);
    case Kind::ReferenceEnded:
        return u"microoperation %1: row %2 executes \"%3\" at step %4, the reference's run "
               u"ended (%5) at step %6"_s.arg(index)
                   .arg(studentRow)
                   .arg(studentOperation)
                   .arg(studentStep)
                   .arg(referenceEnd)
                   .arg(referenceStep);
    case Kind::EndsDiffer:
        return u"the same %1 microoperations, then the run ended (%2) at step %3, the "
               u"reference's (%4) at step %5"_s.arg(index)
                   .arg(studentEnd)
                   .arg(studentStep)
                   .arg(referenceEnd)
                   .arg(referenceStep);
    case Kind::Differs:
        break;
    }
    QStringList values;
    for (const Mismatch &d : differences)
        values << u"%1 %2 (reference %3)"_s.arg(d.name, d.got, d.expected);
    return u"microoperation %1: row %2 at step %3 \"%4\", the reference at step %5 \"%6\"; %7"_s
        .arg(index)
        .arg(studentRow)
        .arg(studentStep)
        .arg(studentOperation)
        .arg(referenceStep)
        .arg(referenceOperation)
        .arg(values.join(u", "_s));
}

namespace {

void compareStates(const CaseRun &student, const CaseRun &reference, QList<Mismatch> &out)
{
    const StepEngine::RunState &s = student.engine().state();
    const StepEngine::RunState &r = reference.engine().state();
    const int studentSignal = s.signalList[size_t(s.microopIndex - 1)];
    const int referenceSignal = r.signalList[size_t(r.microopIndex - 1)];
    if (studentSignal != referenceSignal)
        out << Mismatch{u"signal"_s, u"y"_s + QString::number(referenceSignal),
                        u"y"_s + QString::number(studentSignal)};
    for (int k = 6; k <= 15; ++k) {
        const int a = s.controlFields.marks[size_t(k)];
        const int b = r.controlFields.marks[size_t(k)];
        if (a != b)
            out << Mismatch{u"y"_s + QString::number(k), QString::number(b), QString::number(a)};
    }
    const Processor &ps = student.engine().processor();
    const Processor &pr = reference.engine().processor();
    const QStringList &names = registerNames();
    for (int i = 0; i < names.size(); ++i) {
        const int a = registerValue(ps, i);
        const int b = registerValue(pr, i);
        if (a != b)
            out << Mismatch{names[i], formatHex(b), formatHex(a)};
    }
    const std::array<quint8, 8> fs = ps.flags();
    const std::array<quint8, 8> fr = pr.flags();
    for (int i = 0; i < 8; ++i) {
        if (fs[size_t(i)] != fr[size_t(i)])
            out << Mismatch{flagName(i), QString::number(fr[size_t(i)]),
                            QString::number(fs[size_t(i)])};
    }
    // Bytes that differed from the start and neither run has written are the two documents'
    // own data (a table of constants the reference keeps elsewhere), not a step of the runs.
    for (int address = 0; address < 256; ++address) {
        const int a = student.memory().bytes[size_t(address)];
        const int b = reference.memory().bytes[size_t(address)];
        if (a != b && (a != student.initialMemory().bytes[size_t(address)] ||
                       b != reference.initialMemory().bytes[size_t(address)]))
            out << Mismatch{u"M"_s + formatHex(address), formatHex(b), formatHex(a)};
    }
}

} // namespace

std::optional<Divergence> findDivergence(const Program &student,
                                         const ByteArrayMemory &studentMemory,
                                         const Program &reference,
                                         const ByteArrayMemory &referenceMemory,
                                         const TestCase &testCase)
{
    CaseRun s(student, studentMemory, testCase);
    CaseRun r(reference, referenceMemory, testCase);
    for (int k = 1;; ++k) {
        const bool studentOn = s.nextMicrooperation();
        const bool referenceOn = r.nextMicrooperation();
        Divergence d;
        d.index = k;
        d.studentStep = s.engine().stepCount();
        d.referenceStep = r.engine().stepCount();
        if (!studentOn && !referenceOn) {
            if (s.end() == r.end())
                return std::nullopt;
            d.kind = Divergence::Kind::EndsDiffer;
            d.index = k - 1;
        } else if (!studentOn) {
            d.kind = Divergence::Kind::StudentEnded;
        } else if (!referenceOn) {
            d.kind = Divergence::Kind::ReferenceEnded;
        } else {
            compareStates(s, r, d.differences);
            if (d.differences.isEmpty())
                continue;
        }
        if (studentOn) {
            d.studentOperation = s.engine().afterPanel().operationLabel();
            d.studentRow = s.engine().afterPanel().rowLabel();
        } else {
            d.studentEnd = endName(s.end());
        }
        if (referenceOn) {
            d.referenceOperation = r.engine().afterPanel().operationLabel();
            d.referenceRow = r.engine().afterPanel().rowLabel();
        } else {
            d.referenceEnd = endName(r.end());
        }
        return d;
    }
}

} // namespace orb
