// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace Count {

// Why a read or write failed with the system's ERROR, in the user's
// language: the system's own words follow the C locale and are English.
QString systemError(int error);

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

// Standard output gathered into large blocks: one write per block instead
// of one per line. The reports meant for standard error are gathered beside
// it and written just before it, so each still comes before the line that
// it is about.
class Output
{
public:
    // Without REPORTS, the reports are dropped.
    explicit Output(std::FILE *file, std::FILE *reports = nullptr);
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void append(const char *bytes, std::size_t size)
    {
        if (size < blockSize)
            m_buffer.append(bytes, size);
        else
            writeThrough(bytes, size);
    }
    void append(char byte) { m_buffer.push_back(byte); }
    void append(const char *text) { m_buffer.append(text); }
    void appendNumber(qint64 number);
    void appendCodePoint(char32_t codePoint);
    // TEXT (valid UTF-8) as the inside of a JSON string.
    void appendJsonString(const char *text, std::size_t size);

    // The report that CHARACTER (SIZE code points, the first with no count)
    // at COLUMN of the item at PLACE has no count. Control characters and
    // direction overrides appear by their names, so the line cannot move
    // the terminal's cursor or turn its text around.
    void reportUnknown(const ReportPlace &place, std::size_t column, const char32_t *character,
                       std::size_t size);
    static constexpr std::size_t asciiSize = 0x80;
    // The reports on the bytes of RUN, ASCII characters from COLUMN on,
    // that REPORTED marks. Whether there were any.
    bool reportUnknownAscii(const ReportPlace &place, std::size_t column, std::string_view run,
                            const std::array<bool, asciiSize> &reported);

    // Writes the gathered bytes once there are enough of them, or at once
    // line by line. False once nothing more can be written, also after a
    // write that went around the buffer.
    bool flushWhenFull()
    {
        if (m_closed || !m_error.isEmpty())
            return false;
        return (!m_lineByLine && m_buffer.size() < blockSize && m_reportsSize < reportsBlockSize) || flush();
    }
    bool flush();
    // Whether the reports gathered fill a block: a flush() is due.
    bool reportsFull() const { return m_reportsSize >= reportsBlockSize; }
    // Writes the gathered reports alone, before a message of another kind.
    void flushReports();

    // Each line goes out as soon as it is complete: for a reader watching
    // a terminal, not one waiting for the end of the input.
    void setLineByLine(bool lineByLine) { m_lineByLine = lineByLine; }

    // Whether the reader went away: the program then ends quietly.
    bool isClosed() const { return m_closed; }
    // Why writing failed otherwise, for the user.
    const QString &error() const { return m_error; }

private:
    static constexpr std::size_t blockSize = std::size_t(1) << 20;
    // Reports are written from a block that stays in the processor's cache:
    // there can be one for each byte of input.
    static constexpr std::size_t reportsBlockSize = std::size_t(1) << 18;

    // A line longer than a block goes out as it is, not through the buffer.
    void writeThrough(const char *bytes, std::size_t size);
    // Room for SIZE bytes more of reports, after those gathered.
    char *reportRoom(std::size_t size)
    {
        if (m_reports.size() - m_reportsSize < size)
            growReports(size);
        return m_reports.data() + m_reportsSize;
    }
    void growReports(std::size_t size);
    bool write(const char *bytes, std::size_t size);

    std::FILE *m_file;
    std::string m_buffer;
    std::FILE *m_reportFile;
    // The gathered reports are the first m_reportsSize bytes: the rest is
    // room for more, kept so that a report is written in place.
    std::string m_reports;
    std::size_t m_reportsSize = 0;
    bool m_lineByLine = false;
    bool m_closed = false;
    QString m_error;
};

} // namespace Count
