// SPDX-License-Identifier: MIT
// The sort's reading, fields and order, by code point so that no database
// is needed; and the delimited records it shares with tarvelo-count.
#include "delimited.h"
#include "ranking.h"
#include "sorter.h"

#include <QBuffer>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Records = QList<QStringList>;

QByteArray encoded(const char *encoding, const QString &text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

Sort::Settings settings(const QByteArray &encoding, int field, char32_t separator, const QString &flags)
{
    Sort::Settings result;
    result.encoding = encoding;
    result.field = field - 1;
    result.separator = separator;
    result.header = flags.contains(u'h');
    result.reverse = flags.contains(u'r');
    result.printKeys = flags.contains(u'k');
    return result;
}

} // namespace

class TestSorter : public QObject
{
    Q_OBJECT

private slots:
    void sorts_data();
    void sorts();
    void refusesInvalidBytes_data();
    void refusesInvalidBytes();
    void parsesDelimited_data();
    void parsesDelimited();
    void quotesOnlyWhatNeedsIt();
};

void TestSorter::sorts_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<int>("field");
    QTest::addColumn<char32_t>("separator");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("stable; a moved last line gets the file's CRLF")
            << QByteArray() << 1 << U',' << QString() << QByteArray("b,1\r\na,2\r\na,3")
            << QByteArray("a,2\r\na,3\r\nb,1\r\n");
    QTest::newRow("a last line cut after its CR") << QByteArray() << 0 << U'\0' << QString()
                                                  << QByteArray("b\r\na\r") << QByteArray("a\r\nb\r\n");
    QTest::newRow("reversed, equal keys still in input order")
            << QByteArray() << 1 << U',' << u"r"_s << QByteArray("a,1\nb,2\na,3\n") << QByteArray("b,2\na,1\na,3\n");
    QTest::newRow("header, and a quoted field over two lines")
            << QByteArray() << 2 << U',' << u"h"_s << QByteArray("id,name\n1,\"z\n, \"\"q\"\"\"\n2,y\n")
            << QByteArray("id,name\n2,y\n1,\"z\n, \"\"q\"\"\"\n");
    QTest::newRow("quotes are plain text outside CSV")
            << QByteArray() << 2 << U'\t' << QString() << QByteArray("1\t\"b\n2\ta\"\n")
            << QByteArray("1\t\"b\n2\ta\"\n");
    QTest::newRow("fewer fields: empty key, first, kept")
            << QByteArray() << 2 << U',' << QString() << QByteArray("a,b\nc\n") << QByteArray("c\na,b\n");
    QTest::newRow("blank-separated fields") << QByteArray() << 2 << U'\0' << QString()
                                            << QByteArray("x  b\n y a\n") << QByteArray(" y a\nx  b\n");
    QTest::newRow("GBK with CRLF keeps its bytes")
            << QByteArray("GBK") << 2 << U',' << QString() << encoded("GBK", u"1,乙\r\n2,一\r\n"_s)
            << encoded("GBK", u"2,一\r\n1,乙\r\n"_s);
    QTest::newRow("UTF-16LE by its mark, the mark kept first")
            << QByteArray() << 0 << U'\0' << QString() << "\xFF\xFE" + encoded("UTF-16LE", u"乙\n一"_s)
            << "\xFF\xFE" + encoded("UTF-16LE", u"一\n乙\n"_s);
    QTest::newRow("keys, none for the header")
            << QByteArray() << 0 << U'\0' << u"hk"_s << QByteArray("h\nb\na\n")
            << QByteArray("\th\nK000062\ta\nK000063\tb\n");
    QTest::newRow("keys in UTF-16BE") << QByteArray("UTF-16BE") << 0 << U'\0' << u"k"_s
                                      << encoded("UTF-16BE", u"a"_s) << encoded("UTF-16BE", u"K000062\ta"_s);
    QTest::newRow("a prefix first") << QByteArray() << 0 << U'\0' << QString() << QByteArray("ab\na\n\n")
                                    << QByteArray("\na\nab\n");
}

void TestSorter::sorts()
{
    QFETCH(QByteArray, encoding);
    QFETCH(int, field);
    QFETCH(char32_t, separator);
    QFETCH(QString, flags);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);

    const Sort::CodePointRanking ranking;
    Sort::Sorter sorter(ranking, settings(encoding, field, separator, flags));
    QBuffer device(&input);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QVERIFY2(sorter.addInput(device, u"in"_s), qPrintable(sorter.error()));
    sorter.sort();
    QByteArray written;
    QVERIFY(sorter.write([&written](const char *bytes, std::size_t size) {
        written.append(bytes, qsizetype(size));
        return true;
    }));
    QCOMPARE(written, output);
}

void TestSorter::refusesInvalidBytes_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("offset");

    QTest::newRow("UTF-8 after a byte-order mark") << QByteArray() << QByteArray("\xEF\xBB\xBFok\n\xFF\n")
                                                   << u"第 2 行、第 6 字节"_s;
    QTest::newRow("GBK in the second line") << QByteArray("GBK") << QByteArray("a\r\nb\x81\x20\r\n")
                                            << u"第 2 行、第 4 字节"_s;
    QTest::newRow("UTF-16LE cut mid-unit") << QByteArray("UTF-16LE") << QByteArray("a\0b", 3) << u"第 1 行、第 2 字节"_s;
    QTest::newRow("a quote never closed") << QByteArray() << QByteArray("a,1\n\"b,2\nc,3\n") << u"第 2 行"_s;
}

void TestSorter::refusesInvalidBytes()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, input);
    QFETCH(QString, offset);

    const Sort::CodePointRanking ranking;
    Sort::Sorter sorter(ranking, settings(encoding, 1, U',', QString()));
    QBuffer device(&input);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QVERIFY(!sorter.addInput(device, u"names.csv"_s));
    QVERIFY2(sorter.error().startsWith(u"names.csv:"_s) && sorter.error().contains(offset), qPrintable(sorter.error()));
}

void TestSorter::parsesDelimited_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<Records>("records");

    QTest::newRow("plain, CRLF, no end") << u"a,b\r\nc"_s << QChar(u',') << Records{{u"a"_s, u"b"_s}, {u"c"_s}};
    QTest::newRow("quoted separator, quotes and line break")
            << u"\"后勤部,食堂\",\"say \"\"hi\"\"\",\"x\r\ny\"\n"_s << QChar(u',')
            << Records{{u"后勤部,食堂"_s, u"say \"hi\""_s, u"x\r\ny"_s}};
    QTest::newRow("empty fields, CR alone, an empty line")
            << u",\r\r\n\t"_s << QChar(u',') << Records{{QString(), QString()}, {QString()}, {u"\t"_s}};
    QTest::newRow("a quote inside a field is text") << u"a\"b\tc"_s << QChar(u'\t')
                                                    << Records{{u"a\"b"_s, u"c"_s}};
}

void TestSorter::parsesDelimited()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(Records, records);
    QCOMPARE(Delimited::parse(text, separator), records);
}

void TestSorter::quotesOnlyWhatNeedsIt()
{
    const QStringList fields{u"王伟"_s, u"后勤部,食堂"_s, u"a\"b"_s, u"x\ny"_s, QString()};
    const QString line = Delimited::joined(fields, u',');
    QCOMPARE(line, u"王伟,\"后勤部,食堂\",\"a\"\"b\",\"x\ny\","_s);
    QCOMPARE(Delimited::parse(line, u','), Records{fields});
}

QTEST_GUILESS_MAIN(TestSorter)
#include "tst_sorter.moc"
