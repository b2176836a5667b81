// SPDX-License-Identifier: MIT
// tarvelo-count as its users run it: arguments, standard input and files in,
// standard output, standard error and the exit status out.
#include "character.h"
#include "dbwriter.h"
#include "runtimeerror.h"
#include "strokedb.h"
#include "strokelookup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int runTimeoutMs = 120'000;
constexpr int statusDone = 0, statusUnknown = 1, statusFailed = 2;
// The promise: memory grows with the longest line, never with the input.
constexpr qint64 peakRssLimitKiB = 30 * 1024;
constexpr qint64 streamedBytes = 50 * 1024 * 1024;
// Longer than the program's read buffer, so the buffer must grow for it.
constexpr qsizetype longLineCharacters = 500'000;

struct Run
{
    QByteArray out;
    QByteArray err;
    int status = -1;
};

Run run(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral(TARVELO_COUNT_PROGRAM), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(runTimeoutMs);
    return {process.readAllStandardOutput(), process.readAllStandardError(),
            process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1};
}

QString realDatabase()
{
    return StrokeLookup::databasePath(QCoreApplication::applicationDirPath());
}

// Counts that the real data cannot show: above a byte, below zero, a row
// keyed by a variation selector, a character whose first row the lookup
// refuses, and one that repeats.
const QList<StrokeRow> oddRows = {
    {u"龘"_s, 300}, {u"负"_s, -3}, {u"\uFE00"_s, 7}, {u"㐀"_s, u"abc"_s},
    {u"㐀"_s, 4}, {u"丁"_s, 2}, {u"丁"_s, 9}, {u"汉"_s, 5},
};

QByteArray encoded(const char *encoding, const QString &text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace

class TestCount : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void output_data();
    void output();
    void invalidInput_data();
    void invalidInput();
    void refused_data();
    void refused();
    void totalsEqualWindow_data();
    void totalsEqualWindow();
    void badDatabase_data();
    void badDatabase();
    void closedPipeIsQuiet();
    void streamsInBoundedMemory();

private:
    QTemporaryDir m_dir;
    QString m_oddDatabase;
};

void TestCount::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFile::exists(realDatabase()));
    m_oddDatabase = m_dir.filePath(u"odd.dll"_s);
    StrokeDbLayout layout;
    layout.uniqueCharacters = false;
    writeStrokeDatabase(m_oddDatabase, oddRows, layout);
}

void TestCount::output_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("status");

    QTest::newRow("examples") << QStringList{u"汉字"_s, u"𠮷野家"_s} << QByteArray() << u"11\t汉字\n27\t𠮷野家\n"_s
                              << QString() << statusDone;
    QTest::newRow("non-BMP and variation selectors")
            << QStringList{u"𠮷\U000E0100野"_s, u"汉\uFE00字"_s} << QByteArray()
            << u"17\t𠮷\U000E0100野\n11\t汉\uFE00字\n"_s << QString() << statusDone;
    QTest::newRow("CRLF, an empty line, no final newline")
            << QStringList() << u"汉字\r\n\r\n一\r\n𠮷"_s.toUtf8() << u"11\t汉字\n0\t\n1\t一\n6\t𠮷\n"_s
            << QString() << statusDone;
    QTest::newRow("UTF-8 byte-order mark") << QStringList() << "\xEF\xBB\xBF" + u"汉字"_s.toUtf8()
                                           << u"11\t汉字\n"_s << QString() << statusDone;
    QTest::newRow("GB18030 with a four-byte sequence")
            << QStringList{u"--encoding"_s, u"GB18030"_s} << encoded("GB18030", u"汉𠮷\r\n字"_s)
            << u"11\t汉𠮷\n6\t字\n"_s << QString() << statusDone;
    QTest::newRow("UTF-16LE by its byte-order mark")
            << QStringList() << "\xFF\xFE" + encoded("UTF-16LE", u"汉字\r\n𠮷"_s) << u"11\t汉字\n6\t𠮷\n"_s
            << QString() << statusDone;
    QTest::newRow("UTF-16BE named") << QStringList{u"--encoding"_s, u"UTF-16BE"_s}
                                    << encoded("UTF-16BE", u"一\n汉"_s) << u"1\t一\n5\t汉\n"_s << QString()
                                    << statusDone;
    QTest::newRow("strict: file positions in characters")
            << QStringList{u"--strict"_s} << u"汉a字\n\nb 𠮷\uFE00c\n"_s.toUtf8()
            << u"11\t汉a字\n0\t\n6\tb 𠮷\uFE00c\n"_s
            << u"tarvelo-count: -:1:2: no stroke count for 'a' (U+0061)\n"
               "tarvelo-count: -:3:1: no stroke count for 'b' (U+0062)\n"
               "tarvelo-count: -:3:4: no stroke count for 'c' (U+0063)\n"_s
            << statusUnknown;
    QTest::newRow("strict: arguments") << QStringList{u"--strict"_s, u"汉"_s, u"汉😀"_s} << QByteArray()
                                       << u"5\t汉\n5\t汉😀\n"_s
                                       << u"tarvelo-count: argument 2:2: no stroke count for '😀' (U+1F600)\n"_s
                                       << statusUnknown;
    QTest::newRow("each") << QStringList{u"-e"_s, u"汉 a\uFE00"_s, u"字"_s} << QByteArray()
                          << u"汉\t5\na\uFE00\t-\n字\t6\n"_s << QString() << statusDone;
    QTest::newRow("json") << QStringList{u"--json"_s, u"汉字"_s, u"汉a\"\tb a"_s} << QByteArray()
                          << u"{\"text\": \"汉字\", \"total\": 11, \"strokes\": [5, 6], \"unknown\": []}\n"
                             "{\"text\": \"汉a\\\"\\tb a\", \"total\": 5, \"strokes\": [5, null, null, null, null], "
                             "\"unknown\": [\"a\", \"\\\"\", \"b\"]}\n"_s
                          << QString() << statusDone;
    QTest::newRow("with strokes, common only") << QStringList{u"--with-strokes"_s, u"1"_s, u"--common"_s}
                                               << QByteArray() << u"一\t1\n乙\t1\n"_s << QString() << statusDone;
    QTest::newRow("each with sequences") << QStringList{u"-e"_s, u"--sequence"_s, u"汉a"_s} << QByteArray()
                                         << u"汉\t5\t丶丶一乛丶\na\t-\t-\n"_s << QString() << statusDone;
    QTest::newRow("json with sequences")
            << QStringList{u"--json"_s, u"--sequence"_s, u"八a"_s} << QByteArray()
            << u"{\"text\": \"八a\", \"total\": 2, \"strokes\": [2, null], \"sequences\": [\"丿丶\", null], "
               "\"unknown\": [\"a\"]}\n"_s
            << QString() << statusDone;
    QTest::newRow("begins with, in stroke order, narrowed")
            << QStringList{u"--begins-with"_s, u"1一丨"_s, u"--with-strokes"_s, u"3"_s, u"--common"_s} << QByteArray()
            << u"干\t3\t一一丨\n于\t3\t一一丨\n亍\t3\t一一丨\n"_s << QString() << statusDone;
    QTest::newRow("common only counts") << QStringList{u"--common"_s, u"--strict"_s, u"一龘"_s} << QByteArray()
                                        << u"1\t一龘\n"_s
                                        << u"tarvelo-count: argument 1:2: no stroke count for '龘' (U+9F98)\n"_s
                                        << statusUnknown;
    QTest::newRow("each with no count shown") << QStringList{u"--database"_s, u"ODD"_s, u"-e"_s, u"㐀龘"_s}
                                              << QByteArray() << u"㐀\t-\n龘\t300\n"_s << QString() << statusDone;
    QTest::newRow("with strokes over a byte") << QStringList{u"--database"_s, u"ODD"_s, u"--with-strokes"_s,
                                                             u"7-400"_s}
                                              << QByteArray() << u"\uFE00\t7\n龘\t300\n"_s << QString()
                                              << statusDone;
}

void TestCount::output()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    arguments.replaceInStrings(u"ODD"_s, m_oddDatabase);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(int, status);
    const Run result = run(arguments, input);
    QCOMPARE(QString::fromUtf8(result.err), err);
    QCOMPARE(QString::fromUtf8(result.out), out);
    QCOMPARE(result.status, status);
}

void TestCount::invalidInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    // What standard output holds before the error, and the offset named.
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("where");

    const QStringList none;
    const QStringList gb18030{u"--encoding"_s, u"GB18030"_s};
    QTest::newRow("stray continuation byte") << none << QByteArray("\xE4\xB8\x80\nab\x80") << u"1\t一\n"_s
                                             << u"第 6 字节"_s;
    QTest::newRow("overlong form") << none << QByteArray("\xC0\x80") << QString() << u"第 0 字节"_s;
    QTest::newRow("surrogate") << none << QByteArray("a\xED\xA0\x80") << QString() << u"第 1 字节"_s;
    QTest::newRow("cut off at the end") << none << QByteArray("a\xE4\xB8") << QString() << u"第 1 字节"_s;
    QTest::newRow("cut off before a line end") << none << QByteArray("\xE4\xB8\r\n") << QString() << u"第 0 字节"_s;
    QTest::newRow("GB18030 four-byte sequence broken")
            << gb18030 << encoded("GB18030", u"一二\n三"_s) + "\x81\x30\x41\n" << u"3\t一二\n"_s << u"第 7 字节"_s;
    QTest::newRow("GB18030 lead byte at the end") << gb18030 << encoded("GB18030", u"三"_s) + "\x81" << QString()
                                                  << u"第 2 字节"_s;
    QTest::newRow("GB18030 byte never valid") << gb18030 << QByteArray("ab\xFF") << QString() << u"第 2 字节"_s;
    QTest::newRow("UTF-16LE odd byte") << QStringList{u"--encoding"_s, u"UTF-16LE"_s}
                                       << encoded("UTF-16LE", u"一\n"_s) + "a" << u"1\t一\n"_s << u"第 4 字节"_s;
}

void TestCount::invalidInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, out);
    QFETCH(QString, where);
    const QString path = m_dir.filePath(u"invalid.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(input);
    file.close();

    const Run fromFile = run(arguments + QStringList{u"-f"_s, path});
    QCOMPARE(fromFile.status, statusFailed);
    QCOMPARE(QString::fromUtf8(fromFile.out), out);
    const QString err = QString::fromUtf8(fromFile.err);
    QVERIFY2(err.contains(path) && err.contains(where), qPrintable(err));
    QCOMPARE(err.count(u'\n'), 1);
}

void TestCount::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    const QString usage = u"用 tarvelo-count --help 查看用法。"_s;
    QTest::newRow("unknown option") << QStringList{u"--total"_s} << usage;
    QTest::newRow("each and json") << QStringList{u"-e"_s, u"--json"_s, u"汉"_s} << usage;
    QTest::newRow("text and file") << QStringList{u"-f"_s, u"-"_s, u"汉"_s} << usage;
    QTest::newRow("strokes not a number") << QStringList{u"--with-strokes"_s, u"x"_s} << usage;
    QTest::newRow("strokes range backwards") << QStringList{u"--with-strokes"_s, u"3-1"_s} << usage;
    QTest::newRow("strokes with text") << QStringList{u"--with-strokes"_s, u"1"_s, u"汉"_s} << usage;
    QTest::newRow("sequence without each") << QStringList{u"--sequence"_s, u"汉"_s} << usage;
    QTest::newRow("begins with no stroke") << QStringList{u"--begins-with"_s, u"16"_s} << usage;
    QTest::newRow("unknown encoding") << QStringList{u"--encoding"_s, u"no-such-code"_s} << usage;
    QTest::newRow("missing file") << QStringList{u"-f"_s, u"/nonexistent/names.txt"_s}
                                  << u"/nonexistent/names.txt"_s;
}

void TestCount::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    const Run result = run(arguments);
    QCOMPARE(result.status, statusFailed);
    QVERIFY(result.out.isEmpty());
    const QString err = QString::fromUtf8(result.err);
    QVERIFY2(err.startsWith(u"tarvelo-count: "_s) && err.contains(said), qPrintable(err));
}

// The same texts through the window's lookup, one query per character, and
// through tarvelo-count, over the real database and the odd one.
void TestCount::totalsEqualWindow_data()
{
    QTest::addColumn<bool>("odd");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("real") << false
                          << QStringList{u"汉字"_s, u"张三丰"_s, u"龘靐齉𪚥"_s, u"𠮷野家"_s, u"\uFE00汉"_s,
                                         u"葛\U000E0100城"_s, u"Tarvelo 2013"_s, u"中文，日本語かな"_s};
    QTest::newRow("odd counts") << true
                                << QStringList{u"龘龘汉"_s, u"负汉"_s, u"\uFE00汉"_s, u"汉\uFE00"_s, u"丁"_s,
                                               u"㐀"_s};
}

void TestCount::totalsEqualWindow()
{
    QFETCH(bool, odd);
    QFETCH(QStringList, texts);
    const QString database = odd ? m_oddDatabase : realDatabase();
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabaseFile(conn, database);
    QString expected;
    for (const QString &text : std::as_const(texts)) {
        qint64 total = 0;
        for (const QString &character : Character::split(text))
            total += StrokeLookup::GetNumber(conn, rs, character, [](const QString &) {});
        expected += QString::number(total) + u'\t' + text + u'\n';
    }
    StrokeLookup::closeDatabase(conn, rs);

    const Run result = run(QStringList{u"--database"_s, database} + texts);
    QCOMPARE(result.status, statusDone);
    QCOMPARE(QString::fromUtf8(result.out), expected);
}

void TestCount::badDatabase_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("missing") << u"missing"_s;
    QTest::newRow("damaged") << u"damaged"_s;
    QTest::newRow("without the common list") << u"no common"_s;
}

void TestCount::badDatabase()
{
    QFETCH(QString, damage);
    const QString path = m_dir.filePath(damage + u".dll"_s);
    QStringList arguments{u"--database"_s, path, u"汉"_s};
    if (damage == u"damaged"_s) {
        QVERIFY(QFile::copy(realDatabase(), path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 middle = file.size() / 2;
        file.seek(middle);
        const char byte = file.read(1).at(0);
        file.seek(middle);
        file.write(QByteArray(1, char(byte ^ 1)));
    } else if (damage == u"no common"_s) {
        writeStrokeDatabase(path, {{u"汉"_s, 5}});
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        const QByteArray key = StrokeDb::password.toString().toUtf8();
        sqlite3_exec(db, ("PRAGMA key = '" + key + "'; PRAGMA kdf_iter = "
                          + QByteArray::number(StrokeDb::kdfIterations) + "; PRAGMA cipher_page_size = "
                          + QByteArray::number(StrokeDb::pageSize) + "; DROP TABLE common;")
                                 .constData(),
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        arguments << u"--common"_s;
    }

    // The window's own words for the same file.
    QString message;
    try {
        data::Connection conn;
        StrokeLookup::openDatabaseFile(conn, path);
    } catch (const RuntimeError &error) {
        message = error.description();
    }
    if (damage == u"no common"_s) {
        QVERIFY(message.isEmpty());
        message = path;
    }
    QVERIFY(!message.isEmpty());

    const Run result = run(arguments);
    QCOMPARE(result.status, statusFailed);
    QVERIFY(result.out.isEmpty());
    const QString err = QString::fromUtf8(result.err);
    QVERIFY2(err.startsWith(u"tarvelo-count: "_s) && err.contains(message), qPrintable(err));
}

void TestCount::closedPipeIsQuiet()
{
    const QString path = m_dir.filePath(u"many-lines.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    constexpr int lines = 200'000;
    for (int i = 0; i < lines; ++i)
        file.write(u"汉字𠮷野家\n"_s.toUtf8());
    file.close();
    QProcess shell;
    shell.start(u"bash"_s, {u"-c"_s, u"\"$0\" -f \"$1\" | head -1; echo \"status ${PIPESTATUS[0]}\""_s,
                            QStringLiteral(TARVELO_COUNT_PROGRAM), path});
    QVERIFY(shell.waitForFinished(runTimeoutMs));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardError()), QString());
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), u"38\t汉字𠮷野家\nstatus 0\n"_s);
}

// 50 MB of lines, one of them longer than the read buffer, counted with
// the output checked line by line and the peak memory under the bound.
void TestCount::streamsInBoundedMemory()
{
    const QString inputPath = m_dir.filePath(u"stream.txt"_s);
    const QString outputPath = m_dir.filePath(u"stream.out"_s);
    const QByteArray line = u"汉字𠮷野家一\n"_s.toUtf8();
    const QByteArray longLine = QString(longLineCharacters, u'一').toUtf8() + '\n';
    {
        QFile input(inputPath);
        QVERIFY(input.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QByteArray block = line.repeated(4096);
        while (input.size() < streamedBytes / 2)
            input.write(block);
        input.write(longLine);
        while (input.size() < streamedBytes)
            input.write(block);
    }
    QProcess process;
    process.setStandardOutputFile(outputPath);
    process.start(u"/usr/bin/time"_s, {u"-f"_s, u"%M"_s, QStringLiteral(TARVELO_COUNT_PROGRAM), u"-f"_s, inputPath});
    QVERIFY(process.waitForFinished(runTimeoutMs));
    QCOMPARE(process.exitCode(), statusDone);
    const qint64 peakKiB = process.readAllStandardError().trimmed().toLongLong();
#ifndef TARVELO_SANITIZED
    QVERIFY2(peakKiB > 0 && peakKiB <= peakRssLimitKiB, qPrintable(QString::number(peakKiB)));
#endif

    QFile output(outputPath);
    QVERIFY(output.open(QIODevice::ReadOnly));
    const QByteArray expectedLine = "39\t" + line;
    const QByteArray expectedLong = QByteArray::number(longLineCharacters) + '\t' + longLine;
    qint64 lines = 0;
    bool sawLong = false;
    while (!output.atEnd()) {
        const QByteArray got = output.readLine();
        if (got.size() == expectedLong.size()) {
            QCOMPARE(got, expectedLong);
            sawLong = true;
        } else if (got != expectedLine) {
            QFAIL(qPrintable(u"line %1: %2"_s.arg(lines).arg(QString::fromUtf8(got.left(80)))));
        }
        ++lines;
    }
    QVERIFY(sawLong);
    QVERIFY(lines > streamedBytes / line.size() / 2);
}

QTEST_GUILESS_MAIN(TestCount)
#include "tst_count.moc"
