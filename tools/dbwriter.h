// SPDX-License-Identifier: MIT
#pragma once

#include "strokedb.h"

#include <QList>
#include <QString>
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
    QString table = QStringLiteral("a");
    QString characterColumn = QStringLiteral("汉字");
    QString countColumn = QStringLiteral("笔画数");
    // One row per character, keyed by it, so a lookup is one B-tree probe.
    // Off, rows keep their order and a character may repeat.
    bool uniqueCharacters = true;
    QString unicodeVersion;
    QString sourceFile;
};

// Writes ROWS to a new database at PATH, replacing any file there only
// once the new one is complete. Throws RuntimeError on failure.
void writeStrokeDatabase(const QString &path, const QList<StrokeRow> &rows,
                         const StrokeDbLayout &layout = {});
