// SPDX-License-Identifier: MIT
#pragma once

#include "namerule.h"

#include <QByteArray>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class StrokeOrder;
class TraditionalOrder;

// The order of names under one rule, for every program that orders names.
// Under every rule the characters StrokeOrder skips (white space such as
// the U+3000 padding of 王　毅, the dots of transcribed names) are left
// out, and a text with nothing left sorts after all others.
class NameOrder
{
public:
    using Rank = std::uint32_t;

    // Keeps a reference to ORDER, which must outlive this. The 繁體 rule
    // collates the Han characters first (TraditionalOrder).
    NameOrder(const StrokeOrder &order, NameRule rule);
    ~NameOrder();
    NameOrder(const NameOrder &) = delete;
    NameOrder &operator=(const NameOrder &) = delete;

    NameRule rule() const { return m_rule; }

    // Appends TEXT's key under the rule. Keys compare as std::u32string
    // (lexicographic, a prefix first); a stable sort on them is the rule's
    // order. Blank texts and texts with no countable character sort after
    // every counted one. Every rank is above zero.
    void appendKey(QStringView text, std::u32string *key) const;
    // The same for a text already in code points.
    void appendKey(std::u32string_view text, std::u32string *key) const;

    // Capitals and digits whose byte order is the order of the keys.
    QByteArray printableKey(std::u32string_view key) const;

    // No rank in a key is above this.
    Rank highestRank() const { return m_blank; }

private:
    template<typename CodePoints>
    void appendRanks(const CodePoints &codePoints, std::u32string *key) const;

    const StrokeOrder &m_order;
    NameRule m_rule;
    std::unique_ptr<TraditionalOrder> m_traditional;
    Rank m_blank = 0;
    int m_printableWidth = 1;
};
