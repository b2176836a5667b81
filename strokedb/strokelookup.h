// SPDX-License-Identifier: MIT
#pragma once

#include "connection.h"
#include "dataerror.h"
#include "recordset.h"

#include <QString>
#include <functional>

// Opening and checking the stroke database, for every program that reads
// it, and the window's lookup over it: opened once, one query per
// character, closed when the window closes.
namespace StrokeLookup {

// The connection string for the database file at PATH, or for the one in
// APPLICATIONFOLDER.
QString connectionStringForFile(const QString &path);
QString connectionString(const QString &applicationFolder);

// How the stroke database file is enciphered.
data::Cipher cipher();

// Where the stroke database of a program in APPLICATIONFOLDER lies.
QString databasePath(const QString &applicationFolder);

// What the pages read by the check of the whole file are kept for.
enum class AfterCheck {
    // A few lookups: only the pages they come back to stay in memory.
    Lookups,
    // Reading every row next: the pages stay, so none is decrypted twice.
    ReadingEveryRow,
};

// How much of the file is checked before it is used.
enum class Check {
    // Every page, so that damage anywhere fails the opening.
    WholeFile,
    // Only the pages that are read, each by its own HMAC as it is read: for
    // a few lookups, which then never come from a damaged page, though
    // damage in a page they do not need goes unnoticed.
    PagesRead,
};

// Opens the stroke database file at PATH read-only over CONN and checks it
// as CHECK says. Throws RuntimeError, worded for the user,
// when the file is missing, unreadable, locked with another password,
// damaged, lacks the stroke table or holds anything else than the stroke
// database's tables.
void openDatabaseFile(data::Connection &conn, const QString &path, AfterCheck next = AfterCheck::Lookups,
                      Check check = Check::WholeFile);

// Configures CONN by the connection string of the database in
// APPLICATIONFOLDER, opens it and checks the whole file.
// Throws RuntimeError when the file is missing, unreadable, locked with
// another password, damaged, or lacks the stroke table.
void openDatabase(data::Connection &conn, const QString &applicationFolder);

// Whether PATH is the database installed with the programs rather than a
// file the user named: only the installed one is mended by reinstalling.
bool isInstalledDatabase(const QString &path);

// What the user reads when the stroke database at PATH fails with ERROR.
QString describe(const data::Error &error, const QString &path);

// The window's query for one character, which is bound to '?'.
extern const QString queryText;

// The value of a stroke field as a 16-bit count. Throws RuntimeError for a
// null, non-numeric or out-of-range value.
qint16 toStrokeCount(const QVariant &value, const QString &character);

// The stroke count of TEMSTR, or 0 after REPORT has been given the
// description of whatever went wrong. Leaves RS closed either way.
qint16 GetNumber(data::Connection &conn, data::Recordset &rs, QString temStr,
                 const std::function<void(const QString &)> &report);

// Closes the connection, then the recordset, each only when it is open.
void closeDatabase(data::Connection &conn, data::Recordset &rs);

} // namespace StrokeLookup
