// SPDX-License-Identifier: MIT
#pragma once

#include "unihan.h"

#include <QHash>
#include <QList>
#include <QString>

// Where Unihan's kTotalStrokes disagrees with the 2013 List of Commonly
// Used Standard Chinese Characters, the list wins. The list is ordered by
// stroke count within each level, so a character whose count breaks that
// order has the wrong one.

// The last place of each level of the 2013 list.
inline constexpr int commonListLevelEnds[] = {3500, 6500, 8105};

struct StrokeSources
{
    QHash<char32_t, int> counts;
    QHash<char32_t, RadicalPosition> radicals;
    QHash<QByteArray, char32_t> radicalIdeographs;
    QList<char32_t> commonList;
};

enum class CorrectionReason {
    // Both nearest in-order neighbours in the list have the same count.
    Neighbours,
    // The neighbours differ; the simplified radical's strokes plus the
    // residual strokes lie between them.
    Border,
    // Outside the list: Unihan counted the full form of a radical that
    // kRSUnicode names in its simplified form.
    SimplifiedRadical,
};

struct StrokeCorrection
{
    char32_t codePoint = 0;
    // Place in the 2013 list, 0 outside it.
    int place = 0;
    int unihanCount = 0;
    int count = 0;
    CorrectionReason reason = CorrectionReason::Neighbours;
    // What settled the count, in words, for the review file.
    QString detail;
};

// Every count that differs from Unihan's, in list order, then in code
// point order for characters outside the list. Throws RuntimeError when
// the list is not the one expected or a count cannot be settled.
QList<StrokeCorrection> strokeCorrections(const StrokeSources &sources);

// The review file: a header, then one line per correction.
QByteArray correctionsTable(const QList<StrokeCorrection> &corrections);
