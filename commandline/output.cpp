// SPDX-License-Identifier: MIT
#include "output.h"

#include "messages.h"
#include "systemtext.h"
#include "utf8.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <system_error>

namespace CommandLine {

namespace {

// Room for the largest block plus the longest line that may follow it
// before the next flush.
constexpr std::size_t reservedBlocks = 2;
constexpr std::size_t numberRoom = 24;
constexpr char hexDigits[] = "0123456789abcdef";
constexpr unsigned char firstPrintable = 0x20;

} // namespace

QString systemError(int error)
{
    switch (error) {
    case ENOSPC:
        return Messages::tr("设备上没有空间了");
#ifdef EDQUOT
    case EDQUOT:
        return Messages::tr("超出了磁盘配额");
#endif
    case EFBIG:
        return Messages::tr("文件太大");
    case EBADF:
        return Messages::tr("文件描述符没有打开");
    case EISDIR:
        return Messages::tr("这是文件夹，不是文件");
    case EIO:
        return Messages::tr("读写设备出错");
    case EACCES:
    case EPERM:
        return Messages::tr("没有权限");
    case EROFS:
        return Messages::tr("文件系统只能读");
    default:
        return Messages::tr("系统错误 %1，%2").arg(error).arg(quotedSystemText(QString::fromLocal8Bit(std::strerror(error))));
    }
}

Output::Output(std::FILE *file, std::FILE *reports)
    : m_file(file)
    , m_reportFile(reports)
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
    flushReports();
    const bool written = write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return written;
}

void Output::flushReports()
{
    if (m_reportsSize == 0)
        return;
    // A failed write to standard error ends nothing: the counts still go
    // to standard output and the exit status still tells of the characters.
    std::fwrite(m_reports.data(), 1, m_reportsSize, m_reportFile);
    std::fflush(m_reportFile);
    m_reportsSize = 0;
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
    const int error = errno;
    if (error == int(std::errc::broken_pipe)) {
        m_closed = true;
        return false;
    }
    const bool full = error == ENOSPC || error == EFBIG
#ifdef EDQUOT
            || error == EDQUOT
#endif
            ;
    m_error = full ? Messages::tr("写不出结果：%1。请腾出磁盘空间，或者换一个去处。").arg(systemError(error))
                   : Messages::tr("写不出结果：%1。请检查输出的去处。").arg(systemError(error));
    return false;
}

void Output::growReports(std::size_t size)
{
    m_reports.resize(std::max(m_reports.size() * 2, m_reportsSize + size));
}

} // namespace CommandLine
