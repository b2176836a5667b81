// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// What one character of the user's text is, for every program that counts
// strokes: one Unicode code point (a surrogate pair is never split), with
// any variation selectors after it kept on it. Its strokes are those of the
// code point alone.
namespace Character {

constexpr bool isVariationSelector(char32_t codePoint)
{
    return (codePoint >= 0xFE00 && codePoint <= 0xFE0F)
            || (codePoint >= 0xE0100 && codePoint <= 0xE01EF);
}

// The code point at POS of TEXT; WIDTH receives how many code units it
// takes (a lone surrogate is a code point of its own).
char32_t codePointAt(const QString &text, qsizetype pos, qsizetype *width);

// The first LIMIT characters of TEXT, or all of them when LIMIT is negative.
QStringList split(const QString &text, qsizetype limit = -1);

// CODEPOINT as Unicode names it: "U+" and at least four upper-case hex
// digits.
QString codePointName(char32_t codePoint);

// The part of CHARACTER that stroke counts are keyed by: its code point,
// without the variation selectors after it.
QString lookupKey(const QString &character);

} // namespace Character
