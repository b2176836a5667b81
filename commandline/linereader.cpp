// SPDX-License-Identifier: MIT
#include "linereader.h"

#include "messages.h"
#include "output.h"
#include "systemtext.h"
#include "utf8.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace CommandLine {

namespace {

// Large reads keep the system calls few; a longer line grows the buffer.
constexpr qsizetype readBlock = qsizetype(1) << 20;
// Room for a little more than a small file, so that it is read in one go
// and the end is seen at once.
constexpr qsizetype smallFileSlack = 16;
// The longest byte-order mark (UTF-32): read at least this much before
// looking for one.
constexpr qsizetype longestBom = 4;
// The longest sequence of the multi-byte encodings: an invalid sequence
// starts no further back than this from where a decoder notices it.
constexpr qsizetype longestSequence = 4;
// Code points handed out at once, and bytes given to a decoder at once.
constexpr qsizetype pieceLength = qsizetype(1) << 16;
constexpr char32_t markCharacter = 0xFEFF;
constexpr char32_t lowSurrogateFirst = 0xDC00;
constexpr char32_t surrogateHalfSpan = 0x400;
constexpr unsigned surrogateBits = 10;
constexpr char32_t supplementaryFirst = 0x10000;
constexpr unsigned bitsPerByte = 8;

bool startsWith(QByteArrayView data, QByteArrayView prefix)
{
    return data.size() >= prefix.size() && std::memcmp(data.data(), prefix.data(), size_t(prefix.size())) == 0;
}

// What a fresh converter for NAME makes of TEXT, or nothing.
std::optional<QByteArray> encodedBy(const QByteArray &name, QStringView text)
{
    QStringEncoder encoder(name.constData());
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

QByteArray encodedBy(QStringConverter::Encoding encoding, QStringView text)
{
    QStringEncoder encoder(encoding);
    return encoder.encode(text);
}

// Whether the converter for NAME reads a line written after another one on
// its own, as the reader decodes lines: not so where the converter carries
// a state over the line break (SCSU's windows, BOCU-1's running base, a
// shift left open), and every line after the first would come out wrong.
// A sample the encoding cannot write tells nothing.
bool readsLineByLine(const QByteArray &name, const QByteArray &newline)
{
    for (const QString &line : {u"王五丁一"_s, u"Ab~+ c"_s}) {
        const auto both = encodedBy(name, line + u'\n' + line + u'\n');
        if (!both)
            continue;
        const qsizetype secondStart = both->indexOf(newline) + newline.size();
        // The line break between the two must be the one written alone.
        if (secondStart < newline.size() || secondStart + newline.size() > both->size() || !both->endsWith(newline))
            return false;
        const QByteArray second = both->sliced(secondStart, both->size() - secondStart - newline.size());
        QStringDecoder fresh(name.constData());
        if (fresh.decode(second) != line || fresh.hasError())
            return false;
    }
    return true;
}

struct Known
{
    QStringConverter::Encoding encoding;
    TextEncoding::Kind kind;
    bool bigEndian;
    const char *name;
};
constexpr Known knownEncodings[] = {
    {QStringConverter::Utf8, TextEncoding::Kind::Utf8, false, "UTF-8"},
    {QStringConverter::Utf16LE, TextEncoding::Kind::Utf16, false, "UTF-16LE"},
    {QStringConverter::Utf16BE, TextEncoding::Kind::Utf16, true, "UTF-16BE"},
    {QStringConverter::Utf32LE, TextEncoding::Kind::Utf32, false, "UTF-32LE"},
    {QStringConverter::Utf32BE, TextEncoding::Kind::Utf32, true, "UTF-32BE"},
};

// The byte-order marks in the order they are looked for: a UTF-32LE mark
// starts like a UTF-16LE one.
constexpr int bomOrder[] = {3, 4, 0, 1, 2};

std::u32string_view view(const std::u32string &text)
{
    return {text.data(), text.size()};
}

} // namespace

std::optional<TextEncoding> TextEncoding::forName(const QByteArray &name)
{
    if (name.isEmpty())
        return TextEncoding();
    if (!QStringDecoder(name.constData()).isValid())
        return std::nullopt;
    // The UTF encodings are read here, strictly. Which one the converter
    // reads shows in what it makes of a character of each plane without a
    // byte-order mark: its writing side may differ (a mark, then the other
    // byte order).
    const QString sample = u"\n\r一\U00020BB7"_s;
    for (const Known &known : knownEncodings) {
        QStringDecoder decoder(name.constData());
        const QString read = decoder.decode(encodedBy(known.encoding, sample));
        if (!decoder.hasError() && read == sample) {
            TextEncoding encoding = *forName(QByteArray());
            encoding.kind = known.kind;
            encoding.bigEndian = known.bigEndian;
            encoding.name = name;
            encoding.newline = encodedBy(known.encoding, u"\n");
            encoding.carriageReturn = encodedBy(known.encoding, u"\r");
            return encoding;
        }
    }
    // Any other encoding: its line break is what its converter writes for
    // one, less what it writes before every text, and must read back.
    const auto one = encodedBy(name, u"\n");
    const auto two = encodedBy(name, u"\n\n");
    const auto withReturn = encodedBy(name, u"\n\r");
    if (!one || !two || !withReturn)
        return std::nullopt;
    const qsizetype width = two->size() - one->size();
    if (width <= 0 || !startsWith(*two, *one))
        return std::nullopt;
    TextEncoding encoding;
    encoding.kind = Kind::Other;
    encoding.name = name;
    encoding.newline = two->right(width);
    encoding.carriageReturn = withReturn->size() == two->size() ? withReturn->right(width) : QByteArray();
    QStringDecoder decoder(name.constData());
    if (encoding.newline.count('\0') == width
        || decoder.decode(encoding.newline + encoding.newline) != u"\n\n"_s || decoder.hasError()
        || !readsLineByLine(name, encoding.newline))
        return std::nullopt;
    return encoding;
}

namespace {

std::optional<QStringConverter::Encoding> fixedOrder(const TextEncoding &encoding)
{
    switch (encoding.kind) {
    case TextEncoding::Kind::Utf8:
        return QStringConverter::Utf8;
    case TextEncoding::Kind::Utf16:
        return encoding.bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE;
    case TextEncoding::Kind::Utf32:
        return encoding.bigEndian ? QStringConverter::Utf32BE : QStringConverter::Utf32LE;
    case TextEncoding::Kind::Other:
        break;
    }
    return std::nullopt;
}

} // namespace

// Why NAME could not be opened, in the user's language.
QString openFailure(const QString &name, const QFile &file)
{
    const QFileInfo info(name);
    if (!info.exists())
        return Messages::tr("没有这个文件");
    if (info.isDir())
        return Messages::tr("这是文件夹，不是文件");
    if (!info.isReadable())
        return Messages::tr("没有读取权限");
    return quotedSystemText(file.errorString());
}

QStringEncoder TextEncoding::encoder() const
{
    const auto fixed = fixedOrder(*this);
    return fixed ? QStringEncoder(*fixed) : QStringEncoder(name.constData());
}

QStringDecoder TextEncoding::decoder() const
{
    const auto fixed = fixedOrder(*this);
    return fixed ? QStringDecoder(*fixed) : QStringDecoder(name.constData());
}

QString TextEncoding::refusal(const QString &name)
{
    if (!name.isEmpty() && QStringDecoder(name.toLatin1().constData()).isValid())
        return Messages::tr("编码“%1”不能一行一行地读：它的一行要靠前面的行才能读懂。请先把输入转成 UTF-8 或 GB18030。")
                .arg(name);
    return Messages::tr("不认识编码“%1”。可用 UTF-8、GB18030、GBK、Big5、UTF-16LE、UTF-16BE 等。").arg(name);
}

LineReader::LineReader(QIODevice &device, const QByteArray &encoding, ByteOrderMarks marks)
    : m_device(device)
    , m_atStart(marks == ByteOrderMarks::Followed)
{
    setEncoding(TextEncoding::forName(encoding).value_or(TextEncoding()));
}

void LineReader::setEncoding(const TextEncoding &encoding)
{
    m_encoding = encoding;
    m_unit = encoding.unit();
    // The byte to look for: in a wide unit, the one that is not zero.
    m_newlineKeyAt = 0;
    while (encoding.newline.at(m_newlineKeyAt) == '\0')
        ++m_newlineKeyAt;
    m_newlineKey = encoding.newline.at(m_newlineKeyAt);
    m_hasReturn = encoding.carriageReturn.size() == 1;
    m_returnByte = m_hasReturn ? encoding.carriageReturn.front() : '\0';
}

LineReader::~LineReader()
{
    std::free(m_data);
}

bool LineReader::grow()
{
    qsizetype capacity = m_capacity + m_capacity / 2;
    if (m_capacity == 0) {
        capacity = readBlock;
        if (!m_device.isSequential())
            capacity = std::clamp(m_device.size() - m_device.pos() + smallFileSlack, smallFileSlack, readBlock);
    }
    // realloc moves a large block by remapping its pages, not copying
    // them: the line is never held twice while the buffer grows.
    void *grown = std::realloc(m_data, size_t(capacity));
    if (!grown) {
        m_error = Error::Memory;
        return false;
    }
    m_data = static_cast<char *>(grown);
    m_capacity = capacity;
    return true;
}

bool LineReader::fill()
{
    if (m_filled == m_capacity) {
        if (m_lineStart > 0) {
            std::memmove(m_data, m_data + m_lineStart, size_t(m_filled - m_lineStart));
            m_bufferOffset += m_lineStart;
            m_filled -= m_lineStart;
            m_searched -= m_lineStart;
            m_lineStart = 0;
        } else if (!grow()) {
            return false;
        }
    }
    errno = 0;
    const qint64 got = m_device.read(m_data + m_filled, m_capacity - m_filled);
    if (got < 0) {
        const int error = errno;
        m_error = Error::Read;
        // A file's own text is the system's, often English: worded from
        // the system's error where there is one, else quoted, so it does
        // not run into the sentence around it. Our own readers word theirs
        // in Chinese.
        const bool file = qobject_cast<QFileDevice *>(&m_device) != nullptr;
        m_readError = !file ? m_device.errorString()
                            : error != 0 ? systemError(error) : quotedSystemText(m_device.errorString());
        return false;
    }
    m_atEnd = got == 0;
    m_filled += qsizetype(got);
    return true;
}

void LineReader::followByteOrderMark()
{
    const QByteArrayView start(m_data, m_filled);
    for (int index : bomOrder) {
        const Known &known = knownEncodings[index];
        const QByteArray mark = encodedBy(known.encoding, u"\uFEFF");
        if (startsWith(start, mark)) {
            setEncoding(*TextEncoding::forName(known.name));
            m_byteOrderMark = mark;
            m_lineStart = m_searched = mark.size();
            return;
        }
    }
}

qsizetype LineReader::findNewline(qsizetype from) const
{
    for (qsizetype at = from + m_newlineKeyAt; at < m_filled;) {
        const void *found = std::memchr(m_data + at, m_newlineKey, size_t(m_filled - at));
        if (!found)
            return -1;
        const qsizetype byte = static_cast<const char *>(found) - m_data;
        if (m_unit == 1)
            return byte;
        const qsizetype unitStart = byte - m_newlineKeyAt;
        if ((unitStart - m_lineStart) % m_unit == 0) {
            if (unitStart + m_unit > m_filled)
                return -1;
            if (std::memcmp(m_data + unitStart, m_encoding.newline.constData(), size_t(m_unit)) == 0)
                return unitStart;
        }
        at = byte + 1;
    }
    return -1;
}

// Makes the line end at END, the first byte after its text and its
// carriage return if any; true when END is the stream's end.
bool LineReader::setLineEndingAt(qsizetype end)
{
    const QByteArray &cr = m_encoding.carriageReturn;
    const bool withReturn = !cr.isEmpty() && end - m_unit >= m_lineStart
            && (m_unit == 1 ? m_data[end - 1] == cr.front()
                            : std::memcmp(m_data + end - m_unit, cr.constData(), size_t(m_unit)) == 0);
    m_lineSize = end - m_lineStart - (withReturn ? m_unit : 0);
    ++m_lineNumber;
    return withReturn;
}

bool LineReader::findLine()
{
    const qsizetype end = findNewline(m_searched);
    if (end >= 0) {
        m_lineEndSize = setLineEndingAt(end) ? 2 * m_unit : m_unit;
        m_searched = end + m_unit;
        return true;
    }
    m_searched = m_lineStart + (m_filled - m_lineStart) / m_unit * m_unit;
    if (!m_atEnd || m_lineStart == m_filled)
        return false;
    const qsizetype size = m_filled - m_lineStart;
    if (size % m_unit != 0) {
        m_error = Error::Invalid;
        m_invalidOffset = offset() + size - size % m_unit;
        // The cut-off line was never made a line of its own.
        m_invalidLine = m_lineNumber + 1;
        return false;
    }
    m_lineEndSize = setLineEndingAt(m_filled) ? m_unit : 0;
    m_searched = m_filled;
    return true;
}

bool LineReader::nextFromDevice()
{
    if (m_error != Error::None)
        return false;
    m_lineStart += m_lineSize + m_lineEndSize;
    m_lineSize = m_lineEndSize = 0;
    while (true) {
        if (m_atStart) {
            if (m_filled < longestBom && !m_atEnd) {
                if (!fill())
                    return false;
                continue;
            }
            m_atStart = false;
            followByteOrderMark();
        }
        if (findLine())
            return true;
        if (m_error != Error::None || (m_atEnd && m_lineStart == m_filled))
            return false;
        if (!fill())
            return false;
    }
}

bool LineReader::decode(const Piece &piece)
{
    if (m_decodedLine == m_lineNumber && m_lineNumber > 0)
        return m_piece.empty() || piece(view(m_piece));
    m_decodedLine = 0;
    m_handedOutEarly = false;
    bool decoded = false;
    switch (m_encoding.kind) {
    case TextEncoding::Kind::Utf8:
        decoded = decodeUtf8(piece);
        break;
    case TextEncoding::Kind::Utf16:
    case TextEncoding::Kind::Utf32:
        decoded = decodeWide(piece);
        break;
    case TextEncoding::Kind::Other:
        decoded = decodeOther(piece);
        break;
    }
    if (decoded && !m_handedOutEarly)
        m_decodedLine = m_lineNumber;
    return decoded;
}

bool LineReader::codePoints(std::u32string *out)
{
    out->clear();
    return decode([out](std::u32string_view piece) {
        out->append(piece);
        return true;
    });
}

void LineReader::setInvalidAt(qsizetype at)
{
    m_decodedLine = 0;
    m_error = Error::Invalid;
    m_invalidOffset = offset() + at;
    m_invalidLine = m_lineNumber;
}

// Adds CODEPOINT to the piece, which goes out once it is full: false when
// PIECE stopped there.
inline bool LineReader::push(char32_t codePoint, const Piece &piece)
{
    m_piece.push_back(codePoint);
    if (qsizetype(m_piece.size()) < pieceLength)
        return true;
    m_handedOutEarly = true;
    const bool goOn = piece(view(m_piece));
    m_piece.clear();
    return goOn;
}

bool LineReader::decodeUtf8(const Piece &piece)
{
    const auto *begin = reinterpret_cast<const unsigned char *>(m_data + m_lineStart);
    const unsigned char *end = begin + m_lineSize;
    m_piece.clear();
    for (const unsigned char *p = begin; p < end;) {
        char32_t codePoint = 0;
        const unsigned char *next = Utf8::decode(p, end, &codePoint);
        if (!next) {
            setInvalidAt(p - begin);
            return false;
        }
        p = next;
        if (!push(codePoint, piece))
            return false;
    }
    return m_piece.empty() || piece(view(m_piece));
}

bool LineReader::decodeWide(const Piece &piece)
{
    const qsizetype unit = m_encoding.unit();
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_data + m_lineStart);
    const auto unitAt = [&](qsizetype at) {
        char32_t value = 0;
        for (qsizetype i = 0; i < unit; ++i)
            value |= char32_t(bytes[at + (m_encoding.bigEndian ? unit - 1 - i : i)]) << (bitsPerByte * i);
        return value;
    };
    m_piece.clear();
    for (qsizetype at = 0; at < m_lineSize; at += unit) {
        char32_t codePoint = unitAt(at);
        const bool surrogate = codePoint - Utf8::surrogateFirst < Utf8::surrogateSpan;
        if (unit == 2 && surrogate && codePoint < lowSurrogateFirst && at + unit < m_lineSize) {
            const char32_t low = unitAt(at + unit);
            if (low - lowSurrogateFirst < surrogateHalfSpan) {
                codePoint = supplementaryFirst + ((codePoint - Utf8::surrogateFirst) << surrogateBits)
                        + (low - lowSurrogateFirst);
                at += unit;
            }
        }
        if (codePoint - Utf8::surrogateFirst < Utf8::surrogateSpan || codePoint >= Utf8::codePointLimit) {
            setInvalidAt(at);
            return false;
        }
        if (!push(codePoint, piece))
            return false;
    }
    return m_piece.empty() || piece(view(m_piece));
}

// Hands out the code points of PENDING, all of them when LAST: otherwise a
// high surrogate at its end waits for its second half, which comes with the
// decoder's next piece.
bool LineReader::handOutDecoded(QString &pending, bool last, bool *mayStartWithMark, const Piece &piece)
{
    m_piece.clear();
    qsizetype i = 0;
    for (; i < pending.size(); ++i) {
        const QChar unit = pending.at(i);
        if (unit.isHighSurrogate() && i + 1 == pending.size() && !last)
            break;
        if (unit.isHighSurrogate() && i + 1 < pending.size() && pending.at(i + 1).isLowSurrogate()) {
            m_piece.push_back(QChar::surrogateToUcs4(unit, pending.at(i + 1)));
            ++i;
        } else {
            m_piece.push_back(unit.unicode());
        }
    }
    pending.remove(0, i);
    if (*mayStartWithMark && !m_piece.empty()) {
        if (m_piece.front() == markCharacter)
            m_piece.erase(0, 1);
        *mayStartWithMark = false;
    }
    return m_piece.empty() || piece(view(m_piece));
}

bool LineReader::decodeOther(const Piece &piece)
{
    // One converter for the stream, as every line starts in its first state.
    if (!m_decoder)
        m_decoder.emplace(m_encoding.name.constData(), QStringDecoder::Flag::ConvertInitialBom);
    QStringDecoder &decoder = *m_decoder;
    decoder.resetState();
    const QByteArrayView line = bytes();
    QString pending;
    // A mark in the encoding's own form starts only the stream.
    bool mayStartWithMark = m_lineNumber == 1;
    for (qsizetype at = 0; at < line.size() && !decoder.hasError(); at += pieceLength) {
        pending += QString(decoder.decode(line.sliced(at, std::min(pieceLength, line.size() - at))));
        const bool more = at + pieceLength < line.size();
        if (more && !decoder.hasError()) {
            m_handedOutEarly = true;
            if (!handOutDecoded(pending, false, &mayStartWithMark, piece))
                return false;
        }
    }
    // The line end finishes any sequence the line left open.
    if (!decoder.hasError()) {
        pending += QString(decoder.decode(m_encoding.newline));
        if (!decoder.hasError() && pending.endsWith(u'\n')) {
            pending.chop(1);
            return handOutDecoded(pending, true, &mayStartWithMark, piece);
        }
    }
    setInvalidAt(firstInvalidInOther());
    return false;
}

// The offset in the line, which a fresh decoder finds invalid, of the
// sequence that is invalid. The decoders say only that something was
// wrong, so the first prefix that is wrong is found by halving, and from
// the byte that revealed it back over the bytes that made no character yet.
qsizetype LineReader::firstInvalidInOther() const
{
    const QByteArrayView line = bytes();
    const QByteArrayView newline(m_encoding.newline);
    struct Decoded
    {
        qsizetype length = 0;
        bool invalid = false;
    };
    // The line followed by its end, as far as SIZE bytes of them go.
    const auto decodePrefix = [&](qsizetype size) {
        QStringDecoder decoder(m_encoding.name.constData(), QStringDecoder::Flag::ConvertInitialBom);
        Decoded result;
        for (qsizetype at = 0; at < std::min(size, line.size()); at += pieceLength)
            result.length += QString(decoder.decode(line.sliced(at, std::min({pieceLength, line.size() - at, size - at}))))
                                     .size();
        if (size > line.size())
            result.length += QString(decoder.decode(newline.first(size - line.size()))).size();
        result.invalid = decoder.hasError();
        return result;
    };
    qsizetype valid = 0;
    qsizetype invalid = line.size() + newline.size();
    while (invalid - valid > 1) {
        const qsizetype middle = valid + (invalid - valid) / 2;
        (decodePrefix(middle).invalid ? invalid : valid) = middle;
    }
    const qsizetype revealing = invalid - 1;
    const qsizetype madeBefore = decodePrefix(revealing).length;
    qsizetype start = revealing;
    while (start > 0 && revealing - (start - 1) < longestSequence && decodePrefix(start - 1).length == madeBefore)
        --start;
    return std::min(start, line.size());
}

QString LineReader::errorMessage(const QString &name) const
{
    const QString shown = name == u"-"_s ? Messages::tr("标准输入") : name;
    switch (m_error) {
    case Error::None:
        break;
    case Error::Read:
        return Messages::tr("读不了“%1”：%2。").arg(shown, m_readError);
    case Error::Invalid:
        return Messages::tr("%1:%2: 第 %2 行、第 %3 字节（从 0 数起）处不是有效的 %4 编码。"
                            "请用 --encoding 指明文件的实际编码。")
                .arg(shown)
                .arg(m_invalidLine)
                .arg(m_invalidOffset)
                .arg(QString::fromLatin1(m_encoding.name));
    case Error::Memory:
        return Messages::tr("%1: 第 %2 行太长，内存不够，读不下。").arg(shown).arg(m_lineNumber + 1);
    }
    return QString();
}

} // namespace CommandLine
