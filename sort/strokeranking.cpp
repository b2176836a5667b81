// SPDX-License-Identifier: MIT
#include "strokeranking.h"

#include "nameorder.h"

namespace Sort {

void StrokeRanking::appendKey(const char32_t *begin, const char32_t *end, std::u32string *key) const
{
    m_order.appendKey(std::u32string_view(begin, std::size_t(end - begin)), key);
}

QByteArray StrokeRanking::printableKey(std::u32string_view key) const
{
    return m_order.printableKey(key);
}

char32_t StrokeRanking::highestRank() const
{
    return m_order.highestRank();
}

} // namespace Sort
