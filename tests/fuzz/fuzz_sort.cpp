// SPDX-License-Identifier: MIT
// Arbitrary bytes through tarvelo-sort's reading, fields and sort, in each
// encoding: the output must hold the input's lines, each as often as they
// came, and sorting it again must change nothing.
#include "delimited.h"
#include "linereader.h"
#include "ranking.h"
#include "sorter.h"

#include <QBuffer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char *const encodings[] = {"", "GB18030", "GBK", "Big5", "UTF-16LE", "UTF-16BE", "UTF-32LE"};
constexpr unsigned encodingCount = sizeof encodings / sizeof encodings[0];
const char32_t separators[] = {U',', U'\t', Delimited::FieldPicker::blankSeparated};
constexpr unsigned separatorCount = sizeof separators / sizeof separators[0];
constexpr unsigned fieldShift = 4;
constexpr unsigned fieldMask = 0x3;
constexpr unsigned reverseBit = 0x40;
constexpr unsigned headerBit = 0x80;

[[noreturn]] void fail(const char *what, const QByteArray &input)
{
    std::fprintf(stderr, "invariant broken: %s\ninput: %s\n", what, input.toHex(' ').constData());
    std::abort();
}

// Sorts INPUT; false when the sorter refuses it.
bool sorted(const Sort::Settings &settings, const QByteArray &input, QByteArray *output)
{
    static const Sort::CodePointRanking ranking;
    Sort::Sorter sorter(ranking, settings);
    QByteArray bytes = input;
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    if (!sorter.addInput(device, QStringLiteral("-")))
        return false;
    sorter.sort();
    output->clear();
    sorter.write([output](const char *data, std::size_t size) {
        output->append(data, qsizetype(size));
        return true;
    });
    return true;
}

// The lines of BYTES in ENCODING, without their ends, in byte order.
QList<QByteArray> sortedLines(const QByteArray &encoding, QByteArray bytes)
{
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    CommandLine::LineReader reader(device, encoding);
    QList<QByteArray> lines;
    while (reader.next())
        lines.append(reader.bytes().toByteArray());
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The byte-order mark a reader finds at the start of BYTES, and the
// encoding it then reads them in.
QByteArray markOf(const QByteArray &encoding, QByteArray bytes)
{
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    CommandLine::LineReader reader(device, encoding);
    reader.next();
    return reader.byteOrderMark().toByteArray() + reader.encoding().name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    Sort::Settings settings;
    settings.encoding = encodings[(data[0] & 0x0F) % encodingCount];
    const unsigned fieldChoice = (data[0] >> fieldShift) & fieldMask;
    if (fieldChoice > 0) {
        settings.field = qsizetype(fieldChoice) - 1;
        settings.separator = separators[fieldChoice % separatorCount];
    }
    settings.reverse = data[0] & reverseBit;
    settings.header = data[0] & headerBit;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    QByteArray once;
    if (!sorted(settings, input, &once))
        return 0;
    // A line whose first bytes look like a byte-order mark (U+FEFF, U+0000
    // after a UTF-16LE mark, 锘 and a character led by 0xBF in GBK) reads
    // as one, or as another, once it is sorted to the top: the bytes are
    // right, and no reader can tell.
    if (markOf(settings.encoding, once) != markOf(settings.encoding, input))
        return 0;
    if (sortedLines(settings.encoding, once) != sortedLines(settings.encoding, input))
        fail("the output's lines are not the input's", input);
    QByteArray twice;
    if (!sorted(settings, once, &twice))
        fail("the sorted output is refused", input);
    if (twice != once)
        fail("sorting the output again changes it", input);
    return 0;
}
