// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtGlobal>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QFile;
class QIODevice;

namespace CommandLine {

// Why the input NAME could not be opened as FILE, in the user's language.
QString openFailure(const QString &name, const QFile &file);

// How a stream's bytes make characters and lines. Decided from what the
// converter of a name actually writes for a line break and a few
// characters, never from the name itself, so every alias and spelling the
// converter accepts gets the same line splitting.
struct TextEncoding
{
    enum class Kind { Utf8, Utf16, Utf32, Other };

    Kind kind = Kind::Utf8;
    bool bigEndian = false;
    // The name a converter is made from, and shown in messages.
    QByteArray name = "UTF-8";
    // The bytes of a line feed and of a carriage return; both are one code
    // unit wide.
    QByteArray newline = "\n";
    QByteArray carriageReturn = "\r";

    qsizetype unit() const { return newline.size(); }

    // Converters for text in this encoding without a byte-order mark: the
    // UTF ones in the byte order bigEndian says, whatever the name's own
    // converter would write (some write a mark before every text, in the
    // machine's order). Whoever wants a mark writes it once.
    QStringEncoder encoder() const;
    QStringDecoder decoder() const;
    // Whether OTHER writes text as this encoding does.
    bool writesAs(const TextEncoding &other) const
    {
        return kind == other.kind && bigEndian == other.bigEndian && (kind != Kind::Other || name == other.name);
    }

    // The encoding that NAME chooses, or nothing when no converter takes
    // the name or its line breaks cannot be found in a stream.
    static std::optional<TextEncoding> forName(const QByteArray &name);
    // Why the user's NAME, empty or one that forName() refuses, chooses
    // no encoding.
    static QString refusal(const QString &name);
};

// Reads a stream into lines: each line's bytes as they are in the stream,
// its line end, and its code points. Memory stays within a small multiple
// of the longest line. A byte-order mark at the start is followed whatever
// encoding was asked for, the UTF-32 ones before the UTF-16 ones.
class LineReader
{
public:
    enum class Error { None, Read, Invalid, Memory };
    // Text that is not a file, such as an argument, has no byte-order mark.
    enum class ByteOrderMarks { Followed, Ignored };

    // Empty ENCODING is UTF-8. ENCODING must be one TextEncoding takes.
    LineReader(QIODevice &device, const QByteArray &encoding, ByteOrderMarks marks = ByteOrderMarks::Followed);
    ~LineReader();
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // Moves to the next line: false at the end of the stream or when it
    // cannot go on (error() says why).
    bool next()
    {
        // Most lines of a one-byte encoding end within the buffer: found
        // here without a call.
        const qsizetype start = m_lineStart + m_lineSize + m_lineEndSize;
        if (m_unit == 1 && !m_atStart && m_error == Error::None && start == m_searched && start < m_filled) {
            const void *found = std::memchr(m_data + start, m_newlineKey, size_t(m_filled - start));
            if (found) {
                const qsizetype end = static_cast<const char *>(found) - m_data;
                const bool withReturn = end > start && m_data[end - 1] == m_returnByte && m_hasReturn;
                m_lineStart = start;
                m_lineSize = end - start - withReturn;
                m_lineEndSize = 1 + withReturn;
                m_searched = end + 1;
                ++m_lineNumber;
                return true;
            }
        }
        return nextFromDevice();
    }

    // The current line's bytes without its end, in the stream's encoding.
    QByteArrayView bytes() const { return {m_data + m_lineStart, m_lineSize}; }
    // Its end as it is in the stream: a line feed, a carriage return and a
    // line feed, a carriage return that ends the stream, or nothing.
    QByteArrayView lineEnd() const { return {m_data + m_lineStart + m_lineSize, m_lineEndSize}; }
    qint64 lineNumber() const { return m_lineNumber; }
    // The stream offset of bytes()[0].
    qint64 offset() const { return m_bufferOffset + m_lineStart; }

    // The encoding as followed, after any byte-order mark, and the mark.
    const TextEncoding &encoding() const { return m_encoding; }
    QByteArrayView byteOrderMark() const { return m_byteOrderMark; }

    // Decodes the current line in pieces of at most a block of code points,
    // calling PIECE for each in order until it returns false. Returns false
    // when PIECE stopped it or at the first invalid sequence; error() then
    // says which, and no piece held anything from that sequence on.
    using Piece = std::function<bool(std::u32string_view)>;
    bool decode(const Piece &piece);
    // The current line's code points at once into OUT.
    bool codePoints(std::u32string *out);

    // Marks the line invalid from its byte AT, for a caller that checks the
    // bytes of a UTF-8 line itself.
    void setInvalidAt(qsizetype at);

    Error error() const { return m_error; }
    // The stream offset of the first invalid byte, once error() is Invalid.
    qint64 invalidOffset() const { return m_invalidOffset; }
    // The line, counted from 1, that holds it.
    qint64 invalidLine() const { return m_invalidLine; }
    // What went wrong, for the user, about the stream called NAME.
    QString errorMessage(const QString &name) const;

private:
    bool nextFromDevice();
    void setEncoding(const TextEncoding &encoding);
    bool fill();
    bool grow();
    bool setLineEndingAt(qsizetype end);
    bool findLine();
    void followByteOrderMark();
    qsizetype findNewline(qsizetype from) const;
    bool push(char32_t codePoint, const Piece &piece);
    bool decodeUtf8(const Piece &piece);
    bool decodeWide(const Piece &piece);
    bool decodeOther(const Piece &piece);
    bool handOutDecoded(QString &pending, bool last, bool *mayStartWithMark, const Piece &piece);
    qsizetype firstInvalidInOther() const;

    QIODevice &m_device;
    TextEncoding m_encoding;
    QByteArray m_byteOrderMark;
    // The encoding's line break and carriage return as plain values, for
    // the search that runs once per line.
    qsizetype m_unit = 1;
    char m_newlineKey = '\n';
    qsizetype m_newlineKeyAt = 0;
    char m_returnByte = '\r';
    bool m_hasReturn = true;
    char *m_data = nullptr;
    qsizetype m_capacity = 0;
    qsizetype m_filled = 0;
    // Where the search for the next line end goes on, so that a long line
    // read in many pieces is searched once.
    qsizetype m_searched = 0;
    qsizetype m_lineStart = 0;
    qsizetype m_lineSize = 0;
    qsizetype m_lineEndSize = 0;
    qint64 m_bufferOffset = 0;
    qint64 m_lineNumber = 0;
    bool m_atStart = true;
    bool m_atEnd = false;
    Error m_error = Error::None;
    qint64 m_invalidOffset = -1;
    qint64 m_invalidLine = 0;
    QString m_readError;
    std::u32string m_piece;
    // A line decoded in one piece keeps it for the next pass over it.
    qint64 m_decodedLine = 0;
    bool m_handedOutEarly = false;
    std::optional<QStringDecoder> m_decoder;
};

} // namespace CommandLine
