// SPDX-License-Identifier: MIT
// The program's arguments as text that keeps every byte it was given, and
// back to those bytes for counting.
#include "counter.h"

#include "character.h"
#include "utf8.h"

#include <cstring>

namespace Count {

namespace {

// Where a byte that is not valid UTF-8 goes in an argument's text: low
// surrogates, which no valid UTF-8 holds.
constexpr char16_t escapedByteFirst = 0xDC00;
constexpr unsigned char firstNonAscii = 0x80;
constexpr unsigned threeByteLead = 0xE0, continuation = 0x80, sixBits = 0x3F;

} // namespace

QStringList argumentsFromBytes(int argc, const char *const *argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const auto *p = reinterpret_cast<const unsigned char *>(argv[i]);
        const unsigned char *end = p + std::strlen(argv[i]);
        QString text;
        while (p < end) {
            char32_t codePoint = 0;
            const unsigned char *next = Utf8::decode(p, end, &codePoint);
            if (next) {
                text += QChar::fromUcs4(codePoint);
                p = next;
            } else {
                text += QChar(char16_t(escapedByteFirst + *p++));
            }
        }
        arguments.append(text);
    }
    return arguments;
}

QByteArray argumentBytes(const QString &argument)
{
    QByteArray bytes;
    for (qsizetype pos = 0; pos < argument.size();) {
        qsizetype width = 0;
        const char32_t codePoint = Character::codePointAt(argument, pos, &width);
        pos += width;
        if (codePoint - Utf8::surrogateFirst >= Utf8::surrogateSpan) {
            char encoded[Utf8::maxEncodedLength];
            bytes.append(encoded, Utf8::encode(codePoint, encoded) - encoded);
        } else if (codePoint - escapedByteFirst >= firstNonAscii && codePoint - escapedByteFirst <= 0xFF) {
            bytes.append(char(codePoint - escapedByteFirst));
        } else {
            // Any other lone surrogate keeps its (invalid) three bytes, so
            // the reading refuses it like any invalid byte.
            bytes.append(char(threeByteLead | (codePoint >> 12)));
            bytes.append(char(continuation | ((codePoint >> 6) & sixBits)));
            bytes.append(char(continuation | (codePoint & sixBits)));
        }
    }
    return bytes;
}

} // namespace Count
