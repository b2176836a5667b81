// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>

namespace Sort {

// The translation context of everything tarvelo-sort says.
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(Sort)
};

} // namespace Sort
