// SPDX-License-Identifier: MIT
#pragma once

#include "connection.h"

#include <QList>
#include <QVariant>

namespace data {

struct Field
{
    QVariant Value;
};

// The rows of one query over a Connection, read forward. Only the current
// row is held; reading a field when there is no current row is an error.
class Recordset
{
public:
    Recordset() = default;
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;
    ~Recordset();

    // Values in PARAMETERS are bound to the source's '?' placeholders in
    // order; they never become part of the SQL text.
    void Open(const QString &source, Connection &activeConnection, int lockType,
              const QVariantList &parameters = {});
    void Close();
    int State() const { return m_statement ? adStateOpen : adStateClosed; }

    bool atEnd() const { return m_eof; }
    const Field &Fields(int index) const;
    void MoveNext();

private:
    friend class Connection;
    void fetch();
    void detach();

    sqlite3_stmt *m_statement = nullptr;
    Connection *m_connection = nullptr;
    QList<Field> m_fields;
    bool m_eof = true;
};

} // namespace data
