// SPDX-License-Identifier: MIT
#include "strokeranking.h"

#include "strokeorder.h"

namespace Sort {

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

} // namespace Sort
