// SPDX-License-Identifier: MIT
// The --strict reports: one line on standard error for each character
// without a count, FILE:LINE:COLUMN first, where editors look for it.
#include "strictreports.h"

#include "clusterwalk.h"
#include "programmain.h"
#include "utf8.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <numeric>
#include <string_view>

namespace Count {

namespace {

constexpr std::size_t numberRoom = 24;
constexpr char upperHexDigits[] = "0123456789ABCDEF";
constexpr int fewestNameDigits = 4;
constexpr int mostNameDigits = 2 * sizeof(char32_t);
constexpr int bitsPerHexDigit = 4;
constexpr unsigned char firstNonAscii = 0x80;
// The words around the character and its name.
constexpr std::string_view reportMiddle = ": “";
constexpr std::string_view reportBefore = "”（";
constexpr std::string_view reportAfter = "）没有笔画数\n";

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
        out = CommandLine::isActedOnByTerminal(character[i]) ? writeCodePointName(out, character[i])
                                                             : Utf8::encode(character[i], out);
    out = std::copy(reportBefore.begin(), reportBefore.end(), out);
    out = writeCodePointName(out, character[0]);
    return std::copy(reportAfter.begin(), reportAfter.end(), out);
}

// The ends of the reports on each ASCII character, made once: a line of
// letters without a count has a report for each byte.
struct AsciiEnds
{
    // An ASCII character's name has the fewest digits.
    static constexpr std::size_t longest = reportMiddle.size() + 2 * (2 + fewestNameDigits) + reportBefore.size()
                                           + reportAfter.size();
    static constexpr std::size_t room = 48;
    static_assert(longest <= room);
    char text[firstNonAscii][room] = {};
    unsigned char size[firstNonAscii] = {};
};

AsciiEnds makeAsciiEnds()
{
    AsciiEnds made;
    for (char32_t c = 0; c < firstNonAscii; ++c)
        made.size[c] = static_cast<unsigned char>(writeEnd(made.text[c], &c, 1) - made.text[c]);
    return made;
}

const AsciiEnds asciiEnds = makeAsciiEnds();

// The columns of a line's first characters in digits, made once: each
// character of a line of letters has a report that names its column.
struct ShortColumns
{
    static constexpr std::size_t count = 1000;
    static constexpr std::size_t room = 4;
    char text[count][room] = {};
    unsigned char size[count] = {};
};

ShortColumns makeShortColumns()
{
    ShortColumns made;
    for (std::size_t column = 0; column < ShortColumns::count; ++column) {
        char *const text = made.text[column];
        const char *const end = std::to_chars(text, text + ShortColumns::room, column).ptr;
        made.size[column] = static_cast<unsigned char>(end - text);
    }
    return made;
}

const ShortColumns shortColumns = makeShortColumns();

// Writes COLUMN at OUT, with room for numberRoom bytes, and returns the byte
// after it.
char *writeColumn(char *out, std::size_t column)
{
    if (column >= ShortColumns::count)
        return std::to_chars(out, out + numberRoom, column).ptr;
    std::memcpy(out, shortColumns.text[column], ShortColumns::room);
    return out + shortColumns.size[column];
}

// The end of the ASCII characters from P, each its own character: the last
// is left out when a variation selector may follow. Runs are cut short so
// that their reports fit a block of reports.
const unsigned char *asciiRunEnd(const unsigned char *p, const unsigned char *end)
{
    constexpr std::ptrdiff_t longestRun = 256;
    const unsigned char *const limit = end - p > longestRun ? p + longestRun : end;
    const unsigned char *const start = p;
    while (p < limit && *p < firstNonAscii)
        ++p;
    if (p > start && p < end && *p >= variationSelectorLead)
        --p;
    return p;
}

// Writes the reports on the bytes of RUN that REPORTED marks at OUT, and
// returns the byte after them. A run can have a report for each byte: each
// is written as copies of a known size and then kept or not, which costs
// less than a guess at which characters have a count.
char *writeAsciiReports(char *out, const ReportPlace &place, std::size_t column, std::string_view run,
                        const std::array<bool, asciiSize> &reported)
{
    const std::size_t placeSize = place.text().size();
    for (const char byte : run) {
        std::memcpy(out, place.block(), ReportPlace::room);
        char *end = writeColumn(out + placeSize, column++);
        const auto c = static_cast<unsigned char>(byte);
        std::memcpy(end, asciiEnds.text[c], AsciiEnds::room);
        const std::size_t kept = std::size_t(end - out) + asciiEnds.size[c];
        out += kept & (std::size_t(0) - std::size_t(reported[c]));
    }
    return out;
}

} // namespace

bool Counter::reportUnknownsDecoded(LineReader &reader, const Where &where)
{
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
bool Counter::reportUnknownsInUtf8(QByteArrayView line, const Where &where, std::size_t columnsBefore,
                                   qint64 *total)
{
    const auto *p = reinterpret_cast<const unsigned char *>(line.data());
    const unsigned char *const end = p + line.size();
    const ReportPlace *place = nullptr;
    std::size_t column = columnsBefore;
    while (p < end) {
        if (*p < firstNonAscii) {
            const unsigned char *runEnd = asciiRunEnd(p, end);
            if (runEnd > p) {
                const std::string_view run(reinterpret_cast<const char *>(p), std::size_t(runEnd - p));
                if (m_ascii.anyCounted)
                    *total += std::accumulate(p, runEnd, qint64(0),
                                              [this](qint64 sum, unsigned char c) { return sum + m_ascii.counts[c]; });
                if (!place)
                    place = &reportPlace(where);
                if (reportUnknownAscii(m_output, *place, column + 1, run, m_ascii.reported))
                    m_foundUnknown = true;
                column += run.size();
                p = runEnd;
                if (m_output.reportsFull() && !m_output.flush())
                    return false;
                continue;
            }
        }
        const bool leading = column == columnsBefore;
        if (!reportUnknownInUtf8(p, end, ++column, leading, where, place, total))
            return false;
    }
    return true;
}

// Reports the character at P, the COLUMNth and LEADING its item, if it has
// no count, and moves P past it. False once nothing more can be written.
bool Counter::reportUnknownInUtf8(const unsigned char *&p, const unsigned char *end, std::size_t column,
                                  bool leading, const Where &where, const ReportPlace *&place, qint64 *total)
{
    const unsigned char *const start = p;
    const Utf8Character character = nextCharacter(p, end);
    p = character.end;
    const char32_t base = character.base;
    *total += leading ? m_table.leadingCount(base) : m_table.count(base);
    if (character.space || (leading ? m_table.isLeadingKnown(base) : m_table.isKnown(base)))
        return true;
    m_foundUnknown = true;
    if (!place)
        place = &reportPlace(where);
    if (character.size == 1) {
        Count::reportUnknown(m_output, *place, column, &base, 1);
    } else {
        m_cluster.clear();
        for (const unsigned char *q = start; q < p;) {
            char32_t codePoint = 0;
            q = nextCodePoint(q, p, &codePoint);
            m_cluster.push_back(codePoint);
        }
        Count::reportUnknown(m_output, *place, column, m_cluster.data(), m_cluster.size());
    }
    return !m_output.reportsFull() || m_output.flush();
}

void Counter::reportUnknown(const Where &where, const Cluster &cluster)
{
    m_foundUnknown = true;
    Count::reportUnknown(m_output, reportPlace(where), cluster.column, cluster.codePoints.data(),
                         cluster.codePoints.size());
}

// The place is worded once per item or line, not once per character, and
// without QString: the reports can be as many as the input's bytes.
const ReportPlace &Counter::reportPlace(const Where &where)
{
    const bool newSource = where.name != m_reportWhere.name || where.argument != m_reportWhere.argument
        || m_reportPlace.text().empty();
    if (newSource) {
        m_reportPlace.setSource("tarvelo-count: "
                                + (where.argument > 0 ? "参数 " + std::to_string(where.argument)
                                                      : CommandLine::visibleText(*where.name).toStdString()));
    }
    const bool lined = where.argument == 0 || where.manyLines;
    if (newSource || (lined && where.line != m_reportWhere.line)) {
        if (lined)
            m_reportPlace.setLine(where.line);
        else
            m_reportPlace.setLine(std::string_view(":"));
    }
    m_reportWhere = where;
    return m_reportPlace;
}

void ReportPlace::setSource(std::string_view source)
{
    m_source = source;
    m_line = 0;
    std::memcpy(m_block, source.data(), std::min(source.size(), room));
}

// Lines are most often reported one after the other: the next line's
// number is the last one's digits counted up.
void ReportPlace::setLine(qint64 line)
{
    if (m_line > 0 && line == m_line + 1 && fits() && countUpLine()) {
        m_line = line;
        return;
    }
    char text[1 + numberRoom + 1] = {':'};
    char *end = std::to_chars(text + 1, text + sizeof text, line).ptr;
    *end++ = ':';
    setLine(std::string_view(text, std::size_t(end - text)));
    m_line = line;
}

// Adds one to the line's digits in the block, unless one more digit is
// needed.
bool ReportPlace::countUpLine()
{
    char *const first = m_block + m_source.size() + 1;
    for (char *digit = m_block + m_size - 1; digit != first;) {
        --digit;
        if (*digit != '9') {
            ++*digit;
            return true;
        }
        *digit = '0';
    }
    return false;
}

void ReportPlace::setLine(std::string_view line)
{
    m_line = 0;
    m_size = m_source.size() + line.size();
    if (fits()) {
        std::memcpy(m_block + m_source.size(), line.data(), line.size());
    } else {
        m_long = m_source;
        m_long += line;
    }
}

void reportUnknown(Output &output, const ReportPlace &place, std::size_t column,
                   const char32_t *character, std::size_t size)
{
    if (!output.keepsReports())
        return;
    // The reports can outnumber the input's bytes: each is written where it
    // stays until it goes out.
    const std::string_view text = place.text();
    char *const line = output.reportRoom(std::max(text.size(), ReportPlace::room) + numberRoom
                                  + std::max(longestEnd(size), AsciiEnds::room));
    char *out = line;
    if (place.fits())
        std::memcpy(out, place.block(), ReportPlace::room);
    else
        std::memcpy(out, text.data(), text.size());
    out += text.size();
    out = writeColumn(out, column);
    if (size == 1 && character[0] < firstNonAscii) {
        const AsciiEnds &ends = asciiEnds;
        std::memcpy(out, ends.text[character[0]], AsciiEnds::room);
        out += ends.size[character[0]];
    } else {
        out = writeEnd(out, character, size);
    }
    output.reportWritten(std::size_t(out - line));
}

bool reportUnknownAscii(Output &output, const ReportPlace &place, std::size_t column,
                        std::string_view run, const std::array<bool, asciiSize> &reported)
{
    const auto isReported = [&reported](char byte) { return reported[static_cast<unsigned char>(byte)]; };
    if (!output.keepsReports())
        return std::any_of(run.begin(), run.end(), isReported);
    if (!place.fits()) {
        bool any = false;
        for (const char byte : run) {
            const char32_t codePoint = static_cast<unsigned char>(byte);
            if (isReported(byte)) {
                reportUnknown(output, place, column, &codePoint, 1);
                any = true;
            }
            ++column;
        }
        return any;
    }
    char *const first = output.reportRoom(run.size() * (ReportPlace::room + numberRoom + AsciiEnds::room));
    const std::size_t written = std::size_t(writeAsciiReports(first, place, column, run, reported) - first);
    output.reportWritten(written);
    return written > 0;
}

} // namespace Count
