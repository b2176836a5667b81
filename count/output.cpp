// SPDX-License-Identifier: MIT
#include "output.h"

#include "messages.h"
#include "utf8.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

namespace Count {

namespace {

// Room for the largest block plus the longest line that may follow it
// before the next flush.
constexpr std::size_t reservedBlocks = 2;
constexpr std::size_t numberRoom = 24;
constexpr char hexDigits[] = "0123456789abcdef";
constexpr unsigned char firstPrintable = 0x20;

} // namespace

Output::Output(std::FILE *file)
    : m_file(file)
{
    m_buffer.reserve(reservedBlocks * blockSize);
}

void Output::appendNumber(qint64 number)
{
    char digits[numberRoom];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    m_buffer.append(digits, std::size_t(result.ptr - digits));
}

void Output::appendCodePoint(char32_t codePoint)
{
    char bytes[Utf8::maxEncodedLength];
    m_buffer.append(bytes, std::size_t(Utf8::encode(codePoint, bytes) - bytes));
}

void Output::appendJsonString(const char *text, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        switch (byte) {
        case '"':
            m_buffer.append("\\\"");
            break;
        case '\\':
            m_buffer.append("\\\\");
            break;
        case '\n':
            m_buffer.append("\\n");
            break;
        case '\r':
            m_buffer.append("\\r");
            break;
        case '\t':
            m_buffer.append("\\t");
            break;
        default:
            if (byte < firstPrintable) {
                m_buffer.append("\\u00");
                m_buffer.push_back(hexDigits[byte >> 4]);
                m_buffer.push_back(hexDigits[byte & 0xF]);
            } else {
                m_buffer.push_back(char(byte));
            }
        }
    }
}

bool Output::flush()
{
    const bool written = write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return written;
}

void Output::writeThrough(const char *bytes, std::size_t size)
{
    if (flush())
        write(bytes, size);
}

bool Output::write(const char *bytes, std::size_t size)
{
    if (m_closed || !m_error.isEmpty())
        return false;
    errno = 0;
    if (std::fwrite(bytes, 1, size, m_file) == size && std::fflush(m_file) == 0)
        return true;
    if (errno == int(std::errc::broken_pipe))
        m_closed = true;
    else
        m_error = Messages::tr("写不出结果：%1。请检查输出的去处（磁盘是否已满）。")
                          .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

} // namespace Count
