// SPDX-License-Identifier: MIT
#include "textencoding.h"

#include "utf8.h"

#include <QStringDecoder>
#include <QSysInfo>

#include <cstring>

namespace Sort {

namespace {

// The longest sequence of the multi-byte encodings: an invalid sequence
// starts no further back than this from where a decoder notices it.
constexpr qsizetype longestSequence = 4;

struct Decoded
{
    qsizetype length = 0;
    bool invalid = false;
};

Decoded decodePrefix(const QByteArray &encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding.constData(), QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    return {text.size(), decoder.hasError()};
}

// The decoders say only that something was wrong: the first prefix that is
// wrong is found by halving, then from the byte that revealed it back over
// the bytes that made no character yet.
qsizetype firstInvalidOffset(const QByteArray &encoding, QByteArrayView bytes)
{
    qsizetype valid = 0;
    qsizetype invalid = bytes.size();
    while (invalid - valid > 1) {
        const qsizetype middle = valid + (invalid - valid) / 2;
        (decodePrefix(encoding, bytes.first(middle)).invalid ? invalid : valid) = middle;
    }
    const qsizetype revealing = invalid - 1;
    const qsizetype madeBefore = decodePrefix(encoding, bytes.first(revealing)).length;
    qsizetype start = revealing;
    while (start > 0 && revealing - (start - 1) < longestSequence
           && decodePrefix(encoding, bytes.first(start - 1)).length == madeBefore)
        --start;
    return start;
}

} // namespace

TextEncoding TextEncoding::forName(const QByteArray &name)
{
    TextEncoding encoding;
    if (name.isEmpty())
        return encoding;
    encoding.name = name;
    encoding.isUtf8 = false;
    const bool hostBig = QSysInfo::ByteOrder == QSysInfo::BigEndian;
    const auto wide = [&encoding](qsizetype unit, bool big) {
        encoding.unit = unit;
        encoding.bigEndian = big;
    };
    switch (QStringConverter::encodingForName(name.constData()).value_or(QStringConverter::System)) {
    case QStringConverter::Utf8:
        encoding.isUtf8 = true;
        break;
    case QStringConverter::Utf16:
        wide(2, hostBig);
        break;
    case QStringConverter::Utf16LE:
        wide(2, false);
        break;
    case QStringConverter::Utf16BE:
        wide(2, true);
        break;
    case QStringConverter::Utf32:
        wide(4, hostBig);
        break;
    case QStringConverter::Utf32LE:
        wide(4, false);
        break;
    case QStringConverter::Utf32BE:
        wide(4, true);
        break;
    default:
        break;
    }
    return encoding;
}

qsizetype TextEncoding::followBom(QByteArrayView bytes)
{
    if (unit == 4) {
        if (bytes.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)))
            *this = forName("UTF-32LE");
        else if (bytes.startsWith(QByteArrayView("\0\0\xFE\xFF", 4)))
            *this = forName("UTF-32BE");
        else
            return 0;
        return 4;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        *this = TextEncoding();
        return 3;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        *this = forName("UTF-16LE");
        return 2;
    }
    if (bytes.startsWith("\xFE\xFF")) {
        *this = forName("UTF-16BE");
        return 2;
    }
    return 0;
}

bool TextEncoding::isUnit(const char *bytes, char ascii) const
{
    for (qsizetype i = 0; i < unit; ++i)
        if (bytes[i] != (i == (bigEndian ? unit - 1 : 0) ? ascii : '\0'))
            return false;
    return true;
}

qsizetype TextEncoding::lineEnd(const char *data, qsizetype from, qsizetype end) const
{
    if (unit == 1) {
        const void *found = std::memchr(data + from, '\n', size_t(end - from));
        return found ? static_cast<const char *>(found) - data : -1;
    }
    for (qsizetype at = from; at + unit <= end; at += unit)
        if (isUnit(data + at, '\n'))
            return at;
    return -1;
}

QByteArray TextEncoding::encodeAscii(QByteArrayView ascii) const
{
    if (unit == 1)
        return ascii.toByteArray();
    QByteArray bytes(ascii.size() * unit, '\0');
    for (qsizetype i = 0; i < ascii.size(); ++i)
        bytes[i * unit + (bigEndian ? unit - 1 : 0)] = ascii[i];
    return bytes;
}

qsizetype TextEncoding::decode(QByteArrayView bytes, std::vector<char32_t> *codePoints) const
{
    codePoints->clear();
    if (isUtf8) {
        const auto *begin = reinterpret_cast<const unsigned char *>(bytes.data());
        const unsigned char *end = begin + bytes.size();
        for (const unsigned char *p = begin; p < end;) {
            char32_t codePoint = 0;
            const unsigned char *next = Utf8::decode(p, end, &codePoint);
            if (!next)
                return p - begin;
            codePoints->push_back(codePoint);
            p = next;
        }
        return -1;
    }
    if (bytes.size() % unit != 0)
        return bytes.size() - bytes.size() % unit;
    QStringDecoder decoder(name.constData(), QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return firstInvalidOffset(name, bytes);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            codePoints->push_back(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else {
            codePoints->push_back(c.unicode());
        }
    }
    return -1;
}

} // namespace Sort
