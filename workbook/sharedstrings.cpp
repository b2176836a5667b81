// SPDX-License-Identifier: MIT
#include "package.h"
#include "readers.h"
#include "sheetbuilder.h"
#include "splitxml.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QThread>

#include <future>
#include <optional>
#include <system_error>

namespace Workbook::Xlsx {

namespace {

// An escape as Excel writes it: _xHHHH_.
constexpr qsizetype escapeLength = 7;
constexpr qsizetype escapeDigits = 4;
constexpr int hexBase = 16;

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

int hexValue(QChar c)
{
    constexpr int firstLetterValue = 10;
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + firstLetterValue;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + firstLetterValue;
    return -1;
}

// The code of the escape at AT in TEXT, or -1 where there is none.
int escapeAt(QStringView text, qsizetype at)
{
    if (at + escapeLength > text.size() || text[at] != u'_' || text[at + 1] != u'x'
        || text[at + escapeLength - 1] != u'_')
        return -1;
    int code = 0;
    for (qsizetype i = at + 2; i < at + 2 + escapeDigits; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0)
            return -1;
        code = code * hexBase + digit;
    }
    return code;
}

// Reads the items of a shared-strings part, each an si element, into
// STRINGS: in one go, or up to an item near the middle while another
// reader reads the rest.
class StringsReader
{
public:
    StringsReader(XmlPart &part, QStringList &strings)
        : m_part(part)
        , m_strings(strings)
    {
    }

    // Reads to the start tag of the root element; false where there is
    // none, or where the XML is not UTF-8, as splitting its bytes takes.
    bool readHead()
    {
        bool utf8 = true;
        while (!m_ended) {
            const QXmlStreamReader::TokenType token = m_part.next();
            m_ended = token == QXmlStreamReader::EndDocument;
            if (token == QXmlStreamReader::StartDocument)
                utf8 = m_part.xml().documentEncoding().isEmpty()
                        || m_part.xml().documentEncoding().compare(u"UTF-8", Qt::CaseInsensitive) == 0;
            if (token == QXmlStreamReader::StartElement) {
                if (m_part.xml().name() == u"si") {
                    readItem();
                    return false;
                }
                m_depth = 1;
                return utf8;
            }
        }
        return false;
    }

    // Reads on to the end, false; or to the start tag of an item beginning
    // at character STOP_AT directly inside the root element, true.
    bool readUntil(qint64 stopAt = -1)
    {
        while (!m_ended) {
            const qint64 before = m_part.xml().characterOffset();
            const QXmlStreamReader::TokenType token = m_part.next();
            m_ended = token == QXmlStreamReader::EndDocument;
            if (token == QXmlStreamReader::EndElement)
                --m_depth;
            if (token != QXmlStreamReader::StartElement)
                continue;
            if (m_part.xml().name() != u"si") {
                ++m_depth;
                continue;
            }
            if (before == stopAt && m_depth == 1)
                return true;
            readItem();
        }
        return false;
    }

    // Reads on from the item readUntil() stopped at.
    void readOn()
    {
        readItem();
        readUntil();
    }

private:
    void readItem()
    {
        // Each takes memory however short it is in the file.
        if (m_strings.size() >= maxCells)
            m_part.throwDamaged(tr("共享字符串多于 %1 个").arg(maxCells));
        // Phonetic runs (rPh) annotate the text and are not shown.
        m_strings.append(unescaped(m_part.elementText(u"rPh")));
    }

    XmlPart &m_part;
    QStringList &m_strings;
    int m_depth = 0;
    bool m_ended = false;
};

// The items in REST, the part's XML from an item near its middle on,
// behind HEAD, its XML up to and including the root's start tag, read on
// a thread of its own; nothing where they cannot be read alone.
std::optional<QStringList> readSecondHalf(const Package &package, const QString &partName, QByteArrayView head,
                                          QByteArrayView rest)
{
    try {
        JoinedDevice device(head, rest);
        XmlPart part(package, partName, &device);
        QStringList strings;
        StringsReader reader(part, strings);
        if (!reader.readHead() || part.xml().characterOffset() != utf16Length(head))
            return std::nullopt;
        reader.readUntil();
        return strings;
    } catch (...) {
        // Whatever went wrong, reading the part in one go meets it too and
        // reports it.
        return std::nullopt;
    }
}

// Has a second thread read the items from about the middle of XML on
// while READER, HEAD_CHARS into it, reads those before. What that thread
// read; or nothing, and READER has read on alone.
std::optional<QStringList> readInHalves(StringsReader &reader, const Package &package, const QString &partName,
                                        const QByteArray &xml, qint64 headChars)
{
    const qsizetype headBytes = byteOffset(xml, headChars);
    const qsizetype split = splitPoint(xml, headBytes, "<si");
    if (split < 0)
        return std::nullopt;
    // Its destructor waits for the thread, also when this one throws.
    std::future<std::optional<QStringList>> second;
    try {
        second = std::async(std::launch::async, readSecondHalf, std::cref(package), std::cref(partName),
                            QByteArrayView(xml).first(headBytes), QByteArrayView(xml).sliced(split));
    } catch (const std::system_error &) {
        return std::nullopt;
    }
    const qint64 splitChars = headChars + utf16Length(QByteArrayView(xml).sliced(headBytes, split - headBytes));
    if (!reader.readUntil(splitChars))
        return std::nullopt;
    std::optional<QStringList> half = second.get();
    if (!half)
        reader.readOn();
    return half;
}

} // namespace

QString unescaped(QString text)
{
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const int code = escapeAt(text, at);
        if (code < 0) {
            out += text[at];
            continue;
        }
        out += QChar(char16_t(code));
        at += escapeLength - 1;
    }
    return out;
}

QStringList readSharedStrings(Package &package, const QString &partName)
{
    QStringList strings;
    if (!package.contains(partName))
        return strings;
    const QByteArray xml = package.inflate(partName);
    QBuffer device;
    device.setData(xml);
    device.open(QIODevice::ReadOnly);
    XmlPart part(package, partName, &device);
    StringsReader reader(part, strings);
    std::optional<QStringList> rest;
    if (xml.size() >= minSplitBytes && QThread::idealThreadCount() > 1 && xml.startsWith("<?xml")
        && reader.readHead())
        rest = readInHalves(reader, package, partName, xml, part.xml().characterOffset());
    if (!rest) {
        reader.readUntil();
        return strings;
    }
    if (strings.size() + rest->size() > maxCells)
        part.throwDamaged(tr("共享字符串多于 %1 个").arg(maxCells));
    strings.append(std::move(*rest));
    return strings;
}

} // namespace Workbook::Xlsx
