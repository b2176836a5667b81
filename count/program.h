// SPDX-License-Identifier: MIT
#pragma once

#include "options.h"

#include <QStringList>

#include <cstdio>
#include <optional>

class QCoreApplication;

namespace Count {

enum ExitStatus { Done = 0, FoundUnknown = 1, Failed = 2 };

// Writes the help or the version line TEXT to OUT; a write that fails
// says why on ERR, as a count's output does. Returns the exit status.
int writeText(const QString &text, std::FILE *out, std::FILE *err);

// What a parse that does not run the program ends in: the help or the
// version line written to OUT, or the refusal TEXT after PREFIX on ERR.
// Returns the exit status, or nothing when RESULT says to run.
std::optional<int> endOfParse(ParseResult result, const QString &text, const QString &prefix, std::FILE *out,
                              std::FILE *err);

// Makes sure descriptors 0 to 2 are open before anything else opens a file.
// False when one cannot be.
bool openStandardDescriptors();

// Qt's own texts, such as the help's headings, in Chinese where the system
// has Qt's translations.
void loadQtTranslations(QCoreApplication &app);

// The whole program over ARGUMENTS (the program name first), writing to OUT
// and ERR; returns the exit status. Needs a QCoreApplication.
int run(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace Count
