// SPDX-License-Identifier: MIT
#pragma once

#include "sqlcipher.h"

#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <span>
#include <type_traits>

struct sqlite3;
struct sqlite3_stmt;

namespace data {

class Recordset;

enum ObjectState { adStateClosed = 0, adStateOpen = 1 };
enum LockType { adLockReadOnly = 1 };

// The connection string's names for the cipher's settings, where a file
// departs from SQLCipher's defaults.
inline constexpr char cipherKdfIterationsKey[] = "Cipher KDF Iterations";
inline constexpr char cipherPageSizeKey[] = "Cipher Page Size";

// One value of a row as the engine holds it. The bytes of a text (UTF-8,
// unchecked) or a blob last only as long as the call they are handed to.
struct Value
{
    enum Type { Null, Integer, Real, Text, Blob };
    Type type = Null;
    qint64 integer = 0;
    double real = 0;
    QByteArrayView bytes;
};

// What a walk hands each row's values to: a reference to the caller's
// function, which outlives the walk, called without the cost of copying
// or wrapping it.
class RowFunction
{
public:
    template<typename F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, RowFunction>
                 && std::is_invocable_v<F &, std::span<const Value>>)
    RowFunction(F &&function)
        : m_function(const_cast<void *>(static_cast<const void *>(std::addressof(function))))
        , m_call([](void *f, std::span<const Value> values) {
            (*static_cast<std::remove_reference_t<F> *>(f))(values);
        })
    {
    }

    void operator()(std::span<const Value> values) const { m_call(m_function, values); }

private:
    void *m_function;
    void (*m_call)(void *, std::span<const Value>);
};

// The value in COLUMN of STATEMENT's current row.
Value columnValue(sqlite3_stmt *statement, int column);

// One read-only connection to an SQLCipher database file, opened by its
// path or configured by an OLE DB style connection string:
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

    void Open(const QString &connectionString = {}, const QString &password = {});
    // Opens the file at PATH, enciphered as CIPHER says.
    void openFile(const QString &path, const Cipher &cipher);
    void Close();
    // The file last opened or tried, for messages; kept after closing.
    const QString &filePath() const { return m_filePath; }
    int State() const { return m_db ? adStateOpen : adStateClosed; }
    // Runs SQL that returns no rows, such as a setting, without keeping it.
    void Execute(const QString &sql);

    // Calls ROW with the values of COLUMNS of every row of TABLE, in the
    // table's order; the names are written into the query as they are.
    // The rows are seen inside one step of the engine, for a fraction of
    // what handing each back as a Recordset does costs.
    void forEachTableRow(const QString &table, const QStringList &columns, const RowFunction &row);
    // Runs SQL with PARAMETERS bound to its '?' placeholders and calls ROW
    // with the values of each row it returns.
    void forEachQueryRow(const QString &sql, const QVariantList &parameters, const RowFunction &row);

    // The compiled form of an SQL text, kept for the connection's life so
    // that repeating a query costs no parsing.
    sqlite3_stmt *statement(const QString &sql);

    // The engine's words for its last error, for messages.
    QString lastEngineError() const;

private:
    friend class Recordset;
    void throwIfEngineFailed(int rc, const QString &path);
    void releaseEngine();
    // STATEMENT with PARAMETERS bound, checked to be free for another use.
    void bindFree(sqlite3_stmt *statement, const QVariantList &parameters);
    [[noreturn]] void throwStepFailed(int rc) const;

    sqlite3 *m_db = nullptr;
    QString m_filePath;
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
