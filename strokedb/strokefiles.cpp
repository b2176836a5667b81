// SPDX-License-Identifier: MIT
#include "strokefiles.h"

#include "dataerror.h"
#include "runtimeerror.h"
#include "strokedb.h"
#include "strokelookup.h"
#include "strokesequences.h"
#include "stroketable.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <openssl/crypto.h>

namespace StrokeFiles {

namespace {

// The cipher's library starts on first use with what a long-running program
// may want: the system's configuration, its error texts, and a clean-up at
// exit. A count of a short text takes only milliseconds, and these were
// about a seventh of its work; the cipher is fixed, and failures are worded
// here.
void startCryptography()
{
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_NO_ATEXIT,
                        nullptr);
}

void loadRows(data::Connection &conn, const QString &path, StrokeTable *table, bool commonOnly,
              const QList<char32_t> *only)
{
    if (only) {
        table->loadCharacters(conn, *only);
    } else {
        table->load(conn);
        // A table without a single count would make every character
        // unknown, and an order of code points pass for stroke order.
        if (table->size() == 0)
            throw data::Error(data::ErrorKind::Corrupt);
    }
    if (commonOnly) {
        table->loadCommon(conn, path);
        table->keepOnlyCommon();
    }
}

QString databasePathOf(const QString &named)
{
    return named.isEmpty() ? StrokeLookup::databasePath(QCoreApplication::applicationDirPath()) : named;
}

} // namespace

void loadTable(const QString &path, StrokeTable *table, bool commonOnly, const QList<char32_t> *only)
{
    startCryptography();
    try {
        // The cipher writes whole pages: a file cut inside its last page,
        // which the reading may never reach, is left to the check.
        if (QFileInfo(path).size() % StrokeDb::pageSize != 0)
            throw data::Error(data::ErrorKind::Corrupt);
        data::Connection conn;
        StrokeLookup::openDatabaseFile(conn, path,
                                       only ? StrokeLookup::AfterCheck::Lookups
                                            : StrokeLookup::AfterCheck::ReadingEveryRow,
                                       StrokeLookup::Check::PagesRead);
        loadRows(conn, path, table, commonOnly, only);
        return;
    } catch (const std::runtime_error &) {
        // A page that fails its check, or any other failure: the way with
        // the check of the whole file words it as it always has.
    }
    try {
        data::Connection conn;
        // The check of the whole file leaves its pages in memory for the
        // reading of every row that follows.
        StrokeLookup::openDatabaseFile(conn, path, StrokeLookup::AfterCheck::ReadingEveryRow);
        loadRows(conn, path, table, commonOnly, nullptr);
    } catch (const data::Error &error) {
        throw RuntimeError(StrokeLookup::describe(error, path));
    }
}

void load(const QString &named, StrokeTable *table, StrokeSequences *sequences, bool commonOnly,
          const QList<char32_t> *only)
{
    const QString path = databasePathOf(named);
    loadTable(path, table, commonOnly, only);
    if (sequences)
        sequences->load(StrokeSequences::pathBeside(path), table);
}

void loadForOrder(const QString &named, StrokeTable *table, StrokeSequences *sequences)
{
    load(named, table, sequences);
    if (table->implausibleRows() > 0)
        throw RuntimeError(StrokeLookup::describe(data::Error(data::ErrorKind::Corrupt), databasePathOf(named)));
}

} // namespace StrokeFiles
