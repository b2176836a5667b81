// SPDX-License-Identifier: MIT
#include "connection.h"

#include "recordset.h"
#include "runtimeerror.h"
#include "strokedb.h"

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

QString tr(const char *text)
{
    return QCoreApplication::translate("Connection", text);
}

// A plain SQLite file starts with this header; an encrypted one with salt.
// The cipher rejects both the same way, but only the first calls for a
// different remedy than a wrong password or damage.
bool isUnencryptedDatabase(const QString &path)
{
    static const QByteArray plainHeader("SQLite format 3", sizeof("SQLite format 3"));
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(plainHeader.size()) == plainHeader;
}

} // namespace

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
        if (isUnencryptedDatabase(path))
            throw RuntimeError(tr("“%1”是没有加密的数据库，不是 Tarvelo 的笔画数据库。请重新安装 Tarvelo。")
                                       .arg(path));
        throw RuntimeError(tr("无法打开笔画数据库“%1”：密码不对，或者它不是笔画数据库，或者文件已损坏。"
                              "请重新安装 Tarvelo。")
                               .arg(path));
    case SQLITE_CORRUPT:
        throw RuntimeError(tr("笔画数据库“%1”已损坏。请重新安装 Tarvelo。").arg(path));
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        throw RuntimeError(tr("无法读取笔画数据库“%1”。请检查文件的访问权限。").arg(path));
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw RuntimeError(tr("笔画数据库“%1”正被其他程序占用，请稍后再试。").arg(path));
    default:
        throw RuntimeError(tr("无法打开笔画数据库“%1”：%2").arg(path, engine));
    }
}

void Connection::Open(const QString &connectionString, const QString &userId,
                      const QString &password, int options)
{
    Q_UNUSED(userId);
    Q_UNUSED(options);
    if (m_db)
        throw RuntimeError(tr("数据库连接已经打开。"));
    if (!connectionString.isEmpty())
        ConnectionString = connectionString;

    const QString provider = connectionStringValue(ConnectionString, u"Provider"_s);
    if (provider.compare(providerName, Qt::CaseInsensitive) != 0)
        throw RuntimeError(tr("不支持数据提供程序“%1”。").arg(provider));

    const QString path = connectionStringValue(ConnectionString, u"Data Source"_s);
    QString key = password;
    if (key.isEmpty())
        key = connectionStringValue(ConnectionString, u"jet oledb:database Password"_s);

    const QFileInfo file(path);
    if (path.isEmpty() || !file.exists())
        throw RuntimeError(tr("找不到笔画数据库“%1”。请重新安装 Tarvelo。").arg(path));
    if (!file.isFile())
        throw RuntimeError(tr("“%1”不是文件，无法作为笔画数据库打开。请重新安装 Tarvelo。").arg(path));
    if (file.size() == 0)
        throw RuntimeError(tr("笔画数据库“%1”是空文件。请重新安装 Tarvelo。").arg(path));
    if (!file.isReadable())
        throw RuntimeError(tr("无法读取笔画数据库“%1”。请检查文件的访问权限。").arg(path));

    // Read-only: SQLite then neither creates the file nor writes a journal.
    QUrl uri = QUrl::fromLocalFile(file.absoluteFilePath());
    uri.setQuery(u"mode=ro"_s);
    const QByteArray uriBytes = uri.toEncoded();
    int rc = sqlite3_open_v2(uriBytes.constData(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                             nullptr);
    throwIfEngineFailed(rc, path);

    sqlite3_busy_timeout(m_db, ConnectionTimeout * millisecondsPerSecond);

    const QByteArray keyBytes = key.toUtf8();
    rc = sqlite3_key(m_db, keyBytes.constData(), int(keyBytes.size()));
    throwIfEngineFailed(rc, path);
    const QByteArray kdf = "PRAGMA kdf_iter = " + QByteArray::number(StrokeDb::kdfIterations);
    rc = sqlite3_exec(m_db, kdf.constData(), nullptr, nullptr, nullptr);
    throwIfEngineFailed(rc, path);
    const QByteArray pageSize = "PRAGMA cipher_page_size = " + QByteArray::number(StrokeDb::pageSize);
    rc = sqlite3_exec(m_db, pageSize.constData(), nullptr, nullptr, nullptr);
    throwIfEngineFailed(rc, path);

    // The file is only ever read. In the normal locking mode every statement
    // takes and drops a shared lock and re-reads the file's change counter,
    // which costs more than the lookup itself (about 6 of 7 microseconds);
    // holding the shared lock for the connection's life keeps the page cache
    // valid without that check, and still lets other readers in.
    rc = sqlite3_exec(m_db, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr);
    throwIfEngineFailed(rc, path);

    // The key is only tried when the first page is read: do it now, so that
    // a wrong key or a foreign file is reported by Open.
    rc = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    throwIfEngineFailed(rc, path);
}

void Connection::Close()
{
    if (!m_db)
        throw RuntimeError(tr("数据库连接没有打开，不能关闭。"));
    releaseEngine();
}

void Connection::Execute(const QString &sql)
{
    if (!m_db)
        throw RuntimeError(tr("数据库连接没有打开。"));
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        throw RuntimeError(tr("笔画数据库不能执行“%1”：%2").arg(sql, lastEngineError()));
}

sqlite3_stmt *Connection::statement(const QString &sql)
{
    if (!m_db)
        throw RuntimeError(tr("数据库连接没有打开。"));
    auto cached = m_statements.constFind(sql);
    if (cached != m_statements.constEnd())
        return *cached;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *compiled = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &compiled, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(compiled);
        throw RuntimeError(tr("笔画数据库不能执行查询：%1").arg(lastEngineError()));
    }
    m_statements.insert(sql, compiled);
    return compiled;
}

} // namespace data
