// SPDX-License-Identifier: MIT
// The line reader as a tool that writes lines back would use it: each
// line's bytes and line end exactly as in the stream, and its characters.
#include "linereader.h"

#include <QBuffer>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLineReader : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
};

namespace {

QByteArray encoded(const char *encoding, const QString &text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

} // namespace

void TestLineReader::lines_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("mark");
    // Each line's text and its end, as the stream's bytes are.
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("ends");

    QTest::newRow("UTF-8: CRLF, LF, a last CR") << u"汉\r\n\n𠮷\r"_s.toUtf8() << QByteArray() << QByteArray()
                                             << QStringList{u"汉"_s, QString(), u"𠮷"_s}
                                             << QStringList{u"\r\n"_s, u"\n"_s, u"\r"_s};
    QTest::newRow("UTF-16LE by its mark, no last end")
            << "\xFF\xFE" + encoded("UTF-16LE", u"一\r\n二"_s) << QByteArray() << QByteArray("\xFF\xFE")
            << QStringList{u"一"_s, u"二"_s} << QStringList{u"\r\n"_s, QString()};
    QTest::newRow("UTF-32BE by its mark") << QByteArray("\0\0\xFE\xFF", 4) + encoded("UTF-32BE", u"𠮷\n"_s)
                                          << QByteArray() << QByteArray("\0\0\xFE\xFF", 4) << QStringList{u"𠮷"_s}
                                          << QStringList{u"\n"_s};
    QTest::newRow("GB18030 named") << encoded("GB18030", u"汉𠮷\r\n字\n"_s) << QByteArray("GB18030") << QByteArray()
                                   << QStringList{u"汉𠮷"_s, u"字"_s} << QStringList{u"\r\n"_s, u"\n"_s};
}

void TestLineReader::lines()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, mark);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, ends);
    QBuffer device(&input);
    QVERIFY(device.open(QIODevice::ReadOnly));
    CommandLine::LineReader reader(device, encoding);
    QByteArray rebuilt;
    QStringList readTexts;
    QStringList readEnds;
    std::u32string codePoints;
    while (reader.next()) {
        QVERIFY(reader.codePoints(&codePoints));
        readTexts.append(QString::fromUcs4(codePoints.data(), qsizetype(codePoints.size())));
        const QByteArray end = reader.lineEnd().toByteArray();
        readEnds.append(QStringDecoder(reader.encoding().name.constData()).decode(end));
        rebuilt += reader.bytes().toByteArray() + end;
    }
    QCOMPARE(reader.error(), CommandLine::LineReader::Error::None);
    QCOMPARE(reader.byteOrderMark().toByteArray(), mark);
    QCOMPARE(readTexts, texts);
    QCOMPARE(readEnds, ends);
    QCOMPARE(mark + rebuilt, input);
}

QTEST_GUILESS_MAIN(TestLineReader)
#include "tst_linereader.moc"
