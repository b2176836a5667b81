// SPDX-License-Identifier: MIT
// Counting an item line by line: the reading, each line's total, and the
// messages when the input cannot be read.
#include "clusterwalk.h"

#include "messages.h"
#include "utf8.h"

#include <QBuffer>
#include <QByteArrayView>

using namespace Qt::StringLiterals;

namespace Count {

namespace {

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

Counter::Counter(const StrokeTable &table, const Options &options, Output &output, Report report)
    : m_table(table)
    , m_options(options)
    , m_output(output)
    , m_report(std::move(report))
{
    for (char32_t c = 0; c < asciiSize; ++c) {
        m_ascii.reported[c] = !QChar::isSpace(c) && !m_table.isKnown(c);
        m_ascii.counts[c] = m_table.count(c);
        m_ascii.anyCounted = m_ascii.anyCounted || m_ascii.counts[c] != 0;
    }
}

bool Counter::fail(const QString &message)
{
    m_report(u"tarvelo-count: "_s + message);
    return false;
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
    // A quoted field left open at the end would take in every row after
    // its quote: the count of that row would be no count of anything.
    if (m_inRecord) {
        const QString name = where.name ? (*where.name == u"-"_s ? Messages::tr("标准输入") : *where.name)
                                        : argumentName(where.argument);
        return fail(Delimited::unclosedQuote(name, m_rowFirstLine + m_picker->openQuoteLine()));
    }
    return true;
}

bool Counter::countLine(LineReader &reader, const Where &where)
{
    if (m_options.keepsRows())
        return countRow(reader, where) && m_output.flushWhenFull();
    qint64 total = 0;
    if (reader.encoding().kind == TextEncoding::Kind::Utf8) {
        if (!totalUtf8(reader, where, &total))
            return false;
    } else if (!walk(reader, [&total](const Cluster &cluster) {
                   total += cluster.strokes;
                   return true;
               })) {
        return false;
    }
    bool written = false;
    switch (m_options.format) {
    case Format::Totals:
        written = writeTotal(reader, where, total);
        break;
    case Format::Each:
        written = writeEach(reader, where);
        break;
    case Format::Json:
        written = writeJson(reader, where, total);
        break;
    }
    return written && m_output.flushWhenFull();
}

// A line of letters has a report for each byte: the reports that go before
// the total are written on the walk that sums it, not on a second one.
bool Counter::totalUtf8(LineReader &reader, const Where &where, qint64 *total)
{
    const QByteArrayView bytes = reader.bytes();
    if (reportsWithTotal() && bytes.isValidUtf8())
        return reportUnknownsInUtf8(bytes, where, 0, total);
    const LineTotal result = utf8LineTotal(m_table, bytes.data(), bytes.size());
    if (result.invalidAt >= 0) {
        reader.setInvalidAt(result.invalidAt);
        return false;
    }
    *total = result.total;
    return true;
}

} // namespace Count
