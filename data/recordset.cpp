// SPDX-License-Identifier: MIT
#include "recordset.h"

#include "dataerror.h"

#include <algorithm>

#include <sqlite3.h>

namespace data {

namespace {

QVariant columnValue(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant::fromValue<qint64>(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_TEXT: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
    }
    case SQLITE_BLOB: {
        const auto *blob = static_cast<const char *>(sqlite3_column_blob(statement, column));
        return QByteArray(blob, sqlite3_column_bytes(statement, column));
    }
    default:
        return {};
    }
}

void bind(sqlite3_stmt *statement, int position, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(statement, position);
    } else if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        rc = sqlite3_bind_blob(statement, position, bytes.constData(), int(bytes.size()),
                               SQLITE_TRANSIENT);
    } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong
               || value.typeId() == QMetaType::Short) {
        rc = sqlite3_bind_int64(statement, position, value.toLongLong());
    } else {
        const QByteArray text = value.toString().toUtf8();
        rc = sqlite3_bind_text(statement, position, text.constData(), int(text.size()),
                               SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        throw Error(ErrorKind::BadParameter, QString::number(position));
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

void Recordset::Open(const QString &source, Connection &activeConnection, int cursorType,
                     int lockType, int options, const QVariantList &parameters)
{
    Q_UNUSED(cursorType);
    Q_UNUSED(options);
    if (m_statement)
        throw Error(ErrorKind::AlreadyOpen);
    if (lockType != adLockReadOnly)
        throw Error(ErrorKind::ReadOnly);

    sqlite3_stmt *statement = activeConnection.statement(source);
    if (sqlite3_bind_parameter_count(statement) != parameters.size())
        throw Error(ErrorKind::ParameterCount);
    // A recordset at its end leaves the statement idle but still owns it.
    const bool inUse = std::any_of(activeConnection.m_openRecordsets.cbegin(),
                                   activeConnection.m_openRecordsets.cend(),
                                   [statement](const Recordset *other) { return other->m_statement == statement; });
    if (inUse || sqlite3_stmt_busy(statement))
        throw Error(ErrorKind::StatementInUse);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    for (qsizetype i = 0; i < parameters.size(); ++i)
        bind(statement, int(i + 1), parameters.at(i));

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
            m_fields.append(Field{columnValue(m_statement, column)});
    } else if (rc == SQLITE_DONE) {
        m_eof = true;
    } else {
        const QString engine = m_connection->lastEngineError();
        if ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
            throw Error(ErrorKind::Corrupt, engine);
        throw Error(ErrorKind::Engine, engine);
    }
}

void Recordset::MoveNext()
{
    if (!m_statement || m_eof)
        throw Error(ErrorKind::NoCurrentRow);
    fetch();
}

int Recordset::FieldCount() const
{
    return int(m_fields.size());
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
