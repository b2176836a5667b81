// SPDX-License-Identifier: MIT
#include "nameorder.h"

#include "character.h"
#include "printablekey.h"
#include "strokeorder.h"
#include "traditionalorder.h"

namespace {

constexpr char traditionalLead = 'T';
// The 姓氏 rule reads a name of this many characters as surname, empty
// place, given name.
constexpr std::size_t surnameAndOneCharacter = 2;

using Character::forEachCodePoint;

// As Character::forEachCodePoint, for a text already in code points.
template<typename F>
void forEachCodePoint(std::u32string_view text, F f)
{
    for (const char32_t codePoint : text)
        f(codePoint);
}

} // namespace

NameOrder::NameOrder(const StrokeOrder &order, NameRule rule)
    : m_order(order)
    , m_rule(rule)
{
    if (rule == NameRule::Traditional) {
        m_traditional = std::make_unique<TraditionalOrder>();
        m_blank = m_traditional->pastLastRank();
        m_printableWidth = PrintableKey::width(m_blank);
    } else {
        m_blank = m_order.pastLastRank();
    }
}

NameOrder::~NameOrder() = default;

template<typename CodePoints>
void NameOrder::appendRanks(const CodePoints &codePoints, std::u32string *key) const
{
    const std::size_t start = key->size();
    if (m_traditional) {
        forEachCodePoint(codePoints, [&](char32_t codePoint) {
            if (!StrokeOrder::isSkipped(codePoint))
                key->push_back(m_traditional->rank(codePoint));
        });
    } else {
        forEachCodePoint(codePoints, [&](char32_t codePoint) {
            if (!StrokeOrder::isSkipped(codePoint))
                key->push_back(m_order.rank(codePoint));
        });
        if (m_rule == NameRule::Surname && key->size() - start == surnameAndOneCharacter)
            key->insert(start + 1, 1, char32_t(StrokeOrder::emptyPlace));
    }
    if (key->size() == start)
        key->push_back(m_blank);
}

void NameOrder::appendKey(QStringView text, std::u32string *key) const
{
    appendRanks(text, key);
}

void NameOrder::appendKey(std::u32string_view text, std::u32string *key) const
{
    appendRanks(text, key);
}

QByteArray NameOrder::printableKey(std::u32string_view key) const
{
    if (m_traditional)
        return PrintableKey::format(key, m_printableWidth, traditionalLead);
    return m_order.printableKey(key);
}
