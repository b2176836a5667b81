// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// Builds the stroke sequences file from a table of "SEQUENCE CHARACTER"
// lines, checked against the 2013 list's order: the list is ordered by
// stroke sequence within each count of each level, so its order tells
// where the table is wrong. The table is never mended in code; a reviewed
// correction file in the repository gives each mended sequence and why.

struct SequenceSources
{
    // The stroke table: one "SEQUENCE CHARACTER" per line.
    QByteArray strokeTable;
    // CHARACTER TAB SEQUENCE TAB REASON per line; '#' starts a comment.
    QByteArray corrections;
    // The database's counts, corrections included.
    QHash<char32_t, int> counts;
    // The 2013 list: element N is the character at place N + 1.
    QList<char32_t> commonList;
    // Where the table comes from and under which licence, for the file's
    // first comment lines.
    QStringList provenance;
};

struct SequenceFigures
{
    int kept = 0;
    // Outside the list, sequences whose length is not the count.
    int dropped = 0;
    int corrected = 0;
    // Characters of the list that have no sequence.
    int withoutInList = 0;
};

struct SequenceBuild
{
    QByteArray file;
    SequenceFigures figures;
};

// Throws RuntimeError naming every problem found: a malformed line, a list
// character whose sequence has the wrong length, two neighbours out of
// order (naming the one the order points to, or both where it cannot
// tell), a correction that is no longer needed.
SequenceBuild buildStrokeSequences(const SequenceSources &sources);
