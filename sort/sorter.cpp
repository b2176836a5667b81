// SPDX-License-Identifier: MIT
#include "sorter.h"

#include "delimited.h"
#include "sortmessages.h"

#include <QIODevice>
#include <QStringEncoder>

#include <algorithm>
#include <bit>
#include <limits>

using namespace Qt::StringLiterals;

namespace Sort {

namespace {

constexpr std::size_t writeBlock = std::size_t(1) << 20;
constexpr int prefixBits = 64;
constexpr std::size_t prefetchDistance = 8;
constexpr char16_t fieldQuoteSeparator = u',';
constexpr qint64 longestRecord = std::numeric_limits<std::uint32_t>::max();

} // namespace

Sorter::Sorter(const Ranking &ranking, const Settings &settings)
    : m_ranking(ranking)
    , m_settings(settings)
    , m_rankBits(std::max(1, int(std::bit_width(std::uint32_t(ranking.highestRank())))))
    , m_perPrefix(std::size_t(prefixBits / m_rankBits))
{
}

bool Sorter::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool Sorter::addInput(QIODevice &device, const QString &name)
{
    if (!device.isSequential() && device.size() > 0)
        m_bytes.reserve(m_bytes.size() + std::size_t(device.size()));
    CommandLine::LineReader reader(device, m_settings.encoding);
    m_inputs.push_back({});
    m_inputs.back().firstByte = qint64(m_bytes.size());
    const bool read = readRecords(reader, name);
    Input &input = m_inputs.back();
    input.encoding = reader.encoding();
    input.name = name == u"-"_s ? Messages::tr("标准输入") : name;
    // The output is one text in one encoding: lines of two would make it
    // unreadable in either.
    const Input &first = m_inputs.front();
    if (read && !input.encoding.writesAs(first.encoding))
        return fail(Messages::tr("“%1”是 %2 编码，“%3”却是 %4 编码：排在一起的行要用同一种编码。请先把它们转成同一种编码。")
                            .arg(first.name, QString::fromLatin1(first.encoding.name), input.name,
                                 QString::fromLatin1(input.encoding.name)));
    if (input.lineEnd.isEmpty())
        input.lineEnd = input.encoding.newline;
    // The mark is no part of the first line: it goes back at the start of
    // the output, once, for the first input.
    if (m_inputs.size() == 1)
        m_bom = reader.byteOrderMark().toByteArray();
    return read;
}

bool Sorter::readRecords(CommandLine::LineReader &reader, const QString &name)
{
    const bool byField = m_settings.field >= 0;
    Delimited::FieldPicker picker(m_settings.separator, m_settings.separator == fieldQuoteSeparator,
                                  std::max<qsizetype>(m_settings.field, 0));
    Input &input = m_inputs.back();
    bool inRecord = false;
    bool ended = true;
    bool isHeader = m_settings.header;
    qint64 start = 0;
    qint64 startLine = 0;
    const auto endRecord = [&] {
        inRecord = false;
        const bool added = addRecord(start, byField ? picker.field() : m_codePoints, isHeader, name);
        isHeader = false;
        return added;
    };
    while (reader.next()) {
        if (!inRecord) {
            start = qint64(m_bytes.size());
            startLine = reader.lineNumber();
            picker.startRecord();
        }
        const QByteArrayView bytes = reader.bytes(), lineEnd = reader.lineEnd();
        m_bytes.append(bytes.data(), std::size_t(bytes.size()));
        m_bytes.append(lineEnd.data(), std::size_t(lineEnd.size()));
        ended = lineEnd.endsWith(reader.encoding().newline);
        if (ended && input.lineEnd.isEmpty())
            input.lineEnd = lineEnd.toByteArray();
        if (!reader.codePoints(&m_codePoints))
            return fail(reader.errorMessage(name));
        inRecord = byField && !picker.readLine(m_codePoints.data(), m_codePoints.data() + m_codePoints.size());
        if (!inRecord && !endRecord())
            return false;
    }
    if (reader.error() != CommandLine::LineReader::Error::None)
        return fail(reader.errorMessage(name));
    // A quoted field that never closes would take in every line sorted
    // after it when the output is read again.
    if (inRecord)
        return fail(Delimited::unclosedQuote(name == u"-"_s ? Messages::tr("标准输入") : name,
                                             startLine + picker.openQuoteLine()));
    if (!ended)
        m_withoutEnd.insert(start, m_inputs.size() - 1);
    return true;
}

bool Sorter::addRecord(qint64 start, const std::u32string &keyText, bool isHeader, const QString &name)
{
    const qint64 length = qint64(m_bytes.size()) - start;
    if (length > longestRecord)
        return fail(Messages::tr("“%1”：有一行太长，无法排序。").arg(name));
    Entry entry{0, start, std::uint32_t(length), noTail};
    if (isHeader) {
        m_headers.push_back(entry);
        return true;
    }
    m_key.clear();
    m_ranking.appendKey(keyText.data(), keyText.data() + keyText.size(), &m_key);
    for (std::size_t i = 0; i < m_perPrefix; ++i)
        entry.prefix = (entry.prefix << m_rankBits) | (i < m_key.size() ? m_key[i] : 0);
    if (m_key.size() > m_perPrefix) {
        if (m_tails.size() + m_key.size() >= noTail)
            return fail(Messages::tr("“%1”：输入太大，无法排序。").arg(name));
        entry.tail = std::uint32_t(m_tails.size());
        m_tails.push_back(char32_t(m_key.size() - m_perPrefix));
        m_tails.append(m_key, m_perPrefix);
    }
    m_order.push_back(entry);
    return true;
}

std::u32string_view Sorter::tail(const Entry &entry) const
{
    if (entry.tail == noTail)
        return {};
    return std::u32string_view(m_tails).substr(entry.tail + 1, m_tails[entry.tail]);
}

std::u32string Sorter::fullKey(const Entry &entry) const
{
    std::u32string key;
    const std::uint64_t mask = (std::uint64_t(1) << m_rankBits) - 1;
    for (std::size_t i = m_perPrefix; i-- > 0;) {
        const char32_t rank = char32_t((entry.prefix >> (i * std::size_t(m_rankBits))) & mask);
        if (rank == 0)
            break;
        key.push_back(rank);
    }
    key += tail(entry);
    return key;
}

std::size_t Sorter::inputOf(qint64 start) const
{
    const auto after = std::upper_bound(m_inputs.begin(), m_inputs.end(), start,
                                        [](qint64 at, const Input &input) { return at < input.firstByte; });
    return std::size_t(after - m_inputs.begin()) - 1;
}

bool Sorter::lessPastPrefix(const Entry &a, const Entry &b) const
{
    const std::u32string_view left = tail(a), right = tail(b);
    if (left == right)
        return a.start < b.start;
    return m_settings.reverse ? right < left : left < right;
}

void Sorter::sort()
{
    // Equal keys are ordered by their place in the input, which makes the
    // unstable sort stable and spares a merge sort's buffer.
    const bool reverse = m_settings.reverse;
    std::sort(m_order.begin(), m_order.end(), [this, reverse](const Entry &a, const Entry &b) {
        if (a.prefix != b.prefix)
            return reverse ? b.prefix < a.prefix : a.prefix < b.prefix;
        if ((a.tail & b.tail) == noTail)
            return a.start < b.start;
        return lessPastPrefix(a, b);
    });
}

// A last line that ends in a CR (a CRLF cut short) gets only the LF.
void Sorter::appendLineEnd(const Input &input, const Entry &entry, std::string *block) const
{
    const QByteArrayView line(m_bytes.data() + entry.start, entry.length);
    const QByteArrayView lineEnd = line.endsWith(input.encoding.carriageReturn)
                    && QByteArrayView(input.lineEnd).startsWith(input.encoding.carriageReturn)
            ? QByteArrayView(input.encoding.newline)
            : QByteArrayView(input.lineEnd);
    block->append(lineEnd.data(), std::size_t(lineEnd.size()));
}

QByteArray Sorter::encodedAscii(const CommandLine::TextEncoding &encoding, const QByteArray &ascii)
{
    if (encoding.kind == CommandLine::TextEncoding::Kind::Utf8)
        return ascii;
    QStringEncoder encoder = encoding.encoder();
    return encoder.encode(QString::fromLatin1(ascii));
}

bool Sorter::write(const Sink &sink) const
{
    std::string block;
    const auto flushWhenFull = [&] {
        if (block.size() < writeBlock)
            return true;
        const bool written = sink(block.data(), block.size());
        block.clear();
        return written;
    };
    block.append(m_bom.constData(), std::size_t(m_bom.size()));
    const std::size_t total = m_headers.size() + m_order.size();
    for (std::size_t i = 0; i < total; ++i) {
        const bool isHeader = i < m_headers.size();
        const Entry &entry = isHeader ? m_headers[i] : m_order[i - m_headers.size()];
#if defined(__GNUC__)
        // The lines lie all over the buffer in sorted order: asking for one a
        // few lines ahead hides most of the wait for memory.
        if (i + prefetchDistance >= m_headers.size() && i + prefetchDistance < total)
            __builtin_prefetch(m_bytes.data() + m_order[i + prefetchDistance - m_headers.size()].start);
#endif
        if (m_settings.printKeys) {
            const QByteArray printed = (isHeader ? QByteArray() : m_ranking.printableKey(fullKey(entry))) + '\t';
            const QByteArray bytes = encodedAscii(m_inputs[inputOf(entry.start)].encoding, printed);
            block.append(bytes.constData(), std::size_t(bytes.size()));
        }
        block.append(m_bytes.data() + entry.start, entry.length);
        if (!m_withoutEnd.isEmpty() && i + 1 < total) {
            const auto withoutEnd = m_withoutEnd.constFind(entry.start);
            if (withoutEnd != m_withoutEnd.cend())
                appendLineEnd(m_inputs[withoutEnd.value()], entry, &block);
        }
        if (!flushWhenFull())
            return false;
    }
    return block.empty() || sink(block.data(), block.size());
}

} // namespace Sort
