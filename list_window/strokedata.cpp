// SPDX-License-Identifier: MIT
#include "strokedata.h"

#include "connection.h"
#include "dataerror.h"
#include "runtimeerror.h"
#include "strokelookup.h"

void loadStrokeData(const QString &applicationFolder, StrokeData *data)
{
    const QString path = StrokeLookup::databasePath(applicationFolder);
    try {
        data::Connection conn;
        // The check leaves the file's pages in memory for the reading of
        // every row that follows.
        StrokeLookup::openDatabaseFile(conn, path, StrokeLookup::AfterCheck::ReadingEveryRow);
        data->counts.load(conn);
    } catch (const data::Error &error) {
        throw RuntimeError(StrokeLookup::describe(error, path));
    }
    data->sequences.load(StrokeSequences::pathBeside(path));
}
