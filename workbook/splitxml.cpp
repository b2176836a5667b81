// SPDX-License-Identifier: MIT
#include "splitxml.h"

#include <algorithm>

namespace Workbook {

namespace {

// The UTF-16 code units, which the XML reader's offsets count, that BYTE
// of UTF-8 begins: none for a continuation byte, two for a character
// beyond the Basic Multilingual Plane.
int utf16Units(char byte)
{
    constexpr unsigned char continuationMask = 0xC0;
    constexpr unsigned char continuation = 0x80;
    constexpr unsigned char fourByteLead = 0xF0;
    const auto b = static_cast<unsigned char>(byte);
    return ((b & continuationMask) != continuation ? 1 : 0) + (b >= fourByteLead ? 1 : 0);
}

} // namespace

JoinedDevice::JoinedDevice(QByteArrayView head, QByteArrayView rest)
    : m_head(head)
    , m_rest(rest)
{
    open(QIODevice::ReadOnly);
}

qint64 JoinedDevice::readData(char *data, qint64 maxSize)
{
    QByteArrayView &from = m_head.isEmpty() ? m_rest : m_head;
    const qsizetype size = qsizetype(std::min<qint64>(maxSize, from.size()));
    std::copy_n(from.data(), size, data);
    from = from.sliced(size);
    return size;
}

qint64 utf16Length(QByteArrayView bytes)
{
    qint64 length = 0;
    for (const char byte : bytes)
        length += utf16Units(byte);
    return length;
}

qsizetype byteOffset(QByteArrayView xml, qint64 chars)
{
    qsizetype bytes = 0;
    for (qint64 counted = 0; bytes < xml.size() && counted < chars; ++bytes)
        counted += utf16Units(xml[bytes]);
    return bytes;
}

qsizetype splitPoint(const QByteArray &xml, qsizetype from, const char *tag)
{
    for (qsizetype at = xml.indexOf(tag, std::max(from, xml.size() / 2)); at > 0; at = xml.indexOf(tag, at + 1)) {
        if (xml.at(at - 1) == '>')
            return at;
    }
    return -1;
}

} // namespace Workbook
