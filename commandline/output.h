// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace CommandLine {

// Why a read or write failed with the system's ERROR, in the user's
// language: the system's own words follow the C locale and are English.
QString systemError(int error);

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

    // Whether the reports are written at all.
    bool keepsReports() const { return m_reportFile != nullptr; }
    // Room for SIZE bytes more of reports, after those gathered: a report
    // is written in place, then handed over with reportWritten().
    char *reportRoom(std::size_t size)
    {
        if (m_reports.size() - m_reportsSize < size)
            growReports(size);
        return m_reports.data() + m_reportsSize;
    }
    void reportWritten(std::size_t size) { m_reportsSize += size; }

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

} // namespace CommandLine
