// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QVariant;
struct sqlite3;
struct sqlite3_stmt;

// What reading and writing an SQLCipher file do alike, on the engine's own
// handles: the reader and the stroke database's generator must never
// disagree on how a file is enciphered or how a value is stored.
namespace data {

// How a file is enciphered. A setting of 0 keeps SQLCipher's default.
struct Cipher
{
    QString key;
    int kdfIterations = 0;
    int pageSize = 0;
};

// Sets DB up for a file enciphered as CIPHER says; done before the first
// page is read or written. Returns the engine's code of the first step
// that failed, or SQLITE_OK.
int setUpCipher(sqlite3 *db, const Cipher &cipher);

// Binds VALUE to the parameter at POSITION (from 1): null, a blob, a whole
// number, a real number or, for anything else, its text. Returns the
// engine's code.
int bindValue(sqlite3_stmt *statement, int position, const QVariant &value);

} // namespace data
