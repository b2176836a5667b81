// SPDX-License-Identifier: MIT
#pragma once

#include "cellstrokes.h"
#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"

#include <QString>

// Everything the list window counts and orders names by, read once at
// start: every count of the stroke database and the stroke sequences
// beside it.
class StrokeRules
{
public:
    // Reads the stroke database in APPLICATIONFOLDER, checked whole as the
    // main window checks it, and the sequences beside it. Throws
    // RuntimeError, worded for the user, when either is missing or damaged.
    explicit StrokeRules(const QString &applicationFolder);
    StrokeRules(const StrokeRules &) = delete;
    StrokeRules &operator=(const StrokeRules &) = delete;

    const CellStrokes &strokes() const { return m_strokes; }
    const StrokeOrder &order() const { return m_order; }

private:
    StrokeTable m_counts;
    StrokeSequences m_sequences;
    StrokeOrder m_order;
    CellStrokes m_strokes;
};
