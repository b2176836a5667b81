// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <cstddef>

// UTF-8 as the counter reads it: strict (no overlong forms, no surrogates,
// nothing past U+10FFFF), decoded in place without copying.
namespace Utf8 {

inline constexpr char32_t surrogateFirst = 0xD800;
inline constexpr char32_t surrogateSpan = 0x800;
inline constexpr char32_t codePointLimit = 0x110000;
inline constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes the code point at P (before END) into CODEPOINT and returns the
// byte after it, or nullptr when P does not start a whole valid sequence.
inline const unsigned char *decode(const unsigned char *p, const unsigned char *end, char32_t *codePoint)
{
    const unsigned lead = p[0];
    if (lead < 0x80) {
        *codePoint = lead;
        return p + 1;
    }
    if (lead - 0xE0 < 0x10) {
        if (end - p < 3)
            return nullptr;
        const unsigned b1 = p[1], b2 = p[2];
        const char32_t c = ((lead & 0x0FU) << 12) | ((b1 & 0x3FU) << 6) | (b2 & 0x3FU);
        if (((b1 & 0xC0U) != 0x80) | ((b2 & 0xC0U) != 0x80) | (c < 0x800) | (c - surrogateFirst < surrogateSpan))
            return nullptr;
        *codePoint = c;
        return p + 3;
    }
    if (lead - 0xC2 < 0x1E) {
        if (end - p < 2 || (p[1] & 0xC0U) != 0x80)
            return nullptr;
        *codePoint = ((lead & 0x1FU) << 6) | (p[1] & 0x3FU);
        return p + 2;
    }
    if (lead - 0xF0 < 0x05) {
        if (end - p < 4)
            return nullptr;
        const unsigned b1 = p[1], b2 = p[2], b3 = p[3];
        const char32_t c = ((lead & 0x07U) << 18) | ((b1 & 0x3FU) << 12) | ((b2 & 0x3FU) << 6) | (b3 & 0x3FU);
        if (((b1 & 0xC0U) != 0x80) | ((b2 & 0xC0U) != 0x80) | ((b3 & 0xC0U) != 0x80) | (c < 0x10000)
            | (c >= codePointLimit))
            return nullptr;
        *codePoint = c;
        return p + 4;
    }
    return nullptr;
}

// Adds COUNTS[c] to TOTAL for every code point c of [P, END). Returns
// nullptr when the bytes are valid, else the first byte of the first
// invalid sequence (TOTAL then holds the sum before it).
inline const unsigned char *sumCounts(const unsigned char *p, const unsigned char *end, const qint16 *counts,
                                      qint64 *total)
{
    qint64 sum = 0;
    while (p < end) {
        // Chinese text is almost all three-byte sequences: test them first.
        const unsigned lead = p[0];
        if (lead - 0xE0 < 0x10 && end - p >= 3) {
            const unsigned b1 = p[1], b2 = p[2];
            const char32_t c = ((lead & 0x0FU) << 12) | ((b1 & 0x3FU) << 6) | (b2 & 0x3FU);
            if (((b1 & 0xC0U) != 0x80) | ((b2 & 0xC0U) != 0x80) | (c < 0x800) | (c - surrogateFirst < surrogateSpan))
                break;
            sum += counts[c];
            p += 3;
            continue;
        }
        char32_t c = 0;
        const unsigned char *next = decode(p, end, &c);
        if (!next)
            break;
        sum += counts[c];
        p = next;
    }
    *total += sum;
    return p < end ? p : nullptr;
}

// Appends the UTF-8 form of CODEPOINT at OUT and returns the byte after it.
// A lone surrogate, which UTF-8 cannot carry, becomes U+FFFD.
inline char *encode(char32_t codePoint, char *out)
{
    if (codePoint - surrogateFirst < surrogateSpan || codePoint >= codePointLimit)
        codePoint = replacementCharacter;
    if (codePoint < 0x80) {
        *out++ = char(codePoint);
    } else if (codePoint < 0x800) {
        *out++ = char(0xC0 | (codePoint >> 6));
        *out++ = char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        *out++ = char(0xE0 | (codePoint >> 12));
        *out++ = char(0x80 | ((codePoint >> 6) & 0x3F));
        *out++ = char(0x80 | (codePoint & 0x3F));
    } else {
        *out++ = char(0xF0 | (codePoint >> 18));
        *out++ = char(0x80 | ((codePoint >> 12) & 0x3F));
        *out++ = char(0x80 | ((codePoint >> 6) & 0x3F));
        *out++ = char(0x80 | (codePoint & 0x3F));
    }
    return out;
}

inline constexpr std::size_t maxEncodedLength = 4;

} // namespace Utf8
