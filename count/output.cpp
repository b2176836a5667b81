// SPDX-License-Identifier: MIT
#include "output.h"

#include "messages.h"
#include "systemtext.h"
#include "utf8.h"

#include <QChar>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <system_error>

namespace Count {

namespace {

// Room for the largest block plus the longest line that may follow it
// before the next flush.
constexpr std::size_t reservedBlocks = 2;
constexpr std::size_t numberRoom = 24;
constexpr char hexDigits[] = "0123456789abcdef";
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
    if (m_reports.empty())
        return;
    // A failed write to standard error ends nothing: the counts still go
    // to standard output and the exit status still tells of the characters.
    std::fwrite(m_reports.data(), 1, m_reports.size(), m_reportFile);
    std::fflush(m_reportFile);
    m_reports.clear();
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
        m_error = Messages::tr("写不出结果：%1。请检查输出的去处（磁盘是否已满）。").arg(systemError(errno));
    return false;
}

} // namespace Count
