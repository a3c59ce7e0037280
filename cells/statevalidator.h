#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The validator of the two state cells of a table row: a state is the empty text or one to
// three decimal digits. The line edit refuses every keystroke that would leave anything else.

#include <QValidator>

class StateValidator final : public QValidator {
public:
    using QValidator::QValidator;
    ~StateValidator() override;

    // Acceptable or Invalid, never Intermediate; no fixup.
    State validate(QString &input, int &pos) const override;
};
