// SPDX-License-Identifier: MIT
// The rows kept whole: a line, or a record of delimited fields, written as
// it came with its counts appended, in the encoding chosen for the output.
#include "clusterwalk.h"

#include "character.h"
#include "linereader.h"
#include "messages.h"
#include "stroketable.h"
#include "utf8.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

using namespace Qt::StringLiterals;

namespace Count {

namespace {

constexpr char partsJoint = '+';
constexpr char noCount = '-';
constexpr char utf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char32_t firstPrintable = 0x20;
constexpr char32_t firstNonAscii = 0x80;
constexpr std::size_t numberRoom = 24;
constexpr char continuationMask = char(0xC0), continuationBits = char(0x80);

// A line from this long on is written as it is read, also where its row
// goes out in another encoding than UTF-8.
constexpr qsizetype largeRow = qsizetype(1) << 20;
// The parts and the text to encode go out in pieces of about this size.
constexpr std::size_t partsPiece = std::size_t(1) << 16;

// Calls F with each piece of TEXT, UTF-8, of about partsPiece bytes, none
// ending inside a character.
template<typename F>
void forEachPiece(std::string_view text, F f)
{
    while (!text.empty()) {
        std::size_t size = std::min(text.size(), partsPiece);
        while (size < text.size() && (text[size] & continuationMask) == continuationBits)
            ++size;
        f(text.substr(0, size));
        text.remove_prefix(size);
    }
}

// A character's part in --parts: its count, or a mark that it has none.
void appendPart(std::string &parts, bool known, qint16 strokes)
{
    if (!known) {
        parts += noCount;
        return;
    }
    char digits[numberRoom];
    parts.append(digits, std::to_chars(digits, digits + numberRoom, strokes).ptr);
}

void appendUtf8(std::string &out, char32_t codePoint)
{
    char encoded[Utf8::maxEncodedLength];
    out.append(encoded, std::size_t(Utf8::encode(codePoint, encoded) - encoded));
}

// The line end of the reader's line as UTF-8; empty when the stream ends
// without one.
std::string lineEndOf(const LineReader &reader)
{
    const QByteArrayView end = reader.lineEnd();
    const qsizetype unit = reader.encoding().unit();
    if (end.isEmpty())
        return {};
    if (end.size() == 2 * unit)
        return "\r\n";
    return end == reader.encoding().carriageReturn ? "\r" : "\n";
}

QString columnNames(const Options &options)
{
    return options.parts ? Messages::tr("笔画\x1f各字笔画") : Messages::tr("笔画");
}

} // namespace

bool Counter::countRow(LineReader &reader, const Where &where)
{
    if (!m_outputStarted)
        startOutput(reader);
    if (m_plainRows && !m_inRecord && !m_headerNext && writePlainRow(reader))
        return true;
    RowLine line;
    if (!readRowLine(reader, &line))
        return false;
    if (!m_inRecord) {
        m_row.clear();
        m_rowLineStarts.clear();
        m_rowFirstLine = where.line;
        m_pickedBytes = line.byBytes;
        if (m_picker)
            m_picker->startRecord();
    }
    std::string lineEnd = lineEndOf(reader);
    const auto *units = reinterpret_cast<const unsigned char *>(line.bytes.data());
    if (line.byBytes)
        m_inRecord = !m_picker->readLine(units, units + line.bytes.size());
    else if (m_picker)
        m_inRecord = !m_picker->readLine(m_codePoints.data(), m_codePoints.data() + m_codePoints.size());
    if (line.asRead && !m_inRecord) {
        if (!lineEnd.empty())
            m_lastLineEnd = std::move(lineEnd);
        return writeRowAsRead(line.bytes, where);
    }
    m_rowLineStarts.push_back(m_row.size());
    if (line.utf8) {
        m_row.append(line.bytes.data(), std::size_t(line.bytes.size()));
    } else {
        for (char32_t codePoint : m_codePoints)
            appendUtf8(m_row, codePoint);
    }
    if (m_inRecord) {
        m_row += lineEnd.empty() ? m_lastLineEnd : lineEnd;
        return true;
    }
    if (!lineEnd.empty())
        m_lastLineEnd = std::move(lineEnd);
    return endRow(where);
}

// The reader's line as the row needs it: its bytes, checked, where they are
// UTF-8 or a long line is read as UTF-8, else its code points.
bool Counter::readRowLine(LineReader &reader, RowLine *line)
{
    const bool utf8Input = reader.encoding().kind == TextEncoding::Kind::Utf8;
    line->bytes = reader.bytes();
    // A long line in another encoding, or one that goes out in another, is
    // read as UTF-8 and written as it is read: gathered whole as code
    // points, as UTF-8 and as the output's text, it would take many times
    // its size.
    const bool large = line->bytes.size() >= largeRow;
    const bool transcoded = !utf8Input && large && (!m_picker || m_options.fields.separator < firstNonAscii);
    if (transcoded) {
        if (!readAsUtf8(reader))
            return false;
        line->bytes = QByteArrayView(m_lineUtf8);
    }
    line->utf8 = utf8Input || transcoded;
    // A field of UTF-8 split at a separator below 0x80 is picked out of the
    // bytes, and only the field is decoded: most of a row is only copied.
    line->byBytes = line->utf8 && m_picker && m_options.fields.separator < firstNonAscii;
    line->asRead = line->utf8 && (!m_encoder || large) && !m_inRecord && !m_headerNext
            && (!m_picker || (line->byBytes && m_plainNewFields));
    const bool bytesOnly = line->byBytes || line->asRead;
    if (utf8Input && bytesOnly) {
        const QByteArrayView bytes = line->bytes;
        const LineTotal total = bytes.isValidUtf8() ? LineTotal() : utf8LineTotal(m_table, bytes.data(), bytes.size());
        if (total.invalidAt >= 0)
            reader.setInvalidAt(total.invalidAt);
        return total.invalidAt < 0;
    }
    return (transcoded && bytesOnly) || reader.codePoints(&m_codePoints);
}

bool Counter::readAsUtf8(LineReader &reader)
{
    // Two bytes of UTF-16 or GB18030 are at most three of UTF-8: room made
    // at once is never copied as it grows.
    m_lineUtf8.clear();
    m_lineUtf8.reserve(std::size_t(reader.bytes().size()) / 2 * 3 + Utf8::maxEncodedLength);
    return reader.decode([this](std::u32string_view piece) {
        for (char32_t codePoint : piece)
            appendUtf8(m_lineUtf8, codePoint);
        return true;
    });
}

// A row of one line of UTF-8 that goes out as UTF-8: written from the
// reader's bytes, and its counts from the field's, so that a long line is
// never held twice nor its parts gathered.
bool Counter::writeRowAsRead(QByteArrayView line, const Where &where)
{
    const std::string_view text(line.data(), std::size_t(line.size()));
    const std::string_view field = m_picker ? m_picker->fieldBytes() : text;
    m_rowTotal = 0;
    if (m_options.strict) {
        const auto before = std::count_if(line.begin(), line.begin() + (m_picker ? m_picker->fieldOffset() : 0),
                                          [](char byte) { return (byte & continuationMask) != continuationBits; });
        if (!reportUnknownsInUtf8(QByteArrayView(field.data(), qsizetype(field.size())), where, std::size_t(before),
                                  &m_rowTotal))
            return false;
    } else {
        m_rowTotal = utf8LineTotal(m_table, field.data(), qsizetype(field.size())).total;
    }
    if (m_encoder && !isWritable(text, where))
        return false;
    const char separator = !m_picker || m_options.fields.separator == Delimited::FieldPicker::blankSeparated
            ? '\t'
            : char(m_options.fields.separator);
    char digits[numberRoom + 1];
    char *digitsEnd = std::to_chars(digits, digits + numberRoom, m_rowTotal).ptr;
    if (!m_picker) {
        *digitsEnd++ = separator;
        putRowText(std::string_view(digits, std::size_t(digitsEnd - digits)));
        putRowText(text);
    } else {
        putRowText(text);
        putRowText(std::string_view(&separator, 1));
        putRowText(std::string_view(digits, std::size_t(digitsEnd - digits)));
    }
    if (m_options.parts) {
        putRowText(std::string_view(&separator, 1));
        if (!writeParts(field))
            return false;
    }
    putRowText(m_lastLineEnd);
    return true;
}

// TEXT, UTF-8, in the output's encoding, a piece at a time.
void Counter::putRowText(std::string_view text)
{
    if (!m_encoder) {
        m_output.append(text.data(), text.size());
        return;
    }
    forEachPiece(text, [this](std::string_view piece) {
        const QByteArray bytes = m_encoder->encode(QString::fromUtf8(piece.data(), qsizetype(piece.size())));
        m_output.append(bytes.constData(), std::size_t(bytes.size()));
        // A failed write shows when the row is done.
        m_output.flushWhenFull();
    });
}

// Whether the output's encoding holds every character of TEXT, UTF-8; if
// not, says which. Nothing of the row has been written then.
bool Counter::isWritable(std::string_view text, const Where &where)
{
    m_encoder->resetState();
    m_checker->resetState();
    QString lost;
    forEachPiece(text, [&](std::string_view piece) {
        if (!lost.isEmpty())
            return;
        const QString decoded = QString::fromUtf8(piece.data(), qsizetype(piece.size()));
        const QByteArray bytes = m_encoder->encode(decoded);
        if (m_encoder->hasError() || QString(m_checker->decode(bytes)) != decoded || m_checker->hasError())
            lost = decoded;
    });
    m_encoder->resetState();
    return lost.isEmpty() || failUnwritable(lost, where);
}

// The parts of FIELD, valid UTF-8, as countField() finds them, written as
// they are found.
bool Counter::writeParts(std::string_view field)
{
    const auto *p = reinterpret_cast<const unsigned char *>(field.data());
    const unsigned char *const end = p + field.size();
    m_parts.clear();
    bool first = true;
    while (p < end) {
        const bool leading = p == reinterpret_cast<const unsigned char *>(field.data());
        const Utf8Character character = nextCharacter(p, end);
        p = character.end;
        const char32_t base = character.base;
        if (character.space)
            continue;
        if (!std::exchange(first, false))
            m_parts += partsJoint;
        appendPart(m_parts, leading ? m_table.isLeadingKnown(base) : m_table.isKnown(base),
                   leading ? m_table.leadingCount(base) : m_table.count(base));
        if (m_parts.size() >= partsPiece) {
            putRowText(m_parts);
            m_parts.clear();
            if (!m_output.flushWhenFull())
                return false;
        }
    }
    putRowText(m_parts);
    return true;
}

bool Counter::endRow(const Where &where)
{
    m_inRecord = false;
    if (std::exchange(m_headerNext, false)) {
        const QStringList names = columnNames(m_options).split(u'\x1f');
        appendNewFields(names.first().toStdString(), names.last().toStdString(), true);
    } else {
        countRowField(where);
        char digits[numberRoom];
        const std::string total(digits, std::to_chars(digits, digits + numberRoom, m_rowTotal).ptr);
        const char32_t separator = m_options.fields.separator;
        // Counts are digits, "+" and "-": quoted only where the separator is one.
        const bool quoting = (separator >= U'0' && separator <= U'9') || separator == U'+' || separator == U'-';
        appendNewFields(total, m_parts, quoting);
    }
    m_row += m_lastLineEnd;
    return writeRow(where);
}

// The total, and with --parts the parts, after the row's field or around
// its line.
void Counter::appendNewFields(const std::string &total, const std::string &parts, bool mayNeedQuotes)
{
    if (!m_picker) {
        m_row.insert(0, total + '\t');
        if (m_options.parts)
            m_row += '\t' + parts;
        return;
    }
    const char32_t separator = m_options.fields.separator == Delimited::FieldPicker::blankSeparated
            ? U'\t'
            : m_options.fields.separator;
    // A separator outside the first plane never occurs in the new fields.
    const QChar separatorChar = QChar::requiresSurrogates(separator) ? QChar(u'\t') : QChar(char16_t(separator));
    const auto append = [&](const std::string &text) {
        appendUtf8(m_row, separator);
        if (mayNeedQuotes)
            m_row += Delimited::quoted(QString::fromStdString(text), separatorChar).toStdString();
        else
            m_row += text;
    };
    append(total);
    if (m_options.parts)
        append(parts);
}

void Counter::countRowField(const Where &where)
{
    if (!m_picker) {
        countField(m_codePoints, where, 0);
        return;
    }
    if (m_pickedBytes && !m_options.parts && !m_options.strict) {
        // Only the total is wanted: summed from the bytes, as a line's is.
        const std::string_view picked = m_picker->fieldBytes();
        m_rowTotal = utf8LineTotal(m_table, picked.data(), qsizetype(picked.size())).total;
        return;
    }
    const std::u32string_view field = fieldCodePoints();
    if (!m_options.strict) {
        countField(field, where, 0);
        return;
    }
    // A report points into the line, not the field: the characters before
    // the field on its line come first.
    Where fieldWhere = where;
    const auto line = std::size_t(m_picker->fieldLine());
    fieldWhere.line = m_rowFirstLine + qint64(line);
    const std::size_t start = line < m_rowLineStarts.size() ? m_rowLineStarts[line] : 0;
    std::size_t before = std::size_t(m_picker->fieldOffset());
    if (m_pickedBytes)
        before = std::size_t(std::count_if(m_row.begin() + qsizetype(start),
                                           m_row.begin() + qsizetype(std::min(start + before, m_row.size())),
                                           [](char byte) { return (byte & continuationMask) != continuationBits; }));
    countField(field, fieldWhere, before);
}

// The field of a line of UTF-8 without quotes: between separators, or the
// runs of spaces and TABs where fields are blank-separated.
QByteArrayView Counter::plainField(QByteArrayView line) const
{
    const char *p = line.data();
    const char *end = p + line.size();
    const qsizetype wanted = m_options.fields.field;
    if (m_options.fields.separator == Delimited::FieldPicker::blankSeparated) {
        const auto isBlank = [](char byte) { return byte == ' ' || byte == '\t'; };
        for (qsizetype index = 0; p < end; ++index) {
            p = std::find_if_not(p, end, isBlank);
            const char *fieldEnd = std::find_if(p, end, isBlank);
            if (index == wanted)
                return QByteArrayView(p, fieldEnd - p);
            p = fieldEnd;
        }
        return {};
    }
    const char separator = char(m_options.fields.separator);
    for (qsizetype index = 0; index < wanted && p < end; ++index) {
        const void *next = std::memchr(p, separator, std::size_t(end - p));
        p = next ? static_cast<const char *>(next) + 1 : end;
    }
    const void *fieldEnd = std::memchr(p, separator, std::size_t(end - p));
    return QByteArrayView(p, (fieldEnd ? static_cast<const char *>(fieldEnd) : end) - p);
}

// The usual row of a spreadsheet's export: one line of UTF-8 without a
// quote, written as it came with only its total after it. Nothing of it is
// copied but into the output. False, with nothing written, for any other
// row.
bool Counter::writePlainRow(const LineReader &reader)
{
    const QByteArrayView bytes = reader.bytes();
    if (reader.encoding().kind != TextEncoding::Kind::Utf8
        || (m_options.fields.quoting() && std::memchr(bytes.data(), '"', std::size_t(bytes.size())))
        || !bytes.isValidUtf8())
        return false;
    const QByteArrayView field = plainField(bytes);
    m_rowTotal = utf8LineTotal(m_table, field.data(), field.size()).total;
    const QByteArrayView lineEnd = reader.lineEnd();
    if (!lineEnd.isEmpty())
        m_lastLineEnd = lineEnd.size() == 2 ? "\r\n" : lineEnd.front() == '\r' ? "\r" : "\n";
    m_output.append(bytes.data(), std::size_t(bytes.size()));
    m_output.append(m_options.fields.separator == Delimited::FieldPicker::blankSeparated
                            ? '\t'
                            : char(m_options.fields.separator));
    m_output.appendNumber(m_rowTotal);
    m_output.append(m_lastLineEnd.data(), m_lastLineEnd.size());
    return true;
}

// The picked field's code points: picked from bytes, they are decoded here.
std::u32string_view Counter::fieldCodePoints()
{
    if (!m_pickedBytes)
        return m_picker->field();
    const std::string_view picked = m_picker->fieldBytes();
    m_fieldCodePoints.clear();
    const auto *p = reinterpret_cast<const unsigned char *>(picked.data());
    const unsigned char *end = p + picked.size();
    while (p < end) {
        char32_t codePoint = 0;
        p = Utf8::decode(p, end, &codePoint);
        m_fieldCodePoints.push_back(codePoint);
    }
    return m_fieldCodePoints;
}

// The total and the parts of FIELD, each character as a line's are: a
// variation selector stays with the character before it, white space is
// skipped in the parts.
void Counter::countField(std::u32string_view field, const Where &where, std::size_t columnsBefore)
{
    m_rowTotal = 0;
    m_parts.clear();
    std::size_t column = columnsBefore;
    // A quoted field goes on over line breaks: its reports name the line
    // each character stands on.
    Where at = where;
    for (std::size_t i = 0; i < field.size();) {
        const char32_t base = field[i];
        std::size_t next = i + 1;
        const bool space = isWhiteSpace(base);
        if (!space)
            while (next < field.size() && Character::isVariationSelector(field[next]))
                ++next;
        Cluster cluster;
        cluster.codePoints = field.substr(i, next - i);
        cluster.column = ++column;
        cluster.known = i == 0 ? m_table.isLeadingKnown(base) : m_table.isKnown(base);
        cluster.strokes = i == 0 ? m_table.leadingCount(base) : m_table.count(base);
        i = next;
        m_rowTotal += cluster.strokes;
        if (base == U'\n') {
            ++at.line;
            column = 0;
        }
        if (space)
            continue;
        if (!cluster.known && m_options.strict) {
            reportUnknown(at, cluster);
            // The row goes out after its reports: a failed write shows
            // there.
            if (m_output.reportsFull())
                m_output.flush();
        }
        if (m_options.parts) {
            if (!m_parts.empty())
                m_parts += partsJoint;
            appendPart(m_parts, cluster.known, cluster.strokes);
        }
    }
}

// The output's encoding: the one asked for, else the input's where a row is
// kept as it came (with its byte-order mark), else UTF-8 as always.
void Counter::startOutput(const LineReader &reader)
{
    m_outputStarted = true;
    if (m_options.fields.field >= 0)
        m_picker.emplace(m_options.fields.separator, m_options.fields.quoting(), m_options.fields.field);
    const char32_t separator = m_options.fields.separator;
    // Not a separator the total itself may hold, which would need quotes.
    const bool plainSeparator = separator < firstNonAscii && !(separator >= U'0' && separator <= U'9')
            && separator != U'+' && separator != U'-';
    m_plainNewFields = plainSeparator;
    m_plainRows = m_picker && plainSeparator && !m_options.parts && !m_options.strict;
    QByteArray mark;
    m_outputName = m_options.outputEncoding;
    std::optional<TextEncoding> chosen;
    if (m_options.byteOrderMark) {
        mark = utf8ByteOrderMark;
    } else if (m_outputName.isEmpty() && (m_options.fields.field >= 0 || m_options.fields.header || m_options.parts)) {
        // The input's encoding as read: in the byte order its mark gave.
        chosen = reader.encoding();
        m_outputName = chosen->name;
        mark = reader.byteOrderMark().toByteArray();
    }
    if (!chosen)
        chosen = TextEncoding::forName(m_outputName);
    if (chosen && chosen->kind != TextEncoding::Kind::Utf8) {
        m_encoder.emplace(chosen->encoder());
        m_checker.emplace(chosen->decoder());
    } else {
        m_outputName = "UTF-8";
    }
    m_output.append(mark.constData(), std::size_t(mark.size()));
    m_plainRows = m_plainRows && !m_encoder;
}

// The row in the output's encoding. A character that encoding cannot hold
// stops the count: a stand-in such as "?" would be lost data.
bool Counter::writeRow(const Where &where)
{
    if (!m_encoder) {
        m_output.append(m_row.data(), m_row.size());
        return true;
    }
    const QString text = QString::fromStdString(m_row);
    m_encoder->resetState();
    const QByteArray bytes = m_encoder->encode(text);
    m_checker->resetState();
    if (!m_encoder->hasError() && QString(m_checker->decode(bytes)) == text && !m_checker->hasError()) {
        m_output.append(bytes.constData(), std::size_t(bytes.size()));
        return true;
    }
    return failUnwritable(text, where);
}

// Stops the count on the first character of TEXT that the output's
// encoding cannot hold: a stand-in such as "?" would be lost data.
bool Counter::failUnwritable(const QString &text, const Where &where)
{
    char32_t lost = 0;
    for (const char32_t codePoint : text.toUcs4()) {
        const QString one = QString::fromUcs4(&codePoint, 1);
        QStringEncoder encoder(m_outputName.constData());
        QStringDecoder decoder(m_outputName.constData());
        const QByteArray encoded = encoder.encode(one);
        if (encoder.hasError() || QString(decoder.decode(encoded)) != one || decoder.hasError()) {
            lost = codePoint;
            break;
        }
    }
    const QString shown = lost < firstPrintable ? QString() : u"“"_s + QString::fromUcs4(&lost, 1) + u"”"_s;
    const QString place = where.argument > 0 ? Messages::tr("第 %1 个参数").arg(where.argument)
                                             : Messages::tr("%1 第 %2 行").arg(*where.name).arg(where.line);
    return fail(Messages::tr("%1：输出编码 %2 里没有字符%3（U+%4），写不出来。请改用 --output-encoding UTF-8 或 GB18030。")
                        .arg(place, QString::fromLatin1(m_outputName), shown,
                             QString::number(uint(lost), 16).toUpper().rightJustified(4, u'0')));
}

} // namespace Count
