// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

#include <cstdio>

namespace Sort {

enum ExitStatus { Done = 0, Failed = 2 };

// The whole program over ARGUMENTS (the program name first), writing to OUT
// and ERR; returns the exit status. Needs a QCoreApplication.
int run(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace Sort
