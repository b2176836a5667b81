// SPDX-License-Identifier: MIT
// Arbitrary bytes through tarvelo-count's reading, decoding and counting,
// in each encoding (UTF-16 and UTF-32 by several names) and output format.
// Every total must be the one the characters of its echoed line give,
// within what they can give at most; every JSON line must parse; no
// unpaired surrogate or value past U+10FFFF may come out as U+FFFD.
#include "character.h"
#include "counter.h"
#include "dbwriter.h"
#include "strokelookup.h"
#include "stroketable.h"

#include <QBuffer>
#include <QDir>
#include <QJsonDocument>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

// Counts above a byte and below zero, a variation selector row, and an
// ASCII letter with a count, so every branch of the loops adds something;
// 方 gives its Kangxi radical ⽅ a count through the table.
constexpr int largestCount = 300;
constexpr int smallestCount = -3;
const QList<StrokeRow> rows = {
    {u"一"_s, 1}, {u"汉"_s, 5}, {u"𠮷"_s, 6}, {u"龘"_s, largestCount}, {u"负"_s, smallestCount},
    {u"\uFE00"_s, 7}, {u"a"_s, 2}, {u"\uFEFF"_s, 9}, {u"方"_s, 4},
};

const char *const encodings[] = {"",         "GB18030",  "GBK",   "Big5",  "UTF-16LE", "UTF-16BE",
                                  "UTF-8",    "UTF-32LE", "UTF-32BE", "UCS-2", "UTF-16"};
constexpr unsigned encodingCount = sizeof encodings / sizeof encodings[0];
constexpr unsigned formatShift = 4;
constexpr unsigned strictBit = 0x80;

StrokeTable *table = nullptr;

// U+FFFD as UTF-8, UTF-16 and UTF-32 in either byte order: the only way
// one may reach the output from a stream read in those encodings.
const QByteArrayView replacementForms[] = {
    QByteArrayView("\xEF\xBF\xBD", 3), QByteArrayView("\xFD\xFF", 2), QByteArrayView("\xFF\xFD", 2),
    QByteArrayView("\xFD\xFF\0\0", 4), QByteArrayView("\0\0\xFF\xFD", 4),
};

[[noreturn]] void fail(const char *what, const QByteArray &line)
{
    std::fprintf(stderr, "invariant broken: %s\nline: %s\n", what, line.toHex(' ').constData());
    std::abort();
}

// The total the table gives TEXT, character by character, as the window
// would show it (the table also counts compatibility forms).
qint64 windowTotal(const QString &text)
{
    qint64 total = 0;
    const QStringList characters = Character::split(text);
    for (qsizetype i = 0; i < characters.size(); ++i) {
        qsizetype width = 0;
        const char32_t base = Character::codePointAt(characters.at(i), 0, &width);
        total += i == 0 ? table->leadingCount(base) : table->count(base);
    }
    return total;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(u"fuzz.dll"_s);
    writeStrokeDatabase(path, rows);
    data::Connection conn;
    StrokeLookup::openDatabaseFile(conn, path);
    table = new StrokeTable;
    table->load(conn);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    Count::Options options;
    options.encoding = encodings[(data[0] & 0x0F) % encodingCount];
    options.format = Count::Format(((data[0] >> formatShift) & 0x3) % 3);
    options.strict = data[0] & strictBit;
    QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    // Arguments come as bytes that need not be UTF-8, and go back to the
    // same bytes.
    if (!input.contains('\0')) {
        const char *argv[] = {input.constData()};
        if (Count::argumentBytes(Count::argumentsFromBytes(1, argv).front()) != input)
            fail("an argument's bytes do not come back", input);
    }

    char *written = nullptr;
    std::size_t writtenSize = 0;
    std::FILE *sink = open_memstream(&written, &writtenSize);
    {
        QBuffer device(&input);
        device.open(QIODevice::ReadOnly);
        CommandLine::Output output(sink);
        Count::Counter counter(*table, options, output, [](const QString &) {});
        if (counter.countStream(device, u"-"_s))
            output.flush();
    }
    std::fclose(sink);
    const QByteArray produced(written, qsizetype(writtenSize));
    std::free(written);

    const bool readHere = options.encoding.isEmpty() || options.encoding.startsWith("UTF") || options.encoding == "UCS-2";
    if (readHere && produced.contains("\xEF\xBF\xBD")
        && std::none_of(std::begin(replacementForms), std::end(replacementForms),
                        [&](QByteArrayView form) { return input.contains(form); }))
        fail("a replacement character that the input does not hold", produced);

    for (const QByteArray &line : produced.split('\n')) {
        if (line.isEmpty())
            continue;
        if (options.format == Count::Format::Json) {
            QJsonParseError error;
            QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError)
                fail("a JSON line does not parse", line);
        } else if (options.format == Count::Format::Totals) {
            const qsizetype tab = line.indexOf('\t');
            bool ok = false;
            const qint64 total = line.left(tab).toLongLong(&ok);
            if (tab < 0 || !ok)
                fail("a line does not start with a total", line);
            // A U+FEFF that starts a line later in the input is a character
            // like any other, which QString::fromUtf8 would drop.
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            const QString text = utf8.decode(line.mid(tab + 1));
            const qint64 characters = qint64(text.toUcs4().size());
            if (total > characters * largestCount || total < characters * smallestCount)
                fail("a total exceeds what its characters allow", line);
            if (total != windowTotal(text))
                fail("a total differs from the window's for the same text", line);
        }
    }
    return 0;
}
