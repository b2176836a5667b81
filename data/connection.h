// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QString>

#include <QSet>

struct sqlite3;
struct sqlite3_stmt;

namespace data {

class Recordset;

enum ObjectState { adStateClosed = 0, adStateOpen = 1 };
enum CursorLocation { adUseServer = 2, adUseClient = 3 };
enum CursorType { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockType { adLockReadOnly = 1 };
inline constexpr int adOptionUnspecified = -1;

// The connection string's names for the cipher's settings, where a file
// departs from SQLCipher's defaults.
inline constexpr char cipherKdfIterationsKey[] = "Cipher KDF Iterations";
inline constexpr char cipherPageSizeKey[] = "Cipher Page Size";

// One read-only connection to an SQLCipher database file, configured by an
// OLE DB style connection string:
//   Provider=SQLCipher;jet oledb:database Password=...;Data Source=PATH;
//   Cipher KDF Iterations=N;Cipher Page Size=N;...
// The file is never created or written: a missing file is an error.
class Connection
{
public:
    Connection() = default;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    ~Connection();

    QString ConnectionString;
    int ConnectionTimeout = 15;
    int CursorLocation = adUseServer;

    void Open(const QString &connectionString = {}, const QString &userId = {},
              const QString &password = {}, int options = adOptionUnspecified);
    void Close();
    int State() const { return m_db ? adStateOpen : adStateClosed; }
    // Runs SQL that returns no rows, such as a setting, without keeping it.
    void Execute(const QString &sql);

    // The compiled form of an SQL text, kept for the connection's life so
    // that repeating a query costs no parsing.
    sqlite3_stmt *statement(const QString &sql);

    // The engine's words for its last error, for messages.
    QString lastEngineError() const;

    // The engine's own handle, for work the query objects cannot express;
    // null while the connection is closed.
    sqlite3 *engine() const { return m_db; }

private:
    friend class Recordset;
    void throwIfEngineFailed(int rc, const QString &path);
    void releaseEngine();

    sqlite3 *m_db = nullptr;
    QHash<QString, sqlite3_stmt *> m_statements;
    // Closing the connection closes what is still open over it.
    QSet<Recordset *> m_openRecordsets;
};

// The value of KEY in an OLE DB style connection string (keys compare
// without regard to case; a value may be double-quoted to hold ';').
QString connectionStringValue(const QString &connectionString, const QString &key);
// VALUE as it must be written in a connection string.
QString quotedConnectionValue(const QString &value);

} // namespace data
