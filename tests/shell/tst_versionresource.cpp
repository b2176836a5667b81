// SPDX-License-Identifier: MIT
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// Resource types and the fixed-info signature, from the Windows headers.
constexpr quint16 rtIcon = 3;
constexpr quint16 rtGroupIcon = 14;
constexpr quint16 rtVersion = 16;
constexpr quint16 versionInfoId = 1;
constexpr quint16 languageChinesePrc = 0x0804;
constexpr quint32 fixedInfoSignature = 0xFEEF04BD;
constexpr qsizetype fixedInfoSize = 52;
constexpr quint16 ordinalMarker = 0xFFFF;
constexpr quint16 textValue = 1;
constexpr int groupIconHeaderSize = 6;
constexpr int groupIconEntrySize = 14;
constexpr int windresTimeoutMs = 30000;

quint16 u16(const QByteArray &bytes, qsizetype at)
{
    if (at < 0 || at + 2 > bytes.size())
        throw std::out_of_range("resource data ends early");
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray &bytes, qsizetype at)
{
    if (at < 0 || at + 4 > bytes.size())
        throw std::out_of_range("resource data ends early");
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

qsizetype align4(qsizetype at)
{
    return (at + 3) & ~qsizetype(3);
}

// A zero-terminated UTF-16 string at AT; END is set past the terminator.
QString utf16At(const QByteArray &bytes, qsizetype at, qsizetype *end)
{
    QString text;
    for (quint16 unit; (unit = u16(bytes, at)) != 0; at += 2)
        text += QChar(unit);
    *end = at + 2;
    return text;
}

// One entry of a compiled .res file.
struct Resource
{
    quint16 type = 0;
    quint16 id = 0;
    quint16 language = 0;
    QByteArray data;
};

QList<Resource> parseRes(const QByteArray &bytes)
{
    QList<Resource> resources;
    qsizetype at = 0;
    while (at + 8 <= bytes.size()) {
        const quint32 dataSize = u32(bytes, at);
        const quint32 headerSize = u32(bytes, at + 4);
        Resource resource;
        qsizetype field = at + 8;
        for (quint16 *ordinal : {&resource.type, &resource.id}) {
            if (u16(bytes, field) == ordinalMarker) {
                *ordinal = u16(bytes, field + 2);
                field += 4;
            } else {
                utf16At(bytes, field, &field);
            }
        }
        field = align4(field);
        resource.language = u16(bytes, field + 6);
        if (quint64(at) + headerSize + dataSize > quint64(bytes.size()))
            throw std::out_of_range("resource data ends early");
        resource.data = bytes.mid(at + headerSize, dataSize);
        if (dataSize > 0)
            resources << resource;
        at = align4(at + headerSize + dataSize);
    }
    return resources;
}

// One node of a VS_VERSIONINFO tree: a key, a value and children.
struct VersionNode
{
    QString key;
    quint16 type = 0;
    QByteArray value;
    QList<VersionNode> children;

    const VersionNode *child(const QString &name) const
    {
        for (const VersionNode &node : children) {
            if (node.key == name)
                return &node;
        }
        return nullptr;
    }

    QString text() const
    {
        QString result;
        for (qsizetype i = 0; i + 1 < value.size(); i += 2) {
            const quint16 unit = u16(value, i);
            if (unit == 0)
                break;
            result += QChar(unit);
        }
        return result;
    }
};

VersionNode parseVersionNode(const QByteArray &bytes, qsizetype at)
{
    VersionNode node;
    const quint16 length = u16(bytes, at);
    const quint16 valueLength = u16(bytes, at + 2);
    node.type = u16(bytes, at + 4);
    qsizetype cursor;
    node.key = utf16At(bytes, at + 6, &cursor);
    cursor = align4(cursor);
    // A text value's length counts UTF-16 units, a binary one bytes.
    const qsizetype valueBytes = node.type == textValue ? valueLength * 2 : valueLength;
    node.value = bytes.mid(cursor, valueBytes);
    cursor = align4(cursor + valueBytes);
    const qsizetype end = at + length;
    if (length == 0 || end > bytes.size())
        throw std::out_of_range("version node overruns its resource");
    while (cursor < end) {
        node.children << parseVersionNode(bytes, cursor);
        cursor = align4(cursor + u16(bytes, cursor));
    }
    return node;
}

struct FixedFileInfo
{
    quint32 signature, structVersion, fileVersionMS, fileVersionLS, productVersionMS,
        productVersionLS, fileFlagsMask, fileFlags, fileOS, fileType, fileSubtype;
};

FixedFileInfo parseFixedInfo(const QByteArray &value)
{
    FixedFileInfo info{};
    quint32 *fields[] = {&info.signature,        &info.structVersion,   &info.fileVersionMS,
                         &info.fileVersionLS,    &info.productVersionMS, &info.productVersionLS,
                         &info.fileFlagsMask,    &info.fileFlags,       &info.fileOS,
                         &info.fileType,         &info.fileSubtype};
    for (qsizetype i = 0; i < qsizetype(std::size(fields)); ++i)
        *fields[i] = u32(value, i * 4);
    return info;
}

QString dotted(quint32 high, quint32 low)
{
    return u"%1.%2.%3.%4"_s.arg(high >> 16).arg(high & 0xFFFF).arg(low >> 16).arg(low & 0xFFFF);
}

} // namespace

class TestVersionResource : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void versionResource();
    void fixedInfo_data();
    void fixedInfo();
    void strings_data();
    void strings();
    void translation();
    void icon();

private:
    QList<Resource> m_resources;
    VersionNode m_version;
    const Resource *m_versionResource = nullptr;
    FixedFileInfo m_fixed{};
    QMap<QString, QString> m_strings;
    QString m_stringTableKey;
};

void TestVersionResource::initTestCase()
{
    const QString windres = QStringLiteral(TARVELO_WINDRES);
    QVERIFY2(QFileInfo(windres).isExecutable(),
             "x86_64-w64-mingw32-windres is missing: install binutils-mingw-w64-x86-64");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString res = dir.filePath(u"tarvelo.res"_s);
    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(windres, {u"--preprocessor="_s + QStringLiteral(TARVELO_CPP), u"-O"_s, u"res"_s,
                             u"-i"_s, QStringLiteral(TARVELO_RC_FILE), u"-o"_s, res});
    QVERIFY(compiler.waitForFinished(windresTimeoutMs));
    QVERIFY2(compiler.exitStatus() == QProcess::NormalExit && compiler.exitCode() == 0,
             compiler.readAll().constData());

    QFile file(res);
    QVERIFY(file.open(QIODevice::ReadOnly));
    try {
        m_resources = parseRes(file.readAll());
        for (const Resource &resource : std::as_const(m_resources)) {
            if (resource.type == rtVersion)
                m_versionResource = &resource;
        }
        QVERIFY2(m_versionResource, "no RT_VERSION resource");
        m_version = parseVersionNode(m_versionResource->data, 0);
        QCOMPARE(m_version.value.size(), fixedInfoSize);
        m_fixed = parseFixedInfo(m_version.value);
        const VersionNode *stringFileInfo = m_version.child(u"StringFileInfo"_s);
        QVERIFY(stringFileInfo);
        QCOMPARE(stringFileInfo->children.size(), 1);
        const VersionNode &table = stringFileInfo->children.first();
        m_stringTableKey = table.key;
        for (const VersionNode &entry : table.children)
            m_strings.insert(entry.key, entry.text());
    } catch (const std::out_of_range &error) {
        QFAIL(error.what());
    }

    qInfo("Decoded %s:", TARVELO_RC_FILE);
    qInfo("  resource language 0x%04X", m_versionResource->language);
    qInfo("  FILEVERSION %s  PRODUCTVERSION %s",
          qPrintable(dotted(m_fixed.fileVersionMS, m_fixed.fileVersionLS)),
          qPrintable(dotted(m_fixed.productVersionMS, m_fixed.productVersionLS)));
    qInfo("  FILEFLAGSMASK 0x%X  FILEFLAGS 0x%X  FILEOS 0x%X  FILETYPE 0x%X  FILESUBTYPE 0x%X",
          m_fixed.fileFlagsMask, m_fixed.fileFlags, m_fixed.fileOS, m_fixed.fileType,
          m_fixed.fileSubtype);
    qInfo("  StringFileInfo block \"%s\"", qPrintable(m_stringTableKey));
    for (auto it = m_strings.cbegin(); it != m_strings.cend(); ++it)
        qInfo("    %s = \"%s\"", qPrintable(it.key()), qPrintable(it.value()));
}

void TestVersionResource::versionResource()
{
    QCOMPARE(m_version.key, u"VS_VERSION_INFO"_s);
    QCOMPARE(m_versionResource->id, versionInfoId);
    QCOMPARE(m_versionResource->language, languageChinesePrc);
    QCOMPARE(m_stringTableKey.toUpper(), u"080404B0"_s);
}

void TestVersionResource::fixedInfo_data()
{
    QTest::addColumn<quint32>("actual");
    QTest::addColumn<quint32>("expected");
    QTest::newRow("signature") << m_fixed.signature << fixedInfoSignature;
    QTest::newRow("file version 1.0") << m_fixed.fileVersionMS << 0x00010000u;
    QTest::newRow("file version 0.13") << m_fixed.fileVersionLS << 0x0000000Du;
    QTest::newRow("product version 1.0") << m_fixed.productVersionMS << 0x00010000u;
    QTest::newRow("product version 0.13") << m_fixed.productVersionLS << 0x0000000Du;
    QTest::newRow("flags mask") << m_fixed.fileFlagsMask << 0u;
    QTest::newRow("flags") << m_fixed.fileFlags << 0u;
    QTest::newRow("OS: 32-bit Windows") << m_fixed.fileOS << 4u;
    QTest::newRow("type: application") << m_fixed.fileType << 1u;
    QTest::newRow("subtype") << m_fixed.fileSubtype << 0u;
}

void TestVersionResource::fixedInfo()
{
    QFETCH(quint32, actual);
    QFETCH(quint32, expected);
    QCOMPARE(actual, expected);
}

void TestVersionResource::strings_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ProductName") << u"ProductName"_s << u"Tarvelo"_s;
    QTest::newRow("FileVersion") << u"FileVersion"_s << u"1.00.0013"_s;
    QTest::newRow("ProductVersion") << u"ProductVersion"_s << u"1.00.0013"_s;
    QTest::newRow("InternalName") << u"InternalName"_s << u"Tarvelo"_s;
    QTest::newRow("OriginalFilename") << u"OriginalFilename"_s << u"Tarvelo.exe"_s;
    // Ours to fill; only that they are there.
    QTest::newRow("CompanyName") << u"CompanyName"_s << QString();
    QTest::newRow("LegalCopyright") << u"LegalCopyright"_s << QString();
}

void TestVersionResource::strings()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY2(m_strings.contains(key), qPrintable(key));
    if (expected.isNull())
        QVERIFY(!m_strings.value(key).isEmpty());
    else
        QCOMPARE(m_strings.value(key), expected);
}

void TestVersionResource::translation()
{
    const VersionNode *varFileInfo = m_version.child(u"VarFileInfo"_s);
    QVERIFY(varFileInfo);
    const VersionNode *translation = varFileInfo->child(u"Translation"_s);
    QVERIFY(translation);
    QCOMPARE(translation->value.size(), 4);
    QCOMPARE(u16(translation->value, 0), 0x0804);
    QCOMPARE(u16(translation->value, 2), 0x04B0);
}

void TestVersionResource::icon()
{
    QList<const Resource *> groups;
    int images = 0;
    for (const Resource &resource : std::as_const(m_resources)) {
        if (resource.type == rtGroupIcon)
            groups << &resource;
        else if (resource.type == rtIcon)
            ++images;
    }
    QCOMPARE(groups.size(), 1);
    QCOMPARE(images, 2);
    const QByteArray &group = groups.first()->data;
    QCOMPARE(u16(group, 4), 2);
    QCOMPARE(group.size(), groupIconHeaderSize + 2 * groupIconEntrySize);
    for (int i = 0; i < 2; ++i) {
        const qsizetype entry = groupIconHeaderSize + i * groupIconEntrySize;
        const int size = quint8(group.at(entry));
        QVERIFY(size == 32 || size == 16);
        QCOMPARE(u16(group, entry + 6), 4);
    }
}

QTEST_GUILESS_MAIN(TestVersionResource)
#include "tst_versionresource.moc"
