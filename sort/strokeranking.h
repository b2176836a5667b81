// SPDX-License-Identifier: MIT
#pragma once

#include "ranking.h"

class NameOrder;

namespace Sort {

// The order of names under one rule (NameOrder), with white space and the
// dots of transcribed names left out.
class StrokeRanking : public Ranking
{
public:
    explicit StrokeRanking(const NameOrder &order)
        : m_order(order)
    {
    }

    void appendKey(const char32_t *begin, const char32_t *end, std::u32string *key) const override;
    QByteArray printableKey(std::u32string_view key) const override;
    char32_t highestRank() const override;

private:
    const NameOrder &m_order;
};

} // namespace Sort
