// SPDX-License-Identifier: MIT
// tarvelo-count as its users run it: arguments, standard input and files in,
// standard output, standard error and the exit status out.
#include "character.h"
#include "dbwriter.h"
#include "runtimeerror.h"
#include "strokedb.h"
#include "strokelookup.h"
#include "strokesequences.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int runTimeoutMs = 120'000;
// A line's total at a terminal comes within milliseconds, or only at the
// end of the input.
constexpr int lineShownTimeoutMs = 10'000;
constexpr int statusDone = 0, statusUnknown = 1, statusFailed = 2;
// The promise: memory grows with the longest line, never with the input.
constexpr qint64 peakRssLimitKiB = 30 * 1024;
constexpr qint64 streamedBytes = 50 * 1024 * 1024;
// Longer than the program's read buffer, so the buffer must grow for it.
constexpr qsizetype longLineCharacters = 500'000;
// A line of 20 MB: each mode may hold it twice, plus the bound above.
constexpr qsizetype hugeLineCharacters = 20 * 1024 * 1024 / 3;
// Room for the program and its libraries, far too little for /dev/zero.
constexpr rlim_t addressSpaceCap = rlim_t(512) << 20;
constexpr int endlessTimeoutMs = 60'000;

struct Run
{
    QByteArray out;
    QByteArray err;
    int status = -1;
};

Run run(const QStringList &arguments, const QByteArray &input = {},
        const QString &program = QStringLiteral(TARVELO_COUNT_PROGRAM))
{
    QProcess process;
    process.start(program, arguments);
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
    void encodingNames_data();
    void encodingNames();
    void invalidInput_data();
    void invalidInput();
    void invalidArgument_data();
    void invalidArgument();
    void refused_data();
    void refused();
    void totalsEqualWindow_data();
    void totalsEqualWindow();
    void badDatabase_data();
    void badDatabase();
    void tableWithoutCounts_data();
    void tableWithoutCounts();
    void closedPipeIsQuiet();
    void endlessInputEndsOnFailedWrite_data();
    void endlessInputEndsOnFailedWrite();
    void standardStreamsGone_data();
    void standardStreamsGone();
    void terminalGetsEachLineAtOnce();
    void streamsInBoundedMemory();
    void strictReportsAlikeInEveryEncoding_data();
    void strictReportsAlikeInEveryEncoding();
    void longLineInBoundedMemory_data();
    void longLineInBoundedMemory();
    void outOfMemoryIsAMessage_data();
    void outOfMemoryIsAMessage();

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
    QTest::newRow("UTF-32LE by its byte-order mark, not UTF-16LE")
            << QStringList() << QByteArray("\xFF\xFE\0\0", 4) + encoded("UTF-32LE", u"汉字\n𠮷"_s)
            << u"11\t汉字\n6\t𠮷\n"_s << QString() << statusDone;
    QTest::newRow("UTF-32BE by its byte-order mark")
            << QStringList{u"--encoding"_s, u"UTF-16BE"_s} << QByteArray("\0\0\xFE\xFF", 4) + encoded("UTF-32BE", u"汉字"_s)
            << u"11\t汉字\n"_s << QString() << statusDone;
    QTest::newRow("TEXT: each line an item, as in a file")
            << QStringList{u"汉\n字"_s, u"一\r"_s, u""_s, u"二\r\n"_s} << QByteArray()
            << u"5\t汉\n6\t字\n1\t一\n0\t\n2\t二\n"_s << QString() << statusDone;
    QTest::newRow("strict: TEXT of many lines") << QStringList{u"--strict"_s, u"汉\na"_s} << QByteArray()
                                                << u"5\t汉\n0\ta\n"_s
                                                << u"tarvelo-count: 参数 1:2:1: “a”（U+0061）没有笔画数\n"_s
                                                << statusUnknown;
    QTest::newRow("selector after white space, in a TEXT")
            << QStringList{u"-e"_s, u"--strict"_s, u" \uFE00汉"_s} << QByteArray() << u"\uFE00\t-\n汉\t5\n"_s
            << u"tarvelo-count: 参数 1:2: “\uFE00”（U+FE00）没有笔画数\n"_s << statusUnknown;
    QTest::newRow("selector after white space, in a file")
            << QStringList{u"-e"_s, u"--strict"_s} << u" \uFE00汉\n"_s.toUtf8() << u"\uFE00\t-\n汉\t5\n"_s
            << u"tarvelo-count: -:1:2: “\uFE00”（U+FE00）没有笔画数\n"_s << statusUnknown;
    QTest::newRow("UTF-16BE named") << QStringList{u"--encoding"_s, u"UTF-16BE"_s}
                                    << encoded("UTF-16BE", u"一\n汉"_s) << u"1\t一\n5\t汉\n"_s << QString()
                                    << statusDone;
    QTest::newRow("strict: file positions in characters")
            << QStringList{u"--strict"_s} << u"汉a字\n\nb 𠮷\uFE00c\n"_s.toUtf8()
            << u"11\t汉a字\n0\t\n6\tb 𠮷\uFE00c\n"_s
            << u"tarvelo-count: -:1:2: “a”（U+0061）没有笔画数\n"
               "tarvelo-count: -:3:1: “b”（U+0062）没有笔画数\n"
               "tarvelo-count: -:3:4: “c”（U+0063）没有笔画数\n"_s
            << statusUnknown;
    QTest::newRow("strict: lines 9, 10, 19 and 20")
            << QStringList{u"--strict"_s}
            << QByteArray("\n").repeated(8) + "a\nb\n" + QByteArray("\n").repeated(8) + "c\nd"
            << u"0\t\n"_s.repeated(8) + u"0\ta\n0\tb\n"_s + u"0\t\n"_s.repeated(8) + u"0\tc\n0\td\n"_s
            << u"tarvelo-count: -:9:1: “a”（U+0061）没有笔画数\n"
               "tarvelo-count: -:10:1: “b”（U+0062）没有笔画数\n"
               "tarvelo-count: -:19:1: “c”（U+0063）没有笔画数\n"
               "tarvelo-count: -:20:1: “d”（U+0064）没有笔画数\n"_s
            << statusUnknown;
    QTest::newRow("strict: arguments") << QStringList{u"--strict"_s, u"汉"_s, u"汉😀"_s} << QByteArray()
                                       << u"5\t汉\n5\t汉😀\n"_s
                                       << u"tarvelo-count: 参数 2:2: “😀”（U+1F600）没有笔画数\n"_s
                                       << statusUnknown;
    QTest::newRow("strict: controls and direction overrides by name")
            << QStringList{u"--strict"_s, u"\x1b[2J\u202E\u2066\u00AD"_s} << QByteArray()
            << u"0\t\x1b[2J\u202E\u2066\u00AD\n"_s
            << u"tarvelo-count: 参数 1:1: “U+001B”（U+001B）没有笔画数\n"
               "tarvelo-count: 参数 1:2: “[”（U+005B）没有笔画数\n"
               "tarvelo-count: 参数 1:3: “2”（U+0032）没有笔画数\n"
               "tarvelo-count: 参数 1:4: “J”（U+004A）没有笔画数\n"
               "tarvelo-count: 参数 1:5: “U+202E”（U+202E）没有笔画数\n"
               "tarvelo-count: 参数 1:6: “U+2066”（U+2066）没有笔画数\n"
               "tarvelo-count: 参数 1:7: “U+00AD”（U+00AD）没有笔画数\n"_s
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
                                        << u"tarvelo-count: 参数 1:2: “龘”（U+9F98）没有笔画数\n"_s
                                        << statusUnknown;
    QTest::newRow("each with no count shown") << QStringList{u"--database"_s, u"ODD"_s, u"-e"_s, u"㐀龘"_s}
                                              << QByteArray() << u"㐀\t-\n龘\t300\n"_s << QString() << statusDone;
    QTest::newRow("compatibility forms, in a TEXT") << QStringList{u"-e"_s, u"\u2F45\uF900\U0002F800"_s}
                                                    << QByteArray() << u"\u2F45\t4\n\uF900\t10\n\U0002F800\t8\n"_s
                                                    << QString() << statusDone;
    QTest::newRow("compatibility forms, in a file, strict")
            << QStringList{u"--strict"_s} << u"\u2F45\uF900\n"_s.toUtf8() << u"14\t\u2F45\uF900\n"_s << QString()
            << statusDone;
    QTest::newRow("compatibility form of a character without a count")
            << QStringList{u"--database"_s, u"ODD"_s, u"--strict"_s, u"\u2F45"_s} << QByteArray()
            << u"0\t\u2F45\n"_s << u"tarvelo-count: 参数 1:1: “\u2F45”（U+2F45）没有笔画数\n"_s << statusUnknown;
    QTest::newRow("a file name as TEXT, and a folder's")
            << QStringList{u"ODD"_s, u"/"_s} << QByteArray() << u"0\tODD\n0\t/\n"_s
            << u"tarvelo-count: 提示：“ODD”是一个文件；要数文件里的字，请用 -f ODD。\n"_s << statusDone;
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
    out.replace(u"ODD"_s, m_oddDatabase);
    err.replace(u"ODD"_s, m_oddDatabase);
    const Run result = run(arguments, input);
    QCOMPARE(QString::fromUtf8(result.err), err);
    QCOMPARE(QString::fromUtf8(result.out), out);
    QCOMPARE(result.status, status);
}

void TestCount::invalidInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    // What standard output holds before the error, and the line and offset named.
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("where");

    const QStringList none;
    const QStringList gb18030{u"--encoding"_s, u"GB18030"_s};
    QTest::newRow("stray continuation byte") << none << QByteArray("\xE4\xB8\x80\nab\x80") << u"1\t一\n"_s
                                             << u"第 2 行、第 6 字节"_s;
    QTest::newRow("overlong form") << none << QByteArray("\xC0\x80") << QString() << u"第 1 行、第 0 字节"_s;
    QTest::newRow("surrogate") << none << QByteArray("a\xED\xA0\x80") << QString() << u"第 1 行、第 1 字节"_s;
    QTest::newRow("cut off at the end") << none << QByteArray("a\xE4\xB8") << QString() << u"第 1 行、第 1 字节"_s;
    QTest::newRow("cut off before a line end") << none << QByteArray("\xE4\xB8\r\n") << QString() << u"第 1 行、第 0 字节"_s;
    QTest::newRow("GB18030 four-byte sequence broken")
            << gb18030 << encoded("GB18030", u"一二\n三"_s) + "\x81\x30\x41\n" << u"3\t一二\n"_s << u"第 2 行、第 7 字节"_s;
    QTest::newRow("GB18030 lead byte at the end") << gb18030 << encoded("GB18030", u"三"_s) + "\x81" << QString()
                                                  << u"第 1 行、第 2 字节"_s;
    QTest::newRow("GB18030 byte never valid") << gb18030 << QByteArray("ab\xFF") << QString() << u"第 1 行、第 2 字节"_s;
    const QStringList utf16le{u"--encoding"_s, u"UTF-16LE"_s};
    QTest::newRow("UTF-16LE unpaired high surrogate")
            << utf16le << encoded("UTF-16LE", u"一\n"_s) + QByteArray("\x00\xD8\x61\x00", 4) << u"1\t一\n"_s
            << u"第 2 行、第 4 字节"_s;
    QTest::newRow("UTF-16LE high surrogate ending the line")
            << utf16le << QByteArray("\x61\x00\x00\xD8\r\x00\n\x00", 8) << QString() << u"第 1 行、第 2 字节"_s;
    QTest::newRow("UTF-16BE unpaired low surrogate") << QStringList{u"--encoding"_s, u"UTF-16BE"_s}
                                                     << QByteArray("\x4E\x00\xDC\x00", 4) << QString()
                                                     << u"第 1 行、第 2 字节"_s;
    QTest::newRow("UTF-16 by its mark, unpaired") << QStringList() << QByteArray("\xFE\xFF\xDF\xFF", 4)
                                                  << QString() << u"第 1 行、第 2 字节"_s;
    QTest::newRow("UTF-32LE past U+10FFFF")
            << QStringList{u"--encoding"_s, u"UTF-32LE"_s}
            << encoded("UTF-32LE", u"一\n"_s) + QByteArray("\x00\x00\x11\x00", 4) << u"1\t一\n"_s << u"第 2 行、第 8 字节"_s;
    QTest::newRow("UTF-32BE surrogate") << QStringList{u"--encoding"_s, u"UTF-32BE"_s}
                                        << QByteArray("\x00\x00\xD8\x00", 4) << QString() << u"第 1 行、第 0 字节"_s;
    QTest::newRow("UTF-16LE odd byte") << QStringList{u"--encoding"_s, u"UTF-16LE"_s}
                                       << encoded("UTF-16LE", u"一\n"_s) + "a" << u"1\t一\n"_s << u"第 2 行、第 4 字节"_s;
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

// Every name the converters take for UTF-16 or UTF-32 splits lines in
// code units of its own width and byte order.
void TestCount::encodingNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("writtenIn");
    for (const char *name : {"UCS-2", "ucs2", "unicode", "csUnicode", "ISO-10646-UCS-2"})
        QTest::newRow(name) << QString::fromLatin1(name) << QByteArray("UTF-16BE");
    QTest::newRow("UTF16_PlatformEndian") << u"UTF16_PlatformEndian"_s << QByteArray("UTF-16LE");
    QTest::newRow("UTF32_LittleEndian") << u"UTF32_LittleEndian"_s << QByteArray("UTF-32LE");
    QTest::newRow("trailing space") << u"UTF-16LE "_s << QByteArray("UTF-16LE");
    QTest::newRow("utf32be") << u"utf32be"_s << QByteArray("UTF-32BE");
}

void TestCount::encodingNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, writtenIn);
    const Run result = run({u"--encoding"_s, name}, encoded(writtenIn.constData(), u"上下\n上\n"_s));
    QCOMPARE(QString::fromUtf8(result.err), QString());
    QCOMPARE(QString::fromUtf8(result.out), u"6\t上下\n3\t上\n"_s);
    QCOMPARE(result.status, statusDone);
}

// Bytes that are not UTF-8 in a TEXT, which only a shell can pass on.
void TestCount::invalidArgument_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("said");
    QTest::newRow("byte never valid") << uR"($'\xff\xe6\xb1\x89')"_s << QString() << u"第 1 个参数的第 1 行、第 0 字节"_s;
    QTest::newRow("sequence cut short") << uR"(一 $'\xe4\xb8\x80\xe6\xb1')"_s << u"1\t一\n"_s
                                        << u"第 2 个参数的第 1 行、第 3 字节"_s;
}

void TestCount::invalidArgument()
{
    QFETCH(QString, words);
    QFETCH(QString, out);
    QFETCH(QString, said);
    QProcess shell;
    shell.start(u"bash"_s, {u"-c"_s, u"\"$0\" "_s + words, QStringLiteral(TARVELO_COUNT_PROGRAM)});
    QVERIFY(shell.waitForFinished(runTimeoutMs));
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), out);
    const QString err = QString::fromUtf8(shell.readAllStandardError());
    QVERIFY2(err.contains(said), qPrintable(err));
    QCOMPARE(shell.exitCode(), statusFailed);
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
    // Worded here, never in Qt's English.
    QTest::newRow("empty file name") << QStringList{u"-f"_s, QString()} << u"不能是空的"_s;
    QTest::newRow("empty database path") << QStringList{u"--database"_s, QString(), u"汉"_s} << u"不能是空的"_s;
    QTest::newRow("folder for a file") << QStringList{u"-f"_s, u"/"_s} << u"是文件夹"_s;
    QTest::newRow("value missing in a cluster") << QStringList{u"-ef"_s} << u"“-ef”后面缺少 FILE"_s;
    QTest::newRow("value given to a switch") << QStringList{u"--each=yes"_s, u"汉"_s} << u"“--each”不带值"_s;
    QTest::newRow("help with Qt's options") << QStringList{u"--help-all"_s} << u"不认识选项“--help-all”"_s;
    // A file the user named is theirs to mend: no advice to reinstall.
    QTest::newRow("named database missing") << QStringList{u"--database"_s, u"/nonexistent/Refcom.dll"_s, u"汉"_s}
                                            << u"”。请检查 --database 给的路径。"_s;
    QTest::newRow("no sequences beside a named database")
            << QStringList{u"--database"_s, u"ODD"_s, u"-e"_s, u"--sequence"_s, u"汉"_s}
            << u"”。它在 --database 给的笔画数据库旁边"_s;
}

void TestCount::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    arguments.replaceInStrings(u"ODD"_s, m_oddDatabase);
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
                                         u"葛\U000E0100城"_s, u"Tarvelo 2013"_s, u"中文，日本語かな"_s,
                                         u"\u2F45正\uF900\U0002F800"_s};
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
        for (const QString &character : Character::split(text)) {
            bool unknown = false;
            const auto report = [&unknown](const QString &) { unknown = true; };
            total += StrokeLookup::GetNumber(conn, rs, character, report);
            // A compatibility form without a row counts as the character
            // it stands for.
            const QString standsFor = character.normalized(QString::NormalizationForm_KC);
            if (unknown && standsFor != character && standsFor.toUcs4().size() == 1)
                total += StrokeLookup::GetNumber(conn, rs, standsFor, [](const QString &) {});
        }
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
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("arguments");
    const QStringList text{u"汉"_s};
    QTest::newRow("missing") << u"missing"_s << QString() << text;
    // A text's few lookups read only the pages they need; a file's count
    // reads every page, and damage anywhere stops it.
    QTest::newRow("damaged where a lookup reads") << u"root"_s << QString() << text;
    QTest::newRow("damaged, counting a file") << u"middle"_s << QString() << QStringList{u"-f"_s, u"INPUT"_s};
    QTest::newRow("without the common list") << QString() << u"DROP TABLE common"_s
                                             << QStringList{u"--common"_s, u"汉"_s};
    QTest::newRow("stroke table a view that never ends")
            << QString()
            << u"DROP TABLE a; CREATE VIEW a (汉字, 笔画数) AS WITH RECURSIVE n(i) AS "
               "(SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT '汉', i FROM n"_s
            << text;
    QTest::newRow("a view beside the tables") << QString() << u"CREATE VIEW b AS SELECT * FROM a"_s << text;
}

void TestCount::badDatabase()
{
    QFETCH(QString, damage);
    QFETCH(QString, sql);
    QFETCH(QStringList, arguments);
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".dll"_s);
    const QString input = m_dir.filePath(u"text.txt"_s);
    QFile text(input);
    QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
    text.write(u"汉\n"_s.toUtf8());
    text.close();
    arguments.replaceInStrings(u"INPUT"_s, input);
    if (damage != u"missing"_s)
        QVERIFY(QFile::copy(realDatabase(), path));
    if (!sql.isEmpty()) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        const QByteArray key = StrokeDb::password.toString().toUtf8();
        sqlite3_exec(db, ("PRAGMA key = '" + key + "'; PRAGMA kdf_iter = "
                          + QByteArray::number(StrokeDb::kdfIterations) + "; PRAGMA cipher_page_size = "
                          + QByteArray::number(StrokeDb::pageSize) + "; " + sql.toUtf8())
                                 .constData(),
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    } else if (damage == u"root"_s || damage == u"middle"_s) {
        // Every lookup passes the stroke table's root page.
        qint64 rootPage = 0;
        {
            data::Connection conn;
            conn.Open(StrokeLookup::connectionStringForFile(path));
            data::Recordset rs;
            rs.Open(u"select rootpage from sqlite_master where name = 'a'"_s, conn, data::adLockReadOnly);
            rootPage = rs.Fields(0).Value.toLongLong();
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 at = damage == u"root"_s ? (rootPage - 1) * StrokeDb::pageSize + StrokeDb::pageSize / 2
                                              : file.size() / 2;
        file.seek(at);
        const char byte = file.read(1).at(0);
        file.seek(at);
        file.write(QByteArray(1, char(byte ^ 1)));
    }

    // The window's own words for the same file.
    QString message;
    try {
        data::Connection conn;
        StrokeLookup::openDatabaseFile(conn, path);
    } catch (const RuntimeError &error) {
        message = error.description();
    }
    if (arguments.contains(u"--common"_s)) {
        QVERIFY(message.isEmpty());
        message = path;
    }
    QVERIFY(!message.isEmpty());

    const Run result = run(QStringList{u"--database"_s, path} + arguments);
    QCOMPARE(result.status, statusFailed);
    QVERIFY(result.out.isEmpty());
    const QString err = QString::fromUtf8(result.err);
    QVERIFY2(err.startsWith(u"tarvelo-count: "_s) && err.contains(message), qPrintable(err));
    // The user named this file: reinstalling would not mend it.
    QVERIFY2(!err.contains(u"重新安装"_s), qPrintable(err));
}

// Counts that no character has would put every character in code point
// order, or one before all others, and pass for stroke order.
void TestCount::tableWithoutCounts_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QList<StrokeRow>>("rows");
    QTest::newRow("count, no rows") << QStringLiteral(TARVELO_COUNT_PROGRAM) << QList<StrokeRow>();
    QTest::newRow("sort, a count of 0")
            << QStringLiteral(TARVELO_SORT_PROGRAM) << QList<StrokeRow>{{u"丁"_s, 0}, {u"王"_s, 4}};
}

void TestCount::tableWithoutCounts()
{
    QFETCH(QString, program);
    QFETCH(QList<StrokeRow>, rows);
    const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + u"/Refcom.dll"_s;
    writeStrokeDatabase(path, rows);
    QFile sequences(folder + u"/Refcom-sequences.txt"_s);
    QVERIFY(sequences.open(QIODevice::WriteOnly));
    sequences.write(QByteArray(StrokeSequences::entriesComment.data()) + "0\n");
    sequences.close();
    const QString input = folder + u"/names.txt"_s;
    QFile names(input);
    QVERIFY(names.open(QIODevice::WriteOnly));
    names.write(u"王五\n丁一\n"_s.toUtf8());
    names.close();
    const QStringList file = program.endsWith(u"tarvelo-count"_s) ? QStringList{u"-f"_s, input} : QStringList{input};
    const Run result = run(QStringList{u"--database"_s, path} + file, {}, program);
    QCOMPARE(result.status, statusFailed);
    QVERIFY(result.out.isEmpty());
    const QString err = QString::fromUtf8(result.err);
    QVERIFY2(err.contains(StrokeLookup::describe(data::Error(data::ErrorKind::Corrupt), path)), qPrintable(err));
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

// Lines longer than the output's block go around its buffer; a failed
// write of one must end the run as any other does.
void TestCount::endlessInputEndsOnFailedWrite_data()
{
    QTest::addColumn<QString>("into");
    QTest::addColumn<QString>("ending");
    QTest::newRow("closed pipe") << u"| head -c 10 >/dev/null"_s << u"status 0\n"_s;
    QTest::newRow("full disk") << u">/dev/full"_s << u"status 2\n"_s;
}

void TestCount::endlessInputEndsOnFailedWrite()
{
    QFETCH(QString, into);
    QFETCH(QString, ending);
    const QString path = m_dir.filePath(u"long-line.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write((QString(longLineCharacters, u'汉') + u'\n').toUtf8());
    file.close();
    QProcess shell;
    // timeout ends a program that would run on, and with it the input.
    shell.start(u"bash"_s, {u"-c"_s,
                            u"while cat \"$1\"; do :; done | timeout %1 \"$0\" "_s.arg(endlessTimeoutMs / 2000) + into
                                    + u"; echo \"status ${PIPESTATUS[1]}\""_s,
                            QStringLiteral(TARVELO_COUNT_PROGRAM), path});
    const bool ended = shell.waitForFinished(endlessTimeoutMs);
    if (!ended)
        shell.kill();
    QVERIFY(ended);
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), ending);
}

// Started with a standard stream closed or its disk full: a count never
// lands anywhere else, and a lost result is an error that says why.
void TestCount::standardStreamsGone_data()
{
    QTest::addColumn<QString>("redirection");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("status");
    const QString full = u"设备上没有空间了"_s;
    QTest::newRow("help into a full disk") << u">/dev/full"_s << QStringList{u"--help"_s} << QString() << full
                                           << statusFailed;
    QTest::newRow("version into a full disk") << u">/dev/full"_s << QStringList{u"--version"_s} << QString()
                                              << full << statusFailed;
    QTest::newRow("counts into a full disk") << u">/dev/full"_s << QStringList{u"汉字"_s} << QString() << full
                                             << statusFailed;
    const QString closed = u"文件描述符没有打开"_s;
    QTest::newRow("output closed") << u">&-"_s << QStringList{u"汉字"_s} << QString() << u"写不出结果："_s + closed
                                   << statusFailed;
    QTest::newRow("input closed") << u"<&-"_s << QStringList() << QString() << u"读不了“标准输入”："_s + closed
                                  << statusFailed;
    QTest::newRow("error stream closed") << u"2>&-"_s << QStringList{u"--strict"_s, u"汉a"_s} << u"5\t汉a\n"_s
                                         << QString() << statusUnknown;
}

void TestCount::standardStreamsGone()
{
    QFETCH(QString, redirection);
    QFETCH(QStringList, arguments);
    QFETCH(QString, out);
    QFETCH(QString, said);
    QFETCH(int, status);
    // The shell's own streams carry what the program left on them; its
    // status comes last on standard output.
    QProcess shell;
    shell.start(u"sh"_s, QStringList{u"-c"_s, u"\"$0\" \"$@\" "_s + redirection + u"; echo \"status $?\""_s,
                                     QStringLiteral(TARVELO_COUNT_PROGRAM)}
                                 + arguments);
    QVERIFY(shell.waitForFinished(runTimeoutMs));
    const QString err = QString::fromUtf8(shell.readAllStandardError());
    QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), out + u"status %1\n"_s.arg(status));
    QVERIFY2(said.isEmpty() ? err.isEmpty() : err.startsWith(u"tarvelo-count: "_s) && err.contains(said),
             qPrintable(err));
}

// At a terminal (script(1) gives one), a typed line's total shows while
// the input is still open.
void TestCount::terminalGetsEachLineAtOnce()
{
    QProcess terminal;
    terminal.start(u"script"_s, {u"-qec"_s, QStringLiteral(TARVELO_COUNT_PROGRAM), u"/dev/null"_s});
    QVERIFY(terminal.waitForStarted());
    terminal.write(u"汉字\n"_s.toUtf8());
    QByteArray shown;
    const QByteArray expected = u"11\t汉字"_s.toUtf8();
    QDeadlineTimer deadline(lineShownTimeoutMs);
    while (!shown.contains(expected) && terminal.waitForReadyRead(int(deadline.remainingTime())))
        shown += terminal.readAllStandardOutput();
    terminal.write("\x04");
    terminal.closeWriteChannel();
    QVERIFY(terminal.waitForFinished(runTimeoutMs));
    QVERIFY2(shown.contains(expected), shown.constData());
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

// The reports and totals on UTF-8, read from its bytes, are those on the
// same text decoded from another encoding, and the totals those counted
// without reports.
void TestCount::strictReportsAlikeInEveryEncoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("selectors after a space, at the start, in a row")
            << u"\uFE00a\uFE00\uFE01 \uFE00b\n\U000E0100\n"_s;
    QTest::newRow("controls, overrides, planes") << u"\x1b[2J\u202E\u00AD汉\U00020BB7z\U0001F600\n\u3000x\r\n"_s;
    QTest::newRow("counted among letters") << u"\uFE00汉a字\uFE00b〇 \U00020BB7\nab\u2F45\uFE00\n"_s;
}

void TestCount::strictReportsAlikeInEveryEncoding()
{
    QFETCH(QString, text);
    const Run utf8 = run({u"--strict"_s}, text.toUtf8());
    QCOMPARE(utf8.status, statusUnknown);
    QCOMPARE(utf8.out, run({}, text.toUtf8()).out);
    for (const char *encoding : {"UTF-16LE", "GB18030"}) {
        const Run other = run({u"--strict"_s, u"--encoding"_s, QString::fromLatin1(encoding)}, encoded(encoding, text));
        QCOMPARE(other.err, utf8.err);
        QCOMPARE(other.out, utf8.out);
        QCOMPARE(other.status, utf8.status);
    }
}

// One line of 20 MB in every mode and in a converter's encoding: memory
// stays within twice the line and the bound for everything else, also
// where each of its characters has a report.
void TestCount::longLineInBoundedMemory_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QChar>("character");
    QTest::addColumn<int>("status");
    QTest::newRow("totals") << QStringList() << QByteArray("UTF-8") << QChar(u'汉') << statusDone;
    QTest::newRow("each") << QStringList{u"--each"_s} << QByteArray("UTF-8") << QChar(u'汉') << statusDone;
    QTest::newRow("json") << QStringList{u"--json"_s} << QByteArray("UTF-8") << QChar(u'汉') << statusDone;
    QTest::newRow("strict") << QStringList{u"--strict"_s} << QByteArray("UTF-8") << QChar(u'汉') << statusDone;
    QTest::newRow("strict, all reported") << QStringList{u"--strict"_s} << QByteArray("UTF-8") << QChar(u'a')
                                          << statusUnknown;
    QTest::newRow("strict, all reported, UTF-16LE")
            << QStringList{u"--strict"_s, u"--encoding"_s, u"UTF-16LE"_s} << QByteArray("UTF-16LE") << QChar(u'a')
            << statusUnknown;
    QTest::newRow("a field") << QStringList{u"-k"_s, u"1"_s} << QByteArray("UTF-8") << QChar(u'汉') << statusDone;
    QTest::newRow("parts") << QStringList{u"--parts"_s} << QByteArray("UTF-8") << QChar(u'a') << statusDone;
    QTest::newRow("a field, parts and reports") << QStringList{u"-k"_s, u"1"_s, u"--parts"_s, u"--strict"_s}
                                                << QByteArray("UTF-8") << QChar(u'a') << statusUnknown;
    QTest::newRow("a field with parts, GB18030 out")
            << QStringList{u"-k"_s, u"1"_s, u"--parts"_s, u"--encoding"_s, u"GB18030"_s} << QByteArray("GB18030")
            << QChar(u'汉') << statusDone;
    QTest::newRow("json, GB18030") << QStringList{u"--json"_s, u"--encoding"_s, u"GB18030"_s}
                                   << QByteArray("GB18030") << QChar(u'汉') << statusDone;
    QTest::newRow("each, UTF-16LE") << QStringList{u"--each"_s, u"--encoding"_s, u"UTF-16LE"_s}
                                    << QByteArray("UTF-16LE") << QChar(u'汉') << statusDone;
}

void TestCount::longLineInBoundedMemory()
{
#ifdef TARVELO_SANITIZED
    QSKIP("the sanitizers' shadow memory is no part of the program's own");
#endif
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, encoding);
    QFETCH(QChar, character);
    QFETCH(int, status);
    const QString path = m_dir.filePath(u"huge-line.txt"_s);
    const QString peakPath = m_dir.filePath(u"huge-line-peak.txt"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QByteArray line = encoded(encoding.constData(), QString(hugeLineCharacters, character) + u'\n');
    file.write(line);
    file.close();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(u"/usr/bin/time"_s, QStringList{u"-o"_s, peakPath, u"-f"_s, u"%M"_s,
                                                  QStringLiteral(TARVELO_COUNT_PROGRAM), u"-f"_s, path}
                          + arguments);
    QVERIFY(process.waitForFinished(runTimeoutMs));
    QCOMPARE(process.exitCode(), status);
    QFile peak(peakPath);
    QVERIFY(peak.open(QIODevice::ReadOnly));
    // After the words on a status other than 0.
    const qint64 peakKiB = peak.readAll().trimmed().split('\n').last().toLongLong();
    const qint64 limitKiB = 2 * line.size() / 1024 + peakRssLimitKiB;
    QVERIFY2(peakKiB > 0 && peakKiB <= limitKiB, qPrintable(u"%1 KiB of %2"_s.arg(peakKiB).arg(limitKiB)));
}

// A line that never ends, under a cap on the address space.
void TestCount::outOfMemoryIsAMessage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("totals") << QStringList();
    QTest::newRow("json") << QStringList{u"--json"_s};
    QTest::newRow("GB18030") << QStringList{u"--encoding"_s, u"GB18030"_s};
}

void TestCount::outOfMemoryIsAMessage()
{
#ifdef TARVELO_SANITIZED
    QSKIP("the sanitizers reserve more address space than the cap");
#endif
    QFETCH(QStringList, arguments);
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit cap{addressSpaceCap, addressSpaceCap};
        setrlimit(RLIMIT_AS, &cap);
    });
    process.start(QStringLiteral(TARVELO_COUNT_PROGRAM), arguments + QStringList{u"-f"_s, u"/dev/zero"_s});
    QVERIFY(process.waitForFinished(runTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), statusFailed);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.startsWith(u"tarvelo-count: /dev/zero: "_s) && err.contains(u"内存"_s), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestCount)
#include "tst_count.moc"
