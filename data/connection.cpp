// SPDX-License-Identifier: MIT
#include "connection.h"

#include "recordset.h"
#include "dataerror.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {

namespace {

constexpr QLatin1StringView providerName{"SQLCipher"};
constexpr int millisecondsPerSecond = 1000;

struct CipherSetting
{
    QLatin1StringView key;
    const char *pragma;
};
constexpr CipherSetting cipherSettings[] = {
    {QLatin1StringView(cipherKdfIterationsKey), "PRAGMA kdf_iter = "},
    {QLatin1StringView(cipherPageSizeKey), "PRAGMA cipher_page_size = "},
};

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

} // namespace

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

void Connection::Open(const QString &connectionString, const QString &userId,
                      const QString &password, int options)
{
    Q_UNUSED(userId);
    Q_UNUSED(options);
    if (m_db)
        throw Error(ErrorKind::AlreadyOpen);
    if (!connectionString.isEmpty())
        ConnectionString = connectionString;

    const QString provider = connectionStringValue(ConnectionString, u"Provider"_s);
    if (provider.compare(providerName, Qt::CaseInsensitive) != 0)
        throw Error(ErrorKind::UnsupportedProvider, provider);

    const QString path = connectionStringValue(ConnectionString, u"Data Source"_s);
    QString key = password;
    if (key.isEmpty())
        key = connectionStringValue(ConnectionString, u"jet oledb:database Password"_s);

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

    const QByteArray keyBytes = key.toUtf8();
    rc = sqlite3_key(m_db, keyBytes.constData(), int(keyBytes.size()));
    throwIfEngineFailed(rc, path);
    // The cipher's settings are the file's, as its connection string names
    // them; SQLCipher's defaults stand for any it leaves out.
    for (const auto &[key, pragma] : cipherSettings) {
        const QString value = connectionStringValue(ConnectionString, key);
        if (value.isEmpty())
            continue;
        bool whole = false;
        const int number = value.toInt(&whole);
        if (!whole || number <= 0)
            throw Error(ErrorKind::BadParameter, key);
        const QByteArray statement = pragma + QByteArray::number(number);
        rc = sqlite3_exec(m_db, statement.constData(), nullptr, nullptr, nullptr);
        throwIfEngineFailed(rc, path);
    }

    // The key is only tried when the first page is read: do it now, so that
    // a wrong key or a foreign file is reported by Open.
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

} // namespace data
