// SPDX-License-Identifier: MIT
#include "strokeorder.h"

#include "character.h"

#include <QChar>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace {

// Digits before capital letters, as in ASCII, so the printed keys sort
// bytewise as the ranks do.
constexpr char printableDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr StrokeOrder::Rank printableBase = sizeof(printableDigits) - 1;
constexpr char printableLead = 'S';

constexpr char32_t joiningDots[] = {
    0x00B7, // MIDDLE DOT
    0x2022, // BULLET
    0x2027, // HYPHENATION POINT, as typed in Taiwan
    0x2219, // BULLET OPERATOR
    0x22C5, // DOT OPERATOR
    0x30FB, // KATAKANA MIDDLE DOT
    0xFF65, // HALFWIDTH KATAKANA MIDDLE DOT
};

// Invisible characters that pasted names bring along.
constexpr char32_t invisibles[] = {0x200B, 0xFEFF};

} // namespace

StrokeOrder::StrokeOrder(const StrokeTable &counts, const StrokeSequences &sequences)
    : m_sequences(sequences)
{
    auto *ranks = static_cast<Rank *>(std::calloc(StrokeTable::codePointLimit, sizeof(Rank)));
    if (!ranks)
        throw std::bad_alloc();
    m_ranks.reset(ranks);
    rankCounted(counts);
    const Rank highest = m_uncountedBase + StrokeTable::codePointLimit;
    m_printableWidth = 1;
    for (Rank span = printableBase; span <= highest; span *= printableBase)
        ++m_printableWidth;
}

// A counting sort by strokes: within one count, the file's lines keep their
// order, then the characters without a line follow by code point.
void StrokeOrder::rankCounted(const StrokeTable &counts)
{
    struct Counted
    {
        qint16 count;
        char32_t codePoint;
    };
    std::vector<Counted> counted;
    counted.reserve(size_t(counts.size()));
    qint16 highestCount = 0;
    const auto add = [&](char32_t codePoint) {
        const qint16 count = counts.count(codePoint);
        highestCount = std::max(highestCount, count);
        counted.push_back({count, codePoint});
    };
    for (qint32 position = 0; position < m_sequences.size(); ++position) {
        const char32_t codePoint = m_sequences.codePointAt(position);
        if (counts.isKnown(codePoint))
            add(codePoint);
    }
    counts.forEachKnown([&](char32_t codePoint) {
        if (m_sequences.position(codePoint) < 0)
            add(codePoint);
    });
    // nextRank[c]: the rank the next character of count c gets, starting
    // past every character with fewer strokes.
    std::vector<Rank> nextRank(size_t(highestCount) + 1, 0);
    for (const Counted &c : counted)
        ++nextRank[size_t(c.count)];
    Rank first = 1;
    for (Rank &next : nextRank)
        first += std::exchange(next, first);
    for (const Counted &c : counted)
        m_ranks[c.codePoint] = nextRank[size_t(c.count)]++;
    m_uncountedBase = Rank(counted.size()) + 1;
}

bool StrokeOrder::isSkipped(char32_t codePoint)
{
    if (QChar::isSpace(codePoint) || Character::isVariationSelector(codePoint))
        return true;
    for (const char32_t dot : joiningDots) {
        if (codePoint == dot)
            return true;
    }
    for (const char32_t invisible : invisibles) {
        if (codePoint == invisible)
            return true;
    }
    return false;
}

void StrokeOrder::appendKey(QStringView text, std::u32string *key) const
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t codePoint = text[i].unicode();
        if (QChar::isHighSurrogate(codePoint) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (!isSkipped(codePoint))
            key->push_back(rank(codePoint));
    }
}

QByteArray StrokeOrder::printableKey(std::u32string_view key) const
{
    QByteArray text(1 + qsizetype(key.size()) * m_printableWidth, printableLead);
    char *out = text.data() + 1;
    for (Rank rank : key) {
        for (int digit = m_printableWidth - 1; digit >= 0; --digit) {
            out[digit] = printableDigits[rank % printableBase];
            rank /= printableBase;
        }
        out += m_printableWidth;
    }
    return text;
}

QList<char32_t> StrokeOrder::beginningWith(std::string_view prefix) const
{
    QList<char32_t> found;
    if (!StrokeSequences::isSequence(prefix))
        return found;
    for (qint32 position = 0; position < m_sequences.size(); ++position) {
        if (m_sequences.sequenceAt(position).starts_with(prefix))
            found.append(m_sequences.codePointAt(position));
    }
    return found;
}
