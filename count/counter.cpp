// SPDX-License-Identifier: MIT
#include "counter.h"

#include "character.h"
#include "messages.h"
#include "stroketable.h"
#include "utf8.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QStringDecoder>
#include <QSysInfo>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;

namespace Count {

namespace {

// Large reads keep the system calls few; a longer line grows the buffer.
constexpr qsizetype readBlock = qsizetype(1) << 20;
// The longest byte-order mark (UTF-32): read at least this much before
// looking for one.
constexpr qsizetype longestBom = 4;
// The longest sequence of the multi-byte encodings: an invalid sequence
// starts no further back than this from where a decoder notices it.
constexpr qsizetype longestSequence = 4;
constexpr char32_t byteOrderMark = 0xFEFF;

// How many output characters a fresh decoder for ENCODING makes of BYTES,
// and whether it has met an invalid sequence there.
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

// The offset in BYTES, which a fresh decoder for ENCODING finds invalid, of
// the sequence that is invalid. The decoders say only that something was
// wrong, so the first prefix that is wrong is found by halving, and from
// the byte that revealed it back over the bytes that made no character yet.
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

bool startsWith(const char *data, qsizetype size, QByteArrayView prefix)
{
    return size >= prefix.size() && std::memcmp(data, prefix.data(), size_t(prefix.size())) == 0;
}

} // namespace

// How one stream's bytes are read: its encoding, the width of the unit a
// line ends in, and its byte order.
struct Counter::Encoding
{
    bool isUtf8 = true;
    QByteArray name = "UTF-8";
    qsizetype unit = 1;
    bool bigEndian = false;
    qsizetype bomLength = 0;

    static Encoding forName(const QByteArray &requested)
    {
        Encoding encoding;
        if (requested.isEmpty())
            return encoding;
        encoding.isUtf8 = false;
        encoding.name = requested;
        const bool hostBigEndian = QSysInfo::ByteOrder == QSysInfo::BigEndian;
        switch (QStringConverter::encodingForName(requested.constData()).value_or(QStringConverter::System)) {
        case QStringConverter::Utf8:
            encoding.isUtf8 = true;
            break;
        case QStringConverter::Utf16:
            encoding.setWide(2, hostBigEndian);
            break;
        case QStringConverter::Utf16LE:
            encoding.setWide(2, false);
            break;
        case QStringConverter::Utf16BE:
            encoding.setWide(2, true);
            break;
        case QStringConverter::Utf32:
            encoding.setWide(4, hostBigEndian);
            break;
        case QStringConverter::Utf32LE:
            encoding.setWide(4, false);
            break;
        case QStringConverter::Utf32BE:
            encoding.setWide(4, true);
            break;
        default:
            break;
        }
        return encoding;
    }

    // Follows a byte-order mark at the start of DATA, whatever was asked.
    void followBom(const char *data, qsizetype size)
    {
        if (unit == 4) {
            if (startsWith(data, size, QByteArrayView("\xFF\xFE\0\0", 4)))
                *this = forName("UTF-32LE");
            else if (startsWith(data, size, QByteArrayView("\0\0\xFE\xFF", 4)))
                *this = forName("UTF-32BE");
            else
                return;
            bomLength = 4;
            return;
        }
        if (startsWith(data, size, "\xEF\xBB\xBF")) {
            *this = Encoding();
            bomLength = 3;
        } else if (startsWith(data, size, "\xFF\xFE")) {
            *this = forName("UTF-16LE");
            bomLength = 2;
        } else if (startsWith(data, size, "\xFE\xFF")) {
            *this = forName("UTF-16BE");
            bomLength = 2;
        }
    }

    // The offset of the first line end in DATA from FROM (a multiple of
    // the unit), or -1.
    qsizetype lineEnd(const char *data, qsizetype from, qsizetype size) const
    {
        if (unit == 1) {
            const void *found = std::memchr(data + from, '\n', size_t(size - from));
            return found ? static_cast<const char *>(found) - data : -1;
        }
        const qsizetype newlineByte = bigEndian ? unit - 1 : 0;
        for (qsizetype at = from; at < size;) {
            const void *found = std::memchr(data + at, '\n', size_t(size - at));
            if (!found)
                return -1;
            const qsizetype byte = static_cast<const char *>(found) - data;
            const qsizetype unitStart = byte - (byte - from) % unit;
            if (byte - unitStart == newlineByte && unitStart + unit <= size && isNewlineUnit(data + unitStart))
                return unitStart;
            at = byte + 1;
        }
        return -1;
    }

    bool isNewlineUnit(const char *bytes) const
    {
        for (qsizetype i = 0; i < unit; ++i)
            if (bytes[i] != (i == (bigEndian ? unit - 1 : 0) ? '\n' : '\0'))
                return false;
        return true;
    }

    QByteArray newline() const
    {
        QByteArray bytes(unit, '\0');
        bytes[bigEndian ? unit - 1 : 0] = '\n';
        return bytes;
    }

private:
    void setWide(qsizetype width, bool big)
    {
        unit = width;
        bigEndian = big;
    }
};

LineTotal utf8LineTotal(const StrokeTable &table, const char *line, qsizetype size)
{
    LineTotal result;
    const auto *begin = reinterpret_cast<const unsigned char *>(line);
    const unsigned char *invalid = Utf8::sumCounts(begin, begin + size, table.counts(), &result.total);
    if (invalid) {
        result.invalidAt = invalid - begin;
        return result;
    }
    // The table gives a variation selector nothing; at the start of a line
    // it is a character of its own.
    char32_t first = 0;
    if (size > 0 && Utf8::decode(begin, begin + size, &first) && Character::isVariationSelector(first))
        result.total += table.leadingCount(first);
    return result;
}

Counter::Counter(const StrokeTable &table, const Options &options, Output &output, Report report)
    : m_table(table)
    , m_options(options)
    , m_output(output)
    , m_report(std::move(report))
{
}

bool Counter::fail(const QString &message)
{
    m_report(u"tarvelo-count: "_s + message);
    m_failed = true;
    return false;
}

bool Counter::invalidBytes(const QString &name, qint64 offset, const QByteArray &encoding)
{
    return fail(Messages::tr("%1: 第 %2 字节（从 0 数起）处不是有效的 %3 编码。请用 --encoding 指明文件的实际编码。")
                        .arg(name == u"-"_s ? Messages::tr("标准输入") : name)
                        .arg(offset)
                        .arg(QString::fromLatin1(encoding)));
}

bool Counter::countArgument(const QString &text, int number)
{
    setCodePoints(text);
    m_echo = text.toStdString();
    Where where;
    where.argument = number;
    countCodePoints(m_echo.data(), m_echo.size(), where);
    return m_output.flushWhenFull();
}

void Counter::setCodePoints(const QString &text)
{
    m_codePoints.clear();
    for (qsizetype pos = 0; pos < text.size();) {
        qsizetype width = 0;
        m_codePoints.push_back(Character::codePointAt(text, pos, &width));
        pos += width;
    }
}

bool Counter::countUtf8Line(const char *line, qsizetype size, qint64 offset, const Where &where)
{
    if (m_options.format == Format::Totals && !m_options.strict) {
        const LineTotal result = utf8LineTotal(m_table, line, size);
        if (result.invalidAt >= 0)
            return invalidBytes(*where.name, offset + result.invalidAt, "UTF-8");
        m_output.appendNumber(result.total);
        m_output.append('\t');
        m_output.append(line, std::size_t(size));
        m_output.append('\n');
        return m_output.flushWhenFull();
    }
    m_codePoints.clear();
    const auto *begin = reinterpret_cast<const unsigned char *>(line);
    const unsigned char *end = begin + size;
    for (const unsigned char *p = begin; p < end;) {
        char32_t codePoint = 0;
        const unsigned char *next = Utf8::decode(p, end, &codePoint);
        if (!next)
            return invalidBytes(*where.name, offset + (p - begin), "UTF-8");
        m_codePoints.push_back(codePoint);
        p = next;
    }
    countCodePoints(line, std::size_t(size), where);
    return m_output.flushWhenFull();
}

void Counter::countCodePoints(const char *echo, std::size_t echoSize, const Where &where)
{
    const Format format = m_options.format;
    qint64 total = 0;
    m_strokes.clear();
    m_unknown.clear();
    std::size_t column = 0;
    const std::size_t size = m_codePoints.size();
    const char32_t *codePoints = m_codePoints.data();
    for (std::size_t i = 0; i < size;) {
        const std::size_t start = i;
        const char32_t base = codePoints[i++];
        while (i < size && Character::isVariationSelector(codePoints[i]))
            ++i;
        ++column;
        const bool leading = start == 0;
        const bool known = leading ? m_table.isLeadingKnown(base) : m_table.isKnown(base);
        const qint16 strokes = leading ? m_table.leadingCount(base) : m_table.count(base);
        total += strokes;
        if (QChar::isSpace(base))
            continue;
        if (!known) {
            if (m_options.strict)
                reportUnknown(where, column, codePoints + start, i - start);
            if (format == Format::Json) {
                const std::u32string character(codePoints + start, i - start);
                if (std::find(m_unknown.begin(), m_unknown.end(), character) == m_unknown.end())
                    m_unknown.push_back(character);
            }
        }
        if (format == Format::Each) {
            for (std::size_t k = start; k < i; ++k)
                m_output.appendCodePoint(codePoints[k]);
            m_output.append('\t');
            if (known)
                m_output.appendNumber(strokes);
            else
                m_output.append('-');
            m_output.append('\n');
        } else if (format == Format::Json) {
            if (!m_strokes.empty())
                m_strokes += ", ";
            m_strokes += known ? std::to_string(strokes) : "null";
        }
    }
    if (format == Format::Totals) {
        m_output.appendNumber(total);
        m_output.append('\t');
        m_output.append(echo, echoSize);
        m_output.append('\n');
    } else if (format == Format::Json) {
        m_output.append("{\"text\": \"");
        m_output.appendJsonString(echo, echoSize);
        m_output.append("\", \"total\": ");
        m_output.appendNumber(total);
        m_output.append(", \"strokes\": [");
        m_output.append(m_strokes.data(), m_strokes.size());
        m_output.append("], \"unknown\": [");
        for (std::size_t u = 0; u < m_unknown.size(); ++u) {
            if (u > 0)
                m_output.append(", ");
            m_output.append('"');
            std::string bytes;
            for (char32_t codePoint : m_unknown[u]) {
                char encoded[Utf8::maxEncodedLength];
                bytes.append(encoded, std::size_t(Utf8::encode(codePoint, encoded) - encoded));
            }
            m_output.appendJsonString(bytes.data(), bytes.size());
            m_output.append('"');
        }
        m_output.append("]}\n");
    }
}

void Counter::reportUnknown(const Where &where, std::size_t column, const char32_t *character, std::size_t size)
{
    m_foundUnknown = true;
    // The place is worded once per item, not once per character, and
    // without QString: the reports can be as many as the input's bytes.
    if (where.name != m_reportWhere.name || where.argument != m_reportWhere.argument || m_reportPlace.empty()) {
        m_reportPlace = "tarvelo-count: ";
        m_reportPlace += where.argument > 0 ? "argument " + std::to_string(where.argument) : where.name->toStdString();
        m_reportSourceSize = m_reportPlace.size();
        m_reportWhere.line = -1;
    }
    if (where.argument == 0 && where.line != m_reportWhere.line) {
        m_reportPlace.resize(m_reportSourceSize);
        m_reportPlace += ':' + std::to_string(where.line);
    }
    m_reportWhere = where;
    m_output.reportUnknown(m_reportPlace, column, character, size);
}

bool Counter::countStream(QIODevice &device, const QString &name)
{
    Encoding encoding = Encoding::forName(m_options.encoding);
    std::vector<char> buffer(static_cast<std::size_t>(readBlock));
    qsizetype start = 0;
    qsizetype filled = 0;
    // The stream's offset of buffer[0].
    qint64 bufferOffset = 0;
    bool atStart = true;
    bool atEnd = false;
    Where where;
    where.name = &name;
    std::unique_ptr<QStringDecoder> decoder;

    const auto readError = [&] {
        return fail(Messages::tr("读不了“%1”：%2。").arg(name, device.errorString()));
    };

    // One line of a stream that a Qt decoder reads: BYTES hold its end
    // (or, for the last line, an end put after it).
    const auto countDecodedLine = [&](QByteArrayView bytes, qint64 offset, bool endAdded) {
        QString text = decoder->decode(bytes);
        if (decoder->hasError()) {
            // The decoder's state at the line's start is a fresh one: every
            // line before ended with a whole newline.
            qint64 at = offset + firstInvalidOffset(encoding.name, bytes);
            if (endAdded)
                at = std::min(at, offset + bytes.size() - encoding.unit);
            return invalidBytes(name, at, encoding.name);
        }
        text.chop(1);
        if (text.endsWith(u'\r'))
            text.chop(1);
        if (where.line == 1 && text.startsWith(QChar(byteOrderMark)))
            text.remove(0, 1);
        setCodePoints(text);
        m_echo = text.toStdString();
        countCodePoints(m_echo.data(), m_echo.size(), where);
        return m_output.flushWhenFull();
    };

    while (true) {
        if (!atEnd) {
            if (filled == qsizetype(buffer.size()))
                buffer.resize(buffer.size() * 2);
            const qint64 got = device.read(buffer.data() + filled, qint64(buffer.size()) - filled);
            if (got < 0)
                return readError();
            atEnd = got == 0;
            filled += qsizetype(got);
            if (atStart && filled < longestBom && !atEnd)
                continue;
        }
        if (atStart) {
            atStart = false;
            encoding.followBom(buffer.data(), filled);
            start = encoding.bomLength;
            if (!encoding.isUtf8)
                decoder = std::make_unique<QStringDecoder>(encoding.name.constData(),
                                                           QStringDecoder::Flag::ConvertInitialBom);
        }
        const char *data = buffer.data();
        while (true) {
            const qsizetype end = encoding.lineEnd(data, start, filled);
            if (end < 0)
                break;
            ++where.line;
            const qint64 offset = bufferOffset + start;
            if (encoding.isUtf8) {
                qsizetype size = end - start;
                if (size > 0 && data[start + size - 1] == '\r')
                    --size;
                if (!countUtf8Line(data + start, size, offset, where))
                    return false;
            } else if (!countDecodedLine(QByteArrayView(data + start, end + encoding.unit - start), offset, false)) {
                return false;
            }
            start = end + encoding.unit;
        }
        if (atEnd) {
            if (start == filled)
                return true;
            ++where.line;
            const qint64 offset = bufferOffset + start;
            const qsizetype size = filled - start;
            if (encoding.isUtf8) {
                const qsizetype kept = size > 0 && data[filled - 1] == '\r' ? size - 1 : size;
                return countUtf8Line(data + start, kept, offset, where);
            }
            if (size % encoding.unit != 0)
                return invalidBytes(name, offset + size - size % encoding.unit, encoding.name);
            QByteArray last(data + start, size);
            last += encoding.newline();
            return countDecodedLine(last, offset, true);
        }
        // Keep the unfinished line and read on after it.
        std::memmove(buffer.data(), buffer.data() + start, size_t(filled - start));
        bufferOffset += start;
        filled -= start;
        start = 0;
    }
}

void listByStrokes(const StrokeTable &table, const Options &options, Output &output)
{
    for (char32_t codePoint : table.withStrokes(options.fewestStrokes, options.mostStrokes)) {
        output.appendCodePoint(codePoint);
        output.append('\t');
        output.appendNumber(table.leadingCount(codePoint));
        output.append('\n');
        if (!output.flushWhenFull())
            return;
    }
}

} // namespace Count
