// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>

namespace CommandLine {

// The translation context of what every command-line program says alike.
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

} // namespace CommandLine
