// SPDX-License-Identifier: MIT
#include "package.h"
#include "readers.h"
#include "sheetbuilder.h"
#include "splitxml.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <future>
#include <limits>
#include <optional>
#include <system_error>

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

// What shows a cell's value as the spreadsheet does. The shared strings
// and styles are read before the sheet is opened: the zip reads one part
// at a time.
struct SheetStyles
{
    QStringList strings;
    QStringList dateStyles;
    bool epoch1904 = false;
};

// Thrown where the second half of a sheet cannot be read apart from the
// first, which then reads on alone.
struct Unsplittable
{
};

// The row before the second half's first, which that half does not know:
// it must begin with a numbered row.
constexpr qint64 unknownRow = -2;

// What reading the second half of a sheet would do to the records, done
// once the first half is in. Cells go in as read; hidden rows and columns
// touch nothing a cell does, and merges, which empty cells, come after
// the cells (or the half is not taken), so the result and any error are
// those of reading the sheet in one go.
class HalfSheet
{
public:
    void checkRow(qint64 row) const
    {
        if (row < 1 || row > maxRows)
            throw Unsplittable();
    }
    void put(qint64 row, qint64 column, QString text)
    {
        if (text.isEmpty())
            return;
        if (!m_merges.isEmpty())
            throw Unsplittable();
        count();
        m_cells.append({row, column, std::move(text)});
    }
    void hideRows(qint64 first, qint64 last)
    {
        count();
        m_hiddenRows.append({first, last});
    }
    void hideColumns(qint64 first, qint64 last)
    {
        count();
        m_hiddenColumns.append({first, last});
    }
    void merge(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn)
    {
        count();
        m_merges.append({firstRow, firstColumn, lastRow, lastColumn});
    }

    void replay(SheetBuilder &builder)
    {
        for (Cell &cell : m_cells)
            builder.put(cell.row, cell.column, std::move(cell.text));
        for (const Range &range : std::as_const(m_hiddenRows))
            builder.hideRows(range.first, range.last);
        for (const Range &range : std::as_const(m_hiddenColumns))
            builder.hideColumns(range.first, range.last);
        for (const Merge &m : std::as_const(m_merges))
            builder.merge(m.firstRow, m.firstColumn, m.lastRow, m.lastColumn);
    }

private:
    // What is kept stays within what the builder would hold; past that the
    // sheet is read in one go, which reports it.
    void count()
    {
        if (++m_steps > maxCells)
            throw Unsplittable();
    }

    struct Cell
    {
        qint64 row;
        qint64 column;
        QString text;
    };
    struct Range
    {
        qint64 first;
        qint64 last;
    };
    struct Merge
    {
        qint64 firstRow;
        qint64 firstColumn;
        qint64 lastRow;
        qint64 lastColumn;
    };
    QList<Cell> m_cells;
    QList<Range> m_hiddenRows;
    QList<Range> m_hiddenColumns;
    QList<Merge> m_merges;
    qint64 m_steps = 0;
};

// Reads a sheet's XML into SINK, a SheetBuilder or a HalfSheet.
template<class Sink>
class SheetReader
{
public:
    enum class Stop { AtEnd, AtSheetData, AtRow };

    // FIRST_ROW is the row before the first one read: unknownRow for the
    // second half of a sheet.
    SheetReader(const SheetStyles &styles, XmlPart &part, Sink &sink, qint64 firstRow = -1)
        : m_styles(styles)
        , m_part(part)
        , m_sink(sink)
        , m_row(firstRow)
    {
    }

    // Reads on to the end, false; or with STOP, to the start tag of
    // sheetData, or to that of a row beginning at character STOP_AT
    // directly inside that sheetData (what comes before the row in the
    // text is then no comment, CDATA or tag around it), true.
    bool readUntil(Stop stop, qint64 stopAt = -1)
    {
        while (!m_ended) {
            const qint64 before = m_part.xml().characterOffset();
            const QXmlStreamReader::TokenType token = m_part.next();
            m_ended = token == QXmlStreamReader::EndDocument;
            if (token == QXmlStreamReader::StartDocument)
                m_utf8 = m_part.xml().documentEncoding().isEmpty()
                        || m_part.xml().documentEncoding().compare(u"UTF-8", Qt::CaseInsensitive) == 0;
            if (token == QXmlStreamReader::EndElement) {
                if (m_depth == m_dataDepth)
                    m_leftData = true;
                --m_depth;
            }
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = m_part.xml().name();
            if (name == u"row") {
                if (stop == Stop::AtRow && before == stopAt && m_depth == m_dataDepth && !m_leftData)
                    return true;
                readRow();
                continue;
            }
            ++m_depth;
            if (name == u"col")
                readColumn();
            else if (name == u"mergeCell")
                readMerge();
            else if (name == u"sheetData" && stop == Stop::AtSheetData && m_dataDepth < 0) {
                m_dataDepth = m_depth;
                return true;
            }
        }
        return false;
    }

    // Reads on from the row readUntil() stopped at.
    void readOn()
    {
        readRow();
        readUntil(Stop::AtEnd);
    }

    // Whether the XML's offsets count characters of UTF-8, as splitting
    // the sheet's bytes takes them to.
    bool isUtf8() const { return m_utf8; }

private:
    void readColumn()
    {
        const QXmlStreamAttributes a = m_part.xml().attributes();
        if (isTrue(a.value("hidden"_L1)))
            m_sink.hideColumns(a.value("min"_L1).toLongLong() - 1, a.value("max"_L1).toLongLong() - 1);
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
                m_sink.checkRow(r);
                m_row = r - 1;
            } else if (m_row == unknownRow) {
                throw Unsplittable();
            } else {
                ++m_row;
            }
            hidden = isTrue(a.value("hidden"_L1));
        }
        if (hidden)
            m_sink.hideRows(m_row, m_row);
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
        m_sink.put(head.row, m_column, inlineText ? std::move(value) : shown(value, head.type, head.style));
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
            if (!ok || index < 0 || index >= m_styles.strings.size())
                m_part.throwDamaged(tr("共享字符串 %1 不存在").arg(value));
            return m_styles.strings.at(index);
        }
        if (type == CellType::Boolean)
            return isTrue(value) ? u"TRUE"_s : u"FALSE"_s;
        if (style > 0 && style < m_styles.dateStyles.size() && !m_styles.dateStyles.at(style).isEmpty()) {
            const QString date = formatDate(value.toDouble(), m_styles.dateStyles.at(style), m_styles.epoch1904);
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
        m_sink.merge(firstRow, firstColumn, lastRow, lastColumn);
    }

    const SheetStyles &m_styles;
    XmlPart &m_part;
    Sink &m_sink;
    qint64 m_row = -1;
    qint64 m_column = -1;
    // Elements open, and the depth of sheetData once the head is read.
    int m_depth = 0;
    int m_dataDepth = -1;
    bool m_leftData = false;
    bool m_utf8 = false;
    bool m_ended = false;
};

// Reads the rows in REST, the sheet's XML from a row near its middle on,
// behind HEAD, its XML up to and including the start tag of sheetData, on
// a thread of its own; nothing where they cannot be read apart from the
// rows before.
std::optional<HalfSheet> readSecondHalf(const Package &package, const QString &partName, const SheetStyles &styles,
                                        QByteArrayView head, QByteArrayView rest)
{
    try {
        JoinedDevice device(head, rest);
        XmlPart part(package, partName, &device);
        // The head is passed over: the first half's reader has taken it.
        while (part.next() != QXmlStreamReader::EndDocument) {
            if (part.xml().isStartElement() && part.xml().name() == u"sheetData")
                break;
        }
        if (part.xml().characterOffset() != utf16Length(head))
            return std::nullopt;
        HalfSheet half;
        SheetReader<HalfSheet> reader(styles, part, half, unknownRow);
        reader.readUntil(SheetReader<HalfSheet>::Stop::AtEnd);
        return half;
    } catch (...) {
        // Whatever went wrong, reading the sheet in one go meets it too
        // and reports it.
        return std::nullopt;
    }
}

// Has a second thread read the rows from about the middle of XML on while
// READER, just past the start tag of sheetData, HEAD_CHARS into the XML,
// reads those before. What that thread read, for READER's builder; or
// nothing, where the split turns out not to fall between two rows of
// sheetData or the second half cannot be read alone, and READER has read
// on as if it had been alone.
std::optional<HalfSheet> readInHalves(SheetReader<SheetBuilder> &reader, const Package &package,
                                      const QString &partName, const SheetStyles &styles, const QByteArray &xml,
                                      qint64 headChars)
{
    const qsizetype headBytes = byteOffset(xml, headChars);
    const qsizetype split = splitPoint(xml, headBytes, "<row");
    if (split < 0)
        return std::nullopt;
    // Its destructor waits for the thread, also when this one throws, so
    // nothing that thread reads is let go under it.
    std::future<std::optional<HalfSheet>> second;
    try {
        second = std::async(std::launch::async, readSecondHalf, std::cref(package), std::cref(partName),
                            std::cref(styles), QByteArrayView(xml).first(headBytes), QByteArrayView(xml).sliced(split));
    } catch (const std::system_error &) {
        return std::nullopt;
    }
    const qint64 splitChars = headChars + utf16Length(QByteArrayView(xml).sliced(headBytes, split - headBytes));
    if (!reader.readUntil(SheetReader<SheetBuilder>::Stop::AtRow, splitChars))
        return std::nullopt;
    std::optional<HalfSheet> half = second.get();
    if (!half)
        reader.readOn();
    return half;
}

// Large sheets are read in two halves on two threads, with the result of
// reading them in one go.
Sheet readSheetPart(Package &package, const QString &partName, const SheetStyles &styles)
{
    using Reader = SheetReader<SheetBuilder>;
    QByteArray xml = package.inflate(partName);
    QBuffer device;
    device.setData(xml);
    device.open(QIODevice::ReadOnly);
    XmlPart part(package, partName, &device);
    SheetBuilder builder(package);
    Reader reader(styles, part, builder);
    std::optional<HalfSheet> half;
    if (xml.size() >= minSplitBytes && QThread::idealThreadCount() > 1 && xml.startsWith("<?xml")
        && reader.readUntil(Reader::Stop::AtSheetData) && reader.isUtf8())
        half = readInHalves(reader, package, partName, styles, xml, part.xml().characterOffset());
    if (!half) {
        reader.readUntil(Reader::Stop::AtEnd);
        return builder.take();
    }
    // The XML is let go before the second half's cells join the records,
    // where memory would peak with it.
    device.close();
    device.setData(QByteArray());
    xml = QByteArray();
    half->replay(builder);
    return builder.take();
}

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
    SheetStyles styles{readSharedStrings(package, partOfType(relations, u"/sharedStrings", u"xl/sharedStrings.xml"_s)),
                       readDateStyles(package, partOfType(relations, u"/styles", u"xl/styles.xml"_s)), book.epoch1904};
    return readSheetPart(package, partName, styles);
}

} // namespace Workbook::Xlsx
