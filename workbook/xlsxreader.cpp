// SPDX-License-Identifier: MIT
#include "package.h"
#include "readers.h"
#include "sheetbuilder.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QRegularExpression>

#include <cmath>

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

QString plainNumber(QStringView value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return value.toString();
    if (number == std::trunc(number) && std::abs(number) < largestPlainNumber)
        return QString::number(qint64(number));
    return QString::number(number, 'g', significantDigits).toUpper();
}

// A reference such as "AB12" into its 0-based column and row.
bool parseReference(QStringView reference, qint64 &row, qint64 &column)
{
    qsizetype i = 0;
    column = 0;
    while (i < reference.size() && reference[i].isLetter() && i < maxColumnLetters) {
        column = column * lettersInAlphabet + (reference[i].toUpper().unicode() - u'A' + 1);
        ++i;
    }
    const QStringView digits = reference.sliced(i);
    if (i == 0 || digits.isEmpty() || digits.size() > maxRowDigits)
        return false;
    bool ok = false;
    row = digits.toLongLong(&ok) - 1;
    --column;
    return ok && column >= 0;
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
        const QXmlStreamAttributes a = m_part.xml().attributes();
        const QStringView number = a.value("r"_L1);
        if (!number.isEmpty()) {
            const qint64 r = number.size() > maxRowDigits ? std::numeric_limits<qint64>::max() : number.toLongLong();
            m_builder.checkRow(r);
            m_row = r - 1;
        } else {
            ++m_row;
        }
        if (isTrue(a.value("hidden"_L1)))
            m_builder.hideRows(m_row, m_row);
        m_column = -1;
        while (m_part.nextChild()) {
            if (m_part.xml().name() == u"c")
                readCell();
            else
                m_part.skipElement();
        }
    }

    void readCell()
    {
        const QXmlStreamAttributes a = m_part.xml().attributes();
        const QStringView type = a.value("t"_L1);
        const qsizetype style = a.value("s"_L1).toLongLong();
        const QStringView reference = a.value("r"_L1);
        qint64 row = m_row;
        if (reference.isEmpty())
            ++m_column;
        else if (!parseReference(reference, row, m_column))
            m_part.throwDamaged(tr("单元格引用“%1”无效").arg(reference));
        QString value;
        bool inline_ = false;
        while (m_part.nextChild()) {
            if (m_part.xml().name() == u"v") {
                value = m_part.readText();
            } else if (m_part.xml().name() == u"is") {
                value = unescaped(m_part.elementText(u"rPh"));
                inline_ = true;
            } else {
                m_part.skipElement();
            }
        }
        m_builder.put(row, m_column, inline_ ? value : shown(value, type, style));
    }

    QString shown(const QString &value, QStringView type, qsizetype style)
    {
        if (type == u"str")
            return unescaped(value);
        if (value.isEmpty() || type == u"inlineStr" || type == u"e" || type == u"d")
            return value;
        if (type == u"s") {
            bool ok = false;
            const qsizetype index = value.toLongLong(&ok);
            if (!ok || index < 0 || index >= m_strings.size())
                m_part.throwDamaged(tr("共享字符串 %1 不存在").arg(value));
            return m_strings.at(index);
        }
        if (type == u"b")
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
