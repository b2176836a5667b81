// SPDX-License-Identifier: MIT
#include "package.h"
#include "readers.h"
#include "sheetbuilder.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

// An .ods keeps each cell's text as the spreadsheet shows it beside the
// value, so the shown text is read as it stands and the value only where
// no text is kept.
namespace Workbook::Ods {

namespace {

const QString contentPart = u"content.xml"_s;
// A run of spaces as one element claims it; no cell shows more.
constexpr qsizetype maxSpaceRun = 1024;
// Spaces a sheet's runs may add up to: each run is a few bytes in the
// file, so without a limit a small file could fill memory with spaces.
constexpr qint64 maxSpaces = 16 * 1024 * 1024;

bool isHidden(const QXmlStreamAttributes &a)
{
    const QStringView visibility = a.value("table:visibility"_L1);
    return visibility == u"collapse" || visibility == u"filter";
}

// A repeat count as the file gives it; at least one, and never more than
// a sheet holds, so that sums cannot overflow.
qint64 repeatCount(const QXmlStreamAttributes &a, QLatin1StringView name, qint64 limit)
{
    const qint64 count = a.value(name).toLongLong();
    return std::clamp<qint64>(count, 1, limit);
}

// The text of a paragraph, its spaces, tabs and line breaks kept.
QString paragraphText(XmlPart &part, qint64 &spaces)
{
    QString text;
    int depth = 1;
    while (depth > 0) {
        const QXmlStreamReader::TokenType token = part.next();
        const QXmlStreamReader &xml = part.xml();
        if (token == QXmlStreamReader::Characters) {
            text += xml.text();
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (xml.name() == u"s") {
                const qsizetype run = std::clamp<qsizetype>(xml.attributes().value("text:c"_L1).toLongLong(), 1, maxSpaceRun);
                spaces += run;
                if (spaces > maxSpaces)
                    part.throwDamaged(QCoreApplication::translate("Workbook", "空格多得异常"));
                text += QString(run, u' ');
            }
            else if (xml.name() == u"tab")
                text += u'\t';
            else if (xml.name() == u"line-break")
                text += u'\n';
            else if (xml.name() == u"note" || xml.name() == u"annotation") {
                part.skipElement();
                --depth;
            }
        } else if (token == QXmlStreamReader::EndDocument) {
            break;
        }
    }
    return text;
}

QString cellText(XmlPart &part, qint64 &spaces)
{
    const QXmlStreamAttributes a = part.xml().attributes();
    QStringList paragraphs;
    while (part.nextChild()) {
        if (part.xml().name() == u"p")
            paragraphs.append(paragraphText(part, spaces));
        else
            part.skipElement();
    }
    if (!paragraphs.isEmpty())
        return paragraphs.join(u'\n');
    const QStringView type = a.value("office:value-type"_L1);
    if (type == u"date")
        return a.value("office:date-value"_L1).toString();
    if (type == u"boolean")
        return a.value("office:boolean-value"_L1).toString().toUpper();
    return a.value("office:value"_L1).toString();
}

class TableReader
{
public:
    TableReader(XmlPart &part, const Package &package)
        : m_part(part)
        , m_builder(package)
    {
    }

    Sheet read()
    {
        int depth = 1;
        while (depth > 0) {
            const QXmlStreamReader::TokenType token = m_part.next();
            if (token == QXmlStreamReader::EndElement || token == QXmlStreamReader::EndDocument) {
                --depth;
            } else if (token == QXmlStreamReader::StartElement) {
                if (m_part.xml().name() == u"table-column")
                    readColumn();
                else if (m_part.xml().name() == u"table-row")
                    readRow();
                else
                    ++depth;
            }
        }
        return m_builder.take();
    }

private:
    void readColumn()
    {
        const QXmlStreamAttributes a = m_part.xml().attributes();
        const qint64 count = repeatCount(a, "table:number-columns-repeated"_L1, maxColumns);
        if (isHidden(a))
            m_builder.hideColumns(m_column, m_column + count - 1);
        m_column = std::min(m_column + count, maxColumns);
        m_part.skipElement();
    }

    void readRow()
    {
        const QXmlStreamAttributes a = m_part.xml().attributes();
        // Not cut to the sheet's limit: rows with content past it are
        // refused below, as a cell past it is.
        const qint64 count = repeatCount(a, "table:number-rows-repeated"_L1, std::numeric_limits<qint32>::max());
        if (isHidden(a))
            m_builder.hideRows(m_row, m_row + count - 1);
        QList<std::pair<qint64, QString>> cells;
        qint64 column = 0;
        while (m_part.nextChild()) {
            const QStringView name = m_part.xml().name();
            if (name != u"table-cell" && name != u"covered-table-cell") {
                m_part.skipElement();
                continue;
            }
            const qint64 repeat = repeatCount(m_part.xml().attributes(), "table:number-columns-repeated"_L1, maxColumns);
            // A merged range's covered cells show nothing, whatever they keep.
            const bool covered = name == u"covered-table-cell";
            const QString text = cellText(m_part, m_spaces);
            if (!covered && !text.isEmpty()) {
                for (qint64 i = 0; i < repeat && column + i <= maxColumns; ++i)
                    cells.append({column + i, text});
            }
            column = std::min(column + repeat, maxColumns + 1);
        }
        // Empty rows repeated to the sheet's end, as LibreOffice writes
        // them, are never held.
        if (!cells.isEmpty())
            m_builder.checkRow(m_row + count);
        for (qint64 i = 0; i < count && !cells.isEmpty(); ++i) {
            for (const auto &[c, text] : std::as_const(cells))
                m_builder.put(m_row + i, c, text);
        }
        m_row = std::min(m_row + count, maxRows + 1);
    }

    XmlPart &m_part;
    SheetBuilder m_builder;
    qint64 m_row = 0;
    qint64 m_column = 0;
    qint64 m_spaces = 0;
};

// Moves PART to the start of the next table; false when there is none.
bool nextTable(XmlPart &part)
{
    for (;;) {
        const QXmlStreamReader::TokenType token = part.next();
        if (token == QXmlStreamReader::EndDocument)
            return false;
        if (token == QXmlStreamReader::StartElement && part.xml().name() == u"table"
            && part.xml().namespaceUri() == u"urn:oasis:names:tc:opendocument:xmlns:table:1.0")
            return true;
    }
}

} // namespace

QStringList sheetNames(Package &package)
{
    QStringList names;
    XmlPart part(package, contentPart);
    while (nextTable(part)) {
        names.append(part.xml().attributes().value("table:name"_L1).toString());
        part.skipElement();
    }
    if (names.isEmpty())
        part.throwDamaged(QCoreApplication::translate("Workbook", "其中没有工作表"));
    return names;
}

Sheet readSheet(Package &package, int index)
{
    XmlPart part(package, contentPart);
    for (int i = 0; nextTable(part); ++i) {
        if (i == index)
            return TableReader(part, package).read();
        part.skipElement();
    }
    part.throwDamaged(QCoreApplication::translate("Workbook", "其中没有第 %1 个工作表").arg(index + 1));
}

} // namespace Workbook::Ods
