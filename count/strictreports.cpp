// SPDX-License-Identifier: MIT
// The --strict reports: one line on standard error for each character
// without a count, FILE:LINE:COLUMN first, where editors look for it.
#include "clusterwalk.h"

#include "output.h"
#include "utf8.h"

#include <QChar>

#include <algorithm>
#include <charconv>
#include <cstring>
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
// No byte below this starts a variation selector in UTF-8 (U+FE00 is
// EF B8 80).
constexpr unsigned char variationSelectorLead = 0xEF;
constexpr unsigned char firstNonAscii = 0x80;
// The words around the character and its name.
constexpr std::string_view reportMiddle = ": “";
constexpr std::string_view reportBefore = "”（";
constexpr std::string_view reportAfter = "）没有笔画数\n";

// The code point at P of valid UTF-8, and the byte after it.
const unsigned char *nextCodePoint(const unsigned char *p, const unsigned char *end, char32_t *codePoint)
{
    if (*p < firstNonAscii) {
        *codePoint = *p;
        return p + 1;
    }
    return Utf8::decode(p, end, codePoint);
}

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

// Copies SIZE bytes to OUT: a place of 16 to 32 bytes, the usual size, in
// two copies of a known length, which need no call.
void copyShort(char *out, const char *from, std::size_t size)
{
    constexpr std::size_t half = 16;
    if (size >= half && size <= 2 * half) {
        std::memcpy(out, from, half);
        std::memcpy(out + size - half, from + size - half, half);
    } else {
        std::memcpy(out, from, size);
    }
}

// The longest end of a report, from the column on, on a character of SIZE
// code points.
constexpr std::size_t longestEnd(std::size_t size)
{
    constexpr std::size_t nameLength = 2 + mostNameDigits;
    constexpr std::size_t perCodePoint = std::max(nameLength, Utf8::maxEncodedLength);
    return reportMiddle.size() + size * perCodePoint + reportBefore.size() + nameLength + reportAfter.size();
}

// The end of the report on CHARACTER (SIZE code points, the first with no
// count), written at OUT; returns the byte after it.
char *writeEnd(char *out, const char32_t *character, std::size_t size)
{
    out = std::copy(reportMiddle.begin(), reportMiddle.end(), out);
    for (std::size_t i = 0; i < size; ++i)
        out = isShownByName(character[i]) ? writeCodePointName(out, character[i]) : Utf8::encode(character[i], out);
    out = std::copy(reportBefore.begin(), reportBefore.end(), out);
    out = writeCodePointName(out, character[0]);
    return std::copy(reportAfter.begin(), reportAfter.end(), out);
}

// The ends of the reports on each ASCII character, made once: a line of
// letters without a count has a report for each byte.
struct AsciiEnds
{
    static constexpr std::size_t room = 64;
    static_assert(longestEnd(1) <= room);
    char text[firstNonAscii][room] = {};
    unsigned char size[firstNonAscii] = {};
};

const AsciiEnds &asciiEnds()
{
    static const AsciiEnds ends = [] {
        AsciiEnds made;
        for (char32_t c = 0; c < firstNonAscii; ++c)
            made.size[c] = static_cast<unsigned char>(writeEnd(made.text[c], &c, 1) - made.text[c]);
        return made;
    }();
    return ends;
}

} // namespace

bool Counter::reportUnknowns(LineReader &reader, const Where &where)
{
    if (reader.encoding().kind == TextEncoding::Kind::Utf8)
        return reportUnknownsInUtf8(reader.bytes(), where);
    return walk(reader, [&](const Cluster &cluster) {
        if (cluster.known || cluster.space)
            return true;
        reportUnknown(where, cluster);
        return !m_output.reportsFull() || m_output.flush();
    });
}

// The characters and columns walk() finds, read straight from the bytes of
// a line already found valid: a line of letters has a report for each byte,
// and none of them waits for the line to be decoded first.
bool Counter::reportUnknownsInUtf8(QByteArrayView line, const Where &where)
{
    const auto *p = reinterpret_cast<const unsigned char *>(line.data());
    const unsigned char *end = p + line.size();
    const std::string *place = nullptr;
    std::size_t column = 0;
    char32_t base = 0;
    while (p < end) {
        const unsigned char *start = p;
        p = nextCodePoint(p, end, &base);
        std::size_t size = 1;
        const bool space = QChar::isSpace(base);
        while (!space && p < end && *p >= variationSelectorLead) {
            char32_t following = 0;
            const unsigned char *after = nextCodePoint(p, end, &following);
            if (!Character::isVariationSelector(following))
                break;
            p = after;
            ++size;
        }
        const bool leading = column++ == 0;
        if (space || (leading ? m_table.isLeadingKnown(base) : m_table.isKnown(base)))
            continue;
        if (!place)
            place = &reportPlace(where);
        if (size == 1) {
            m_output.reportUnknown(*place, column, &base, 1);
        } else {
            m_cluster.clear();
            for (const unsigned char *q = start; q < p;) {
                char32_t codePoint = 0;
                q = nextCodePoint(q, p, &codePoint);
                m_cluster.push_back(codePoint);
            }
            m_output.reportUnknown(*place, column, m_cluster.data(), m_cluster.size());
        }
        if (m_output.reportsFull() && !m_output.flush())
            return false;
    }
    return true;
}

void Counter::reportUnknown(const Where &where, const Cluster &cluster)
{
    m_output.reportUnknown(reportPlace(where), cluster.column, cluster.codePoints.data(), cluster.codePoints.size());
}

// The place is worded once per item or line, not once per character, and
// without QString: the reports can be as many as the input's bytes.
const std::string &Counter::reportPlace(const Where &where)
{
    m_foundUnknown = true;
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
    return m_reportPlace;
}

void Output::reportUnknown(const std::string &place, std::size_t column, const char32_t *character,
                           std::size_t size)
{
    if (!m_reportFile)
        return;
    constexpr std::size_t longestStart = 1 + numberRoom;
    // The reports can outnumber the input's bytes: each is written where it
    // stays until it goes out.
    char *const line = reportRoom(place.size() + longestStart + std::max(longestEnd(size), AsciiEnds::room));
    char *out = line;
    copyShort(out, place.data(), place.size());
    out += place.size();
    *out++ = ':';
    out = std::to_chars(out, out + numberRoom, column).ptr;
    if (size == 1 && character[0] < firstNonAscii) {
        const AsciiEnds &ends = asciiEnds();
        std::memcpy(out, ends.text[character[0]], AsciiEnds::room);
        out += ends.size[character[0]];
    } else {
        out = writeEnd(out, character, size);
    }
    m_reportsSize += std::size_t(out - line);
}

void Output::growReports(std::size_t size)
{
    m_reports.resize(std::max(m_reports.size() * 2, m_reportsSize + size));
}

} // namespace Count
