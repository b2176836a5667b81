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
// The top bit of an entry's record marks a key longer than its prefix.
constexpr std::uint32_t longKey = std::uint32_t(1) << 31;
constexpr std::uint64_t recordLimit = longKey - 1;
constexpr int prefixBits = 64;
constexpr std::size_t prefetchDistance = 8;
constexpr char16_t fieldQuoteSeparator = u',';

} // namespace

Sorter::Sorter(const Ranking &ranking, const Settings &settings)
    : m_ranking(ranking)
    , m_settings(settings)
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
    Count::LineReader reader(device, m_settings.encoding);
    Input input;
    input.firstRecord = std::uint32_t(m_starts.size());
    const bool read = readRecords(reader, &input, name);
    input.encoding = reader.encoding();
    if (input.lineEnd.isEmpty())
        input.lineEnd = input.encoding.newline;
    // The mark is no part of the first line: it goes back at the start of
    // the output, once, for the first input.
    if (m_inputs.empty())
        m_bom = reader.byteOrderMark().toByteArray();
    m_inputs.push_back(input);
    if (m_settings.header && input.firstRecord < m_starts.size())
        m_headers.push_back({0, input.firstRecord, 0});
    return read;
}

bool Sorter::readRecords(Count::LineReader &reader, Input *input, const QString &name)
{
    const bool byField = m_settings.field >= 0;
    Delimited::FieldPicker picker(m_settings.separator, m_settings.separator == fieldQuoteSeparator,
                                  std::max<qsizetype>(m_settings.field, 0));
    bool inRecord = false;
    bool ended = true;
    const auto endRecord = [&] {
        const std::u32string &key = byField ? picker.field() : m_codePoints;
        appendKey(key.data(), key.data() + key.size());
        inRecord = false;
        if (qint64(m_bytes.size()) - m_starts.back() > qint64(std::numeric_limits<std::uint32_t>::max()))
            return fail(Messages::tr("“%1”：有一行太长，无法排序。").arg(name));
        return true;
    };
    while (reader.next()) {
        if (!inRecord) {
            if (m_starts.size() >= recordLimit)
                return fail(Messages::tr("“%1”：行数太多，无法排序。").arg(name));
            m_starts.push_back(qint64(m_bytes.size()));
            picker.startRecord();
        }
        const QByteArrayView bytes = reader.bytes(), lineEnd = reader.lineEnd();
        m_bytes.append(bytes.data(), std::size_t(bytes.size()));
        m_bytes.append(lineEnd.data(), std::size_t(lineEnd.size()));
        ended = lineEnd.endsWith(reader.encoding().newline);
        if (ended && input->lineEnd.isEmpty())
            input->lineEnd = lineEnd.toByteArray();
        if (!reader.codePoints(&m_codePoints))
            return fail(reader.errorMessage(name));
        inRecord = byField && !picker.readLine(m_codePoints.data(), m_codePoints.data() + m_codePoints.size());
        if (!inRecord && !endRecord())
            return false;
    }
    if (reader.error() != Count::LineReader::Error::None)
        return fail(reader.errorMessage(name));
    // A quoted field that never closes runs to the end of the input.
    if (inRecord && !endRecord())
        return false;
    if (!ended)
        m_withoutEnd.insert(std::uint32_t(m_starts.size() - 1), m_inputs.size());
    if (m_keys.size() > recordLimit)
        return fail(Messages::tr("“%1”：输入太大，无法排序。").arg(name));
    return true;
}

void Sorter::appendKey(const char32_t *begin, const char32_t *end)
{
    m_keyStarts.push_back(std::uint32_t(m_keys.size()));
    m_ranking.appendKey(begin, end, &m_keys);
}

std::u32string_view Sorter::key(std::uint32_t record) const
{
    const std::size_t begin = m_keyStarts[record];
    const std::size_t end = record + 1 < m_keyStarts.size() ? m_keyStarts[record + 1] : m_keys.size();
    return std::u32string_view(m_keys).substr(begin, end - begin);
}

std::size_t Sorter::inputOf(std::uint32_t record) const
{
    const auto after = std::upper_bound(m_inputs.begin(), m_inputs.end(), record,
                                        [](std::uint32_t r, const Input &input) { return r < input.firstRecord; });
    return std::size_t(after - m_inputs.begin()) - 1;
}

bool Sorter::lessPastPrefix(std::uint32_t a, std::uint32_t b, std::size_t perPrefix, bool reverse) const
{
    a &= ~longKey;
    b &= ~longKey;
    const std::u32string_view left = key(a).substr(perPrefix);
    const std::u32string_view right = key(b).substr(perPrefix);
    if (left == right)
        return a < b;
    return reverse ? right < left : left < right;
}

void Sorter::sort()
{
    // The first ranks of each key, packed into one integer, decide most
    // comparisons without touching the keys themselves.
    char32_t highest = 1;
    for (char32_t rank : m_keys)
        highest = std::max(highest, rank);
    const int bits = std::bit_width(std::uint32_t(highest));
    const std::size_t perPrefix = std::size_t(prefixBits / bits);

    m_order.clear();
    m_order.reserve(m_starts.size() - m_headers.size());
    std::size_t nextHeader = 0;
    for (std::uint32_t record = 0; record < m_starts.size(); ++record) {
        if (nextHeader < m_headers.size() && m_headers[nextHeader].record == record) {
            ++nextHeader;
            continue;
        }
        const std::u32string_view ranks = key(record);
        std::uint64_t prefix = 0;
        for (std::size_t i = 0; i < perPrefix; ++i)
            prefix = (prefix << bits) | (i < ranks.size() ? ranks[i] : 0);
        m_order.push_back({prefix, ranks.size() > perPrefix ? record | longKey : record, 0});
    }
    // Equal keys are ordered by their place in the input, which makes the
    // unstable sort stable and spares the merge sort's buffer.
    const bool reverse = m_settings.reverse;
    const auto less = [this, perPrefix, reverse](const Entry &a, const Entry &b) {
        if (a.prefix != b.prefix)
            return reverse ? b.prefix < a.prefix : a.prefix < b.prefix;
        if (((a.record | b.record) & longKey) == 0)
            return a.record < b.record;
        return lessPastPrefix(a.record, b.record, perPrefix, reverse);
    };
    std::sort(m_order.begin(), m_order.end(), less);
    placeLines();
}

void Sorter::placeLines()
{
    const auto place = [this](Entry &entry) {
        const std::uint32_t record = entry.record & ~longKey;
        const qint64 end = record + 1 < m_starts.size() ? m_starts[record + 1] : qint64(m_bytes.size());
        entry.prefix = std::uint64_t(m_starts[record]);
        entry.length = std::uint32_t(end - m_starts[record]);
        entry.record = record;
    };
    std::for_each(m_headers.begin(), m_headers.end(), place);
    std::for_each(m_order.begin(), m_order.end(), place);
}

// A last line that ends in a CR (a CRLF cut short) gets only the LF.
void Sorter::appendLineEnd(const Input &input, qint64 begin, qint64 end, std::string *block) const
{
    const QByteArrayView line(m_bytes.data() + begin, end - begin);
    const QByteArrayView lineEnd = line.endsWith(input.encoding.carriageReturn)
                                           && QByteArrayView(input.lineEnd).startsWith(input.encoding.carriageReturn)
            ? input.encoding.newline
            : input.lineEnd;
    block->append(lineEnd.data(), std::size_t(lineEnd.size()));
}

// ASCII in ENCODING.
QByteArray Sorter::encodedAscii(const Count::TextEncoding &encoding, const QByteArray &ascii)
{
    if (encoding.kind == Count::TextEncoding::Kind::Utf8)
        return ascii;
    QStringEncoder encoder(encoding.name.constData());
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
    const QByteArray tab = "\t";
    for (std::size_t i = 0; i < total; ++i) {
        const bool isHeader = i < m_headers.size();
        const Entry &entry = isHeader ? m_headers[i] : m_order[i - m_headers.size()];
#if defined(__GNUC__)
        // The lines lie all over the buffer in sorted order: asking for one a
        // few lines ahead hides most of the wait for memory.
        if (i + prefetchDistance >= m_headers.size() && i + prefetchDistance < total)
            __builtin_prefetch(m_bytes.data() + m_order[i + prefetchDistance - m_headers.size()].prefix);
#endif
        const qint64 begin = qint64(entry.prefix);
        const qint64 end = begin + entry.length;
        if (m_settings.printKeys) {
            const QByteArray bytes =
                    encodedAscii(m_inputs[inputOf(entry.record)].encoding,
                                 (isHeader ? QByteArray() : m_ranking.printableKey(key(entry.record))) + tab);
            block.append(bytes.constData(), std::size_t(bytes.size()));
        }
        block.append(m_bytes.data() + begin, std::size_t(entry.length));
        if (!m_withoutEnd.isEmpty() && i + 1 < total) {
            const auto withoutEnd = m_withoutEnd.constFind(entry.record);
            if (withoutEnd != m_withoutEnd.cend())
                appendLineEnd(m_inputs[withoutEnd.value()], begin, end, &block);
        }
        if (!flushWhenFull())
            return false;
    }
    return block.empty() || sink(block.data(), block.size());
}

} // namespace Sort
