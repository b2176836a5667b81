// SPDX-License-Identifier: MIT
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int icotoolTimeoutMs = 30000;

QString resourcePath(const QString &name)
{
    return QStringLiteral(TARVELO_RESOURCES_DIR) + u'/' + name;
}

// Runs icotool; empty on success, else what went wrong. Listing reports an
// unreadable file only on standard error, still exiting with 0.
QString icotool(const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(TARVELO_ICOTOOL), arguments);
    if (!process.waitForFinished(icotoolTimeoutMs))
        return u"icotool did not run (install icoutils): "_s + process.errorString();
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
        || !errors.isEmpty())
        return u"icotool failed: "_s + errors;
    return {};
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT
private slots:
    void images_data() { addIconRows(); }
    void images();
    void maskedPixelsBlack_data() { addIconRows(); }
    void maskedPixelsBlack();
    void qtReadsIco_data() { addIconRows(); }
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

void TestIcons::images()
{
    QFETCH(QString, file);
    QString listing;
    const QString error = icotool({u"-l"_s, resourcePath(file)}, &listing);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(listing,
             u"--icon --index=1 --width=32 --height=32 --bit-depth=4 --palette-size=16\n"
             "--icon --index=2 --width=16 --height=16 --bit-depth=4 --palette-size=16\n"_s);
}

// Windows draws an icon by masking the screen and then XOR-ing the image
// onto it, so any colour under the mask would tint what shows through.
// icotool keeps that colour in the pixels it extracts as transparent.
void TestIcons::maskedPixelsBlack()
{
    QFETCH(QString, file);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString error = icotool({u"-x"_s, u"-o"_s, dir.path(), resourcePath(file)});
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QStringList pngs = QDir(dir.path()).entryList({u"*.png"_s});
    QCOMPARE(pngs.size(), 2);
    for (const QString &png : pngs) {
        const QImage image(dir.filePath(png));
        QVERIFY(!image.isNull());
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) == 0)
                    QVERIFY2(qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0,
                             qPrintable(u"%1 at %2,%3"_s.arg(png).arg(x).arg(y)));
            }
        }
    }
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
        sizes << image.size();

        // A drawing on a transparent ground: the corners show through, the
        // middle does not, and the drawing covers a fair part of the icon.
        const int width = image.width();
        const int height = image.height();
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(width - 1, height - 1)), 0);
        QCOMPARE(qAlpha(image.pixel(width / 2, height / 2)), 255);
        int opaque = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                opaque += qAlpha(image.pixel(x, y)) != 0;
        }
        QVERIFY2(opaque > width * height / 4, "the drawing hardly covers the icon");
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
