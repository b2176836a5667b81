// SPDX-License-Identifier: MIT
#include "strokedata.h"

#include "connection.h"
#include "dataerror.h"
#include "runtimeerror.h"
#include "strokelookup.h"

namespace {

StrokeTable loadCounts(const QString &path)
{
    StrokeTable counts;
    try {
        data::Connection conn;
        // The check leaves the file's pages in memory for the reading of
        // every row that follows.
        StrokeLookup::openDatabaseFile(conn, path, StrokeLookup::AfterCheck::ReadingEveryRow);
        counts.load(conn);
    } catch (const data::Error &error) {
        throw RuntimeError(StrokeLookup::describe(error, path));
    }
    return counts;
}

StrokeSequences loadSequences(const QString &databasePath)
{
    StrokeSequences sequences;
    sequences.load(StrokeSequences::pathBeside(databasePath));
    return sequences;
}

} // namespace

StrokeRules::StrokeRules(const QString &applicationFolder)
    : m_counts(loadCounts(StrokeLookup::databasePath(applicationFolder)))
    , m_sequences(loadSequences(StrokeLookup::databasePath(applicationFolder)))
    , m_order(m_counts, m_sequences)
    , m_strokes(m_counts, m_sequences)
{
}
