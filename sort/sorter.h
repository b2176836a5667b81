// SPDX-License-Identifier: MIT
#pragma once

#include "ranking.h"
#include "textencoding.h"

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
// ranks for each; sorted as an array of indexes, so the bytes never move.
class Sorter
{
public:
    // Receives the output in blocks; returns false when nothing more can be
    // written.
    using Sink = std::function<bool(const char *bytes, std::size_t size)>;

    Sorter(const Ranking &ranking, const Settings &settings);

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
    qsizetype lineCount() const { return qsizetype(m_starts.size()); }

private:
    struct Input
    {
        TextEncoding encoding;
        // The line end of the input's first line, for a last line without
        // one that the sort moves.
        QByteArray lineEnd;
        std::uint32_t firstRecord = 0;
    };
#pragma pack(push, 4)
    struct Entry
    {
        std::uint64_t prefix;
        std::uint32_t record;
    };
#pragma pack(pop)

    bool readAll(QIODevice &device, const QString &name);
    bool readRecords(Input &input, qsizetype begin, qsizetype bomLength, const QString &name);
    bool decodeLine(const TextEncoding &encoding, qsizetype begin, qsizetype end, qint64 offset,
                    const QString &name);
    void endRecord(const char32_t *keyBegin, const char32_t *keyEnd);
    void appendLineEnd(const Input &input, qint64 begin, qint64 end, std::string *block) const;
    std::u32string_view key(std::uint32_t record) const;
    std::size_t inputOf(std::uint32_t record) const;
    bool fail(const QString &message);

    const Ranking &m_ranking;
    Settings m_settings;
    std::string m_bytes;
    // Where each record starts in m_bytes; a record runs to the next one's
    // start, or to the end.
    std::vector<qint64> m_starts;
    // The ranks of every key, one after the other, and where each starts.
    std::u32string m_keys;
    std::vector<std::uint32_t> m_keyStarts;
    std::vector<std::uint32_t> m_headers;
    std::vector<Entry> m_order;
    std::vector<Input> m_inputs;
    // Records whose last line has no line end: the last of their input.
    QHash<std::uint32_t, std::size_t> m_withoutEnd;
    QByteArray m_bom;
    std::vector<char32_t> m_codePoints;
    QString m_error;
};

} // namespace Sort
