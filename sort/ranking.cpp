// SPDX-License-Identifier: MIT
#include "ranking.h"

namespace Sort {

namespace {

// Six hexadecimal digits hold every rank: a code point plus one.
constexpr int hexDigits = 6;
constexpr char keyStart = 'K';
constexpr char32_t lastCodePoint = 0x10FFFF;

} // namespace

void CodePointRanking::appendKey(const char32_t *begin, const char32_t *end, std::u32string *key) const
{
    for (const char32_t *p = begin; p < end; ++p)
        key->push_back(*p + 1);
}

QByteArray CodePointRanking::printableKey(std::u32string_view key) const
{
    QByteArray printed(1, keyStart);
    for (char32_t rank : key)
        printed += QByteArray::number(uint(rank), 16).toUpper().rightJustified(hexDigits, '0');
    return printed;
}

char32_t CodePointRanking::highestRank() const
{
    return lastCodePoint + 1;
}

} // namespace Sort
