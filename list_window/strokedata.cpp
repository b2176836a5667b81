// SPDX-License-Identifier: MIT
#include "strokedata.h"

#include "dataerror.h"
#include "runtimeerror.h"
#include "strokelookup.h"

StrokeRules::StrokeRules(const QString &applicationFolder, Counts counts)
    : m_databasePath(StrokeLookup::databasePath(applicationFolder))
    , m_connection(std::make_unique<data::Connection>())
{
    // The check leaves the file's pages in memory for the reading of every
    // row that follows.
    StrokeLookup::openDatabaseFile(*m_connection, m_databasePath, StrokeLookup::AfterCheck::ReadingEveryRow);
    m_sequences.load(StrokeSequences::pathBeside(m_databasePath));
    if (counts == Counts::ReadNow)
        readCounts();
}

StrokeRules::~StrokeRules() = default;

void StrokeRules::readCounts()
{
    if (hasCounts())
        return;
    try {
        m_counts.load(*m_connection);
    } catch (const data::Error &error) {
        throw RuntimeError(StrokeLookup::describe(error, m_databasePath));
    }
    m_connection.reset();
    m_order = std::make_unique<StrokeOrder>(m_counts, m_sequences);
    m_strokes = std::make_unique<CellStrokes>(m_counts, m_sequences);
}
