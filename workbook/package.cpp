// SPDX-License-Identifier: MIT
#include "package.h"

#include "runtimeerror.h"
#include "systemtext.h"

#include <unzip.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace Workbook {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

// What the parts of a workbook may inflate to: a sheet's XML packs well,
// but not past this ratio, and no list the window holds needs more than
// the ceiling. The floor lets small files hold the parts every workbook has.
constexpr qint64 inflationRatio = 16;
constexpr qint64 budgetFloor = 8 * 1024 * 1024;
constexpr qint64 budgetCeiling = 512 * 1024 * 1024;

// The first bytes of a compound file, Excel 97-2003's container and the
// one an encrypted Office Open XML workbook is wrapped in.
constexpr char compoundFileMagic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr qsizetype scanChunk = 1024 * 1024;
constexpr qint64 readChunk = 64 * 1024;

QString nativeName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// An encrypted workbook's compound file holds a stream named EncryptionInfo;
// its name stands in the directory in UTF-16LE.
bool holdsEncryptionInfo(QFile &file)
{
    const QByteArray name = QByteArray::fromRawData(reinterpret_cast<const char *>(u"EncryptionInfo"), 28);
    file.seek(0);
    QByteArray tail;
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(scanChunk);
        if (chunk.isEmpty())
            break;
        const QByteArray window = tail + chunk;
        if (window.contains(name))
            return true;
        tail = window.right(name.size());
    }
    return false;
}

} // namespace

class PartDevice : public QIODevice
{
public:
    PartDevice(Package &package, const QString &part)
        : m_package(package)
    {
        if (!package.contains(part) || unzOpenCurrentFile(package.m_zip.get()) != UNZ_OK)
            package.throwDamaged(part, tr("文件里缺少这一部分"));
        m_opened = true;
        open(QIODevice::ReadOnly);
    }
    ~PartDevice() override
    {
        if (m_opened)
            unzCloseCurrentFile(m_package.m_zip.get());
    }

    // Whether the part inflated whole and its checksum matches.
    bool finish()
    {
        m_opened = false;
        return unzCloseCurrentFile(m_package.m_zip.get()) == UNZ_OK;
    }

    bool isSequential() const override { return true; }
    // Whether inflating stopped at damaged data: the zip's checksum is
    // checked only at a part's end.
    bool damaged() const { return m_damaged; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_package.m_overBudget)
            return -1;
        const int read = unzReadCurrentFile(m_package.m_zip.get(), data, unsigned(std::min<qint64>(maxSize, readChunk)));
        if (read < 0) {
            m_damaged = true;
            return -1;
        }
        m_package.m_inflated += read;
        if (m_package.m_inflated > m_package.m_budget) {
            m_package.m_overBudget = true;
            return -1;
        }
        return read;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    Package &m_package;
    bool m_opened = false;
    bool m_damaged = false;
};

Package::Package(const QString &path)
    : m_fileName(path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(tr("不能打开“%1”：%2。").arg(nativeName(path), quotedSystemText(file.errorString())));
    const QByteArray head = file.peek(8);
    if (head == QByteArray(compoundFileMagic, 8)) {
        if (holdsEncryptionInfo(file))
            throw RuntimeError(tr("“%1”受密码保护，读不出其中的内容。请在 Excel 或 WPS 中打开它，取消密码后另存一份，"
                                  "再打开那一份。")
                                       .arg(nativeName(path)));
        throw RuntimeError(tr("“%1”是 Excel 97-2003 工作簿（.xls），这种格式读不了。请在 Excel 或 WPS 中把它另存为"
                              " Excel 工作簿（.xlsx），再打开那一份。")
                                   .arg(nativeName(path)));
    }
    if (!head.startsWith("PK"))
        throw RuntimeError(tr("“%1”不是 Excel 工作簿（.xlsx）或 ODS 电子表格（.ods），读不出其中的表格。")
                                   .arg(nativeName(path)));
    m_budget = std::clamp(file.size() * inflationRatio, budgetFloor, budgetCeiling);
    file.close();
    m_zip.reset(unzOpen64(QFile::encodeName(path).constData()));
    if (!m_zip)
        throw RuntimeError(tr("“%1”已经损坏：它的 zip 目录读不出来。").arg(nativeName(path)));
    detectFormat();
}

Package::~Package() = default;

void Package::ZipCloser::operator()(void *zip) const
{
    unzClose(zip);
}

void Package::detectFormat()
{
    if (contains(u"content.xml"_s)) {
        m_format = Format::Ods;
        if (contains(u"META-INF/manifest.xml"_s)) {
            XmlPart manifest(*this, u"META-INF/manifest.xml"_s);
            while (manifest.next() != QXmlStreamReader::EndDocument) {
                if (manifest.xml().isStartElement() && manifest.xml().name() == u"encryption-data")
                    throw RuntimeError(tr("“%1”受密码保护，读不出其中的内容。请在 LibreOffice 中打开它，取消密码后"
                                          "另存一份，再打开那一份。")
                                               .arg(nativeName(m_fileName)));
            }
        }
        return;
    }
    if (contains(u"xl/workbook.xml"_s)) {
        m_format = Format::Xlsx;
        return;
    }
    throw RuntimeError(tr("“%1”是个 zip 文件，但不是 Excel 工作簿（.xlsx）或 ODS 电子表格（.ods）。")
                               .arg(nativeName(m_fileName)));
}

bool Package::contains(const QString &part)
{
    return unzLocateFile(m_zip.get(), part.toUtf8().constData(), 1) == UNZ_OK;
}

QByteArray Package::inflate(const QString &part)
{
    PartDevice device(*this, part);
    const QByteArray bytes = device.readAll();
    if (m_overBudget || device.damaged())
        throwDamaged(part, tr("解压出错"));
    if (!device.finish())
        throwDamaged(part, tr("校验和不符"));
    return bytes;
}

void Package::throwDamaged(const QString &part, const QString &reason) const
{
    if (m_overBudget)
        throw RuntimeError(tr("“%1”解压后超过 %2 MB，远大于这样大小的工作簿应有的内容，可能是特意构造的文件，"
                              "所以没有读下去。")
                                   .arg(nativeName(m_fileName))
                                   .arg(m_budget / (1024 * 1024)));
    throw RuntimeError(tr("“%1”已经损坏，读不出其中的表格：%2 部分有误（%3）。")
                               .arg(nativeName(m_fileName), part, reason));
}

XmlPart::XmlPart(Package &package, const QString &part)
    : m_package(package)
    , m_part(part)
    , m_device(std::make_unique<PartDevice>(package, part))
{
    m_xml.setDevice(m_device.get());
}

XmlPart::XmlPart(const Package &package, const QString &part, QIODevice *device)
    : m_package(package)
    , m_part(part)
{
    m_xml.setDevice(device);
}

XmlPart::~XmlPart() = default;

QXmlStreamReader::TokenType XmlPart::next()
{
    const QXmlStreamReader::TokenType token = m_xml.readNext();
    switch (token) {
    case QXmlStreamReader::DTD:
        throw RuntimeError(tr("“%1”的 %2 部分带有文档类型定义（DTD），工作簿本不会有，可能是特意构造的文件，"
                              "所以没有读下去。")
                                   .arg(nativeName(m_package.m_fileName), m_part));
    case QXmlStreamReader::Invalid:
        throwDamaged(m_xml.errorString());
    case QXmlStreamReader::EndDocument:
        if (m_device && !m_device->finish())
            throwDamaged(tr("校验和不符"));
        break;
    default:
        break;
    }
    return token;
}

bool XmlPart::nextChild()
{
    for (;;) {
        switch (next()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
        case QXmlStreamReader::EndDocument:
            return false;
        default:
            break;
        }
    }
}

void XmlPart::skipElement()
{
    int depth = 1;
    while (depth > 0) {
        switch (next()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::EndDocument:
            return;
        default:
            break;
        }
    }
}

QString XmlPart::elementText(QStringView skipped)
{
    QString text;
    int depth = 1;
    while (depth > 0) {
        switch (next()) {
        case QXmlStreamReader::StartElement:
            if (!skipped.isEmpty() && m_xml.name() == skipped)
                skipElement();
            else
                ++depth;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            text += m_xml.text();
            break;
        case QXmlStreamReader::EndDocument:
            return text;
        default:
            break;
        }
    }
    return text;
}

QString XmlPart::readText()
{
    QString text = m_xml.readElementText();
    if (m_xml.hasError())
        next();
    return text;
}

void XmlPart::throwDamaged(const QString &reason) const
{
    m_package.throwDamaged(m_part, reason);
}

} // namespace Workbook
