// SPDX-License-Identifier: MIT
#include "connection.h"

#include "recordset.h"
#include "dataerror.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QVarLengthArray>

#include <sqlite3.h>

#include <algorithm>
#include <exception>

using namespace Qt::StringLiterals;

namespace data {

namespace {

constexpr QLatin1StringView providerName{"SQLCipher"};
constexpr int millisecondsPerSecond = 1000;

constexpr char rowFunctionName[] = "tarvelo_each_row";
constexpr int typicalColumnCount = 4;
using RowValues = QVarLengthArray<Value, typicalColumnCount>;

// A plain SQLite file starts with this header; an encrypted one with salt.
// The cipher rejects both the same way, but only the first calls for a
// different remedy than a wrong password or damage.
bool isUnencryptedDatabase(const QString &path)
{
    static const QByteArray plainHeader("SQLite format 3", sizeof("SQLite format 3"));
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(plainHeader.size()) == plainHeader;
}

const char *kindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::UnsupportedProvider: return "unsupported provider";
    case ErrorKind::FileMissing: return "file not found";
    case ErrorKind::NotAFile: return "not a file";
    case ErrorKind::EmptyFile: return "empty file";
    case ErrorKind::Unreadable: return "file not readable";
    case ErrorKind::Unencrypted: return "database not encrypted";
    case ErrorKind::KeyOrFormat: return "wrong key or not a database";
    case ErrorKind::Corrupt: return "database damaged";
    case ErrorKind::Busy: return "database busy";
    case ErrorKind::AlreadyOpen: return "already open";
    case ErrorKind::NotOpen: return "not open";
    case ErrorKind::NoCurrentRow: return "no current row";
    case ErrorKind::NoSuchField: return "no such field";
    case ErrorKind::ReadOnly: return "read-only";
    case ErrorKind::ParameterCount: return "wrong number of parameters";
    case ErrorKind::BadParameter: return "parameter cannot be bound";
    case ErrorKind::StatementInUse: return "query already open";
    case ErrorKind::Engine: return "engine error";
    }
    return "error";
}

std::string whatText(ErrorKind kind, const QString &engineText)
{
    std::string text = kindName(kind);
    if (!engineText.isEmpty())
        text += ": " + engineText.toStdString();
    return text;
}

// A cipher setting of the connection string: 0 where it leaves it out.
int cipherSetting(const QString &connectionString, const char *key)
{
    const QString value = connectionStringValue(connectionString, QLatin1StringView(key));
    if (value.isEmpty())
        return 0;
    bool whole = false;
    const int number = value.toInt(&whole);
    if (!whole || number <= 0)
        throw Error(ErrorKind::BadParameter, QLatin1StringView(key));
    return number;
}

// Fills INTO in place: a table's walk does this for every value it reads.
Q_ALWAYS_INLINE void read(sqlite3_value *value, Value *into)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        into->type = Value::Integer;
        into->integer = sqlite3_value_int64(value);
        break;
    case SQLITE_FLOAT:
        into->type = Value::Real;
        into->real = sqlite3_value_double(value);
        break;
    case SQLITE_TEXT: {
        into->type = Value::Text;
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
        into->bytes = QByteArrayView(text, sqlite3_value_bytes(value));
        break;
    }
    case SQLITE_BLOB: {
        into->type = Value::Blob;
        const auto *blob = static_cast<const char *>(sqlite3_value_blob(value));
        into->bytes = QByteArrayView(blob, sqlite3_value_bytes(value));
        break;
    }
    default:
        into->type = Value::Null;
        break;
    }
}

// The state of one walk through a table, for the aggregate that sees its
// rows. What the row function throws must not unwind through the engine:
// it is kept, the query stopped, and thrown again once the engine is out.
struct TableWalk
{
    const RowFunction *row = nullptr;
    RowValues values;
    std::exception_ptr failure;
};

void tableWalkStep(sqlite3_context *context, int count, sqlite3_value **values)
{
    auto *walk = static_cast<TableWalk *>(sqlite3_user_data(context));
    try {
        if (walk->values.size() != count)
            walk->values.resize(count);
        Value *row = walk->values.data();
        for (int i = 0; i < count; ++i)
            read(values[i], &row[i]);
        (*walk->row)(std::span<const Value>(row, size_t(count)));
    } catch (...) {
        walk->failure = std::current_exception();
        sqlite3_result_error(context, "row function failed", -1);
    }
}

void tableWalkFinal(sqlite3_context *context)
{
    sqlite3_result_null(context);
}

} // namespace

// The connection is used from one thread only, where the engine's value
// functions are safe also on a column's value.
Value columnValue(sqlite3_stmt *statement, int column)
{
    Value value;
    read(sqlite3_column_value(statement, column), &value);
    return value;
}

Error::Error(ErrorKind kind, const QString &engineText)
    : std::runtime_error(whatText(kind, engineText))
    , m_kind(kind)
    , m_engineText(engineText)
{
}

QString connectionStringValue(const QString &connectionString, const QString &key)
{
    qsizetype pos = 0;
    const qsizetype length = connectionString.size();
    while (pos < length) {
        const qsizetype equals = connectionString.indexOf(u'=', pos);
        if (equals < 0)
            break;
        const QString name = connectionString.mid(pos, equals - pos).trimmed();
        QString value;
        pos = equals + 1;
        while (pos < length && connectionString.at(pos).isSpace())
            ++pos;
        if (pos < length && connectionString.at(pos) == u'"') {
            ++pos;
            while (pos < length) {
                if (connectionString.at(pos) == u'"') {
                    if (pos + 1 < length && connectionString.at(pos + 1) == u'"') {
                        value += u'"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                value += connectionString.at(pos++);
            }
            const qsizetype semicolon = connectionString.indexOf(u';', pos);
            pos = semicolon < 0 ? length : semicolon + 1;
        } else {
            const qsizetype semicolon = connectionString.indexOf(u';', pos);
            const qsizetype end = semicolon < 0 ? length : semicolon;
            value = connectionString.mid(pos, end - pos).trimmed();
            pos = end + 1;
        }
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QString quotedConnectionValue(const QString &value)
{
    if (!value.contains(u';') && !value.contains(u'"') && value.trimmed() == value)
        return value;
    QString quoted = value;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

Connection::~Connection()
{
    releaseEngine();
}

void Connection::releaseEngine()
{
    for (Recordset *recordset : std::as_const(m_openRecordsets))
        recordset->detach();
    m_openRecordsets.clear();
    for (sqlite3_stmt *statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    m_statements.clear();
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

QString Connection::lastEngineError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
}

void Connection::throwIfEngineFailed(int rc, const QString &path)
{
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    const QString engine = lastEngineError();
    releaseEngine();
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
        throw Error(isUnencryptedDatabase(path) ? ErrorKind::Unencrypted : ErrorKind::KeyOrFormat, engine);
    case SQLITE_CORRUPT:
        throw Error(ErrorKind::Corrupt, engine);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        throw Error(ErrorKind::Unreadable, engine);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw Error(ErrorKind::Busy, engine);
    default:
        throw Error(ErrorKind::Engine, engine);
    }
}

void Connection::Open(const QString &connectionString, const QString &password)
{
    if (m_db)
        throw Error(ErrorKind::AlreadyOpen);
    if (!connectionString.isEmpty())
        ConnectionString = connectionString;

    const QString provider = connectionStringValue(ConnectionString, u"Provider"_s);
    if (provider.compare(providerName, Qt::CaseInsensitive) != 0)
        throw Error(ErrorKind::UnsupportedProvider, provider);

    Cipher cipher;
    cipher.key = password;
    if (cipher.key.isEmpty())
        cipher.key = connectionStringValue(ConnectionString, u"jet oledb:database Password"_s);
    // The cipher's settings are the file's, as its connection string names
    // them; SQLCipher's defaults stand for any it leaves out.
    cipher.kdfIterations = cipherSetting(ConnectionString, cipherKdfIterationsKey);
    cipher.pageSize = cipherSetting(ConnectionString, cipherPageSizeKey);
    openFile(connectionStringValue(ConnectionString, u"Data Source"_s), cipher);
}

void Connection::openFile(const QString &path, const Cipher &cipher)
{
    if (m_db)
        throw Error(ErrorKind::AlreadyOpen);
    m_filePath = path;
    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        throw Error(ErrorKind::FileMissing);
    if (!file.isFile())
        throw Error(ErrorKind::NotAFile);
    if (file.size() == 0)
        throw Error(ErrorKind::EmptyFile);
    if (!file.isReadable())
        throw Error(ErrorKind::Unreadable);

    // Read-only and immutable: SQLite then neither creates the file nor
    // writes, takes no locks and never looks for a journal or WAL file. The
    // file is one that nothing should write, so another program's lock must
    // not stall the opening, nor a stray journal beside it stop it; a file
    // changed underneath still fails the cipher's check of every page read.
    // Without locks nor the change counter to re-read before each
    // statement, the page cache also stays valid between lookups.
    QUrl uri = QUrl::fromLocalFile(file.absoluteFilePath());
    uri.setQuery(u"mode=ro&immutable=1"_s);
    const QByteArray uriBytes = uri.toEncoded();
    int rc = sqlite3_open_v2(uriBytes.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                             nullptr);
    throwIfEngineFailed(rc, path);

    sqlite3_busy_timeout(m_db, ConnectionTimeout * millisecondsPerSecond);
    throwIfEngineFailed(setUpCipher(m_db, cipher), path);

    // The key is only tried when the first page is read: do it now, so that
    // a wrong key or a foreign file is reported by the opening.
    rc = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    throwIfEngineFailed(rc, path);
}

void Connection::Close()
{
    if (!m_db)
        throw Error(ErrorKind::NotOpen);
    releaseEngine();
}

void Connection::Execute(const QString &sql)
{
    if (!m_db)
        throw Error(ErrorKind::NotOpen);
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw Error(ErrorKind::Engine, lastEngineError());
}

sqlite3_stmt *Connection::statement(const QString &sql)
{
    if (!m_db)
        throw Error(ErrorKind::NotOpen);
    auto cached = m_statements.constFind(sql);
    if (cached != m_statements.constEnd())
        return *cached;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *compiled = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &compiled, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(compiled);
        throw Error(ErrorKind::Engine, lastEngineError());
    }
    m_statements.insert(sql, compiled);
    return compiled;
}

void Connection::bindFree(sqlite3_stmt *statement, const QVariantList &parameters)
{
    if (sqlite3_bind_parameter_count(statement) != parameters.size())
        throw Error(ErrorKind::ParameterCount);
    // A recordset at its end leaves the statement idle but still owns it.
    const bool inUse = std::any_of(m_openRecordsets.cbegin(), m_openRecordsets.cend(),
                                   [statement](const Recordset *other) { return other->m_statement == statement; });
    if (inUse || sqlite3_stmt_busy(statement))
        throw Error(ErrorKind::StatementInUse);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    for (qsizetype i = 0; i < parameters.size(); ++i) {
        const int position = int(i + 1);
        if (bindValue(statement, position, parameters.at(i)) != SQLITE_OK)
            throw Error(ErrorKind::BadParameter, QString::number(position));
    }
}

void Connection::throwStepFailed(int rc) const
{
    const QString engine = lastEngineError();
    if ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
        throw Error(ErrorKind::Corrupt, engine);
    throw Error(ErrorKind::Engine, engine);
}

// Handing each row back through sqlite3_step costs more than all the rest
// of reading a table put together; an aggregate of our own sees the rows
// inside the one step.
void Connection::forEachTableRow(const QString &table, const QStringList &columns, const RowFunction &row)
{
    if (!m_db)
        throw Error(ErrorKind::NotOpen);
    const QString sql = u"select %1(%2) from %3"_s.arg(QLatin1StringView(rowFunctionName), columns.join(u", "_s),
                                                       table);
    TableWalk walk;
    walk.row = &row;
    constexpr int anyArgumentCount = -1;
    sqlite3_create_function(m_db, rowFunctionName, anyArgumentCount, SQLITE_UTF8, &walk, nullptr, tableWalkStep,
                            tableWalkFinal);
    QString failure;
    try {
        sqlite3_stmt *compiled = statement(sql);
        bindFree(compiled, {});
        if (sqlite3_step(compiled) != SQLITE_ROW)
            failure = lastEngineError();
        sqlite3_reset(compiled);
    } catch (const Error &error) {
        failure = error.engineText().isEmpty() ? QString::fromLocal8Bit(error.what()) : error.engineText();
    }
    // Keeps the connection as it was for everything else that uses it.
    sqlite3_create_function(m_db, rowFunctionName, anyArgumentCount, SQLITE_UTF8, nullptr, nullptr, nullptr,
                            nullptr);
    if (walk.failure)
        std::rethrow_exception(walk.failure);
    if (!failure.isEmpty())
        throw Error(ErrorKind::Engine, failure);
}

void Connection::forEachQueryRow(const QString &sql, const QVariantList &parameters, const RowFunction &row)
{
    if (!m_db)
        throw Error(ErrorKind::NotOpen);
    sqlite3_stmt *compiled = statement(sql);
    bindFree(compiled, parameters);
    const int columns = sqlite3_column_count(compiled);
    RowValues values(columns);
    int rc = SQLITE_ROW;
    try {
        while ((rc = sqlite3_step(compiled)) == SQLITE_ROW) {
            for (int column = 0; column < columns; ++column)
                values[column] = columnValue(compiled, column);
            row(std::span<const Value>(values.constData(), size_t(columns)));
        }
        if (rc != SQLITE_DONE)
            throwStepFailed(rc);
    } catch (...) {
        sqlite3_reset(compiled);
        sqlite3_clear_bindings(compiled);
        throw;
    }
    sqlite3_reset(compiled);
    sqlite3_clear_bindings(compiled);
}

} // namespace data
