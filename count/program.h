// SPDX-License-Identifier: MIT
#pragma once

#include "options.h"

#include <QStringList>

#include <cstdio>

namespace Count {

enum ExitStatus { Done = 0, FoundUnknown = 1, Failed = 2 };

// The whole program over ARGUMENTS (the program name first), writing to OUT
// and ERR; returns the exit status. Needs a QCoreApplication.
int run(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace Count
