// SPDX-License-Identifier: MIT
#pragma once

#include "flatarray.h"
#include "linereader.h"
#include "ranking.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QIODevice;

namespace Sort {

struct Settings
{
    // Empty for UTF-8; a byte-order mark overrides it per input.
    QByteArray encoding;
    // The field to sort by, counted from 0, or -1 for the whole line.
    qsizetype field = -1;
    // With a field: its separator, or Delimited::FieldPicker::blankSeparated.
    char32_t separator = 0;
    bool header = false;
    bool reverse = false;
    bool printKeys = false;
};

// Every line of every input, kept as the bytes they came in, with a key of
// ranks for each; sorted as an array of small entries, so the bytes never
// move.
class Sorter
{
public:
    // Receives the output in blocks; returns false when nothing more can be
    // written.
    using Sink = std::function<bool(const char *bytes, std::size_t size)>;

    Sorter(const Ranking &ranking, const Settings &settings);
    Sorter(const Sorter &) = delete;
    Sorter &operator=(const Sorter &) = delete;

    // Reads all of DEVICE, named NAME in messages. Returns false, with
    // error() worded for the user, when it cannot be read or holds bytes
    // that are not valid in its encoding.
    bool addInput(QIODevice &device, const QString &name);
    // Stable: lines with equal keys keep the order they were read in.
    void sort();
    // Writes every line, sorted, each with its own line end. Returns false
    // once SINK refuses.
    bool write(const Sink &sink) const;

    const QString &error() const { return m_error; }

private:
    struct Input
    {
        CommandLine::TextEncoding encoding;
        QString name;
        // The line end of the input's first line, for a last line without
        // one that the sort moves.
        QByteArray lineEnd;
        qint64 firstByte = 0;
    };
    // One line (or record of lines) to sort: its first ranks packed into
    // one integer, which decide most comparisons, and where the rest of its
    // key lies, if anywhere. START also orders equal keys as they came.
    struct Entry
    {
        std::uint64_t prefix;
        qint64 start;
        std::uint32_t length;
        std::uint32_t tail;
    };
    static constexpr std::uint32_t noTail = ~std::uint32_t(0);

    bool readRecords(CommandLine::LineReader &reader, const QString &name);
    bool addRecord(qint64 start, const std::u32string &keyText, bool isHeader, const QString &name);
    std::u32string_view tail(const Entry &entry) const;
    std::u32string fullKey(const Entry &entry) const;
    bool lessPastPrefix(const Entry &a, const Entry &b) const;
    std::size_t inputOf(qint64 start) const;
    void appendLineEnd(const Input &input, const Entry &entry, std::string *block) const;
    static QByteArray encodedAscii(const CommandLine::TextEncoding &encoding, const QByteArray &ascii);
    bool fail(const QString &message);

    const Ranking &m_ranking;
    Settings m_settings;
    int m_rankBits = 0;
    std::size_t m_perPrefix = 0;
    FlatArray<char> m_bytes;
    FlatArray<Entry> m_order;
    std::vector<Entry> m_headers;
    // The ranks of keys past their prefix, each after its length.
    std::u32string m_tails;
    std::vector<Input> m_inputs;
    // Lines whose input ends without a line end, by start.
    QHash<qint64, std::size_t> m_withoutEnd;
    QByteArray m_bom;
    std::u32string m_codePoints;
    std::u32string m_key;
    QString m_error;
};

} // namespace Sort
