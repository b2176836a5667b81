// SPDX-License-Identifier: MIT
#include "strokeranking.h"

#include "strokeorder.h"

namespace Sort {

namespace {

constexpr char32_t lastCodePoint = 0x10FFFF;

} // namespace

void StrokeRanking::appendKey(const char32_t *begin, const char32_t *end, std::u32string *key) const
{
    for (const char32_t *p = begin; p < end; ++p)
        if (!StrokeOrder::isSkipped(*p))
            key->push_back(m_order.rank(*p));
}

QByteArray StrokeRanking::printableKey(std::u32string_view key) const
{
    return m_order.printableKey(key);
}

// Characters without a count rank last, by code point.
char32_t StrokeRanking::highestRank() const
{
    return m_order.rank(lastCodePoint);
}

} // namespace Sort
