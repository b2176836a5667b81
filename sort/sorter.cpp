// SPDX-License-Identifier: MIT
#include "sorter.h"

#include "delimited.h"
#include "messages.h"

#include <QFileDevice>
#include <QIODevice>

#include <algorithm>
#include <bit>
#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace Sort {

namespace {

constexpr qint64 readBlock = qint64(1) << 20;
constexpr std::size_t writeBlock = std::size_t(1) << 20;
constexpr std::uint64_t recordLimit = std::numeric_limits<std::uint32_t>::max();
constexpr int prefixBits = 64;
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

bool Sorter::readAll(QIODevice &device, const QString &name)
{
    if (!device.isSequential() && device.size() > 0)
        m_bytes.reserve(m_bytes.size() + std::size_t(device.size()));
    while (true) {
        const std::size_t filled = m_bytes.size();
        m_bytes.resize(filled + std::size_t(readBlock));
        const qint64 got = device.read(m_bytes.data() + filled, readBlock);
        m_bytes.resize(filled + std::size_t(std::max<qint64>(got, 0)));
        if (got < 0)
            return fail(Messages::tr("读不了“%1”：%2。").arg(name, device.errorString()));
        if (got == 0)
            return true;
    }
}

bool Sorter::addInput(QIODevice &device, const QString &name)
{
    const qsizetype begin = qsizetype(m_bytes.size());
    if (!readAll(device, name))
        return false;
    Input input;
    input.encoding = TextEncoding::forName(m_settings.encoding);
    const qsizetype bomLength =
            input.encoding.followBom(QByteArrayView(m_bytes.data() + begin, qsizetype(m_bytes.size()) - begin));
    // The mark is no part of the first line: it goes back at the start of
    // the output, once, for the first input.
    if (bomLength > 0) {
        if (m_inputs.empty())
            m_bom = QByteArray(m_bytes.data() + begin, bomLength);
        m_bytes.erase(std::size_t(begin), std::size_t(bomLength));
    }
    input.firstRecord = std::uint32_t(m_starts.size());
    m_inputs.push_back(input);
    return readRecords(m_inputs.back(), begin, bomLength, name);
}

bool Sorter::readRecords(Input &input, qsizetype begin, qsizetype bomLength, const QString &name)
{
    const TextEncoding &encoding = input.encoding;
    const char *data = m_bytes.data();
    const qsizetype end = qsizetype(m_bytes.size());
    const qsizetype unit = encoding.unit;
    const bool byField = m_settings.field >= 0;
    Delimited::FieldPicker picker(m_settings.separator, m_settings.separator == fieldQuoteSeparator,
                                  std::max<qsizetype>(m_settings.field, 0));
    bool inRecord = false;
    for (qsizetype start = begin; start < end;) {
        qsizetype lineEnd = encoding.lineEnd(data, start, end);
        const bool hasEnd = lineEnd >= 0;
        qsizetype contentEnd = hasEnd ? lineEnd : end;
        const qsizetype next = hasEnd ? lineEnd + unit : end;
        if (contentEnd - start >= unit && encoding.isUnit(data + contentEnd - unit, '\r'))
            contentEnd -= unit;
        if (hasEnd && input.lineEnd.isEmpty())
            input.lineEnd = QByteArray(data + contentEnd, next - contentEnd);
        if (!decodeLine(encoding, start, contentEnd, start - begin + bomLength, name))
            return false;
        if (!inRecord) {
            if (m_starts.size() >= recordLimit)
                return fail(Messages::tr("“%1”：行数太多，无法排序。").arg(name));
            m_starts.push_back(start);
            picker.startRecord();
        }
        const char32_t *codePoints = m_codePoints.data();
        inRecord = byField && !picker.readLine(codePoints, codePoints + m_codePoints.size());
        if (!inRecord || next == end) {
            if (byField)
                endRecord(picker.field().data(), picker.field().data() + picker.field().size());
            else
                endRecord(codePoints, codePoints + m_codePoints.size());
            inRecord = false;
            if (!hasEnd)
                m_withoutEnd.insert(std::uint32_t(m_starts.size() - 1), m_inputs.size() - 1);
        }
        start = next;
    }
    if (input.lineEnd.isEmpty())
        input.lineEnd = encoding.encodeAscii("\n");
    if (m_settings.header && input.firstRecord < m_starts.size())
        m_headers.push_back(input.firstRecord);
    if (m_keys.size() > recordLimit)
        return fail(Messages::tr("“%1”：输入太大，无法排序。").arg(name));
    return true;
}

bool Sorter::decodeLine(const TextEncoding &encoding, qsizetype begin, qsizetype end, qint64 offset,
                        const QString &name)
{
    const qsizetype invalid = encoding.decode(QByteArrayView(m_bytes.data() + begin, end - begin), &m_codePoints);
    if (invalid < 0)
        return true;
    return fail(Messages::tr("%1: 第 %2 字节（从 0 数起）处不是有效的 %3 编码。请用 --encoding 指明文件的实际编码。")
                        .arg(name == u"-"_s ? Messages::tr("标准输入") : name)
                        .arg(offset + invalid)
                        .arg(QString::fromLatin1(encoding.name)));
}

void Sorter::endRecord(const char32_t *keyBegin, const char32_t *keyEnd)
{
    m_keyStarts.push_back(std::uint32_t(m_keys.size()));
    m_ranking.appendKey(keyBegin, keyEnd, &m_keys);
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
        if (nextHeader < m_headers.size() && m_headers[nextHeader] == record) {
            ++nextHeader;
            continue;
        }
        const std::u32string_view ranks = key(record);
        std::uint64_t prefix = 0;
        for (std::size_t i = 0; i < perPrefix; ++i)
            prefix = (prefix << bits) | (i < ranks.size() ? ranks[i] : 0);
        m_order.push_back({prefix, record});
    }
    const auto less = [this, perPrefix](const Entry &a, const Entry &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const std::u32string_view left = key(a.record), right = key(b.record);
        if (left.size() <= perPrefix || right.size() <= perPrefix)
            return left.size() < right.size();
        return left.substr(perPrefix) < right.substr(perPrefix);
    };
    if (m_settings.reverse)
        std::stable_sort(m_order.begin(), m_order.end(), [&less](const Entry &a, const Entry &b) { return less(b, a); });
    else
        std::stable_sort(m_order.begin(), m_order.end(), less);
}

// A last line that ends in a CR (a CRLF cut short) gets only the LF.
void Sorter::appendLineEnd(const Input &input, qint64 begin, qint64 end, std::string *block) const
{
    const TextEncoding &encoding = input.encoding;
    QByteArrayView lineEnd = input.lineEnd;
    if (end - begin >= encoding.unit && lineEnd.size() > encoding.unit
        && encoding.isUnit(m_bytes.data() + end - encoding.unit, '\r'))
        lineEnd = lineEnd.sliced(encoding.unit);
    block->append(lineEnd.data(), std::size_t(lineEnd.size()));
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
        const std::uint32_t record = isHeader ? m_headers[i] : m_order[i - m_headers.size()].record;
        const qint64 begin = m_starts[record];
        const qint64 end = record + 1 < m_starts.size() ? m_starts[record + 1] : qint64(m_bytes.size());
        if (m_settings.printKeys) {
            const TextEncoding &encoding = m_inputs[inputOf(record)].encoding;
            const QByteArray printed =
                    (isHeader ? QByteArray() : m_ranking.printableKey(key(record))) + tab;
            const QByteArray bytes = encoding.unit == 1 ? printed : encoding.encodeAscii(printed);
            block.append(bytes.constData(), std::size_t(bytes.size()));
        }
        block.append(m_bytes.data() + begin, std::size_t(end - begin));
        const auto withoutEnd = m_withoutEnd.constFind(record);
        if (withoutEnd != m_withoutEnd.cend() && i + 1 < total)
            appendLineEnd(m_inputs[withoutEnd.value()], begin, end, &block);
        if (!flushWhenFull())
            return false;
    }
    return block.empty() || sink(block.data(), block.size());
}

} // namespace Sort
