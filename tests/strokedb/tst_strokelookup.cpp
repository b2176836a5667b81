// SPDX-License-Identifier: MIT
#include "dataerror.h"
#include "strokedbfixtures.h"
#include "runtimeerror.h"
#include "strokelookup.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <new>
#include <optional>
#include <span>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 realRowCount = 98060;
constexpr int manyRowCount = 3000;

// The outcome of one GetNumber call and what it told the user.
struct Lookup
{
    qint16 count = 0;
    QStringList reports;
};

Lookup lookUp(data::Connection &conn, data::Recordset &rs, const QString &character)
{
    Lookup result;
    result.count = StrokeLookup::GetNumber(conn, rs, character, [&](const QString &description) {
        result.reports.append(description);
    });
    return result;
}

// The description of the error that opening FOLDER raises, if any.
std::optional<QString> openError(data::Connection &conn, const QString &folder)
{
    try {
        StrokeLookup::openDatabase(conn, folder);
    } catch (const RuntimeError &error) {
        return error.description();
    }
    return std::nullopt;
}

bool hasHanCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.script() == QChar::Script_Han)
            return true;
    }
    return false;
}

enum class Damage {
    Missing,
    Empty,
    Truncated,
    FlippedFirstPage,
    FlippedDataPage,
    WrongPassword,
    Unencrypted,
    Directory,
    NoStrokeTable,
    RenamedColumn,
};

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestStrokeLookup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void lookup_data();
    void lookup();
    void failedLookupLeavesNextOneWorking();
    void closeRightAfterOpening();
    void closeWithRecordsetOpen();
    void lookupAfterClosing();

    void twoRecordsetsOnOneQuery();
    void failedRowFunctionLeavesConnectionWorking();
    void otherReadersWhileOpen();

    void openFailure_data();
    void openFailure();

    void realDatabase_data();
    void realDatabase();
    void realDatabaseRowCount();

    void injection_data();
    void injection();

    void connectionStringPieces();
    void awkwardFolder_data();
    void awkwardFolder();

private:
    QTemporaryDir m_dir;
    QString m_fixtureFolder;
    data::Connection m_conn;
    data::Recordset m_rs;
};

void TestStrokeLookup::initTestCase()
{
    QVERIFY(m_dir.isValid());
    StrokeDbLayout layout;
    // Repeats and values of any type, as a store not written by us might hold.
    layout.uniqueCharacters = false;
    const QList<StrokeRow> rows = {
        {u"汉"_s, 5},
        {u"重"_s, 9},
        {u"重"_s, 2},
        {u"空"_s, QVariant()},
        {u"文"_s, u"abc"_s},
        {u"大"_s, 40000},
        {u"小"_s, -40000},
        {u"上"_s, 32767},
        {u"下"_s, -32768},
        {u"负"_s, -3},
        {u"数"_s, u"12"_s},
        {u"白"_s, u" 14 "_s},
        {u"实"_s, 7.0},
        {u"半"_s, 7.5},
        {u"全"_s, 8.5},
        {u"溢"_s, 32767.5},
        {u"非"_s, u"inf"_s},
        {u"𠮷"_s, 6},
    };
    m_fixtureFolder = Fixture::writeDatabase(m_dir.filePath(u"fixture"_s), rows, layout);
    StrokeLookup::openDatabase(m_conn, m_fixtureFolder);
    QCOMPARE(m_conn.State(), int(data::adStateOpen));
    QCOMPARE(m_conn.ConnectionTimeout, 10);
}

void TestStrokeLookup::cleanupTestCase()
{
    StrokeLookup::closeDatabase(m_conn, m_rs);
}

void TestStrokeLookup::lookup_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("count");
    // Empty when the lookup must succeed without a word to the user.
    QTest::addColumn<QString>("reportHolds");

    QTest::newRow("one row") << u"汉"_s << 5 << QString();
    QTest::newRow("several rows: the first") << u"重"_s << 9 << QString();
    QTest::newRow("no row") << u"无"_s << 0 << u"没有“\u2068无\u2069”"_s;
    QTest::newRow("digit without a row") << u"1"_s << 0 << u"没有“\u20681\u2069”"_s;
    QTest::newRow("null") << u"空"_s << 0 << u"“\u2068空\u2069”的笔画数是空的"_s;
    QTest::newRow("text not a number") << u"文"_s << 0 << u"不是数字"_s;
    QTest::newRow("40000") << u"大"_s << 0 << u"超出了范围"_s;
    QTest::newRow("-40000") << u"小"_s << 0 << u"超出了范围"_s;
    QTest::newRow("32767") << u"上"_s << 32767 << QString();
    QTest::newRow("-32768") << u"下"_s << -32768 << QString();
    QTest::newRow("negative") << u"负"_s << -3 << QString();
    // A count stored as numeric text or as a whole real converts, as the
    // conversion to a 16-bit integer of any numeric value does.
    QTest::newRow("numeric text") << u"数"_s << 12 << QString();
    QTest::newRow("numeric text with blanks") << u"白"_s << 14 << QString();
    QTest::newRow("real 7.0") << u"实"_s << 7 << QString();
    QTest::newRow("real 7.5 rounds to even") << u"半"_s << 8 << QString();
    QTest::newRow("real 8.5 rounds to even") << u"全"_s << 8 << QString();
    QTest::newRow("real rounding out of range") << u"溢"_s << 0 << u"超出了范围"_s;
    QTest::newRow("text inf") << u"非"_s << 0 << u"“\u2068非\u2069”"_s;
    QTest::newRow("surrogate pair") << u"𠮷"_s << 6 << QString();
    QTest::newRow("variation selector: base") << u"汉\uFE00"_s << 5 << QString();
    QTest::newRow("supplementary selector: base") << u"𠮷\U000E0100"_s << 6 << QString();
    QTest::newRow("lone selector") << u"\uFE00"_s << 0 << u"没有"_s;
    // A direction override the user typed stays inside its isolate and
    // cannot turn the sentence around.
    QTest::newRow("right-to-left override")
            << u"\u202E"_s << 0 << u"没有“\u2068\u202E\u2069”这个字"_s;
}

void TestStrokeLookup::lookup()
{
    QFETCH(QString, character);
    QFETCH(int, count);
    QFETCH(QString, reportHolds);

    const Lookup result = lookUp(m_conn, m_rs, character);
    QCOMPARE(result.count, count);
    if (reportHolds.isEmpty()) {
        QVERIFY2(result.reports.isEmpty(), qPrintable(result.reports.join(u'\n')));
    } else {
        QCOMPARE(result.reports.size(), 1);
        const QString &report = result.reports.first();
        QVERIFY2(report.contains(reportHolds), qPrintable(report));
        QVERIFY2(hasHanCharacter(report), qPrintable(report));
        QVERIFY2(report.contains(character), qPrintable(report));
    }
    QCOMPARE(m_rs.State(), int(data::adStateClosed));
    QCOMPARE(m_conn.State(), int(data::adStateOpen));
}

void TestStrokeLookup::failedLookupLeavesNextOneWorking()
{
    const QStringList sequence = {u"无"_s, u"汉"_s, u"空"_s, u"汉"_s, u"大"_s, u"重"_s};
    const QList<int> counts = {0, 5, 0, 5, 0, 9};
    for (qsizetype i = 0; i < sequence.size(); ++i) {
        const Lookup result = lookUp(m_conn, m_rs, sequence.at(i));
        QCOMPARE(result.count, counts.at(i));
        QCOMPARE(result.reports.size(), counts.at(i) == 0 ? 1 : 0);
        QCOMPARE(m_rs.State(), int(data::adStateClosed));
    }
}

void TestStrokeLookup::closeRightAfterOpening()
{
    data::Connection conn;
    CreatedOnFirstUse<data::Recordset> rs;
    StrokeLookup::openDatabase(conn, m_fixtureFolder);
    QVERIFY(!rs.exists());
    // A recordset that was never opened is found closed and left alone:
    // closing it would throw.
    StrokeLookup::closeDatabase(conn, *rs);
    QVERIFY(rs.exists());
    QCOMPARE(conn.State(), int(data::adStateClosed));
    QCOMPARE(rs->State(), int(data::adStateClosed));
}

void TestStrokeLookup::closeWithRecordsetOpen()
{
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, m_fixtureFolder);
    rs.Open(StrokeLookup::queryText, conn, data::adLockReadOnly, {u"汉"_s});
    QCOMPARE(rs.State(), int(data::adStateOpen));
    StrokeLookup::closeDatabase(conn, rs);
    QCOMPARE(conn.State(), int(data::adStateClosed));
    QCOMPARE(rs.State(), int(data::adStateClosed));
}

void TestStrokeLookup::lookupAfterClosing()
{
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, m_fixtureFolder);
    StrokeLookup::closeDatabase(conn, rs);
    const Lookup result = lookUp(conn, rs, u"汉"_s);
    QCOMPARE(result.count, 0);
    QCOMPARE(result.reports.size(), 1);
    QVERIFY(hasHanCharacter(result.reports.first()));
    QCOMPARE(rs.State(), int(data::adStateClosed));
}

void TestStrokeLookup::twoRecordsetsOnOneQuery()
{
    data::Recordset first;
    data::Recordset second;
    const auto open = [&](data::Recordset &rs, const QString &character) {
        rs.Open(StrokeLookup::queryText, m_conn, data::adLockReadOnly, {character});
    };
    // The first is at its end, so the engine no longer counts it as running.
    open(first, u"无"_s);
    QVERIFY(first.atEnd());
    QVERIFY_THROWS_EXCEPTION(data::Error, open(second, u"重"_s));
    QCOMPARE(second.State(), int(data::adStateClosed));
    first.Close();

    open(second, u"重"_s);
    QCOMPARE(second.Fields(0).Value.toInt(), 9);
    second.MoveNext();
    QCOMPARE(second.Fields(0).Value.toInt(), 2);
    second.Close();
}

// What the function handed every row throws comes back out of the walk,
// not through the engine, which stays usable.
void TestStrokeLookup::failedRowFunctionLeavesConnectionWorking()
{
    const QStringList columns{u"汉字"_s};
    int rows = 0;
    const auto failOnSecond = [&rows](std::span<const data::Value>) {
        if (++rows == 2)
            throw std::bad_alloc();
    };
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc, m_conn.forEachTableRow(u"a"_s, columns, failOnSecond));
    QCOMPARE(rows, 2);
    rows = 0;
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc, m_conn.forEachQueryRow(u"select 汉字 from a"_s, {}, failOnSecond));
    QCOMPARE(rows, 2);
    QCOMPARE(lookUp(m_conn, m_rs, u"汉"_s).count, 5);
    rows = 0;
    m_conn.forEachTableRow(u"a"_s, columns, [&rows](std::span<const data::Value>) { ++rows; });
    QVERIFY(rows > 2);
}

// The connection keeps its shared lock while open; readers elsewhere, in
// this process or another, must still get in.
void TestStrokeLookup::otherReadersWhileOpen()
{
    QCOMPARE(lookUp(m_conn, m_rs, u"汉"_s).count, 5);

    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, m_fixtureFolder);
    QCOMPARE(lookUp(conn, rs, u"汉"_s).count, 5);

    QProcess dump;
    dump.start(QCoreApplication::applicationDirPath() + u"/tarvelo-strokedb"_s,
               {u"dump"_s, Fixture::databasePath(m_fixtureFolder)});
    QVERIFY(dump.waitForFinished());
    QCOMPARE(dump.exitCode(), 0);
    QVERIFY(dump.readAllStandardOutput().startsWith("汉\t5\n"));

    StrokeLookup::closeDatabase(conn, rs);
    QCOMPARE(lookUp(m_conn, m_rs, u"汉"_s).count, 5);
}

void TestStrokeLookup::openFailure_data()
{
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("descriptionHolds");

    const QList<std::tuple<const char *, Damage, QString>> cases = {
        {"missing file", Damage::Missing, u"找不到笔画数据库"_s},
        {"zero-length file", Damage::Empty, u"是空文件"_s},
        {"first half only", Damage::Truncated, u"已损坏"_s},
        {"byte flipped in page 1", Damage::FlippedFirstPage, u"密码不对"_s},
        {"byte flipped in a data page", Damage::FlippedDataPage, u"已损坏"_s},
        {"wrong password", Damage::WrongPassword, u"密码不对"_s},
        {"unencrypted SQLite", Damage::Unencrypted, u"没有加密"_s},
        {"directory", Damage::Directory, u"不是文件"_s},
        {"no table a", Damage::NoStrokeTable, u"没有笔画表"_s},
        {"renamed column", Damage::RenamedColumn, u"没有笔画表"_s},
    };
    for (const auto &[name, damage, holds] : cases)
        QTest::newRow(name) << damage << holds;
}

void TestStrokeLookup::openFailure()
{
    QFETCH(Damage, damage);
    QFETCH(QString, descriptionHolds);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path();
    const QString path = Fixture::databasePath(folder);
    StrokeDbLayout layout;
    switch (damage) {
    case Damage::Missing:
        break;
    case Damage::Empty:
        QVERIFY(Fixture::writeAll(path, {}));
        break;
    case Damage::Truncated: {
        Fixture::writeDatabase(folder, Fixture::manyRows(manyRowCount));
        const QByteArray bytes = Fixture::readAll(path);
        QVERIFY(Fixture::writeAll(path, bytes.left(bytes.size() / 2)));
        break;
    }
    case Damage::FlippedFirstPage: {
        // Past the salt at the start of the file, inside the first page.
        constexpr qsizetype offsetInFirstPage = 200;
        Fixture::writeDatabase(folder, Fixture::manyRows(manyRowCount));
        QVERIFY(Fixture::writeAll(path, Fixture::withByteFlipped(Fixture::readAll(path), offsetInFirstPage)));
        break;
    }
    case Damage::FlippedDataPage: {
        Fixture::writeDatabase(folder, Fixture::manyRows(manyRowCount));
        const QByteArray bytes = Fixture::readAll(path);
        QVERIFY(Fixture::writeAll(path, Fixture::withByteFlipped(bytes, bytes.size() / 2)));
        break;
    }
    case Damage::WrongPassword:
        layout.password = u"quonvartelq"_s;
        Fixture::writeDatabase(folder, Fixture::manyRows(1), layout);
        break;
    case Damage::Unencrypted:
        layout.password.clear();
        Fixture::writeDatabase(folder, Fixture::manyRows(1), layout);
        break;
    case Damage::Directory:
        QVERIFY(QDir().mkpath(path));
        break;
    case Damage::NoStrokeTable:
        layout.table = u"b"_s;
        Fixture::writeDatabase(folder, Fixture::manyRows(1), layout);
        break;
    case Damage::RenamedColumn:
        layout.countColumn = u"笔画"_s;
        Fixture::writeDatabase(folder, Fixture::manyRows(1), layout);
        break;
    }
    const QByteArray before = Fixture::fileHash(path);

    data::Connection conn;
    const std::optional<QString> description = openError(conn, folder);
    QVERIFY2(description, "opening succeeded");
    QVERIFY2(description->contains(descriptionHolds), qPrintable(*description));
    QVERIFY2(description->contains(QDir::toNativeSeparators(path)), qPrintable(*description));
    QCOMPARE(conn.State(), int(data::adStateClosed));

    QCOMPARE(Fixture::fileHash(path), before);
    if (damage == Damage::Missing)
        QVERIFY(!QFileInfo::exists(path));
    // Opening leaves nothing behind beside the file (no journal, no WAL).
    const QStringList expected = damage == Damage::Missing ? QStringList() : QStringList{StrokeDb::fileName};
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), expected);
}

void TestStrokeLookup::realDatabase_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("count");

    QTest::newRow("汉") << u"汉"_s << 5;
    QTest::newRow("字") << u"字"_s << 6;
    QTest::newRow("U+20BB7") << u"\U00020BB7"_s << 6;
    QTest::newRow("U+2A6A5") << u"\U0002A6A5"_s << 64;
    QTest::newRow("范: first of two counts") << u"范"_s << 8;
    QTest::newRow("骨: first of two counts") << u"骨"_s << 9;
    QTest::newRow("龘") << u"龘"_s << 48;
}

void TestStrokeLookup::realDatabase()
{
    QFETCH(QString, character);
    QFETCH(int, count);

    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, Fixture::realDatabaseFolder());
    const Lookup result = lookUp(conn, rs, character);
    QVERIFY2(result.reports.isEmpty(), qPrintable(result.reports.join(u'\n')));
    QCOMPARE(result.count, count);
    StrokeLookup::closeDatabase(conn, rs);
}

void TestStrokeLookup::realDatabaseRowCount()
{
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, Fixture::realDatabaseFolder());
    rs.Open(u"select count(*) from a"_s, conn, data::adLockReadOnly);
    QCOMPARE(rs.Fields(0).Value.toLongLong(), realRowCount);
    StrokeLookup::closeDatabase(conn, rs);
}

void TestStrokeLookup::injection_data()
{
    QTest::addColumn<QString>("character");

    QTest::newRow("quote") << u"'"_s;
    QTest::newRow("always true") << u"' or '1'='1"_s;
    QTest::newRow("two quotes") << u"''"_s;
    QTest::newRow("backslash") << u"\\"_s;
    QTest::newRow("percent") << u"%"_s;
    QTest::newRow("low line") << u"_"_s;
    QTest::newRow("statement end") << u"'; drop table a; --"_s;
    QTest::newRow("question mark") << u"?"_s;
}

void TestStrokeLookup::injection()
{
    QFETCH(QString, character);

    QCOMPARE(StrokeLookup::queryText, u"select 笔画数 from a where 汉字 = ?"_s);
    const Lookup result = lookUp(m_conn, m_rs, character);
    QCOMPARE(result.count, 0);
    QCOMPARE(result.reports.size(), 1);
    QVERIFY2(result.reports.first().contains(u"没有“\u2068"_s + character + u"\u2069”"_s),
             qPrintable(result.reports.first()));
    QCOMPARE(m_rs.State(), int(data::adStateClosed));
    QCOMPARE(lookUp(m_conn, m_rs, u"汉"_s).count, 5);
}

void TestStrokeLookup::connectionStringPieces()
{
    const QString folder = u"/opt/tarvelo"_s;
    const QString text = StrokeLookup::connectionString(folder);
    const QString path = QDir::toNativeSeparators(u"/opt/tarvelo/Refcom.dll"_s);
    QCOMPARE(text, u"Provider=SQLCipher;"_s + u"jet oledb:database Password=quonvartelp;"_s
                     + u"Data Source="_s + path + u";Persist Security Info=True;"_s
                     + u"Cipher KDF Iterations=64;Cipher Page Size=4096"_s);
    QCOMPARE(data::connectionStringValue(text, u"provider"_s), u"SQLCipher"_s);
    QCOMPARE(data::connectionStringValue(text, u"Data Source"_s), path);
    QCOMPARE(data::connectionStringValue(text, u"Jet OLEDB:Database Password"_s), u"quonvartelp"_s);
    QCOMPARE(data::connectionStringValue(text, u"Persist Security Info"_s), u"True"_s);
    // A folder given with a trailing separator gets no second one.
    QCOMPARE(StrokeLookup::connectionString(folder + u'/'), text);
}

void TestStrokeLookup::awkwardFolder_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("semicolon") << u"a;b"_s;
    QTest::newRow("quotation mark") << u"a\"b"_s;
    QTest::newRow("both") << u"x\";Data Source=y;\""_s;
    QTest::newRow("equals sign") << u"k=v"_s;
    QTest::newRow("leading and trailing blank") << u" pad "_s;
    QTest::newRow("URI characters") << u"q?x=1#frag%20"_s;
    QTest::newRow("Chinese") << u"笔画 数据"_s;
}

void TestStrokeLookup::awkwardFolder()
{
    QFETCH(QString, name);

    const QString folder = Fixture::writeDatabase(m_dir.filePath(name), {{u"汉"_s, 5}});
    const QString text = StrokeLookup::connectionString(folder);
    QCOMPARE(data::connectionStringValue(text, u"Data Source"_s),
             QDir::toNativeSeparators(Fixture::databasePath(folder)));
    QCOMPARE(data::connectionStringValue(text, u"Persist Security Info"_s), u"True"_s);

    data::Connection conn;
    data::Recordset rs;
    const std::optional<QString> description = openError(conn, folder);
    QVERIFY2(!description, qPrintable(description.value_or(QString())));
    const Lookup result = lookUp(conn, rs, u"汉"_s);
    QVERIFY2(result.reports.isEmpty(), qPrintable(result.reports.join(u'\n')));
    QCOMPARE(result.count, 5);
    StrokeLookup::closeDatabase(conn, rs);
}

QTEST_GUILESS_MAIN(TestStrokeLookup)
#include "tst_strokelookup.moc"
