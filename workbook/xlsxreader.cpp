// SPDX-License-Identifier: MIT
#include "package.h"
#include "readers.h"
#include "sheetbuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace Workbook::Xlsx {

namespace {

const QString workbookPart = u"xl/workbook.xml"_s;
const QString workbookRelations = u"xl/_rels/workbook.xml.rels"_s;
// Past this many digits a row number or column letters cannot be valid,
// and reading on would overflow.
constexpr qsizetype maxRowDigits = 10;
constexpr qsizetype maxColumnLetters = 3;
constexpr int lettersInAlphabet = 26;
constexpr int decimalBase = 10;
// Whole numbers up to this many digits show as Excel shows them in full.
constexpr double largestPlainNumber = 1e15;
constexpr int significantDigits = 15;
// Excel's own limit on a workbook's cell formats; a cell naming one past
// it shows as General.
constexpr qsizetype maxCellStyles = 65490;

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

bool isTrue(QStringView value)
{
    return value == u"1" || value == u"true";
}

// The relationship id of an element, r:id, whatever the prefix is bound
// to (transitional and strict workbooks bind it to different namespaces).
QString relationId(const QXmlStreamAttributes &attributes)
{
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.name() == u"id" && !a.prefix().isEmpty())
            return a.value().toString();
    }
    return {};
}

struct Relation
{
    QString type;
    QString target;
};

QHash<QString, Relation> readRelations(Package &package)
{
    QHash<QString, Relation> relations;
    if (!package.contains(workbookRelations))
        return relations;
    XmlPart part(package, workbookRelations);
    while (part.next() != QXmlStreamReader::EndDocument) {
        if (!part.xml().isStartElement() || part.xml().name() != u"Relationship")
            continue;
        const QXmlStreamAttributes a = part.xml().attributes();
        QString target = a.value("Target"_L1).toString();
        target = target.startsWith(u'/') ? target.mid(1) : u"xl/"_s + target;
        relations.insert(a.value("Id"_L1).toString(), {a.value("Type"_L1).toString(), QDir::cleanPath(target)});
    }
    return relations;
}

QString partOfType(const QHash<QString, Relation> &relations, QStringView type, const QString &fallback)
{
    for (const Relation &r : relations) {
        if (r.type.endsWith(type))
            return r.target;
    }
    return fallback;
}

struct Book
{
    QStringList names;
    QStringList sheetIds;
    bool epoch1904 = false;
};

Book readBook(Package &package)
{
    Book book;
    XmlPart part(package, workbookPart);
    while (part.next() != QXmlStreamReader::EndDocument) {
        if (!part.xml().isStartElement())
            continue;
        const QXmlStreamAttributes a = part.xml().attributes();
        if (part.xml().name() == u"workbookPr") {
            book.epoch1904 = isTrue(a.value("date1904"_L1));
        } else if (part.xml().name() == u"sheet") {
            book.names.append(a.value("name"_L1).toString());
            book.sheetIds.append(relationId(a));
        }
    }
    if (book.names.isEmpty())
        part.throwDamaged(tr("其中没有工作表"));
    return book;
}

// Text with the characters XML cannot hold, written as _xHHHH_ (as Excel
// writes a carriage return, _x000D_), back as they were; a literal
// "_x" is written _x005F_x.
QString unescaped(QString text)
{
    if (!text.contains(u"_x"))
        return text;
    static const QRegularExpression escape(u"_x([0-9A-Fa-f]{4})_"_s);
    QString out;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator i = escape.globalMatch(text); i.hasNext();) {
        const QRegularExpressionMatch match = i.next();
        out += QStringView(text).sliced(from, match.capturedStart() - from);
        out += QChar(char16_t(match.capturedView(1).toUShort(nullptr, 16)));
        from = match.capturedEnd();
    }
    out += QStringView(text).sliced(from);
    return out;
}

QStringList readSharedStrings(Package &package, const QString &partName)
{
    QStringList strings;
    if (!package.contains(partName))
        return strings;
    XmlPart part(package, partName);
    while (part.next() != QXmlStreamReader::EndDocument) {
        // Phonetic runs (rPh) annotate the text and are not shown.
        if (part.xml().isStartElement() && part.xml().name() == u"si") {
            // Each takes memory however short it is in the file.
            if (strings.size() >= maxCells)
                part.throwDamaged(tr("共享字符串多于 %1 个").arg(maxCells));
            strings.append(unescaped(part.elementText(u"rPh")));
        }
    }
    return strings;
}

// The date format of each cell style, by the style's index; empty where
// the style shows no date.
QStringList readDateStyles(Package &package, const QString &partName)
{
    QStringList dateStyles;
    if (!package.contains(partName))
        return dateStyles;
    QHash<int, QString> custom;
    bool inCellStyles = false;
    XmlPart part(package, partName);
    while (part.next() != QXmlStreamReader::EndDocument) {
        QXmlStreamReader &xml = part.xml();
        if (xml.isEndElement() && xml.name() == u"cellXfs")
            inCellStyles = false;
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"numFmt") {
            custom.insert(a.value("numFmtId"_L1).toInt(), a.value("formatCode"_L1).toString());
        } else if (xml.name() == u"cellXfs") {
            inCellStyles = true;
        } else if (inCellStyles && xml.name() == u"xf" && dateStyles.size() < maxCellStyles) {
            const int id = a.value("numFmtId"_L1).toInt();
            const QString code = custom.contains(id) ? custom.value(id) : builtInDateFormat(id);
            // A format is a date format when it shows a date of some day.
            dateStyles.append(formatDate(1, code, false).isEmpty() ? QString() : code);
            part.skipElement();
        }
    }
    return dateStyles;
}

// The value of TEXT made of decimal digits only; -1 where it holds anything
// else or more digits than any row number or index can have. Cells take it
// for their row, style and string index, without the cost of a conversion
// that knows locales and signs.
qint64 digitsValue(QStringView text)
{
    if (text.isEmpty() || text.size() > maxRowDigits)
        return -1;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * decimalBase + (c.unicode() - u'0');
    }
    return value;
}

// Whether VALUE is a whole number written as Excel shows it: digits, no
// sign, no leading zero, fewer than 16 of them.
bool isShownAsWritten(QStringView value)
{
    if (value.isEmpty() || value.size() > significantDigits || (value[0] == u'0' && value.size() > 1))
        return false;
    return std::all_of(value.begin(), value.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QString plainNumber(const QString &value)
{
    if (isShownAsWritten(value))
        return value;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return value;
    if (number == std::trunc(number) && std::abs(number) < largestPlainNumber)
        return QString::number(qint64(number));
    return QString::number(number, 'g', significantDigits).toUpper();
}

// A reference such as "AB12" into its 0-based column and row.
bool parseReference(QStringView reference, qint64 &row, qint64 &column)
{
    qsizetype i = 0;
    column = 0;
    for (; i < reference.size() && i < maxColumnLetters; ++i) {
        // Clearing the bit that sets lower case apart from upper case.
        const char16_t letter = reference[i].unicode() & ~char16_t(u'a' - u'A');
        if (letter < u'A' || letter > u'Z')
            break;
        column = column * lettersInAlphabet + (letter - u'A' + 1);
    }
    row = digitsValue(reference.sliced(i)) - 1;
    --column;
    return i > 0 && row >= -1 && column >= 0;
}

// Whether NAME, an element's or attribute's local name, is EXPECTED: the
// sheet's loop compares a few names per cell, and this stays inline.
template<qsizetype N>
bool named(QStringView name, const char16_t (&expected)[N])
{
    if (name.size() != N - 1)
        return false;
    for (qsizetype i = 0; i < N - 1; ++i) {
        if (name[i].unicode() != expected[i])
            return false;
    }
    return true;
}

class SheetReader
{
public:
    SheetReader(Package &package, const QString &partName, const Book &book, const QHash<QString, Relation> &relations)
        : m_strings(readSharedStrings(package, partOfType(relations, u"/sharedStrings", u"xl/sharedStrings.xml"_s)))
        , m_dateStyles(readDateStyles(package, partOfType(relations, u"/styles", u"xl/styles.xml"_s)))
        , m_part(package, partName)
        , m_builder(package)
        , m_epoch1904(book.epoch1904)
    {
    }

    Sheet read()
    {
        while (m_part.next() != QXmlStreamReader::EndDocument) {
            if (!m_part.xml().isStartElement())
                continue;
            const QStringView name = m_part.xml().name();
            if (name == u"col")
                readColumn();
            else if (name == u"row")
                readRow();
            else if (name == u"mergeCell")
                readMerge();
        }
        return m_builder.take();
    }

private:
    void readColumn()
    {
        const QXmlStreamAttributes a = m_part.xml().attributes();
        if (isTrue(a.value("hidden"_L1)))
            m_builder.hideColumns(a.value("min"_L1).toLongLong() - 1, a.value("max"_L1).toLongLong() - 1);
    }

    void readRow()
    {
        // The copy of the attributes is let go before the cells are read:
        // while it is held, the reader copies its own at every element.
        bool hidden = false;
        {
            const QXmlStreamAttributes a = m_part.xml().attributes();
            const QStringView number = a.value("r"_L1);
            if (!number.isEmpty()) {
                qint64 r = digitsValue(number);
                if (r < 0)
                    r = number.size() > maxRowDigits ? std::numeric_limits<qint64>::max() : number.toLongLong();
                m_builder.checkRow(r);
                m_row = r - 1;
            } else {
                ++m_row;
            }
            hidden = isTrue(a.value("hidden"_L1));
        }
        if (hidden)
            m_builder.hideRows(m_row, m_row);
        m_column = -1;
        while (m_part.nextChild()) {
            if (named(m_part.xml().name(), u"c"))
                readCell();
            else
                m_part.skipElement();
        }
    }

    // What a cell's t attribute says its value is.
    enum class CellType { Number, SharedString, Boolean, FormulaText, AsWritten };

    struct CellHead
    {
        qint64 row = 0;
        CellType type = CellType::Number;
        qsizetype style = 0;
    };

    // The cell's attributes, its column counted on where it has no reference.
    CellHead readCellHead()
    {
        CellHead head{m_row};
        QStringView reference;
        const QXmlStreamAttributes attributes = m_part.xml().attributes();
        for (const QXmlStreamAttribute &a : attributes) {
            const QStringView name = a.qualifiedName();
            if (named(name, u"r")) {
                reference = a.value();
            } else if (named(name, u"s")) {
                const qint64 style = digitsValue(a.value());
                head.style = style >= 0 ? style : a.value().toLongLong();
            } else if (named(name, u"t")) {
                head.type = cellType(a.value());
            }
        }
        if (reference.isEmpty())
            ++m_column;
        else if (!parseReference(reference, head.row, m_column))
            m_part.throwDamaged(tr("单元格引用“%1”无效").arg(reference));
        return head;
    }

    static CellType cellType(QStringView type)
    {
        if (named(type, u"s"))
            return CellType::SharedString;
        if (named(type, u"b"))
            return CellType::Boolean;
        if (named(type, u"str"))
            return CellType::FormulaText;
        if (named(type, u"inlineStr") || named(type, u"e") || named(type, u"d"))
            return CellType::AsWritten;
        return CellType::Number;
    }

    void readCell()
    {
        const CellHead head = readCellHead();
        QString value;
        bool inlineText = false;
        while (m_part.nextChild()) {
            const QStringView name = m_part.xml().name();
            if (named(name, u"v")) {
                value = m_part.readText();
            } else if (named(name, u"is")) {
                value = unescaped(m_part.elementText(u"rPh"));
                inlineText = true;
            } else {
                m_part.skipElement();
            }
        }
        m_builder.put(head.row, m_column, inlineText ? std::move(value) : shown(value, head.type, head.style));
    }

    QString shown(const QString &value, CellType type, qsizetype style)
    {
        if (type == CellType::FormulaText)
            return unescaped(value);
        if (value.isEmpty() || type == CellType::AsWritten)
            return value;
        if (type == CellType::SharedString) {
            bool ok = true;
            qint64 index = digitsValue(value);
            if (index < 0)
                index = value.toLongLong(&ok);
            if (!ok || index < 0 || index >= m_strings.size())
                m_part.throwDamaged(tr("共享字符串 %1 不存在").arg(value));
            return m_strings.at(index);
        }
        if (type == CellType::Boolean)
            return isTrue(value) ? u"TRUE"_s : u"FALSE"_s;
        if (style > 0 && style < m_dateStyles.size() && !m_dateStyles.at(style).isEmpty()) {
            const QString date = formatDate(value.toDouble(), m_dateStyles.at(style), m_epoch1904);
            if (!date.isEmpty())
                return date;
        }
        return plainNumber(value);
    }

    void readMerge()
    {
        const QString reference = m_part.xml().attributes().value("ref"_L1).toString();
        const qsizetype colon = reference.indexOf(u':');
        qint64 firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
        if (colon < 0 || !parseReference(QStringView(reference).first(colon), firstRow, firstColumn)
            || !parseReference(QStringView(reference).sliced(colon + 1), lastRow, lastColumn))
            m_part.throwDamaged(tr("合并区域“%1”无效").arg(reference));
        m_builder.merge(firstRow, firstColumn, lastRow, lastColumn);
    }

    // The shared strings and styles are read before the sheet is opened:
    // the zip reads one part at a time.
    QStringList m_strings;
    QStringList m_dateStyles;
    XmlPart m_part;
    SheetBuilder m_builder;
    bool m_epoch1904 = false;
    qint64 m_row = -1;
    qint64 m_column = -1;
};

} // namespace

QStringList sheetNames(Package &package)
{
    return readBook(package).names;
}

Sheet readSheet(Package &package, int index)
{
    const Book book = readBook(package);
    const QHash<QString, Relation> relations = readRelations(package);
    const QString id = book.sheetIds.value(index);
    const QString partName = relations.contains(id) ? relations.value(id).target
                                                    : u"xl/worksheets/sheet%1.xml"_s.arg(index + 1);
    SheetReader reader(package, partName, book, relations);
    return reader.read();
}

} // namespace Workbook::Xlsx
