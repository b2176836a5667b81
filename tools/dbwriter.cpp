// SPDX-License-Identifier: MIT
#include "dbwriter.h"

#include "outputfiles.h"
#include "runtimeerror.h"
#include "sqlcipher.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryFile>

#include <cerrno>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

class Database
{
public:
    // NAME is the file the user asked for, in messages; VFS is SQLite's
    // name of the file system to use, or null for its default.
    Database(const QString &path, const QString &name, const char *vfs) : m_path(name)
    {
        const QByteArray file = path.toUtf8();
        if (sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfs)
            != SQLITE_OK) {
            // The destructor does not run for a constructor that throws.
            const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_close(m_db);
            throw RuntimeError(u"cannot create a database file beside %1: %2"_s.arg(name, reason));
        }
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    void key(const QString &password)
    {
        if (data::setUpCipher(m_db, {password, StrokeDb::kdfIterations, StrokeDb::pageSize}) != SQLITE_OK)
            fail(u"setting the cipher"_s);
    }

    // WHAT says in words what SQL does, for the message when it fails.
    void exec(const QString &sql, const QString &what)
    {
        if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(what);
    }

    sqlite3_stmt *prepare(const QString &sql, const QString &what)
    {
        sqlite3_stmt *statement = nullptr;
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
            fail(what);
        return statement;
    }

    [[noreturn]] void fail(const QString &what)
    {
        // SQLite's own words for it, "database or disk is full", hide
        // which of the two it is.
        if (sqlite3_errcode(m_db) == SQLITE_FULL)
            throw RuntimeError(writeFailure(m_path, ENOSPC));
        throw RuntimeError(u"writing %1 failed while %2: %3"_s.arg(m_path, what,
                                                                 QString::fromUtf8(sqlite3_errmsg(m_db))));
    }

private:
    QString m_path;
    sqlite3 *m_db = nullptr;
};

QString quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void insertAll(Database &db, const QString &sql, const QList<QVariantList> &rows, const QString &what)
{
    sqlite3_stmt *statement = db.prepare(sql, what);
    for (const QVariantList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (data::bindValue(statement, int(i + 1), row.at(i)) != SQLITE_OK)
                db.fail(u"passing a value"_s);
        }
        if (sqlite3_step(statement) != SQLITE_DONE) {
            sqlite3_finalize(statement);
            db.fail(what);
        }
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
}

// A key given twice would only show as SQLite's constraint message.
void checkUnique(const QStringList &keys, const QString &what)
{
    QSet<QString> seen;
    for (const QString &key : keys) {
        if (seen.contains(key))
            throw RuntimeError(u"“%1” appears twice in %2"_s.arg(key, what));
        seen.insert(key);
    }
}

void writeTables(const QString &path, const QString &name, const QList<StrokeRow> &rows,
                 const StrokeDbLayout &layout, const char *vfs = nullptr)
{
    Database db(path, name, vfs);
    if (!layout.password.isEmpty())
        db.key(layout.password);
    // The file is thrown away on any failure, so it needs no journal
    // file beside it, which a kill could leave behind.
    db.exec(u"PRAGMA journal_mode = MEMORY"_s, u"setting up the file"_s);
    db.exec(u"BEGIN"_s, u"starting to write"_s);
    const QString table = quoted(layout.table);
    const QString character = quoted(layout.characterColumn);
    const QString count = quoted(layout.countColumn);
    if (layout.uniqueCharacters) {
        db.exec(u"CREATE TABLE %1 (%2 TEXT NOT NULL PRIMARY KEY, %3 INTEGER NOT NULL) WITHOUT ROWID"_s.arg(
                        table, character, count),
                u"creating the stroke table"_s);
    } else {
        db.exec(u"CREATE TABLE %1 (%2 TEXT, %3)"_s.arg(table, character, count), u"creating the stroke table"_s);
        db.exec(u"CREATE INDEX %1 ON %2 (%3)"_s.arg(quoted(layout.table + u"_by_character"_s), table, character),
                u"indexing the stroke table"_s);
    }
    QList<QVariantList> values;
    values.reserve(rows.size());
    for (const StrokeRow &row : rows)
        values.append({row.character, row.count});
    insertAll(db, u"INSERT INTO %1 (%2, %3) VALUES (?, ?)"_s.arg(table, character, count), values,
              u"writing the stroke counts"_s);

    const QString common = quoted(StrokeDb::commonTable.toString());
    const QString commonCharacter = quoted(StrokeDb::commonCharacterColumn.toString());
    const QString place = quoted(StrokeDb::commonPlaceColumn.toString());
    db.exec(u"CREATE TABLE %1 (%2 TEXT NOT NULL PRIMARY KEY, %3 INTEGER NOT NULL) WITHOUT ROWID"_s.arg(
                    common, commonCharacter, place),
            u"creating the table of the common-characters list"_s);
    QList<QVariantList> listRows;
    for (qsizetype i = 0; i < layout.commonCharacters.size(); ++i)
        listRows.append({layout.commonCharacters.at(i), qlonglong(i + 1)});
    insertAll(db, u"INSERT INTO %1 (%2, %3) VALUES (?, ?)"_s.arg(common, commonCharacter, place), listRows,
              u"writing the common-characters list"_s);

    const QString meta = quoted(StrokeDb::metaTable.toString());
    const QString key = quoted(StrokeDb::metaKeyColumn.toString());
    const QString value = quoted(StrokeDb::metaValueColumn.toString());
    db.exec(u"CREATE TABLE %1 (%2 TEXT PRIMARY KEY, %3 TEXT)"_s.arg(meta, key, value),
            u"creating the provenance table"_s);
    insertAll(db, u"INSERT INTO %1 (%2, %3) VALUES (?, ?)"_s.arg(meta, key, value),
              {{QString(StrokeDb::metaSchemaVersion), QString::number(StrokeDb::schemaVersion)},
               {QString(StrokeDb::metaUnicodeVersion), layout.unicodeVersion},
               {QString(StrokeDb::metaSourceFile), layout.sourceFile},
               {QString(StrokeDb::metaCorrections), QString::number(layout.corrections)}},
              u"writing the provenance"_s);
    db.exec(u"COMMIT"_s, u"finishing the file"_s);
}

// SQLite follows the symbolic links in a database's name, which would
// turn /proc/self/fd/N into the name that the unnamed file does not have;
// this copy of the default file system takes the name as it is. Null
// when it cannot be set up.
const char *descriptorVfs()
{
    static sqlite3_vfs vfs = [] {
        sqlite3_vfs copy = *sqlite3_vfs_find(nullptr);
        copy.zName = "tarvelo-descriptor";
        copy.xFullPathname = [](sqlite3_vfs *, const char *name, int size, char *out) {
            sqlite3_snprintf(size, out, "%s", name);
            return SQLITE_OK;
        };
        return copy;
    }();
    static const bool registered = sqlite3_vfs_register(&vfs, 0) == SQLITE_OK;
    return registered ? vfs.zName : nullptr;
}

// Where the system has no name for FILE's descriptor, SQLite writes under
// a name no user's file has, and the result is copied into FILE.
void writeThroughScratch(QSaveFile &file, const QList<StrokeRow> &rows, const StrokeDbLayout &layout)
{
    const QFileInfo target(file.fileName());
    QTemporaryFile scratch(target.absoluteDir().filePath(target.fileName() + u".XXXXXX.tmp"_s));
    if (!scratch.open())
        throw RuntimeError(writeFailure(scratch.fileTemplate(), errno, scratch.errorString()));
    scratch.close();
    writeTables(scratch.fileName(), file.fileName(), rows, layout);

    if (!scratch.open())
        throw RuntimeError(u"cannot read back %1: %2"_s.arg(scratch.fileName(), scratch.errorString()));
    constexpr qint64 copyChunk = qint64(1) << 20;
    while (!scratch.atEnd()) {
        const QByteArray chunk = scratch.read(copyChunk);
        errno = 0;
        if (chunk.isEmpty() || file.write(chunk) != chunk.size())
            throw RuntimeError(writeFailure(file.fileName(), errno, file.errorString()));
    }
}

} // namespace

void writeStrokeDatabase(const QString &path, const QList<StrokeRow> &rows, const StrokeDbLayout &layout)
{
    OutputFiles files;
    writeStrokeDatabase(files.open(path), rows, layout);
    files.commit();
}

void writeStrokeDatabase(QSaveFile &file, const QList<StrokeRow> &rows, const StrokeDbLayout &layout)
{
    if (layout.uniqueCharacters) {
        QStringList characters;
        characters.reserve(rows.size());
        for (const StrokeRow &row : rows)
            characters.append(row.character);
        checkUnique(characters, u"the stroke counts"_s);
    }
    checkUnique(layout.commonCharacters, u"the common-characters list"_s);

    // SQLite opens a database by name, and FILE has none until it
    // replaces its target; Linux names every open file under
    // /proc/self/fd, where SQLite can open it again.
    const QString byDescriptor = u"/proc/self/fd/"_s + QString::number(file.handle());
    const char *vfs = descriptorVfs();
    if (vfs && QFileInfo(byDescriptor).isFile())
        writeTables(byDescriptor, file.fileName(), rows, layout, vfs);
    else
        writeThroughScratch(file, rows, layout);
}
