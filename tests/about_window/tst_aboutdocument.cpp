// SPDX-License-Identifier: MIT
#include "rtfreader.h"

#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace {

constexpr int documentParagraphs = 77;
constexpr int indent = 426;

const QColor navy(0, 0, 128);
const QColor blue(0, 0, 255);
const QColor green(0, 128, 0);
const QColor red(255, 0, 0);

QByteArray resource(const QString &name)
{
    QFile file(u":/about/"_s + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList texts(const RtfDocument &document)
{
    QStringList result;
    for (const RtfParagraph &paragraph : document.paragraphs)
        result.append(paragraph.text());
    return result;
}

} // namespace

class AboutDocumentTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!resource(u"about.rtf"_s).isEmpty());
    }

    void documentStructure()
    {
        const RtfDocument document = readRtf(resource(u"about.rtf"_s));
        const QList<RtfParagraph> &p = document.paragraphs;
        QCOMPARE(p.size(), documentParagraphs + 1);

        auto check = [&](int number, Qt::Alignment alignment, int firstLineIndent, const QColor &color) {
            const RtfParagraph &paragraph = p[number - 1];
            const QByteArray where = "paragraph " + QByteArray::number(number);
            QVERIFY2(paragraph.alignment == alignment, where);
            QVERIFY2(paragraph.firstLineIndent == firstLineIndent, where);
            for (const RtfRun &run : paragraph.runs) {
                QVERIFY2(run.color == color, where);
                QVERIFY2(run.fontSize == 18, where);
                QVERIFY2(run.fontName == u"宋体"_s, where);
            }
            QVERIFY2(paragraph.markFontSize == 18, where);
        };

        check(1, Qt::AlignHCenter, 0, navy);
        QCOMPARE(p[0].text(), u"联系方式："_s);
        for (int n = 2; n <= 6; ++n) {
            check(n, Qt::AlignLeft, indent, blue);
            QVERIFY(!p[n - 1].text().isEmpty());
        }
        QVERIFY(p[5].text().contains(u"@tarvelo.example.org"_s));
        for (int n = 7; n <= 8; ++n) {
            QCOMPARE(p[n - 1].text(), QString());
            QCOMPARE(p[n - 1].markColor, green);
        }
        check(9, Qt::AlignHCenter, 0, green);
        QCOMPARE(p[8].text().size(), 6);
        for (int n = 10; n <= 14; ++n)
            check(n, Qt::AlignLeft, indent, green);
        QVERIFY(p[12].text().contains(u"Qt 6"_s));
        QVERIFY(p[13].text().startsWith(u'\t'));
        QCOMPARE(p[14].text(), QString(8, u' '));
        for (int n = 16; n <= 47; ++n)
            QCOMPARE(p[n - 1].text(), QString());
        check(48, Qt::AlignLeft, 0, green);
        QVERIFY(!p[47].text().isEmpty());
        QCOMPARE(p[48].text(), QString());

        const RtfParagraph &closingHeading = p[49];
        QCOMPARE(closingHeading.alignment, Qt::AlignHCenter);
        QCOMPARE(closingHeading.runs.size(), 1);
        QCOMPARE(closingHeading.runs[0].color, red);
        QCOMPARE(closingHeading.markColor, green);

        for (int n = 51; n <= documentParagraphs; ++n)
            check(n, Qt::AlignLeft, indent, green);
        const QString closing = texts(document).mid(50, 27).join(u'\n');
        QVERIFY(closing.contains(u"MIT"_s));
        QVERIFY(closing.contains(u"Permission is hereby granted"_s));
        QVERIFY(closing.contains(u"kTotalStrokes"_s));
        QVERIFY(closing.contains(u"Unicode License v3"_s));
        QVERIFY(!closing.contains(QChar(0xFFFD)));
        QCOMPARE(p[documentParagraphs - 1].markColor, QColor());
        QCOMPARE(p[documentParagraphs].text(), QString());
    }

    void tableDecodesTheDocumentLikeTheCodec()
    {
        if (!QStringDecoder("GB18030").isValid())
            QSKIP("this Qt has no GB18030 codec to compare with");
        const QByteArray rtf = resource(u"about.rtf"_s);
        QCOMPARE(texts(readRtf(rtf, Cp936Decoding::Table)), texts(readRtf(rtf)));
        QCOMPARE(decodeCp936WithTable("\xcb\xce\xcc\xe5" "a\x81"), u"宋体a\uFFFD"_s);
    }

    void filledDocument()
    {
        QTextDocument target;
        fillDocument(target, readRtf(resource(u"about.rtf"_s)));
        QCOMPARE(target.blockCount(), documentParagraphs + 1);
        const QTextBlock first = target.firstBlock();
        QCOMPARE(first.text(), u"联系方式："_s);
        QCOMPARE(first.blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(first.begin().fragment().charFormat().foreground().color(), navy);
        QCOMPARE(first.begin().fragment().charFormat().fontPointSize(), 9.0);
        const QTextBlock second = first.next();
        QCOMPARE(second.blockFormat().textIndent(), indent / 15.0);
        QCOMPARE(second.begin().fragment().charFormat().foreground().color(), blue);
    }

    void features_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("paragraphs");

        QTest::newRow("escaped braces and backslash")
            << QByteArray(R"({\rtf1 a\{b\}c\\d})") << QStringList{u"a{b}c\\d"_s};
        QTest::newRow("unicode with one fallback byte")
            << QByteArray(R"({\rtf1\uc1 x\u27721?y})") << QStringList{u"x汉y"_s};
        QTest::newRow("unicode with two fallback escapes")
            << QByteArray(R"({\rtf1\ansicpg936\uc2 \u23383\'d7\'d6!})") << QStringList{u"字!"_s};
        QTest::newRow("negative unicode parameter")
            << QByteArray(R"({\rtf1\uc0 \u-3})") << QStringList{u"\uFFFD"_s};
        QTest::newRow("uc restored after its group")
            << QByteArray(R"({\rtf1{\uc0 \u65 }\u66 xy})") << QStringList{u"ABy"_s};
        QTest::newRow("tab and paragraphs")
            << QByteArray("{\\rtf1 a\\tab b\\par\r\nc\\\nd}") << QStringList{u"a\tb"_s, u"c"_s, u"d"_s};
        QTest::newRow("ignorable and skipped destinations")
            << QByteArray(R"({\rtf1{\*\generator Writer;}{\info{\title T}}{\stylesheet{\s0 Normal;}}a})")
            << QStringList{u"a"_s};
        QTest::newRow("binary data with braces")
            << QByteArray("{\\rtf1 a{\\*\\blob\\bin3 }}{}b}") << QStringList{u"ab"_s};
        QTest::newRow("code page 936 split by a group")
            << QByteArray(R"({\rtf1\ansicpg936 \'ba{}\'ba\'ba})") << QStringList{u"\uFFFD汉"_s};
        QTest::newRow("text after the document is not read")
            << QByteArray(R"(junk{\rtf1 a}more)") << QStringList{u"a"_s};
    }

    void features()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, paragraphs);
        QCOMPARE(texts(readRtf(rtf)), paragraphs);
    }

    void formatting()
    {
        const RtfDocument document = readRtf(
            R"({\rtf1{\colortbl ;\red1\green2\blue3;}\pard\qr\fi-720\cf1\fs40 a\cf7\fs0 b\par\pard c})");
        QCOMPARE(document.paragraphs.size(), 2);
        const RtfParagraph &first = document.paragraphs[0];
        QCOMPARE(first.alignment, Qt::AlignRight);
        QCOMPARE(first.firstLineIndent, -720);
        QCOMPARE(first.runs.size(), 2);
        QCOMPARE(first.runs[0].color, QColor(1, 2, 3));
        QCOMPARE(first.runs[0].fontSize, 40);
        // A colour missing from the table is automatic, size 0 the default.
        QCOMPARE(first.runs[1].color, QColor());
        QCOMPARE(first.runs[1].fontSize, 24);
        QCOMPARE(document.paragraphs[1].alignment, Qt::AlignLeft);
        QCOMPARE(document.paragraphs[1].firstLineIndent, 0);
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");

        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("not RTF at all") << QByteArray("plain words") << QString();
        QTest::newRow("missing closing braces") << QByteArray(R"({\rtf1{{ab)") << u"ab"_s;
        QTest::newRow("extra closing braces") << QByteArray(R"(}}}{\rtf1 ab}}})") << u"ab"_s;
        QTest::newRow("backslash at the end") << QByteArray("{\\rtf1 ab\\") << u"ab"_s;
        QTest::newRow("hex escape cut short") << QByteArray("{\\rtf1 ab\\'4") << u"ab4"_s;
        QTest::newRow("hex escape with no digits") << QByteArray("{\\rtf1 a\\'zz}") << u"azz"_s;
        QTest::newRow("huge parameters")
            << QByteArray(R"({\rtf1\fs99999999999999999999999\fi-99999999999999\uc99999999999 a\u99999999999999 b})")
            << u"a"_s;
        QTest::newRow("huge binary length") << QByteArray(R"({\rtf1 a\bin99999999999 bc})") << u"a"_s;
        QTest::newRow("negative binary length") << QByteArray(R"({\rtf1 a\bin-5 bc})") << u"abc"_s;
        QTest::newRow("overlong control word")
            << QByteArray("{\\rtf1 a\\" + QByteArray(100000, 'x') + " b}") << u"ab"_s;
        QTest::newRow("deep nesting")
            << QByteArray("{\\rtf1 " + QByteArray(200000, '{') + "a" + QByteArray(200000, '}') + "b}")
            << u"ab"_s;
        QTest::newRow("unclosed deep nesting")
            << QByteArray("{\\rtf1 " + QByteArray(200000, '{') + "a") << u"a"_s;
        QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b}", 11) << u"a\uFFFDb"_s;
        QTest::newRow("lone lead byte at the end") << QByteArray("{\\rtf1\\ansicpg936 a\\'b0}") << u"a\uFFFD"_s;
        QTest::newRow("paragraph separator from unicode")
            << QByteArray(R"({\rtf1\uc0 a\u8233 b})") << u"a\u2028b"_s;
    }

    void malformed()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        const RtfDocument document = readRtf(rtf);
        QVERIFY(!document.paragraphs.isEmpty());
        QCOMPARE(texts(document).join(u'|'), text);
        QTextDocument target;
        fillDocument(target, document);
        QCOMPARE(target.blockCount(), document.paragraphs.size());
    }

    void mutatedDocumentsNeverBreakTheReader()
    {
        const QByteArray original = resource(u"about.rtf"_s);
        QRandomGenerator random(20240613);
        static constexpr char alphabet[] = "{}\\'*0123456789abcdefu- ;\r\n\x80\xff";
        for (int round = 0; round < 300; ++round) {
            QByteArray rtf = original;
            const int edits = 1 + random.bounded(20);
            for (int i = 0; i < edits; ++i) {
                const qsizetype at = random.bounded(rtf.size());
                switch (random.bounded(3)) {
                case 0:
                    rtf[at] = alphabet[random.bounded(int(sizeof alphabet) - 1)];
                    break;
                case 1:
                    rtf.remove(at, random.bounded(40));
                    break;
                default:
                    rtf.insert(at, rtf.mid(random.bounded(rtf.size()), random.bounded(40)));
                    break;
                }
            }
            const RtfDocument document = readRtf(rtf);
            QVERIFY(!document.paragraphs.isEmpty());
            QTextDocument target;
            fillDocument(target, document);
            QCOMPARE(target.blockCount(), document.paragraphs.size());
        }
    }

    void picture()
    {
        const QByteArray gif = resource(u"about.gif"_s);
        QVERIFY(gif.size() > 13 + 48);
        QCOMPARE(gif.left(6), QByteArray("GIF89a"));
        const auto byte = [&](qsizetype i) { return quint8(gif[i]); };
        QCOMPARE(byte(6) | byte(7) << 8, 120);
        QCOMPARE(byte(8) | byte(9) << 8, 180);
        const quint8 flags = byte(10);
        QVERIFY(flags & 0x80);
        QCOMPARE(2 << (flags & 0x07), 16);
        QSet<int> greys;
        for (int i = 0; i < 16; ++i) {
            const qsizetype at = 13 + 3 * i;
            QCOMPARE(byte(at), byte(at + 1));
            QCOMPARE(byte(at), byte(at + 2));
            greys.insert(byte(at));
        }
        QCOMPARE(greys.size(), 16);

        // Walk the blocks: one image, not interlaced, no transparency.
        int images = 0;
        qsizetype at = 13 + 48;
        auto skipSubBlocks = [&] {
            while (at < gif.size() && byte(at) != 0)
                at += 1 + byte(at);
            ++at;
        };
        while (at < gif.size() && byte(at) != 0x3B) {
            if (byte(at) == 0x2C) {
                ++images;
                const quint8 imageFlags = byte(at + 9);
                QVERIFY2(!(imageFlags & 0x40), "interlaced");
                QVERIFY2(!(imageFlags & 0x80), "local palette");
                at += 10 + 1;
                skipSubBlocks();
            } else if (byte(at) == 0x21) {
                if (byte(at + 1) == 0xF9)
                    QVERIFY2(!(byte(at + 3) & 0x01), "transparent colour");
                at += 2;
                skipSubBlocks();
            } else {
                QFAIL("unknown block");
            }
        }
        QCOMPARE(images, 1);
        QCOMPARE(at, gif.size() - 1);

        QImageReader reader(u":/about/about.gif"_s);
        QCOMPARE(reader.imageCount(), 1);
        const QImage image = reader.read();
        QCOMPARE(image.size(), QSize(120, 180));
        QVERIFY(image.allGray());
        QVERIFY(!image.hasAlphaChannel());
    }
};

QTEST_MAIN(AboutDocumentTest)
#include "tst_aboutdocument.moc"
