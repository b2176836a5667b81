// SPDX-License-Identifier: MIT
// Each item as the output has it: its total and its text, each character
// on a line of its own, or a line of JSON.
#include "clusterwalk.h"

#include "strokesequences.h"
#include "utf8.h"

#include <QByteArrayView>

#include <algorithm>
#include <utility>

namespace Count {

namespace {

// Lines of JSON text escaped at once between checks of the output.
constexpr qsizetype escapedBlock = qsizetype(1) << 16;

void appendUtf8(std::string &out, std::u32string_view codePoints)
{
    for (char32_t codePoint : codePoints) {
        char encoded[Utf8::maxEncodedLength];
        out.append(encoded, std::size_t(Utf8::encode(codePoint, encoded) - encoded));
    }
}

} // namespace

bool Counter::writeTotal(LineReader &reader, const Where &where, qint64 total)
{
    if (reportsWithTotal() && reader.encoding().kind != TextEncoding::Kind::Utf8
        && !reportUnknownsDecoded(reader, where))
        return false;
    m_output.appendNumber(total);
    m_output.append('\t');
    if (reader.encoding().kind == TextEncoding::Kind::Utf8) {
        const QByteArrayView bytes = reader.bytes();
        m_output.append(bytes.data(), std::size_t(bytes.size()));
    } else if (!echo(reader, false)) {
        return false;
    }
    m_output.append('\n');
    return true;
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
        for (qsizetype at = 0; at < bytes.size(); at += escapedBlock)
            if (!put(bytes.data() + at, std::min(escapedBlock, bytes.size() - at)))
                return false;
        return true;
    }
    return reader.decode([&](std::u32string_view piece) {
        m_utf8.clear();
        appendUtf8(m_utf8, piece);
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

// The counts of the line's characters, null for one without, then with
// --sequence their sequences, then each character without a count once.
// The sequences are found on a second walk over the line: gathered on the
// first, they would hold several bytes for each character of it.
bool Counter::writeJson(LineReader &reader, const Where &where, qint64 total)
{
    m_output.append("{\"text\": \"");
    if (!echo(reader, true))
        return false;
    m_output.append("\", \"total\": ");
    m_output.appendNumber(total);
    m_output.append(", \"strokes\": [");
    m_unknown.clear();
    m_unknownEnds.clear();
    bool first = true;
    const bool written = walk(reader, [&](const Cluster &cluster) {
        if (cluster.space)
            return true;
        if (!cluster.known && m_options.strict)
            reportUnknown(where, cluster);
        if (!std::exchange(first, false))
            m_output.append(", ");
        if (cluster.known) {
            m_output.appendNumber(cluster.strokes);
        } else {
            m_output.append("null");
            noteUnknown(cluster);
        }
        return m_output.flushWhenFull();
    });
    forgetUnknowns();
    if (!written || (m_sequences && !writeJsonSequences(reader)))
        return false;
    endJson();
    return true;
}

bool Counter::writeJsonSequences(LineReader &reader)
{
    m_output.append("], \"sequences\": [");
    bool first = true;
    return walk(reader, [&](const Cluster &cluster) {
        if (cluster.space)
            return true;
        if (!std::exchange(first, false))
            m_output.append(", ");
        const std::string_view sequence = m_sequences->sequence(cluster.codePoints.front());
        if (sequence.empty()) {
            m_output.append("null");
        } else {
            m_output.append('"');
            m_output.append(strokeSymbols(sequence).c_str());
            m_output.append('"');
        }
        return m_output.flushWhenFull();
    });
}

// The characters without a count are gathered on the way, each once:
// never more than the distinct ones of the line.
void Counter::noteUnknown(const Cluster &cluster)
{
    if (!isNewUnknown(cluster))
        return;
    appendUtf8(m_unknown, cluster.codePoints);
    m_unknownEnds.push_back(m_unknown.size());
}

void Counter::forgetUnknowns()
{
    for (char32_t codePoint : m_seenList)
        m_seen[codePoint] = false;
    m_seenList.clear();
    m_seenClusters.clear();
}

void Counter::endJson()
{
    m_output.append("], \"unknown\": [");
    std::size_t start = 0;
    for (std::size_t end : m_unknownEnds) {
        m_output.append(start == 0 ? "\"" : ", \"");
        m_output.appendJsonString(m_unknown.data() + start, end - start);
        m_output.append('"');
        start = end;
    }
    m_output.append("]}\n");
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

} // namespace Count
