// SPDX-License-Identifier: MIT
#include "dbwriter.h"

#include "runtimeerror.h"

#include <QFile>

#include <sqlite3.h>

namespace {

class Database
{
public:
    explicit Database(const QString &path)
    {
        const QByteArray name = path.toUtf8();
        if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            != SQLITE_OK) {
            // The destructor does not run for a constructor that throws.
            const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_close(m_db);
            throw RuntimeError(QStringLiteral("open %1: %2").arg(path, reason));
        }
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    void key(const QString &password)
    {
        const QByteArray bytes = password.toUtf8();
        if (sqlite3_key(m_db, bytes.constData(), int(bytes.size())) != SQLITE_OK)
            fail("key");
        exec("PRAGMA kdf_iter = " + QString::number(StrokeDb::kdfIterations));
        exec("PRAGMA cipher_page_size = " + QString::number(StrokeDb::pageSize));
    }

    void exec(const QString &sql)
    {
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(sql);
    }

    sqlite3_stmt *prepare(const QString &sql)
    {
        sqlite3_stmt *statement = nullptr;
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
            fail(sql);
        return statement;
    }

    [[noreturn]] void fail(const QString &what)
    {
        throw RuntimeError(QStringLiteral("%1: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
    }

    sqlite3 *handle() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

QString quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void bindValue(Database &db, sqlite3_stmt *statement, int position, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(statement, position);
    } else if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong) {
        rc = sqlite3_bind_int64(statement, position, value.toLongLong());
    } else if (value.typeId() == QMetaType::Double) {
        rc = sqlite3_bind_double(statement, position, value.toDouble());
    } else {
        const QByteArray text = value.toString().toUtf8();
        rc = sqlite3_bind_text(statement, position, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        db.fail(QStringLiteral("bind"));
}

void insertAll(Database &db, const QString &sql, const QList<QVariantList> &rows)
{
    sqlite3_stmt *statement = db.prepare(sql);
    for (const QVariantList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i)
            bindValue(db, statement, int(i + 1), row.at(i));
        if (sqlite3_step(statement) != SQLITE_DONE) {
            sqlite3_finalize(statement);
            db.fail(sql);
        }
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
}

} // namespace

void writeStrokeDatabase(const QString &path, const QList<StrokeRow> &rows, const StrokeDbLayout &layout)
{
    const QString partial = path + QStringLiteral(".partial");
    QFile::remove(partial);
    try {
        Database db(partial);
        if (!layout.password.isEmpty())
            db.key(layout.password);
        db.exec(QStringLiteral("BEGIN"));
        const QString table = quoted(layout.table);
        const QString character = quoted(layout.characterColumn);
        const QString count = quoted(layout.countColumn);
        if (layout.uniqueCharacters) {
            db.exec(QStringLiteral("CREATE TABLE %1 (%2 TEXT NOT NULL PRIMARY KEY, %3 INTEGER NOT NULL)"
                                   " WITHOUT ROWID")
                            .arg(table, character, count));
        } else {
            db.exec(QStringLiteral("CREATE TABLE %1 (%2 TEXT, %3)").arg(table, character, count));
            db.exec(QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                            .arg(quoted(layout.table + QStringLiteral("_by_character")), table, character));
        }
        QList<QVariantList> values;
        values.reserve(rows.size());
        for (const StrokeRow &row : rows)
            values.append({row.character, row.count});
        insertAll(db, QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)").arg(table, character, count),
                  values);

        db.exec(QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)"));
        insertAll(db, QStringLiteral("INSERT INTO meta (key, value) VALUES (?, ?)"),
                  {{QStringLiteral("schema_version"), QString::number(StrokeDb::schemaVersion)},
                   {QStringLiteral("unicode_version"), layout.unicodeVersion},
                   {QStringLiteral("source_file"), layout.sourceFile}});
        db.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        // The database above is closed by now, so its file can go.
        QFile::remove(partial);
        throw;
    }
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        QFile::remove(partial);
        throw RuntimeError(QStringLiteral("cannot move %1 to %2").arg(partial, path));
    }
}
