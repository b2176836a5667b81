// SPDX-License-Identifier: MIT
#pragma once

#include "strokesequences.h"
#include "stroketable.h"

#include <QByteArray>
#include <QList>
#include <QStringView>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

// The order of stroke-ordered lists (笔画序) over whole texts: characters
// compare by strokes, then by stroke sequence, then by the 2013 list's own
// order; texts compare character by character, a text that is the start of
// another first. One total order: two keys are equal only when the texts
// are the same once skipped characters are left out.
class StrokeOrder
{
public:
    using Rank = std::uint32_t;

    // Below every character's rank, above zero: the empty place that the
    // 姓氏 rule puts after the surname of a two-character name.
    static constexpr Rank emptyPlace = 1;

    // Keeps references to both; they must outlive the order.
    StrokeOrder(const StrokeTable &counts, const StrokeSequences &sequences);

    // White space (space, U+3000, TAB …), the dots that join the parts of a
    // transcribed name (U+00B7, U+30FB, U+2022 and their look-alikes) and
    // variation selectors, which belong to the character before them.
    static bool isSkipped(char32_t codePoint);

    // Dense rank of a character in the total order, above emptyPlace:
    // characters with a count first (by count, then position in the sequences file;
    // ones with a count but no position after those of the same count, by
    // code point), then characters without a count, by code point.
    // Meaningless for skipped ones.
    Rank rank(char32_t codePoint) const
    {
        return codePoint < StrokeTable::codePointLimit && m_ranks[codePoint] != 0 ? m_ranks[codePoint]
                                                                                 : m_uncountedBase + codePoint;
    }

    // Appends the ranks of TEXT's characters, skipped ones left out, to KEY.
    // Comparing two keys as std::u32string (lexicographic, a prefix first)
    // is the order of the two texts.
    void appendKey(QStringView text, std::u32string *key) const;

    // Above every character's rank, and still printable: where a text with
    // nothing to rank goes.
    Rank pastLastRank() const { return m_uncountedBase + StrokeTable::codePointLimit; }

    // KEY in capital letters and digits only, a fixed number per character,
    // after a leading letter so no spreadsheet takes it for a number. The
    // byte order of printable keys is the order of the keys.
    QByteArray printableKey(std::u32string_view key) const;

    // The characters whose sequence begins with PREFIX (digits 1-5), in
    // stroke order; none for anything else.
    QList<char32_t> beginningWith(std::string_view prefix) const;

private:
    struct FreeMemory
    {
        void operator()(Rank *ranks) const { std::free(ranks); }
    };

    void rankCounted(const StrokeTable &counts);

    const StrokeSequences &m_sequences;
    // Zero for characters without a count; zeroed by the system page by page.
    std::unique_ptr<Rank[], FreeMemory> m_ranks;
    Rank m_uncountedBase = emptyPlace + 1;
    int m_printableWidth = 1;
};
