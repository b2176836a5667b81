// SPDX-License-Identifier: MIT
// The --strict reports: one line on standard error for each character
// without a count, FILE:LINE:COLUMN first, where editors look for it.
#include "clusterwalk.h"

#include "output.h"
#include "utf8.h"

#include <QChar>

#include <algorithm>
#include <charconv>
#include <string_view>

namespace Count {

namespace {

constexpr std::size_t numberRoom = 24;
constexpr unsigned char firstPrintable = 0x20;
constexpr char32_t asciiDelete = 0x7F;
constexpr char upperHexDigits[] = "0123456789ABCDEF";
constexpr int fewestNameDigits = 4;
constexpr int mostNameDigits = 2 * sizeof(char32_t);
constexpr int bitsPerHexDigit = 4;

// Code points that a terminal acts on instead of showing: controls, format
// characters such as the direction overrides and isolates, and line and
// paragraph separators.
bool isShownByName(char32_t codePoint)
{
    if (codePoint >= firstPrintable && codePoint < asciiDelete)
        return false;
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// Writes "U+" and at least four upper-case hex digits at OUT, as Unicode
// names a code point, and returns the byte after them.
char *writeCodePointName(char *out, char32_t codePoint)
{
    *out++ = 'U';
    *out++ = '+';
    int digits = fewestNameDigits;
    while (digits < mostNameDigits && (codePoint >> (digits * bitsPerHexDigit)) != 0)
        ++digits;
    for (int i = digits - 1; i >= 0; --i)
        *out++ = upperHexDigits[(codePoint >> (i * bitsPerHexDigit)) & 0xF];
    return out;
}

} // namespace

bool Counter::reportUnknowns(LineReader &reader, const Where &where)
{
    return walk(reader, [&](const Cluster &cluster) {
        if (!cluster.known && !cluster.space)
            reportUnknown(where, cluster);
        return true;
    });
}

void Counter::reportUnknown(const Where &where, const Cluster &cluster)
{
    m_foundUnknown = true;
    // The place is worded once per item or line, not once per character,
    // and without QString: the reports can be as many as the input's bytes.
    if (where.name != m_reportWhere.name || where.argument != m_reportWhere.argument || m_reportPlace.empty()) {
        m_reportPlace = "tarvelo-count: ";
        m_reportPlace += where.argument > 0 ? "参数 " + std::to_string(where.argument)
                                            : where.name->toStdString();
        m_reportSourceSize = m_reportPlace.size();
        m_reportWhere.line = -1;
    }
    if ((where.argument == 0 || where.manyLines) && where.line != m_reportWhere.line) {
        m_reportPlace.resize(m_reportSourceSize);
        m_reportPlace += ':' + std::to_string(where.line);
    }
    m_reportWhere = where;
    m_output.reportUnknown(m_reportPlace, cluster.column, cluster.codePoints.data(), cluster.codePoints.size());
}

void Output::reportUnknown(const std::string &place, std::size_t column, const char32_t *character,
                           std::size_t size)
{
    if (!m_reportFile)
        return;
    // FILE:LINE:COLUMN first, where editors look for it.
    static constexpr std::string_view middle = ": “";
    static constexpr std::string_view before = "”（";
    static constexpr std::string_view after = "）没有笔画数\n";
    static constexpr std::size_t nameLength = 2 + mostNameDigits;
    constexpr std::size_t perCodePoint = std::max(nameLength, Utf8::maxEncodedLength);
    constexpr std::size_t fixedLength = 1 + numberRoom + middle.size() + before.size() + nameLength + after.size();
    // The reports can outnumber the input's bytes: each is made in one
    // piece and appended once.
    constexpr std::size_t usualLength = 256;
    char usual[usualLength];
    std::string unusual;
    char *line = usual;
    const std::size_t longest = place.size() + fixedLength + size * perCodePoint;
    if (longest > usualLength) {
        unusual.resize(longest);
        line = unusual.data();
    }
    char *out = std::copy(place.begin(), place.end(), line);
    *out++ = ':';
    out = std::to_chars(out, out + numberRoom, column).ptr;
    out = std::copy(middle.begin(), middle.end(), out);
    for (std::size_t i = 0; i < size; ++i)
        out = isShownByName(character[i]) ? writeCodePointName(out, character[i]) : Utf8::encode(character[i], out);
    out = std::copy(before.begin(), before.end(), out);
    out = writeCodePointName(out, character[0]);
    out = std::copy(after.begin(), after.end(), out);
    m_reports.append(line, std::size_t(out - line));
}

} // namespace Count
