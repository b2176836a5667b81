// SPDX-License-Identifier: MIT
#include "workbook.h"

#include "runtimeerror.h"
#include "sheetsave.h"
#include "zipwriter.h"

#include <QCoreApplication>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Workbook {

namespace {

// What Excel holds in one cell.
constexpr qsizetype longestCell = 32767;
// Excel's column width is in widths of a digit of the default font, 7
// pixels for 11-point Calibri, with 5 pixels of margin, stored to 1/256.
constexpr double digitPixels = 7;
constexpr double marginPixels = 5;
constexpr double widthSteps = 256;
// The cell styles of styles.xml.
constexpr char headerStyle[] = "1";
constexpr char textStyle[] = "2";
constexpr char numberStyle[] = "3";

constexpr char contentTypes[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>)";

constexpr char packageRelations[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";

constexpr char workbookRelations[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/></Relationships>)";

// Styles 1 and 2 are text ("@", built-in format 49), 1 in bold for the
// header, so that what is typed into a cell later stays as typed too;
// style 3 is General, named in a number's cell so that no program takes
// the text style of its column for it.
constexpr char styles[] = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><fonts count="2"><font><sz val="11"/><name val="Calibri"/><family val="2"/></font><font><b/><sz val="11"/><name val="Calibri"/><family val="2"/></font></fonts><fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders><cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs><cellXfs count="4"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/><xf numFmtId="49" fontId="1" fillId="0" borderId="0" xfId="0" applyNumberFormat="1" applyFont="1"/><xf numFmtId="49" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/></cellXfs><cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>)";

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Whether UTF8 holds "_xHHHH_" at AT, which Excel would read as the
// character HHHH.
bool escapeLookalike(QByteArrayView utf8, qsizetype at)
{
    constexpr qsizetype escapeLength = 7;
    if (at + escapeLength > utf8.size() || utf8[at + 1] != 'x' || utf8[at + escapeLength - 1] != '_')
        return false;
    return std::all_of(utf8.begin() + at + 2, utf8.begin() + at + escapeLength - 1, isHexDigit);
}

void appendHexEscape(QByteArray &out, uint character)
{
    out.append("_x" + QByteArray::number(character, 16).toUpper().rightJustified(4, '0') + '_');
}

// UTF8 as XML text. What XML cannot hold (control characters, and a
// carriage return, which XML reads as a line feed) goes as Excel's
// _xHHHH_; an underscore that would begin one is escaped itself.
void appendText(QByteArray &out, QByteArrayView utf8)
{
    qsizetype plain = 0;
    const auto flush = [&](qsizetype at, qsizetype skip) {
        out.append(utf8.sliced(plain, at - plain));
        plain = at + skip;
    };
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto byte = uchar(utf8[i]);
        if (byte == '&' || byte == '<' || byte == '>' || byte == '"') {
            flush(i, 1);
            out.append(byte == '&' ? "&amp;" : byte == '<' ? "&lt;" : byte == '>' ? "&gt;" : "&quot;");
        } else if (byte < 0x20 && byte != '\t' && byte != '\n') {
            flush(i, 1);
            appendHexEscape(out, byte);
        } else if (byte == '_' && escapeLookalike(utf8, i)) {
            flush(i, 1);
            out.append("_x005F_");
        } else if (byte == 0xEF && i + 2 < utf8.size() && uchar(utf8[i + 1]) == 0xBF && uchar(utf8[i + 2]) >= 0xBE) {
            // U+FFFE and U+FFFF, which XML does not allow either.
            flush(i, 3);
            appendHexEscape(out, 0xFFC0 | (uint(uchar(utf8[i + 2])) & 0x3F));
            i += 2;
        }
    }
    flush(utf8.size(), 0);
}

QByteArray columnName(qsizetype column)
{
    constexpr int letters = 26;
    QByteArray name;
    for (qsizetype n = column + 1; n > 0; n = (n - 1) / letters)
        name.prepend(char('A' + (n - 1) % letters));
    return name;
}

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// The sheet's XML in pieces that can be made at once on several threads.
class SheetXml
{
public:
    SheetXml(const QList<QStringList> &records, const SaveOptions &options, qsizetype pieces)
        : m_records(records)
        , m_options(options)
        , m_pieces(pieces)
    {
        qsizetype widest = 0;
        for (const QStringList &record : records)
            widest = std::max(widest, record.size());
        for (qsizetype c = 0; c < widest; ++c)
            m_columns.append(columnName(c));
    }

    QByteArray piece(qsizetype i) const
    {
        QByteArray out;
        if (i == 0)
            writeStart(out);
        const qsizetype end = m_records.size() * (i + 1) / m_pieces;
        for (qsizetype r = m_records.size() * i / m_pieces; r < end; ++r)
            writeRow(out, r);
        if (i == m_pieces - 1)
            out.append(R"(</sheetData><pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" header="0.3" footer="0.3"/></worksheet>)");
        return out;
    }

private:
    void writeStart(QByteArray &out) const
    {
        out.append(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><dimension ref="A1)");
        if (!m_columns.isEmpty() && !m_records.isEmpty()) {
            out.append(':' + m_columns.last());
            appendNumber(out, m_records.size());
        }
        out.append(R"("/><sheetViews><sheetView tabSelected="1" workbookViewId="0"/></sheetViews><sheetFormatPr defaultRowHeight="15"/>)");
        writeColumns(out);
        out.append("<sheetData>");
    }

    void writeColumns(QByteArray &out) const
    {
        const QList<double> widths = columnWidths(m_records);
        if (widths.isEmpty())
            return;
        out.append("<cols>");
        for (qsizetype c = 0; c < widths.size(); ++c) {
            const double pixels = std::round(widths[c] * digitPixels) + marginPixels;
            const double width = std::trunc(pixels / digitPixels * widthSteps) / widthSteps;
            out.append("<col min=\"");
            appendNumber(out, c + 1);
            out.append("\" max=\"");
            appendNumber(out, c + 1);
            out.append("\" width=\"" + QByteArray::number(width, 'g', 12) + "\" style=\"" + textStyle
                       + "\" customWidth=\"1\"/>");
        }
        out.append("</cols>");
    }

    void writeRow(QByteArray &out, qsizetype r) const
    {
        const QStringList &record = m_records[r];
        const bool header = m_options.header && r == 0;
        QByteArray rowNumber;
        appendNumber(rowNumber, r + 1);
        out.append("<row r=\"");
        out.append(rowNumber);
        out.append("\">");
        for (qsizetype c = 0; c < record.size(); ++c) {
            const QString &text = record[c];
            if (text.isEmpty())
                continue;
            if (text.size() > longestCell)
                throw RuntimeError(tr("第 %1 行第 %2 列的内容超过了 Excel 一格能存的 32767 个字，写不进工作簿。")
                                           .arg(r + 1)
                                           .arg(c + 1));
            out.append("<c r=\"");
            out.append(m_columns[c]);
            out.append(rowNumber);
            if (!header && m_options.numberColumns.contains(int(c)) && isPlainNumber(text)) {
                out.append("\" s=\"");
                out.append(numberStyle);
                out.append("\"><v>");
                out.append(text.toLatin1());
                out.append("</v></c>");
                continue;
            }
            out.append("\" s=\"");
            out.append(header ? headerStyle : textStyle);
            out.append("\" t=\"inlineStr\"><is><t");
            if (isSpace(text.front()) || isSpace(text.back()))
                out.append(" xml:space=\"preserve\"");
            out.append('>');
            appendText(out, text.toUtf8());
            out.append("</t></is></c>");
        }
        out.append("</row>");
    }

    const QList<QStringList> &m_records;
    const SaveOptions &m_options;
    const qsizetype m_pieces;
    QList<QByteArray> m_columns;
};

QByteArray workbookXml(const QString &name)
{
    QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><bookViews><workbookView/></bookViews><sheets><sheet name=")";
    appendText(xml, name.toUtf8());
    xml.append(R"(" sheetId="1" r:id="rId1"/></sheets></workbook>)");
    return xml;
}

} // namespace

void saveXlsx(const QString &path, const QList<QStringList> &records, const SaveOptions &options)
{
    checkSize(records);
    const qsizetype pieces = pieceCount(records);
    const SheetXml sheet(records, options, pieces);
    savePackage(path, [&](ZipWriter &zip) {
        zip.add("[Content_Types].xml", contentTypes);
        zip.add("_rels/.rels", packageRelations);
        zip.add("xl/workbook.xml", workbookXml(sheetName(options.sheetName)));
        zip.add("xl/_rels/workbook.xml.rels", workbookRelations);
        zip.add("xl/styles.xml", styles);
        zip.addPieces("xl/worksheets/sheet1.xml", pieces, [&sheet](qsizetype i) { return sheet.piece(i); });
    });
}

} // namespace Workbook
