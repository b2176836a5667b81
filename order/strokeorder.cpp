// SPDX-License-Identifier: MIT
#include "strokeorder.h"

#include "character.h"
#include "printablekey.h"

#include <QChar>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace {

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
    m_printableWidth = PrintableKey::width(pastLastRank());
}

// A counting sort by strokes: within one count, the file's lines keep their
// order, then the characters without a line follow by code point. Both
// passes walk the characters afresh rather than keep a list of them, which
// a starting program would pay for in fresh memory pages.
void StrokeOrder::rankCounted(const StrokeTable &counts)
{
    const auto forEachCounted = [&](auto f) {
        for (qint32 position = 0; position < m_sequences.size(); ++position) {
            const char32_t codePoint = m_sequences.codePointAt(position);
            if (counts.isKnown(codePoint))
                f(codePoint);
        }
        counts.forEachKnown([&](char32_t codePoint) {
            if (m_sequences.position(codePoint) < 0)
                f(codePoint);
        });
    };
    // nextRank[c]: the rank the next character of count c gets, starting
    // past every character with fewer strokes.
    std::vector<Rank> nextRank;
    Rank countedTotal = 0;
    forEachCounted([&](char32_t codePoint) {
        const auto count = size_t(std::max<qint16>(counts.count(codePoint), 0));
        if (count >= nextRank.size())
            nextRank.resize(count + 1, 0);
        ++nextRank[count];
        ++countedTotal;
    });
    Rank first = emptyPlace + 1;
    for (Rank &next : nextRank)
        first += std::exchange(next, first);
    forEachCounted([&](char32_t codePoint) {
        m_ranks[codePoint] = nextRank[size_t(std::max<qint16>(counts.count(codePoint), 0))]++;
    });
    m_uncountedBase = emptyPlace + 1 + countedTotal;
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
    Character::forEachCodePoint(text, [&](char32_t codePoint) {
        if (!isSkipped(codePoint))
            key->push_back(rank(codePoint));
    });
}

QByteArray StrokeOrder::printableKey(std::u32string_view key) const
{
    return PrintableKey::format(key, m_printableWidth, printableLead);
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
