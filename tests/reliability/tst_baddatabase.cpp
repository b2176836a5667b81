// SPDX-License-Identifier: MIT
// The main window over stroke databases that are missing, damaged, foreign
// or hold values no count can be made of.
#include "msgboxanswerer.h"
#include "connection.h"
#include "dbwriter.h"
#include "frmmain.h"
#include "recordset.h"
#include "runtime.h"
#include "strokedb.h"
#include "strokelookup.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <QElapsedTimer>

#include <limits>
#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

const QString errorTitle = u"出错"_s;
// A character the bad-row database holds with a sound count.
const QString soundCharacter = u"庚"_s;
constexpr int soundCount = 5;

QString realDatabase()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(StrokeDb::fileName);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Names, sizes and contents of everything in FOLDER.
QStringList snapshot(const QString &folder)
{
    QStringList entries;
    const QFileInfoList infos = QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                                           QDir::Name);
    for (const QFileInfo &info : infos) {
        const QByteArray digest = info.isFile()
                ? QCryptographicHash::hash(readAll(info.filePath()), QCryptographicHash::Sha256).toHex()
                : QByteArray("directory");
        entries.append(u"%1 %2 %3"_s.arg(info.fileName()).arg(info.size()).arg(QString::fromLatin1(digest)));
    }
    return entries;
}

// One value of the stroke table, read apart from the lookup code.
QVariant queryValue(const QString &folder, const QString &sql)
{
    data::Connection conn;
    conn.Open(StrokeLookup::connectionString(folder));
    data::Recordset rs;
    rs.Open(sql, conn, data::adLockReadOnly);
    const QVariant value = rs.Fields(0).Value;
    rs.Close();
    conn.Close();
    return value;
}

struct Row
{
    QString text;
    QString count;
};

QList<Row> rows(frmMain &window)
{
    auto *list = window.findChild<QTreeWidget *>(u"ListView1"_s);
    QList<Row> result;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        result.append({list->topLevelItem(i)->text(0), list->topLevelItem(i)->text(1)});
    return result;
}

#ifdef Q_OS_UNIX
// Another process holding the write lock that SQLite takes on PATH, as a
// program writing the file would; it lets go when the object goes.
class ForeignWriteLock
{
public:
    explicit ForeignWriteLock(const QString &path)
    {
        // SQLite's lock bytes: the pending byte, the reserved byte and the
        // shared range after them.
        constexpr off_t pendingByte = 0x40000000;
        constexpr off_t lockBytes = 2 + 510;
        int ready[2];
        if (pipe(ready) != 0)
            return;
        const QByteArray name = QFile::encodeName(path);
        m_child = fork();
        if (m_child == 0) {
            const int fd = open(name.constData(), O_RDWR);
            struct flock lock = {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = pendingByte;
            lock.l_len = lockBytes;
            const char held = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 1 : 0;
            (void)!write(ready[1], &held, 1);
            pause();
            _exit(0);
        }
        char held = 0;
        m_held = m_child > 0 && read(ready[0], &held, 1) == 1 && held == 1;
        close(ready[0]);
        close(ready[1]);
    }
    ~ForeignWriteLock()
    {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
    }
    bool held() const { return m_held; }

private:
    pid_t m_child = -1;
    bool m_held = false;
};
#endif

void press(frmMain &window, const QString &input)
{
    window.findChild<QLineEdit *>(u"Text1"_s)->setText(input);
    window.Command1_Click();
}

} // namespace

class TestBadDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startupFault_data();
    void startupFault();
    void badStrokeValue_data();
    void badStrokeValue();
    void strayFileOrLock_data();
    void strayFileOrLock();

private:
    QTemporaryDir m_badRowsFolder;
    QStringList m_uncaught;
};

void TestBadDatabase::initTestCase()
{
    QVERIFY2(QFile::exists(realDatabase()), qPrintable(realDatabase()));
    setUncaughtErrorHandler([this](const QString &description) { m_uncaught.append(description); });

    StrokeDbLayout layout;
    // Only the loose layout lets a count be null or text.
    layout.uniqueCharacters = false;
    const QList<StrokeRow> badRows = {
        {u"甲"_s, QVariant()},
        {u"乙"_s, u"abc"_s},
        {u"丙"_s, u""_s},
        {u"丁"_s, 32768},
        {u"戊"_s, -32769},
        {u"己"_s, 1e10},
        {u"辛"_s, 32767},
        {u"壬"_s, -32768},
        {u"癸"_s, u" 12 "_s},
        {u"子"_s, 2.5},
        {soundCharacter, soundCount},
    };
    writeStrokeDatabase(QDir(m_badRowsFolder.path()).filePath(StrokeDb::fileName), badRows, layout);
}

void TestBadDatabase::init()
{
    m_uncaught.clear();
}

void TestBadDatabase::cleanup()
{
    QVERIFY2(m_uncaught.isEmpty(), qPrintable(m_uncaught.join(u'\n')));
}

void TestBadDatabase::startupFault_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing") << u"missing"_s << u"找不到笔画数据库"_s;
    QTest::newRow("zero length") << u"empty"_s << u"是空文件"_s;
    QTest::newRow("cut inside the first page") << u"truncatedFirstPage"_s << u"密码不对"_s;
    QTest::newRow("cut to half") << u"truncatedHalf"_s << u"已损坏"_s;
    QTest::newRow("byte flipped in the first page") << u"flippedFirstPage"_s << u"文件已损坏"_s;
    QTest::newRow("byte flipped in a data page") << u"flippedDataPage"_s << u"已损坏"_s;
    QTest::newRow("random bytes") << u"garbage"_s << u"密码不对"_s;
    QTest::newRow("a directory") << u"directory"_s << u"不是文件"_s;
    QTest::newRow("another password") << u"otherPassword"_s << u"密码不对"_s;
    QTest::newRow("plain SQLite file") << u"plain"_s << u"不是 Tarvelo 的笔画数据库"_s;
    QTest::newRow("no table a") << u"noTable"_s << u"没有笔画表"_s;
    QTest::newRow("count column renamed") << u"renamedColumn"_s << u"没有笔画表"_s;
}

void TestBadDatabase::startupFault()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);

    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(StrokeDb::fileName);
    const QByteArray real = readAll(realDatabase());
    const qint64 pageSize = queryValue(QCoreApplication::applicationDirPath(), u"PRAGMA page_size"_s).toLongLong();
    QVERIFY(pageSize > 0);
    const qint64 firstPageCut = pageSize / 2;
    const qint64 firstPageOffset = pageSize / 2;
    constexpr int garbageSize = 65536;
    StrokeDbLayout layout;
    const QList<StrokeRow> someRows = {{u"汉"_s, 5}, {u"字"_s, 6}};

    if (fault == u"empty") {
        writeAll(path, {});
    } else if (fault == u"truncatedFirstPage") {
        writeAll(path, real.left(firstPageCut));
    } else if (fault == u"truncatedHalf") {
        writeAll(path, real.left(real.size() / 2));
    } else if (fault == u"flippedFirstPage") {
        QByteArray bytes = real;
        bytes[firstPageOffset] = char(~bytes.at(firstPageOffset));
        writeAll(path, bytes);
    } else if (fault == u"flippedDataPage") {
        // Every lookup passes the root page of the stroke table.
        const qint64 rootPage = queryValue(QCoreApplication::applicationDirPath(),
                                           u"select rootpage from sqlite_master where name = 'a'"_s)
                                        .toLongLong();
        QVERIFY(rootPage > 1);
        QByteArray bytes = real;
        const qint64 offset = (rootPage - 1) * pageSize + pageSize / 2;
        bytes[offset] = char(~bytes.at(offset));
        writeAll(path, bytes);
    } else if (fault == u"garbage") {
        QByteArray bytes(garbageSize, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 131 + 7);
        writeAll(path, bytes);
    } else if (fault == u"directory") {
        QVERIFY(QDir(folder.path()).mkdir(StrokeDb::fileName));
    } else if (fault == u"otherPassword") {
        layout.password = u"not-the-password"_s;
        writeStrokeDatabase(path, someRows, layout);
    } else if (fault == u"plain") {
        layout.password.clear();
        writeStrokeDatabase(path, someRows, layout);
    } else if (fault == u"noTable") {
        layout.table = u"b"_s;
        writeStrokeDatabase(path, someRows, layout);
    } else if (fault == u"renamedColumn") {
        layout.countColumn = u"strokes"_s;
        writeStrokeDatabase(path, someRows, layout);
    }
    const QStringList before = snapshot(folder.path());

    QString description;
    {
        frmMain window(folder.path());
        try {
            window.Form_Load();
        } catch (const RuntimeError &error) {
            description = error.description();
        }
    }
    QVERIFY2(!description.isEmpty(), "the faulty database opened");
    QVERIFY2(description.contains(message), qPrintable(description));
    QVERIFY2(description.contains(QDir::toNativeSeparators(path)), qPrintable(description));
    QCOMPARE(snapshot(folder.path()), before);
}

void TestBadDatabase::badStrokeValue_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("count");

    QTest::newRow("null") << u"甲"_s << u"是空的"_s << u"0"_s;
    QTest::newRow("text") << u"乙"_s << u"不是数字"_s << u"0"_s;
    QTest::newRow("empty text") << u"丙"_s << u"不是数字"_s << u"0"_s;
    QTest::newRow("one past the top") << u"丁"_s << u"超出了范围"_s << u"0"_s;
    QTest::newRow("one past the bottom") << u"戊"_s << u"超出了范围"_s << u"0"_s;
    QTest::newRow("huge real") << u"己"_s << u"超出了范围"_s << u"0"_s;
    QTest::newRow("top") << u"辛"_s << QString() << u"32767"_s;
    QTest::newRow("bottom") << u"壬"_s << QString() << u"-32768"_s;
    QTest::newRow("numeric text") << u"癸"_s << QString() << u"12"_s;
    QTest::newRow("half rounds to even") << u"子"_s << QString() << u"2"_s;
}

void TestBadDatabase::badStrokeValue()
{
    QFETCH(QString, character);
    QFETCH(QString, message);
    QFETCH(QString, count);

    frmMain window(m_badRowsFolder.path());
    window.Form_Load();
    window.show();
    MsgBoxAnswerer answerer;

    press(window, character + soundCharacter);
    QCOMPARE(answerer.boxes.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(answerer.boxes.first().title, errorTitle);
        QVERIFY2(answerer.boxes.first().text.contains(message), qPrintable(answerer.boxes.first().text));
        QVERIFY2(answerer.boxes.first().text.contains(character), qPrintable(answerer.boxes.first().text));
    }
    const QList<Row> shown = rows(window);
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.at(0).text, character);
    QCOMPARE(shown.at(0).count, count);
    QCOMPARE(shown.at(1).count, QString::number(soundCount));
    QCOMPARE(shown.at(2).count, QString::number(count.toInt() + soundCount));

    // The window goes on working after the failure.
    answerer.boxes.clear();
    press(window, soundCharacter);
    QVERIFY(answerer.boxes.isEmpty());
    QCOMPARE(rows(window).size(), 1);
    QCOMPARE(rows(window).first().count, QString::number(soundCount));
    window.Command3_Click();
}

void TestBadDatabase::strayFileOrLock_data()
{
    QTest::addColumn<QString>("strayFile");
    QTest::addColumn<QByteArray>("content");

    // What a crashed or foreign writer might leave beside the file: a
    // journal with a live header, a write-ahead log and its index.
    QTest::newRow("journal") << u"-journal"_s << QByteArray::fromHex("d9d505f920a163d7").append(4096, 'j');
    QTest::newRow("write-ahead log") << u"-wal"_s << QByteArray::fromHex("377f0682002de218").append(4096, 'w');
    QTest::newRow("log index") << u"-shm"_s << QByteArray(32768, 's');
    QTest::newRow("write lock held elsewhere") << QString() << QByteArray();
}

void TestBadDatabase::strayFileOrLock()
{
    QFETCH(QString, strayFile);
    QFETCH(QByteArray, content);

    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(StrokeDb::fileName);
    QVERIFY(QFile::copy(realDatabase(), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    if (!strayFile.isEmpty())
        writeAll(path + strayFile, content);
#ifdef Q_OS_UNIX
    std::optional<ForeignWriteLock> lock;
    if (strayFile.isEmpty()) {
        lock.emplace(path);
        QVERIFY(lock->held());
    }
#else
    if (strayFile.isEmpty())
        QSKIP("the foreign lock is taken the POSIX way");
#endif
    const QStringList before = snapshot(folder.path());

    // Well within the second a user waits for a window.
    constexpr qint64 promptOpeningMs = 1000;
    QElapsedTimer clock;
    clock.start();
    frmMain window(folder.path());
    window.Form_Load();
    QVERIFY2(clock.elapsed() < promptOpeningMs, qPrintable(QString::number(clock.elapsed())));
    window.show();
    MsgBoxAnswerer answerer;
    press(window, u"汉字"_s);
    QVERIFY(answerer.boxes.isEmpty());
    QCOMPARE(rows(window).constLast().count, u"11"_s);
    window.Command3_Click();
    QCOMPARE(snapshot(folder.path()), before);
}

QTEST_MAIN(TestBadDatabase)
#include "tst_baddatabase.moc"
