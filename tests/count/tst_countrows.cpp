// SPDX-License-Identifier: MIT
// tarvelo-count keeping each row: delimited fields, the counts appended,
// and the output in the encoding the input came in or the user chose.
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int runTimeoutMs = 60'000;
constexpr int statusDone = 0, statusUnknown = 1, statusFailed = 2;

QByteArray encoded(const char *encoding, const QString &text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

QByteArray dataFile(const QString &name)
{
    QFile file(QStringLiteral(TARVELO_COUNT_TEST_DATA "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A line of over 1 MiB in GB18030.
constexpr qsizetype longRowCharacters = 600'000;

} // namespace

class TestCountRows : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
};

void TestCountRows::rows_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("errHolds");
    QTest::addColumn<int>("status");

    QTest::newRow("GBK CSV kept byte for byte, one column richer")
            << QStringList{u"--encoding"_s, u"GBK"_s, u"-t"_s, u","_s, u"-k"_s, u"1"_s, u"--header"_s, u"--parts"_s}
            << dataFile(u"staff.csv"_s) << dataFile(u"staff-counted.csv"_s) << QString() << statusDone;
    QTest::newRow("quoted field with the separator, into UTF-8")
            << QStringList{u"--encoding"_s, u"GBK"_s, u"-t"_s, u","_s, u"-k"_s, u"2"_s, u"--output-encoding"_s,
                           u"UTF-8"_s}
            << encoded("GBK", u"王伟,\"后,勤\"\r\n"_s) << u"王伟,\"后,勤\",19\r\n"_s.toUtf8() << QString()
            << statusDone;
    QTest::newRow("parts quoted where they hold the separator")
            << QStringList{u"-t"_s, u"+"_s, u"-k"_s, u"1"_s, u"--parts"_s} << u"王伟+x\n王a"_s.toUtf8()
            << u"王伟+x+10+\"4+6\"\n王a+4+\"4+-\"\n"_s.toUtf8() << QString() << statusDone;
    QTest::newRow("parts without a field, each line's own end")
            << QStringList{u"--parts"_s} << u"王伟\r\n\n"_s.toUtf8() << u"10\t王伟\t4+6\r\n0\t\t\n"_s.toUtf8()
            << QString() << statusDone;
    QTest::newRow("blank-separated field, header named")
            << QStringList{u"-k"_s, u"2"_s, u"--header"_s} << u"id 名\n7  王伟\n"_s.toUtf8()
            << u"id 名\t笔画\n7  王伟\t10\n"_s.toUtf8() << QString() << statusDone;
    QTest::newRow("strict points into the line, past a record's line break")
            << QStringList{u"-t"_s, u","_s, u"-k"_s, u"2"_s, u"--strict"_s} << u"\"多\n行\",王x\n"_s.toUtf8()
            << u"\"多\n行\",王x,4\n"_s.toUtf8() << u"tarvelo-count: -:2:5: "_s << statusUnknown;
    QTest::newRow("field before a record's line break, counted past it")
            << QStringList{u"-t"_s, u","_s, u"-k"_s, u"1"_s, u"--parts"_s} << u"王x,\"a\nb\"\n"_s.toUtf8()
            << u"王x,\"a\nb\",4,4+-\n"_s.toUtf8() << QString() << statusDone;
    QTest::newRow("byte-order mark") << QStringList{u"--bom"_s, u"汉"_s} << QByteArray()
                                     << "\xEF\xBB\xBF" + u"5\t汉\n"_s.toUtf8() << QString() << statusDone;
    QTest::newRow("input's byte-order mark kept")
            << QStringList{u"--parts"_s} << "\xFF\xFE" + encoded("UTF-16LE", u"汉\r\n"_s)
            << "\xFF\xFE" + encoded("UTF-16LE", u"5\t汉\t5\r\n"_s) << QString() << statusDone;
    QTest::newRow("UTF-16LE CSV with its mark kept, a pair of surrogates counted once")
            << QStringList{u"-t"_s, u","_s, u"-k"_s, u"1"_s, u"--header"_s}
            << "\xFF\xFE" + encoded("UTF-16LE", u"姓名,部门\r\n王伟,\"后,勤\"\r\n李𠮷,x\r\n"_s)
            << "\xFF\xFE" + encoded("UTF-16LE", u"姓名,部门,笔画\r\n王伟,\"后,勤\",10\r\n李𠮷,x,13\r\n"_s)
            << QString() << statusDone;
    QTest::newRow("unencodable character named, nothing put in its place")
            << QStringList{u"--output-encoding"_s, u"GBK"_s, u"-f"_s, u"-"_s} << u"汉\n一𠮷\n"_s.toUtf8()
            << encoded("GBK", u"5\t汉\n"_s) << u"- 第 2 行：输出编码 GBK 里没有字符“𠮷”（U+20BB7）"_s << statusFailed;
    // From 1 MiB on, a line is read as UTF-8 and written through the
    // output's encoder in pieces.
    const QString longName(longRowCharacters, u'汉');
    QStringList fives(longRowCharacters, u"5"_s);
    QTest::newRow("long GB18030 row kept in its encoding")
            << QStringList{u"--encoding"_s, u"GB18030"_s, u"-t"_s, u","_s, u"-k"_s, u"1"_s, u"--parts"_s}
            << encoded("GB18030", longName + u",王\r\n"_s)
            << encoded("GB18030", longName + u",王,%1,%2\r\n"_s.arg(5 * longRowCharacters).arg(fives.join(u'+')))
            << QString() << statusDone;
    QTest::newRow("long row with an unencodable character, nothing of it written")
            << QStringList{u"--encoding"_s, u"GB18030"_s, u"-t"_s, u","_s, u"-k"_s, u"2"_s, u"--output-encoding"_s,
                           u"GB2312"_s}
            << encoded("GB18030", u"李,一\n"_s + longName + u"𠮷\n"_s) << encoded("GB2312", u"李,一,1\n"_s)
            << u"第 2 行：输出编码 GB2312 里没有字符“𠮷”（U+20BB7）"_s << statusFailed;
    QTest::newRow("strict names the line of a quoted field that a character stands on")
            << QStringList{u"-t"_s, u","_s, u"-k"_s, u"1"_s, u"--strict"_s} << u"\"王\nx\",1\n"_s.toUtf8()
            << u"\"王\nx\",1,4\n"_s.toUtf8() << u"tarvelo-count: -:2:1: “x”"_s << statusUnknown;
    QTest::newRow("quote that never closes")
            << QStringList{u"-t"_s, u","_s, u"-k"_s, u"2"_s} << u"1,\"王五\n2,丁一\n"_s.toUtf8() << QByteArray()
            << u"tarvelo-count: 标准输入:1: 第 1 行的引号"_s << statusFailed;
    QTest::newRow("UCS-2 kept big-endian as read, without marks")
            << QStringList{u"--encoding"_s, u"UCS-2"_s, u"--parts"_s} << encoded("UTF-16BE", u"王\n丁\n"_s)
            << encoded("UTF-16BE", u"4\t王\t4\n2\t丁\t2\n"_s) << QString() << statusDone;
    QTest::newRow("encoding whose lines depend on those before refused")
            << QStringList{u"--encoding"_s, u"SCSU"_s, u"-f"_s, u"-"_s} << QByteArray("x\n") << QByteArray()
            << u"编码“SCSU”不能一行一行地读"_s << statusFailed;
    QTest::newRow("--bom is UTF-8 only") << QStringList{u"--bom"_s, u"--output-encoding"_s, u"GBK"_s, u"汉"_s}
                                         << QByteArray() << QByteArray() << u"--bom 只用于 UTF-8 输出"_s
                                         << statusFailed;
}

void TestCountRows::rows()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, out);
    QFETCH(QString, errHolds);
    QFETCH(int, status);
    QVERIFY(!input.isEmpty() || !arguments.contains(u"-f"_s));
    QProcess process;
    process.start(QStringLiteral(TARVELO_COUNT_PROGRAM), arguments);
    process.write(input);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(runTimeoutMs));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(errHolds.isEmpty() ? err.isEmpty() : err.contains(errHolds), qPrintable(err));
    QCOMPARE(process.readAllStandardOutput(), out);
    QCOMPARE(process.exitCode(), status);
}

QTEST_GUILESS_MAIN(TestCountRows)
#include "tst_countrows.moc"
