// SPDX-License-Identifier: MIT
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

constexpr int iconDirSize = 6;
constexpr int iconEntrySize = 16;
constexpr int bitmapInfoHeaderSize = 40;
constexpr int iconType = 1;
constexpr int bitsPerPixel = 4;
constexpr int paletteColours = 16;
constexpr int rgbQuadSize = 4;

quint16 u16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

qsizetype rowStride(int width, int bits)
{
    return ((width * bits + 31) / 32) * 4;
}

// One image of an .ico as Windows reads it: palette indices and the AND
// mask, bottom row first.
struct IconImage
{
    int width = 0;
    int height = 0;
    int bitCount = 0;
    int colourCount = 0;
    QByteArray dib;
    qsizetype xorOffset = 0;
    qsizetype andOffset = 0;

    int index(int x, int y) const
    {
        const char byte = dib.at(xorOffset + (height - 1 - y) * rowStride(width, bitCount) + x / 2);
        return x % 2 == 0 ? (byte >> 4) & 0xF : byte & 0xF;
    }

    bool transparent(int x, int y) const
    {
        const char byte = dib.at(andOffset + (height - 1 - y) * rowStride(width, 1) + x / 8);
        return byte & (0x80 >> (x % 8));
    }
};

QString resourcePath(const QString &name)
{
    return QStringLiteral(TARVELO_RESOURCES_DIR) + u'/' + name;
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT
private slots:
    void icoDirectory_data();
    void icoDirectory();
    void qtReadsIco_data();
    void qtReadsIco();
    void desktopPngs_data();
    void desktopPngs();

private:
    void addIconRows();
};

void TestIcons::addIconRows()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("application") << u"tarvelo.ico"_s;
    QTest::newRow("about") << u"bell.ico"_s;
}

void TestIcons::icoDirectory_data()
{
    addIconRows();
}

void TestIcons::icoDirectory()
{
    QFETCH(QString, file);
    QFile ico(resourcePath(file));
    QVERIFY2(ico.open(QIODevice::ReadOnly), qPrintable(ico.errorString()));
    const QByteArray bytes = ico.readAll();

    QVERIFY(bytes.size() >= iconDirSize);
    QCOMPARE(u16(bytes, 0), 0);
    QCOMPARE(u16(bytes, 2), iconType);
    const int count = u16(bytes, 4);
    QCOMPARE(count, 2);
    QVERIFY(bytes.size() >= iconDirSize + count * iconEntrySize);

    const QList<int> expectedSizes{32, 16};
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = iconDirSize + i * iconEntrySize;
        IconImage image;
        image.width = quint8(bytes.at(entry));
        image.height = quint8(bytes.at(entry + 1));
        image.colourCount = quint8(bytes.at(entry + 2));
        QCOMPARE(u16(bytes, entry + 4), 1);
        image.bitCount = u16(bytes, entry + 6);
        const quint32 length = u32(bytes, entry + 8);
        const quint32 offset = u32(bytes, entry + 12);
        QCOMPARE(image.width, expectedSizes.at(i));
        QCOMPARE(image.height, expectedSizes.at(i));
        QCOMPARE(image.colourCount, paletteColours);
        QCOMPARE(image.bitCount, bitsPerPixel);
        QVERIFY(qsizetype(offset) + length <= bytes.size());
        image.dib = bytes.mid(offset, length);

        // The DIB itself: twice the height (image, then mask), 4 bits, a
        // 16-colour palette, and exactly the bytes the rows take.
        QCOMPARE(u32(image.dib, 0), quint32(bitmapInfoHeaderSize));
        QCOMPARE(qint32(u32(image.dib, 4)), image.width);
        QCOMPARE(qint32(u32(image.dib, 8)), image.height * 2);
        QCOMPARE(u16(image.dib, 12), 1);
        QCOMPARE(u16(image.dib, 14), bitsPerPixel);
        QCOMPARE(u32(image.dib, 16), 0u);
        const quint32 usedColours = u32(image.dib, 32);
        QVERIFY(usedColours == 0 || usedColours == paletteColours);
        image.xorOffset = bitmapInfoHeaderSize + paletteColours * rgbQuadSize;
        image.andOffset = image.xorOffset + image.height * rowStride(image.width, bitsPerPixel);
        QCOMPARE(image.dib.size(), image.andOffset + image.height * rowStride(image.width, 1));

        // A drawing on a transparent ground: the corners show through,
        // the middle does not, and what the mask hides is black so that
        // nothing of it reaches the screen.
        int transparentPixels = 0;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                if (image.transparent(x, y)) {
                    ++transparentPixels;
                    QCOMPARE(image.index(x, y), 0);
                }
            }
        }
        QVERIFY(image.transparent(0, 0));
        QVERIFY(image.transparent(image.width - 1, image.height - 1));
        QVERIFY(!image.transparent(image.width / 2, image.height / 2));
        const int area = image.width * image.height;
        QVERIFY(transparentPixels > 0);
        QVERIFY2(area - transparentPixels > area / 4, "the drawing hardly covers the icon");
    }
}

void TestIcons::qtReadsIco_data()
{
    addIconRows();
}

void TestIcons::qtReadsIco()
{
    QFETCH(QString, file);
    QImageReader reader(resourcePath(file));
    QCOMPARE(reader.format(), "ico");
    QCOMPARE(reader.imageCount(), 2);
    QList<QSize> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QVERIFY(image.hasAlphaChannel());
        sizes << image.size();
    }
    QCOMPARE(sizes, (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
}

void TestIcons::desktopPngs_data()
{
    QTest::addColumn<int>("size");
    for (const QString &size : QStringLiteral(TARVELO_ICON_SIZES).split(u','))
        QTest::newRow(qPrintable(size)) << size.toInt();
}

void TestIcons::desktopPngs()
{
    QFETCH(int, size);
    QImageReader reader(resourcePath(u"tarvelo-%1.png"_s.arg(size)));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
}

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
