// SPDX-License-Identifier: MIT
#include "delimited.h"

#include <QCoreApplication>

#include <algorithm>

namespace Delimited {

namespace {

constexpr char16_t quote = u'"';

// Without the temporary string that append() makes of other units.
template<typename Text, typename Unit>
void appendUnits(Text &text, const Unit *begin, const Unit *end)
{
    const std::size_t size = text.size();
    text.resize(size + std::size_t(end - begin));
    std::copy(begin, end, text.begin() + qsizetype(size));
}

bool isBlank(char32_t c)
{
    return c == U' ' || c == U'\t';
}

} // namespace

QList<QStringList> parse(QStringView text, QChar separator, qsizetype *openQuoteLine)
{
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool inQuotes = false;
    qsizetype line = 1;
    qsizetype quoteLine = 0;
    bool atFieldStart = true;
    // Whether anything of the current record has been read, so that a line
    // end right after the last record adds no empty one.
    bool recordStarted = false;
    const auto endField = [&] {
        fields.append(field);
        field.clear();
        atFieldStart = true;
    };
    const auto endRecord = [&] {
        endField();
        records.append(fields);
        fields.clear();
        recordStarted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c != quote) {
                field += c;
                if (c == u'\n' || (c == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')))
                    ++line;
            } else if (i + 1 < text.size() && text[i + 1] == quote) {
                field += c;
                ++i;
            } else {
                inQuotes = false;
            }
            continue;
        }
        recordStarted = true;
        if (c == separator) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            ++line;
            endRecord();
        } else if (c == quote && atFieldStart) {
            inQuotes = true;
            quoteLine = line;
            atFieldStart = false;
        } else {
            field += c;
            atFieldStart = false;
        }
    }
    if (recordStarted || inQuotes)
        endRecord();
    if (openQuoteLine)
        *openQuoteLine = inQuotes ? quoteLine : 0;
    return records;
}

QString unclosedQuote(const QString &name, qint64 line)
{
    return QCoreApplication::translate("Delimited", "%1:%2: 第 %2 行的引号到末尾都没有配对的结束引号。").arg(name).arg(line);
}

QString quoted(const QString &field, QChar separator)
{
    const bool needsQuotes = field.contains(separator) || field.contains(quote) || field.contains(u'\r')
            || field.contains(u'\n');
    if (!needsQuotes)
        return field;
    QString result = field;
    result.replace(QChar(quote), QStringLiteral("\"\""));
    return quote + result + quote;
}

QString joined(const QStringList &fields, QChar separator)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += separator;
        line += quoted(fields.at(i), separator);
    }
    return line;
}

FieldPicker::FieldPicker(char32_t separator, bool quoting, qsizetype field)
    : m_separator(separator)
    , m_quoting(quoting && separator != blankSeparated)
    , m_wanted(field)
{
}

void FieldPicker::startRecord()
{
    m_index = 0;
    m_lines = 0;
    m_fieldLine = 0;
    m_fieldOffset = 0;
    m_atFieldStart = true;
    m_inQuotes = false;
    m_field.clear();
    m_fieldBytes.clear();
    m_inLine = false;
}

// Adds the units from BEGIN to END of the line to the field: bytes that
// begin it are only pointed at while the line lives.
template<typename Unit>
void FieldPicker::appendField(const Unit *begin, const Unit *end)
{
    if constexpr (sizeof(Unit) == 1) {
        if (!m_inLine && m_fieldBytes.empty()) {
            m_fieldInLine = std::string_view(reinterpret_cast<const char *>(begin), std::size_t(end - begin));
            m_inLine = true;
            return;
        }
    }
    appendUnits(fieldOf<Unit>(), begin, end);
}

// The record goes on past the line: the field is copied out of it.
void FieldPicker::keepField()
{
    if (m_inLine)
        m_fieldBytes.assign(m_fieldInLine);
    m_inLine = false;
}

template<typename Unit>
bool FieldPicker::readLine(const Unit *begin, const Unit *end)
{
    const qsizetype line = m_lines++;
    if (m_separator == blankSeparated) {
        readBlankSeparated(begin, end);
        return true;
    }
    if (m_inQuotes && m_index == m_wanted)
        fieldOf<Unit>() += '\n';
    // The whole line is read even past the field asked for: a later quoted
    // field may carry the record on to the next line. It is read in runs
    // between quotes and separators, not a unit at a time.
    const Unit *p = begin;
    while (p < end) {
        if (m_inQuotes) {
            p = readQuoted(p, end);
            continue;
        }
        if (m_index > m_wanted && (!m_quoting || std::find(p, end, Unit(quote)) == end))
            return true;
        if (m_atFieldStart && m_quoting && *p == quote) {
            m_inQuotes = true;
            m_quoteLine = line;
            m_atFieldStart = false;
            ++p;
            if (m_index == m_wanted)
                m_fieldOffset = p - begin;
            continue;
        }
        const Unit *stop = std::find(p, end, Unit(m_separator));
        if (m_index == m_wanted)
            appendField(p, stop);
        if (stop == end)
            return true;
        ++m_index;
        m_atFieldStart = true;
        p = stop + 1;
        if (m_index == m_wanted) {
            m_fieldLine = line;
            m_fieldOffset = p - begin;
        }
    }
    if (m_inQuotes)
        keepField();
    return !m_inQuotes;
}

// Reads from P inside quotes, up to and past the quote that closes them,
// or to END; returns where the line goes on.
template<typename Unit>
const Unit *FieldPicker::readQuoted(const Unit *p, const Unit *end)
{
    const Unit *close = std::find(p, end, Unit(quote));
    if (m_index == m_wanted)
        appendUnits(fieldOf<Unit>(), p, close);
    if (close == end)
        return end;
    const bool doubled = close + 1 < end && close[1] == quote;
    if (doubled && m_index == m_wanted)
        fieldOf<Unit>() += char(quote);
    m_inQuotes = doubled;
    return close + (doubled ? 2 : 1);
}

template<typename Unit>
void FieldPicker::readBlankSeparated(const Unit *begin, const Unit *end)
{
    const Unit *p = begin;
    for (qsizetype index = 0;; ++index) {
        while (p < end && isBlank(*p))
            ++p;
        const Unit *start = p;
        while (p < end && !isBlank(*p))
            ++p;
        if (start == p)
            return;
        if (index == m_wanted) {
            m_fieldOffset = start - begin;
            fieldOf<Unit>().clear();
            appendField(start, p);
            return;
        }
    }
}

template bool FieldPicker::readLine(const char32_t *, const char32_t *);
template bool FieldPicker::readLine(const unsigned char *, const unsigned char *);

} // namespace Delimited
