// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

#include <cstdio>

class StrokeTable;

namespace Count {

enum ExitStatus { Done = 0, FoundUnknown = 1, Failed = 2 };

// Opens the stroke database at PATH with the window's checks and reads
// every count into TABLE, or only the common characters' with COMMONONLY.
// Throws RuntimeError, worded for the user.
void loadTable(const QString &path, bool commonOnly, StrokeTable *table);

// The whole program over ARGUMENTS (the program name first), writing to OUT
// and ERR; returns the exit status. Needs a QCoreApplication.
int run(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace Count
