// SPDX-License-Identifier: MIT
#pragma once

#include "ranking.h"

class StrokeOrder;

namespace Sort {

// The order of names in stroke order: the ranks StrokeOrder gives, with
// white space and the dots of transcribed names left out.
class StrokeRanking : public Ranking
{
public:
    explicit StrokeRanking(const StrokeOrder &order)
        : m_order(order)
    {
    }

    void appendKey(const char32_t *begin, const char32_t *end, std::u32string *key) const override;
    QByteArray printableKey(std::u32string_view key) const override;
    char32_t highestRank() const override;

private:
    const StrokeOrder &m_order;
};

} // namespace Sort
