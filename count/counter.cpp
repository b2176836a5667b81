// SPDX-License-Identifier: MIT
#include "counter.h"

#include "character.h"
#include "linereader.h"
#include "messages.h"
#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"
#include "utf8.h"

#include <QBuffer>
#include <QByteArrayView>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace Count {

namespace {

// Lines of JSON text escaped at once between checks of the output.
constexpr qsizetype escapedBlock = qsizetype(1) << 16;
// Where a byte that is not valid UTF-8 goes in an argument's text: low
// surrogates, which no valid UTF-8 holds.
constexpr char16_t escapedByteFirst = 0xDC00;
constexpr unsigned char firstNonAscii = 0x80;
constexpr unsigned threeByteLead = 0xE0, continuation = 0x80, sixBits = 0x3F;

QString argumentName(int number)
{
    return Messages::tr("第 %1 个参数").arg(number);
}

} // namespace

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

template<typename Visit>
bool Counter::walk(LineReader &reader, Visit &&visit)
{
    std::size_t column = 0;
    const auto visitCluster = [&](std::u32string_view codePoints) {
        const char32_t base = codePoints.front();
        const bool leading = column == 0;
        Cluster cluster;
        cluster.codePoints = codePoints;
        cluster.column = ++column;
        cluster.known = leading ? m_table.isLeadingKnown(base) : m_table.isKnown(base);
        cluster.strokes = leading ? m_table.leadingCount(base) : m_table.count(base);
        cluster.space = QChar::isSpace(base);
        return visit(cluster);
    };
    // A character is seen where it lies in its piece; only one that goes
    // on into the next piece is copied.
    m_cluster.clear();
    const bool decoded = reader.decode([&](std::u32string_view piece) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < piece.size(); ++i) {
            const std::size_t size = m_cluster.size() + (i - start);
            if (size > 0) {
                // A variation selector stays with the character before it;
                // white space, which is skipped, leaves it a character of
                // its own.
                const char32_t base = m_cluster.empty() ? piece[start] : m_cluster.front();
                if (Character::isVariationSelector(piece[i]) && !(size == 1 && QChar::isSpace(base)))
                    continue;
                bool goOn = true;
                if (m_cluster.empty()) {
                    goOn = visitCluster(piece.substr(start, i - start));
                } else {
                    m_cluster.append(piece.substr(start, i - start));
                    goOn = visitCluster(m_cluster);
                    m_cluster.clear();
                }
                if (!goOn)
                    return false;
            }
            start = i;
        }
        m_cluster.append(piece.substr(start));
        return true;
    });
    return decoded && (m_cluster.empty() || visitCluster(m_cluster));
}

bool Counter::countArgument(const QString &text, int number)
{
    QByteArray bytes = argumentBytes(text);
    Where where;
    where.argument = number;
    const qsizetype firstEnd = bytes.indexOf('\n');
    where.manyLines = firstEnd >= 0 && firstEnd + 1 < bytes.size();
    // An empty TEXT is still an item, as an empty line of a file is.
    if (bytes.isEmpty())
        bytes = "\n";
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    LineReader reader(device, QByteArray(), LineReader::ByteOrderMarks::Ignored);
    if (countLines(reader, where))
        return true;
    if (reader.error() == LineReader::Error::Invalid)
        return fail(Messages::tr("%1的第 %2 行、第 %3 字节（从 0 数起）处不是有效的 UTF-8 编码。")
                            .arg(argumentName(number))
                            .arg(reader.invalidLine())
                            .arg(reader.invalidOffset()));
    if (reader.error() != LineReader::Error::None)
        return fail(reader.errorMessage(argumentName(number)));
    return false;
}

bool Counter::countStream(QIODevice &device, const QString &name)
{
    LineReader reader(device, m_options.encoding);
    m_headerNext = m_options.fields.header;
    Where where;
    where.name = &name;
    if (countLines(reader, where))
        return true;
    return reader.error() == LineReader::Error::None ? false : fail(reader.errorMessage(name));
}

bool Counter::countLines(LineReader &reader, Where &where)
{
    while (reader.next()) {
        where.line = reader.lineNumber();
        if (!countLine(reader, where))
            return false;
    }
    if (reader.error() != LineReader::Error::None)
        return false;
    // A quoted field left open at the end still gets its row.
    return !m_inRecord || endRow(where);
}

bool Counter::countLine(LineReader &reader, const Where &where)
{
    if (m_options.keepsRows())
        return countRow(reader, where) && m_output.flushWhenFull();
    const QByteArrayView bytes = reader.bytes();
    const bool utf8 = reader.encoding().kind == TextEncoding::Kind::Utf8;
    qint64 total = 0;
    if (utf8) {
        const LineTotal result = utf8LineTotal(m_table, bytes.data(), bytes.size());
        if (result.invalidAt >= 0) {
            reader.setInvalidAt(result.invalidAt);
            return false;
        }
        total = result.total;
    } else if (!walk(reader, [&total](const Cluster &cluster) {
                   total += cluster.strokes;
                   return true;
               })) {
        return false;
    }
    switch (m_options.format) {
    case Format::Totals:
        if (m_options.strict && !walk(reader, [&](const Cluster &cluster) {
                if (!cluster.known && !cluster.space)
                    reportUnknown(where, cluster);
                return true;
            }))
            return false;
        m_output.appendNumber(total);
        m_output.append('\t');
        if (utf8)
            m_output.append(bytes.data(), std::size_t(bytes.size()));
        else if (!echo(reader, false))
            return false;
        m_output.append('\n');
        break;
    case Format::Each:
        if (!writeEach(reader, where))
            return false;
        break;
    case Format::Json:
        if (!writeJson(reader, where, total))
            return false;
        break;
    }
    return m_output.flushWhenFull();
}

// The line as UTF-8, or as the inside of a JSON string with ASJSON, written
// in pieces so that a long line is never held twice.
bool Counter::echo(LineReader &reader, bool asJson)
{
    const auto put = [&](const char *bytes, qsizetype size) {
        if (asJson)
            m_output.appendJsonString(bytes, std::size_t(size));
        else
            m_output.append(bytes, std::size_t(size));
        return m_output.flushWhenFull();
    };
    if (reader.encoding().kind == TextEncoding::Kind::Utf8) {
        const QByteArrayView bytes = reader.bytes();
        if (!asJson)
            return put(bytes.data(), bytes.size());
        for (qsizetype at = 0; at < bytes.size(); at += escapedBlock)
            if (!put(bytes.data() + at, std::min(escapedBlock, bytes.size() - at)))
                return false;
        return true;
    }
    return reader.decode([&](std::u32string_view piece) {
        m_utf8.clear();
        for (char32_t codePoint : piece) {
            char encoded[Utf8::maxEncodedLength];
            m_utf8.append(encoded, std::size_t(Utf8::encode(codePoint, encoded) - encoded));
        }
        return put(m_utf8.data(), qsizetype(m_utf8.size()));
    });
}

bool Counter::writeEach(LineReader &reader, const Where &where)
{
    return walk(reader, [&](const Cluster &cluster) {
        if (cluster.space)
            return true;
        if (!cluster.known && m_options.strict)
            reportUnknown(where, cluster);
        for (char32_t codePoint : cluster.codePoints)
            m_output.appendCodePoint(codePoint);
        m_output.append('\t');
        if (cluster.known)
            m_output.appendNumber(cluster.strokes);
        else
            m_output.append('-');
        if (m_sequences) {
            const std::string_view sequence = m_sequences->sequence(cluster.codePoints.front());
            m_output.append('\t');
            if (sequence.empty())
                m_output.append('-');
            else
                m_output.append(strokeSymbols(sequence).c_str());
        }
        m_output.append('\n');
        return m_output.flushWhenFull();
    });
}

bool Counter::writeJson(LineReader &reader, const Where &where, qint64 total)
{
    m_output.append("{\"text\": \"");
    if (!echo(reader, true))
        return false;
    m_output.append("\", \"total\": ");
    m_output.appendNumber(total);
    m_output.append(", \"strokes\": [");
    // The characters without a count are gathered on the way, each once:
    // never more than the distinct ones of the line.
    m_unknown.clear();
    m_unknownEnds.clear();
    m_sequencesJson.clear();
    bool first = true;
    const bool written = walk(reader, [&](const Cluster &cluster) {
        if (cluster.space)
            return true;
        if (!cluster.known && m_options.strict)
            reportUnknown(where, cluster);
        if (!first) {
            m_output.append(", ");
            m_sequencesJson += ", ";
        }
        first = false;
        if (m_sequences) {
            const std::string_view sequence = m_sequences->sequence(cluster.codePoints.front());
            m_sequencesJson += sequence.empty() ? std::string("null") : '"' + strokeSymbols(sequence) + '"';
        }
        if (cluster.known) {
            m_output.appendNumber(cluster.strokes);
            return m_output.flushWhenFull();
        }
        m_output.append("null");
        if (isNewUnknown(cluster)) {
            m_utf8.clear();
            for (char32_t codePoint : cluster.codePoints) {
                char encoded[Utf8::maxEncodedLength];
                m_utf8.append(encoded, std::size_t(Utf8::encode(codePoint, encoded) - encoded));
            }
            m_unknownEnds.push_back(m_unknown.size() + m_utf8.size());
            m_unknown += m_utf8;
        }
        return m_output.flushWhenFull();
    });
    for (char32_t codePoint : m_seenList)
        m_seen[codePoint] = false;
    m_seenList.clear();
    m_seenClusters.clear();
    if (!written)
        return false;
    if (m_sequences) {
        m_output.append("], \"sequences\": [");
        m_output.append(m_sequencesJson.data(), m_sequencesJson.size());
    }
    m_output.append("], \"unknown\": [");
    std::size_t start = 0;
    for (std::size_t end : m_unknownEnds) {
        m_output.append(start == 0 ? "\"" : ", \"");
        m_output.appendJsonString(m_unknown.data() + start, end - start);
        m_output.append('"');
        start = end;
    }
    m_output.append("]}\n");
    return true;
}

bool Counter::isNewUnknown(const Cluster &cluster)
{
    if (cluster.codePoints.size() > 1)
        return m_seenClusters.emplace(cluster.codePoints).second;
    if (m_seen.empty())
        m_seen.resize(StrokeTable::codePointLimit);
    const char32_t codePoint = cluster.codePoints.front();
    if (m_seen[codePoint])
        return false;
    m_seen[codePoint] = true;
    m_seenList.push_back(codePoint);
    return true;
}

void Counter::reportUnknown(const Where &where, const Cluster &cluster)
{
    m_foundUnknown = true;
    // The place is worded once per item or line, not once per character,
    // and without QString: the reports can be as many as the input's bytes.
    if (where.name != m_reportWhere.name || where.argument != m_reportWhere.argument || m_reportPlace.empty()) {
        m_reportPlace = "tarvelo-count: ";
        m_reportPlace += where.argument > 0 ? "参数 " + std::to_string(where.argument)
                                            : where.name->toStdString();
        m_reportSourceSize = m_reportPlace.size();
        m_reportWhere.line = -1;
    }
    if ((where.argument == 0 || where.manyLines) && where.line != m_reportWhere.line) {
        m_reportPlace.resize(m_reportSourceSize);
        m_reportPlace += ':' + std::to_string(where.line);
    }
    m_reportWhere = where;
    m_output.reportUnknown(m_reportPlace, cluster.column, cluster.codePoints.data(), cluster.codePoints.size());
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

void listBeginningWith(const StrokeTable &table, const StrokeSequences &sequences, const StrokeOrder &order,
                       const Options &options, Output &output)
{
    for (char32_t codePoint : order.beginningWith(options.beginsWith)) {
        const qint16 strokes = table.leadingCount(codePoint);
        if (!table.isLeadingKnown(codePoint)
            || (options.listByStrokes && (strokes < options.fewestStrokes || strokes > options.mostStrokes)))
            continue;
        output.appendCodePoint(codePoint);
        output.append('\t');
        output.appendNumber(strokes);
        output.append('\t');
        output.append(strokeSymbols(sequences.sequence(codePoint)).c_str());
        output.append('\n');
        if (!output.flushWhenFull())
            return;
    }
}

std::string strokeSymbols(std::string_view digits)
{
    // 横 竖 撇 点 折.
    static const char *const symbols[] = {"一", "丨", "丿", "丶", "乛"};
    std::string text;
    for (char digit : digits)
        if (digit >= '1' && digit <= '5')
            text += symbols[digit - '1'];
    return text;
}

} // namespace Count
