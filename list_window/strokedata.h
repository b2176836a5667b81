// SPDX-License-Identifier: MIT
#pragma once

#include "cellstrokes.h"
#include "connection.h"
#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"

#include <QString>

#include <memory>

// Everything the list window counts and orders names by, read once at
// start: every count of the stroke database and the stroke sequences
// beside it.
class StrokeRules
{
public:
    // When every count is read: at once, or by readCounts(), so that a
    // window can be painted first.
    enum class Counts { ReadNow, ReadLater };

    // Opens the stroke database in APPLICATIONFOLDER, checked whole as the
    // main window checks it, and reads the sequences beside it. Throws
    // RuntimeError, worded for the user, when either is missing or damaged.
    // With Counts::ReadLater the database stays open for readCounts().
    explicit StrokeRules(const QString &applicationFolder, Counts counts = Counts::ReadNow);
    StrokeRules(const StrokeRules &) = delete;
    StrokeRules &operator=(const StrokeRules &) = delete;
    ~StrokeRules();

    // Reads every count, once, and closes the database. Throws
    // RuntimeError, worded for the user, when the rows cannot be read.
    void readCounts();
    bool hasCounts() const { return m_order != nullptr; }

    // Only once the counts are read.
    const CellStrokes &strokes() const { return *m_strokes; }
    const StrokeOrder &order() const { return *m_order; }

private:
    QString m_databasePath;
    std::unique_ptr<data::Connection> m_connection;
    StrokeTable m_counts;
    StrokeSequences m_sequences;
    std::unique_ptr<StrokeOrder> m_order;
    std::unique_ptr<CellStrokes> m_strokes;
};
