// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/statevalidator.h"

#include "cells/celllanguage.h"

StateValidator::~StateValidator() = default;

QValidator::State StateValidator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    return orb::isStateTextValid(input) ? Acceptable : Invalid;
}
