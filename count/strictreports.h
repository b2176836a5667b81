// SPDX-License-Identifier: MIT
#pragma once

#include "output.h"

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace Count {

// The words before a report's column: the program, the file or argument,
// the line and a colon. Its first bytes are also kept in a block of a
// known size, which a report copies without a call.
class ReportPlace
{
public:
    static constexpr std::size_t room = 64;

    // The program and the file or argument, which start the place.
    void setSource(std::string_view source);
    // What follows the source: the line, if any, and the colons.
    void setLine(std::string_view line);
    // What follows the source on LINE of a file or of a TEXT of many lines.
    void setLine(qint64 line);
    std::string_view text() const { return fits() ? std::string_view(m_block, m_size) : std::string_view(m_long); }
    // Whether block() holds the whole text.
    bool fits() const { return m_size <= room; }
    const char *block() const { return m_block; }

private:
    bool countUpLine();

    std::string m_source;
    std::string m_long;
    qint64 m_line = 0;
    std::size_t m_size = 0;
    char m_block[room] = {};
};

// The report on OUTPUT's standard error that CHARACTER (SIZE code points,
// the first with no count) at COLUMN of the item at PLACE has no count.
// Control characters and direction overrides appear by their names, so the
// line cannot move the terminal's cursor or turn its text around.
void reportUnknown(CommandLine::Output &output, const ReportPlace &place, std::size_t column,
                   const char32_t *character, std::size_t size);
constexpr std::size_t asciiSize = 0x80;
// The reports on the bytes of RUN, ASCII characters from COLUMN on, that
// REPORTED marks. Whether there were any.
bool reportUnknownAscii(CommandLine::Output &output, const ReportPlace &place, std::size_t column,
                        std::string_view run, const std::array<bool, asciiSize> &reported);

} // namespace Count
