// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <string>
#include <string_view>

// Delimited records as spreadsheets export them (CSV, TSV), with quoting as
// RFC 4180 has it: a field that starts with a quote runs to the quote that
// closes it and may hold the separator, doubled quotes and line breaks.
namespace Delimited {

// Splits TEXT into records of fields. CRLF, LF and CR end records outside
// quotes; a line end after the last record makes no empty record. Where a
// quote never closes, its field takes the rest of TEXT, and OPENQUOTELINE
// (when given) gets the 1-based line it opened on; else 0.
QList<QStringList> parse(QStringView text, QChar separator, qsizetype *openQuoteLine = nullptr);

// Why the input called NAME cannot be read as records: the quote that
// opened on its LINE never closes, and would take in every line after it.
QString unclosedQuote(const QString &name, qint64 line);

// One field, quoted only when it holds SEPARATOR, a quote, CR or LF.
QString quoted(const QString &field, QChar separator);
QString joined(const QStringList &fields, QChar separator);

// Picks one field out of a record fed line by line, for readers that split
// lines themselves and keep each line's bytes as they were.
class FieldPicker
{
public:
    // Fields are split at SEPARATOR, or at runs of spaces and TABs when it is
    // blankSeparated. QUOTING follows RFC 4180 quotes; FIELD counts from 0.
    static constexpr char32_t blankSeparated = 0;
    FieldPicker(char32_t separator, bool quoting, qsizetype field);

    void startRecord();
    // Reads the next line of the record, without its line end. Returns
    // false while a quoted field goes on past the line. Over the bytes of
    // UTF-8 text, with a separator below 0x80, no byte of a longer
    // character can be taken for the separator or a quote: the field then
    // comes out as its bytes.
    template<typename Unit>
    bool readLine(const Unit *begin, const Unit *end);
    // The field asked for, quotes taken off; empty when the record has
    // fewer fields. Read from code points, it is in field(); read from
    // bytes, in fieldBytes(). A field without quotes on one line is seen
    // in that line, which must live until the next readLine().
    const std::u32string &field() const { return m_field; }
    std::string_view fieldBytes() const { return m_inLine ? m_fieldInLine : std::string_view(m_fieldBytes); }
    // Where the field begins: its line within the record, from 0, and the
    // units before it on that line.
    qsizetype fieldLine() const { return m_fieldLine; }
    qsizetype fieldOffset() const { return m_fieldOffset; }
    // While readLine() returns false: the line within the record, from 0,
    // where the quote that is still open opened.
    qsizetype openQuoteLine() const { return m_quoteLine; }

private:
    template<typename Unit>
    void readBlankSeparated(const Unit *begin, const Unit *end);
    template<typename Unit>
    const Unit *readQuoted(const Unit *p, const Unit *end);
    template<typename Unit>
    void appendField(const Unit *begin, const Unit *end);
    void keepField();
    template<typename Unit>
    auto &fieldOf()
    {
        if constexpr (sizeof(Unit) == 1) {
            keepField();
            return m_fieldBytes;
        } else {
            return m_field;
        }
    }

    char32_t m_separator;
    bool m_quoting;
    qsizetype m_wanted;
    qsizetype m_index = 0;
    bool m_atFieldStart = true;
    bool m_inQuotes = false;
    std::u32string m_field;
    std::string m_fieldBytes;
    std::string_view m_fieldInLine;
    bool m_inLine = false;
    qsizetype m_lines = 0;
    qsizetype m_fieldLine = 0;
    qsizetype m_fieldOffset = 0;
    qsizetype m_quoteLine = 0;
};

} // namespace Delimited
