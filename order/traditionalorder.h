// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

// The Traditional Chinese stroke collation (Taiwan's counts, then radicals)
// of the ICU that QCollator uses, as one rank per character. QCollator
// keeps its sort keys' bytes to itself, so the Han characters are put in
// its order once, and names then compare by their characters' ranks like
// every other key: fast, and with ICU's order for any text of Han
// characters, whose collation elements are one per character.
class TraditionalOrder
{
public:
    using Rank = std::uint32_t;

    // Collates every Han character; about 0.1 s.
    TraditionalOrder();

    // Above zero. Han characters first, in the collation's order (those it
    // holds equal, such as a compatibility ideograph and its unified twin,
    // by code point); then every other character by code point.
    Rank rank(char32_t codePoint) const
    {
        return codePoint < codePointLimit && m_ranks[codePoint] != 0 ? m_ranks[codePoint] : m_otherBase + codePoint;
    }
    // Above every character's rank.
    Rank pastLastRank() const { return m_otherBase + codePointLimit; }

private:
    static constexpr char32_t codePointLimit = 0x110000;

    struct FreeMemory
    {
        void operator()(Rank *ranks) const { std::free(ranks); }
    };

    std::unique_ptr<Rank[], FreeMemory> m_ranks;
    Rank m_otherBase = 1;
};
