// SPDX-License-Identifier: MIT
#pragma once

#include "strokedb.h"

#include <QList>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QVariant>

// Writes stroke database files: the real one at build time, and the odd
// ones that tests need.
struct StrokeRow
{
    QString character;
    QVariant count;
};

struct StrokeDbLayout
{
    QString password = StrokeDb::password;
    QString table = StrokeDb::strokeTable;
    QString characterColumn = StrokeDb::characterColumn.toString();
    QString countColumn = StrokeDb::strokeCountColumn.toString();
    // One row per character, keyed by it, so a lookup is one B-tree probe.
    // Off, rows keep their order and a character may repeat.
    bool uniqueCharacters = true;
    QString unicodeVersion;
    QString sourceFile;
    // How many counts differ from Unihan's.
    int corrections = 0;
    // The 2013 list in order; the common table is written even when this
    // is empty, so every database has the same tables.
    QStringList commonCharacters;
};

// Writes ROWS to a new database at PATH, which holds either its old
// content or the complete new one (see OutputFiles). Throws RuntimeError
// on failure.
void writeStrokeDatabase(const QString &path, const QList<StrokeRow> &rows,
                         const StrokeDbLayout &layout = {});

// Writes ROWS as the database into FILE, new and empty, from
// OutputFiles::open(), which replaces its target on commit.
void writeStrokeDatabase(QSaveFile &file, const QList<StrokeRow> &rows, const StrokeDbLayout &layout = {});
