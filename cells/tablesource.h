#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// A transition table as its readers take it: the step engine at the start of a run, the
// graph and the analyses. The editor's row store and orb-run's table implement it.

#include "cells/celllanguage.h"

#include <QString>

namespace orb {

class TableSource {
public:
    virtual ~TableSource() = default;
    virtual int rowCount() const = 0;
    // field: SourceStateField, NextStateField, ConditionsField or SignalsField.
    virtual QString cellText(int row, int field) const = 0;
    virtual ParsedConditions parsedConditions(int row) const = 0;
    virtual ParsedSignals parsedSignals(int row) const = 0;
};

} // namespace orb
