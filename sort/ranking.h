// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <string>
#include <string_view>

namespace Sort {

// What the sort orders by: each character of a key becomes a rank, and two
// keys compare as their strings of ranks do (a prefix first).
class Ranking
{
public:
    virtual ~Ranking() = default;

    // Appends the ranks of the characters [BEGIN, END) to KEY, leaving out
    // those the order skips. Every rank is above zero.
    virtual void appendKey(const char32_t *begin, const char32_t *end, std::u32string *key) const = 0;
    // Digits and capital letters whose byte order is the order of the keys.
    virtual QByteArray printableKey(std::u32string_view key) const = 0;
    // No rank is above this.
    virtual char32_t highestRank() const = 0;
};

// Code point order, every character kept: for checking the sort itself.
class CodePointRanking : public Ranking
{
public:
    void appendKey(const char32_t *begin, const char32_t *end, std::u32string *key) const override;
    QByteArray printableKey(std::u32string_view key) const override;
    char32_t highestRank() const override;
};

} // namespace Sort
