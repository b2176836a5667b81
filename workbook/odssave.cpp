// SPDX-License-Identifier: MIT
#include "workbook.h"

#include "runtimeerror.h"
#include "sheetsave.h"
#include "zipwriter.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace Workbook {

namespace {

// A column's width for one character's width of the default 10-point
// font: a digit, or half a Chinese character.
constexpr double centimetresPerCharacter = 0.2;

constexpr char mimeType[] = "application/vnd.oasis.opendocument.spreadsheet";

constexpr char manifest[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2"><manifest:file-entry manifest:full-path="/" manifest:version="1.2" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/><manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/></manifest:manifest>)";

constexpr char contentStart[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" office:version="1.2"><office:automatic-styles><style:style style:name="ce1" style:family="table-cell"><style:text-properties fo:font-weight="bold" style:font-weight-asian="bold" style:font-weight-complex="bold"/></style:style>)";

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

// Whether TEXT goes into one paragraph as it stands: OpenDocument
// collapses runs of spaces and drops them at a paragraph's ends.
bool isPlain(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u' ' || c == u'&' || c == u'<' || c == u'>' || c >= 0xFFFE)
            return false;
        if (c == u' ' && (i == 0 || i == text.size() - 1 || text[i - 1] == u' '))
            return false;
    }
    return true;
}

// LINE as a paragraph's XML: OpenDocument readers collapse a run of
// spaces and drop them at a paragraph's ends, so all but a single space
// between words are counted in text:s; a TAB is text:tab.
QString paragraphXml(QStringView line)
{
    QString xml;
    for (qsizetype i = 0; i < line.size();) {
        qsizetype spaces = 0;
        while (i + spaces < line.size() && line[i + spaces] == u' ')
            ++spaces;
        if (spaces > 0) {
            const bool between = i > 0 && i + spaces < line.size();
            if (between)
                xml += u' ';
            if (spaces > (between ? 1 : 0))
                xml += u"<text:s text:c=\"%1\"/>"_s.arg(spaces - (between ? 1 : 0));
            i += spaces;
            continue;
        }
        xml += line[i] == u'\t' ? u"<text:tab/>"_s : line.sliced(i, 1).toString().toHtmlEscaped();
        ++i;
    }
    return xml;
}

class ContentXml
{
public:
    ContentXml(const QList<QStringList> &records, const SaveOptions &options, qsizetype pieces)
        : m_records(records)
        , m_options(options)
        , m_pieces(pieces)
    {
    }

    QByteArray piece(qsizetype i) const
    {
        QByteArray out;
        if (i == 0)
            writeStart(out);
        const qsizetype end = m_records.size() * (i + 1) / m_pieces;
        for (qsizetype r = m_records.size() * i / m_pieces; r < end; ++r)
            writeRow(out, r);
        if (i == m_pieces - 1) {
            if (m_records.isEmpty())
                out.append("<table:table-row><table:table-cell/></table:table-row>");
            out.append("</table:table></office:spreadsheet></office:body></office:document-content>");
        }
        return out;
    }

private:
    void writeStart(QByteArray &out) const
    {
        out.append(contentStart);
        const QList<double> widths = columnWidths(m_records);
        for (qsizetype c = 0; c < widths.size(); ++c) {
            out.append("<style:style style:name=\"co");
            appendNumber(out, c + 1);
            out.append("\" style:family=\"table-column\"><style:table-column-properties style:column-width=\""
                         + QByteArray::number(widths[c] * centimetresPerCharacter, 'f', 2) + "cm\"/></style:style>");
        }
        out.append("</office:automatic-styles><office:body><office:spreadsheet><table:table table:name=\"");
        out.append(sheetName(m_options.sheetName).toHtmlEscaped().toUtf8());
        out.append("\">");
        for (qsizetype c = 0; c < widths.size(); ++c) {
            out.append("<table:table-column table:style-name=\"co");
            appendNumber(out, c + 1);
            out.append("\"/>");
        }
    }

    void writeRow(QByteArray &out, qsizetype r) const
    {
        const bool header = m_options.header && r == 0;
        out.append("<table:table-row>");
        const QStringList &record = m_records[r];
        if (record.isEmpty())
            out.append("<table:table-cell/>");
        for (qsizetype c = 0; c < record.size(); ++c) {
            const QString &text = record[c];
            if (text.isEmpty()) {
                out.append("<table:table-cell/>");
            } else if (!header && m_options.numberColumns.contains(int(c)) && isPlainNumber(text)) {
                const QByteArray number = text.toLatin1();
                out.append("<table:table-cell office:value-type=\"float\" office:value=\"" + number + "\"><text:p>"
                             + number + "</text:p></table:table-cell>");
            } else {
                out.append(header ? "<table:table-cell table:style-name=\"ce1\" office:value-type=\"string\">"
                                    : "<table:table-cell office:value-type=\"string\">");
                writeText(out, text, r, c);
                out.append("</table:table-cell>");
            }
        }
        out.append("</table:table-row>");
    }

    void writeText(QByteArray &out, const QString &text, qsizetype r, qsizetype c) const
    {
        if (isPlain(text)) {
            out.append("<text:p>");
            out.append(text.toUtf8());
            out.append("</text:p>");
            return;
        }
        for (const QChar ch : text) {
            if ((ch.unicode() < u' ' && ch != u'\t' && ch != u'\n' && ch != u'\r') || ch.unicode() >= 0xFFFE)
                throw RuntimeError(tr("第 %1 行第 %2 列有控制字符 U+%3，.ods 文件存不下它；可以存为 Excel 工作簿。")
                                           .arg(r + 1)
                                           .arg(c + 1)
                                           .arg(QString::number(ch.unicode(), 16).toUpper().rightJustified(4, u'0')));
        }
        QString lines = text;
        lines.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
        for (const QStringView line : QStringView(lines).split(u'\n'))
            out.append((u"<text:p>"_s + paragraphXml(line) + u"</text:p>"_s).toUtf8());
    }

    const QList<QStringList> &m_records;
    const SaveOptions &m_options;
    const qsizetype m_pieces;
};

} // namespace

void saveOds(const QString &path, const QList<QStringList> &records, const SaveOptions &options)
{
    checkSize(records);
    const qsizetype pieces = pieceCount(records);
    const ContentXml content(records, options, pieces);
    savePackage(path, [&](ZipWriter &zip) {
        zip.addStored("mimetype", mimeType);
        zip.add("META-INF/manifest.xml", manifest);
        zip.addPieces("content.xml", pieces, [&content](qsizetype i) { return content.piece(i); });
    });
}

} // namespace Workbook
