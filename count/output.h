// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <string>

namespace Count {

// Standard output gathered into large blocks: one write per block instead
// of one per line.
class Output
{
public:
    explicit Output(std::FILE *file);
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

    // Writes the gathered bytes once there are enough of them. False once
    // nothing more can be written, also after a write that went around
    // the buffer.
    bool flushWhenFull()
    {
        if (m_closed || !m_error.isEmpty())
            return false;
        return m_buffer.size() < blockSize || flush();
    }
    bool flush();

    // Whether the reader went away: the program then ends quietly.
    bool isClosed() const { return m_closed; }
    // Why writing failed otherwise, for the user.
    const QString &error() const { return m_error; }

private:
    static constexpr std::size_t blockSize = std::size_t(1) << 20;

    // A line longer than a block goes out as it is, not through the buffer.
    void writeThrough(const char *bytes, std::size_t size);
    bool write(const char *bytes, std::size_t size);

    std::FILE *m_file;
    std::string m_buffer;
    bool m_closed = false;
    QString m_error;
};

} // namespace Count
