// SPDX-License-Identifier: MIT
#include "strokelookup.h"

#include "character.h"
#include "dataerror.h"
#include "runtimeerror.h"
#include "strokedb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace StrokeLookup {

namespace {

constexpr int connectionTimeoutSeconds = 10;
constexpr int checkCachePages = 8;
// SQLite's own default: room for the pages that lookups keep coming back to.
constexpr int lookupCacheKiB = 2000;

struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(StrokeLookup)
};

// A character the user typed, set apart so that a direction mark or
// override inside it cannot turn the sentence around it.
QString isolated(const QString &character)
{
    constexpr QChar firstStrongIsolate(0x2068);
    constexpr QChar popDirectionalIsolate(0x2069);
    return firstStrongIsolate + character + popDirectionalIsolate;
}

// Every page's HMAC is checked when the page is read. Reading them all once
// at the start (about 2.5 ms) turns damage anywhere in the file into one
// clear failure before the window shows, instead of lookups failing one by
// one later.
bool isIntact(data::Connection &conn, const QString &path, AfterCheck next)
{
    try {
        // For lookups, a small cache for the walk through every page keeps
        // the whole file from being held in memory afterwards. A negative
        // size is in KiB.
        constexpr qint64 bytesPerKiB = 1024;
        const qint64 wholeFileKiB = QFileInfo(path).size() / bytesPerKiB + 1;
        conn.Execute(next == AfterCheck::ReadingEveryRow ? u"PRAGMA cache_size = -%1"_s.arg(wholeFileKiB)
                                                         : u"PRAGMA cache_size = %1"_s.arg(checkCachePages));
        data::Recordset check;
        check.Open(u"PRAGMA quick_check"_s, conn, data::adLockReadOnly);
        const bool intact = !check.atEnd() && check.Fields(0).Value.toString() == u"ok"_s;
        check.Close();
        if (next == AfterCheck::Lookups)
            conn.Execute(u"PRAGMA cache_size = -%1"_s.arg(lookupCacheKiB));
        return intact;
    } catch (const data::Error &) {
        return false;
    }
}

// What keeps the file from being the stroke database: the stroke table
// missing or not a table of its own (a view, a virtual table), or anything
// beyond the database's tables and their indexes. A view under a table's
// name could run any query, also one that never ends.
struct SchemaFault
{
    bool noStrokeTable = true;
    QString stray;
};
SchemaFault schemaFault(data::Connection &conn)
{
    const QStringList tables{StrokeDb::strokeTable, StrokeDb::commonTable, StrokeDb::metaTable};
    SchemaFault fault;
    data::Recordset rs;
    rs.Open(u"select type, name, tbl_name, sql from sqlite_master"_s, conn, data::adLockReadOnly);
    for (; !rs.atEnd(); rs.MoveNext()) {
        const QString type = rs.Fields(0).Value.toString();
        const QString name = rs.Fields(1).Value.toString();
        const bool plainTable = rs.Fields(3).Value.toString().startsWith(u"CREATE TABLE"_s, Qt::CaseInsensitive);
        const bool known = type == u"table"_s ? tables.contains(name) && plainTable
                                              : type == u"index"_s && tables.contains(rs.Fields(2).Value.toString());
        if (known && name == StrokeDb::strokeTable)
            fault.noStrokeTable = false;
        else if (!known && fault.stray.isEmpty())
            fault.stray = name;
    }
    rs.Close();
    return fault;
}

// What to do about a database that cannot be found at PATH.
QString pathRemedy(const QString &path)
{
    return isInstalledDatabase(path) ? Messages::tr("请重新安装 Tarvelo。")
                                     : Messages::tr("请检查 --database 给的路径。");
}

// What to do about a database at PATH whose content is unusable.
QString contentRemedy(const QString &path)
{
    return isInstalledDatabase(path) ? Messages::tr("请重新安装 Tarvelo。")
                                     : Messages::tr("请用 --database 换一个笔画数据库，或者不给 --database，"
                                                    "用随 Tarvelo 安装的那个。");
}

} // namespace

const QString queryText = u"select %1 from %2 where %3 = ?"_s.arg(StrokeDb::strokeCountColumn, StrokeDb::strokeTable,
                                                                  StrokeDb::characterColumn);

bool isInstalledDatabase(const QString &path)
{
    const QString installed = databasePath(QCoreApplication::applicationDirPath());
    return QFileInfo(path) == QFileInfo(installed) || QDir::cleanPath(path) == QDir::cleanPath(installed);
}

QString databasePath(const QString &applicationFolder)
{
    return QDir::toNativeSeparators(QDir(applicationFolder).filePath(StrokeDb::fileName));
}

QString connectionStringForFile(const QString &path)
{
    return u"Provider=SQLCipher;"_s
            + u"jet oledb:database Password="_s + StrokeDb::password + u';'
            + u"Data Source="_s + data::quotedConnectionValue(path)
            + u";Persist Security Info=True;"_s
            + QLatin1StringView(data::cipherKdfIterationsKey) + u'=' + QString::number(StrokeDb::kdfIterations) + u';'
            + QLatin1StringView(data::cipherPageSizeKey) + u'=' + QString::number(StrokeDb::pageSize);
}

QString connectionString(const QString &applicationFolder)
{
    return connectionStringForFile(databasePath(applicationFolder));
}

namespace {

// Checks the database just opened over CONN from PATH as CHECK says, and
// closes it when it fails.
void checkOpened(data::Connection &conn, const QString &path, AfterCheck next, Check check)
{
    // Worded only on failure: the remedy looks at the file system.
    const auto damaged = [&path] { return Messages::tr("笔画数据库“%1”已损坏。").arg(path) + contentRemedy(path); };
    SchemaFault fault;
    try {
        fault = schemaFault(conn);
    } catch (const data::Error &) {
        conn.Close();
        throw RuntimeError(damaged());
    }
    try {
        if (fault.noStrokeTable)
            throw data::Error(data::ErrorKind::Engine);
        conn.statement(queryText);
    } catch (const data::Error &) {
        conn.Close();
        throw RuntimeError(Messages::tr("“%1”里没有笔画表（表 a，列 汉字 和 笔画数），不是 Tarvelo 的笔画数据库。")
                                   .arg(path)
                           + contentRemedy(path));
    }
    if (!fault.stray.isEmpty()) {
        conn.Close();
        throw RuntimeError(Messages::tr("“%1”里有不属于笔画数据库的“%2”，不是 Tarvelo 的笔画数据库。")
                                   .arg(path, fault.stray)
                           + contentRemedy(path));
    }
    if (check == Check::WholeFile && !isIntact(conn, path, next)) {
        conn.Close();
        throw RuntimeError(damaged());
    }
}

} // namespace

data::Cipher cipher()
{
    return {StrokeDb::password, StrokeDb::kdfIterations, StrokeDb::pageSize};
}

void openDatabaseFile(data::Connection &conn, const QString &path, AfterCheck next, Check check)
{
    conn.ConnectionTimeout = connectionTimeoutSeconds;
    try {
        conn.openFile(path, cipher());
    } catch (const data::Error &error) {
        throw RuntimeError(describe(error, path));
    }
    checkOpened(conn, path, next, check);
}

QString describe(const data::Error &error, const QString &path)
{
    using data::ErrorKind;
    switch (error.kind()) {
    case ErrorKind::FileMissing:
        return Messages::tr("找不到笔画数据库“%1”。").arg(path) + pathRemedy(path);
    case ErrorKind::NotAFile:
        return Messages::tr("“%1”不是文件，无法作为笔画数据库打开。").arg(path) + pathRemedy(path);
    case ErrorKind::EmptyFile:
        return Messages::tr("笔画数据库“%1”是空文件。").arg(path) + contentRemedy(path);
    case ErrorKind::Unreadable:
        return Messages::tr("无法读取笔画数据库“%1”。请检查文件的访问权限。").arg(path);
    case ErrorKind::Unencrypted:
        return Messages::tr("“%1”是没有加密的数据库，不是 Tarvelo 的笔画数据库。").arg(path) + contentRemedy(path);
    case ErrorKind::KeyOrFormat:
        return Messages::tr("无法打开笔画数据库“%1”：密码不对，或者它不是笔画数据库，或者文件已损坏。").arg(path)
                + contentRemedy(path);
    case ErrorKind::Corrupt:
        return Messages::tr("笔画数据库“%1”已损坏。").arg(path) + contentRemedy(path);
    case ErrorKind::Busy:
        return Messages::tr("笔画数据库“%1”正被其他程序占用，请稍后再试。").arg(path);
    case ErrorKind::UnsupportedProvider:
        return Messages::tr("不支持数据提供程序“%1”。").arg(error.engineText());
    case ErrorKind::AlreadyOpen:
    case ErrorKind::StatementInUse:
        return Messages::tr("笔画数据库的查询已经打开，不能再打开一次。");
    case ErrorKind::NotOpen:
        return Messages::tr("笔画数据库没有打开。");
    case ErrorKind::NoCurrentRow:
    case ErrorKind::NoSuchField:
        return Messages::tr("笔画数据库的查询结果中没有要读的值。");
    case ErrorKind::ReadOnly:
        return Messages::tr("笔画数据库只能读取，不能修改。");
    case ErrorKind::ParameterCount:
    case ErrorKind::BadParameter:
        return Messages::tr("查询的参数无法传给笔画数据库。");
    case ErrorKind::Engine:
        break;
    }
    return Messages::tr("读取笔画数据库“%1”时出错：%2").arg(path, error.engineText());
}

void openDatabase(data::Connection &conn, const QString &applicationFolder)
{
    const QString path = databasePath(applicationFolder);
    conn.ConnectionString = connectionStringForFile(path);
    conn.ConnectionTimeout = connectionTimeoutSeconds;
    try {
        conn.Open();
    } catch (const data::Error &error) {
        throw RuntimeError(describe(error, path));
    }
    checkOpened(conn, path, AfterCheck::Lookups, Check::WholeFile);
}

qint16 toStrokeCount(const QVariant &value, const QString &character)
{
    if (value.isNull())
        throw RuntimeError(Messages::tr("笔画数据库中“%1”的笔画数是空的。").arg(isolated(character)));
    double number = 0;
    bool ok = false;
    switch (value.typeId()) {
    case QMetaType::LongLong: {
        const qint64 whole = value.toLongLong();
        ok = true;
        number = whole < std::numeric_limits<qint16>::min() || whole > std::numeric_limits<qint16>::max()
                ? std::numeric_limits<double>::infinity()
                : double(whole);
        break;
    }
    case QMetaType::Double:
        number = value.toDouble();
        ok = !std::isnan(number);
        break;
    case QMetaType::QString:
        number = value.toString().trimmed().toDouble(&ok);
        break;
    default:
        break;
    }
    if (!ok)
        throw RuntimeError(Messages::tr("笔画数据库中“%1”的笔画数“%2”不是数字。")
                                   .arg(isolated(character), value.toString()));
    // Rounds half to even, as the conversion to a whole count always has.
    const double rounded = std::nearbyint(number);
    if (!(rounded >= std::numeric_limits<qint16>::min() && rounded <= std::numeric_limits<qint16>::max()))
        throw RuntimeError(Messages::tr("笔画数据库中“%1”的笔画数“%2”超出了范围。")
                                   .arg(isolated(character), value.toString()));
    return qint16(rounded);
}

qint16 GetNumber(data::Connection &conn, data::Recordset &rs, QString temStr,
                 const std::function<void(const QString &)> &report)
{
    qint16 result = 0;
    try {
        rs.Open(queryText, conn, data::adLockReadOnly, {Character::lookupKey(temStr)});
        if (rs.atEnd())
            throw RuntimeError(Messages::tr("笔画数据库中没有“%1”这个字，查不到它的笔画数。").arg(isolated(temStr)));
        result = toStrokeCount(rs.Fields(0).Value, temStr);
        rs.Close();
        return result;
    } catch (const RuntimeError &error) {
        report(error.description());
    } catch (const data::Error &error) {
        report(describe(error, conn.filePath()));
    } catch (const std::exception &error) {
        report(QString::fromLocal8Bit(error.what()));
    }
    try {
        if (rs.State() == data::adStateOpen)
            rs.Close();
    } catch (const data::Error &error) {
        throw RuntimeError(describe(error, conn.filePath()));
    }
    return result;
}

void closeDatabase(data::Connection &conn, data::Recordset &rs)
{
    try {
        if (conn.State() == data::adStateOpen)
            conn.Close();
        if (rs.State() == data::adStateOpen)
            rs.Close();
    } catch (const data::Error &error) {
        throw RuntimeError(describe(error, conn.filePath()));
    }
}

} // namespace StrokeLookup
