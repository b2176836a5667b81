// SPDX-License-Identifier: MIT
#include "recordset.h"

#include "dataerror.h"

#include <sqlite3.h>

namespace data {

namespace {

QVariant variantOf(const Value &value)
{
    switch (value.type) {
    case Value::Integer:
        return QVariant::fromValue<qint64>(value.integer);
    case Value::Real:
        return value.real;
    case Value::Text:
        return QString::fromUtf8(value.bytes);
    case Value::Blob:
        return value.bytes.toByteArray();
    case Value::Null:
        break;
    }
    return {};
}

} // namespace

Recordset::~Recordset()
{
    if (m_statement) {
        sqlite3_reset(m_statement);
        m_connection->m_openRecordsets.remove(this);
    }
}

void Recordset::detach()
{
    m_statement = nullptr;
    m_connection = nullptr;
    m_fields.clear();
    m_eof = true;
}

void Recordset::Open(const QString &source, Connection &activeConnection, int lockType,
                     const QVariantList &parameters)
{
    if (m_statement)
        throw Error(ErrorKind::AlreadyOpen);
    if (lockType != adLockReadOnly)
        throw Error(ErrorKind::ReadOnly);

    sqlite3_stmt *statement = activeConnection.statement(source);
    activeConnection.bindFree(statement, parameters);

    m_statement = statement;
    m_connection = &activeConnection;
    try {
        fetch();
    } catch (...) {
        sqlite3_reset(m_statement);
        detach();
        throw;
    }
    activeConnection.m_openRecordsets.insert(this);
}

void Recordset::fetch()
{
    const int rc = sqlite3_step(m_statement);
    m_fields.clear();
    if (rc == SQLITE_ROW) {
        m_eof = false;
        const int columns = sqlite3_column_count(m_statement);
        m_fields.reserve(columns);
        for (int column = 0; column < columns; ++column)
            m_fields.append(Field{variantOf(columnValue(m_statement, column))});
    } else if (rc == SQLITE_DONE) {
        m_eof = true;
    } else {
        m_connection->throwStepFailed(rc);
    }
}

void Recordset::MoveNext()
{
    if (!m_statement || m_eof)
        throw Error(ErrorKind::NoCurrentRow);
    fetch();
}

const Field &Recordset::Fields(int index) const
{
    if (!m_statement)
        throw Error(ErrorKind::NotOpen);
    if (m_eof)
        throw Error(ErrorKind::NoCurrentRow);
    if (index < 0 || index >= m_fields.size())
        throw Error(ErrorKind::NoSuchField, QString::number(index));
    return m_fields.at(index);
}

void Recordset::Close()
{
    if (!m_statement)
        throw Error(ErrorKind::NotOpen);
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_connection->m_openRecordsets.remove(this);
    detach();
}

} // namespace data
