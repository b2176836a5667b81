// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

#include <cstdio>

class QCoreApplication;
class StrokeTable;

namespace Count {

enum ExitStatus { Done = 0, FoundUnknown = 1, Failed = 2 };

// Opens the stroke database at PATH and reads every count into TABLE, or
// only the common characters' with COMMONONLY, or with ONLY the counts of
// those code points alone. Only the pages read are checked, each by its own
// HMAC, so no count comes from a damaged page; when any check fails, the
// window's check of the whole file words the refusal. Throws RuntimeError,
// worded for the user.
void loadTable(const QString &path, bool commonOnly, StrokeTable *table, const QList<char32_t> *only = nullptr);

// Writes the help or the version line TEXT to OUT; a write that fails
// says why on ERR, as a count's output does. Returns the exit status.
int writeText(const QString &text, std::FILE *out, std::FILE *err);

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
