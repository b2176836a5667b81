// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>

namespace Count {

// The translation context of everything tarvelo-count says.
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(Count)
};

} // namespace Count
