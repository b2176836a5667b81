// SPDX-License-Identifier: MIT
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

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

// Calls F with each code point of TEXT, in order; a lone surrogate is a
// code point of its own, as codePointAt() reads it.
template<typename F>
void forEachCodePoint(QStringView text, F f)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t codePoint = text[i].unicode();
        if (QChar::isHighSurrogate(codePoint) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        f(codePoint);
    }
}

// The first LIMIT characters of TEXT, or all of them when LIMIT is negative.
QStringList split(const QString &text, qsizetype limit = -1);

// CODEPOINT as Unicode names it: "U+" and at least four upper-case hex
// digits.
QString codePointName(char32_t codePoint);

// The part of CHARACTER that stroke counts are keyed by: its code point,
// without the variation selectors after it.
QString lookupKey(const QString &character);

} // namespace Character
