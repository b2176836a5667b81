// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <memory>

// The zip a workbook is made of, and its XML parts read as a stream. What
// the parts inflate to is counted as it is read, whatever the zip's
// headers claim, and stops at a budget that follows the file's size.
namespace Workbook {

enum class Format { Xlsx, Ods };

class Package
{
public:
    // Throws RuntimeError when PATH is no workbook this system reads: not
    // a zip, an Excel 97-2003 file, a protected workbook.
    explicit Package(const QString &path);
    ~Package();

    Format format() const { return m_format; }
    bool contains(const QString &part);
    // The whole of PART inflated, for a reader on another thread while the
    // zip, which inflates one part at a time, stays with this one.
    QByteArray inflate(const QString &part);
    const QString &fileName() const { return m_fileName; }

    [[noreturn]] void throwDamaged(const QString &part, const QString &reason) const;

private:
    friend class XmlPart;
    friend class PartDevice;
    void detectFormat();

    QString m_fileName;
    // minizip's unzFile, kept out of this header with the C library's own.
    struct ZipCloser
    {
        void operator()(void *zip) const;
    };
    std::unique_ptr<void, ZipCloser> m_zip;
    Format m_format = Format::Xlsx;
    qint64 m_budget = 0;
    qint64 m_inflated = 0;
    bool m_overBudget = false;
};

class PartDevice;

// One XML part of a package, read token by token. A DTD (which no workbook
// needs, and which is how entity expansion and external entities come in),
// damaged XML, a damaged part and an inflated size over the package's
// budget all throw RuntimeError.
class XmlPart
{
public:
    XmlPart(Package &package, const QString &part);
    // Over DEVICE, bytes of PART already inflated: the package's zip is
    // left alone, so that this may be read on another thread.
    XmlPart(const Package &package, const QString &part, QIODevice *device);
    ~XmlPart();

    QXmlStreamReader::TokenType next();
    QXmlStreamReader &xml() { return m_xml; }
    // Moves on to the next start of an element inside the current one;
    // false at the current element's end.
    bool nextChild();
    void skipElement();
    // The text of the current element and all inside it, but for the
    // elements named SKIPPED.
    QString elementText(QStringView skipped = {});
    // The text of the current element, which holds no other.
    QString readText();
    [[noreturn]] void throwDamaged(const QString &reason) const;

private:
    const Package &m_package;
    QString m_part;
    std::unique_ptr<PartDevice> m_device;
    QXmlStreamReader m_xml;
};

} // namespace Workbook
