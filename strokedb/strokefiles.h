// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

class StrokeSequences;
class StrokeTable;

// The stroke database and the stroke sequences beside it, as the
// command-line programs read them.
namespace StrokeFiles {

// Loads TABLE from the database NAMED by the user or, when NAMED is empty,
// the one installed beside the program, and SEQUENCES, when given, from the
// file beside that database. Throws RuntimeError, worded for the user.
void load(const QString &named, StrokeTable *table, StrokeSequences *sequences, bool commonOnly = false,
          const QList<char32_t> *only = nullptr);

// As load(), for a program that orders by the counts: a count of zero or
// below, or one too large to hold, is refused as damage, where the window
// and tarvelo-count show it as the database has it.
void loadForOrder(const QString &named, StrokeTable *table, StrokeSequences *sequences);

// Opens the stroke database at PATH and reads every count into TABLE, or
// only the common characters' with COMMONONLY, or with ONLY the counts of
// those code points alone. Only the pages read are checked, each by its own
// HMAC, so no count comes from a damaged page; when any check fails, the
// window's check of the whole file words the refusal. Throws RuntimeError,
// worded for the user.
void loadTable(const QString &path, StrokeTable *table, bool commonOnly = false,
               const QList<char32_t> *only = nullptr);

} // namespace StrokeFiles
