// SPDX-License-Identifier: MIT
// Walking a line character by character, for the sources that count, list
// or report each one. Only counter.cpp's own sources include this.
#pragma once

#include "character.h"
#include "counter.h"
#include "linereader.h"
#include "stroketable.h"
#include "utf8.h"

#include <QChar>

namespace Count {

// No byte below this starts a variation selector in UTF-8 (U+FE00 is
// EF B8 80).
inline constexpr unsigned char variationSelectorLead = 0xEF;

// QChar::isSpace() without its call for letters and ideographs: no white
// space comes after the ideographic space.
inline bool isWhiteSpace(char32_t c)
{
    constexpr char32_t firstNonAscii = 0x80, lastSpace = 0x3000;
    return c < firstNonAscii ? c == U' ' || (c >= U'\t' && c <= U'\r') : c <= lastSpace && QChar::isSpace(c);
}

// The code point at P of valid UTF-8, and the byte after it.
inline const unsigned char *nextCodePoint(const unsigned char *p, const unsigned char *end, char32_t *codePoint)
{
    constexpr unsigned char firstNonAscii = 0x80;
    if (*p < firstNonAscii) {
        *codePoint = *p;
        return p + 1;
    }
    return Utf8::decode(p, end, codePoint);
}

// A character of valid UTF-8 as walk() sees it: its first code point, and
// the variation selectors after it that stay with it, none with white space.
struct Utf8Character
{
    char32_t base = 0;
    bool space = false;
    // The byte after the character, and its code points.
    const unsigned char *end = nullptr;
    std::size_t size = 1;
};

inline Utf8Character nextCharacter(const unsigned char *p, const unsigned char *end)
{
    Utf8Character character;
    character.end = nextCodePoint(p, end, &character.base);
    character.space = isWhiteSpace(character.base);
    while (!character.space && character.end < end && *character.end >= variationSelectorLead) {
        char32_t following = 0;
        const unsigned char *after = nextCodePoint(character.end, end, &following);
        if (!Character::isVariationSelector(following))
            break;
        character.end = after;
        ++character.size;
    }
    return character;
}

template<typename Visit>
bool Counter::walk(LineReader &reader, Visit &&visit)
{
    std::size_t column = 0;
    const auto visitCluster = [&](std::u32string_view codePoints) {
        const char32_t base = codePoints.front();
        const bool leading = column == 0;
        Cluster cluster;
        cluster.codePoints = codePoints;
        cluster.column = ++column;
        cluster.known = leading ? m_table.isLeadingKnown(base) : m_table.isKnown(base);
        cluster.strokes = leading ? m_table.leadingCount(base) : m_table.count(base);
        cluster.space = QChar::isSpace(base);
        return visit(cluster);
    };
    // A character is seen where it lies in its piece; only one that goes
    // on into the next piece is copied.
    m_cluster.clear();
    const bool decoded = reader.decode([&](std::u32string_view piece) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < piece.size(); ++i) {
            const std::size_t size = m_cluster.size() + (i - start);
            if (size > 0) {
                // A variation selector stays with the character before it;
                // white space, which is skipped, leaves it a character of
                // its own.
                const char32_t base = m_cluster.empty() ? piece[start] : m_cluster.front();
                if (Character::isVariationSelector(piece[i]) && !(size == 1 && QChar::isSpace(base)))
                    continue;
                bool goOn = true;
                if (m_cluster.empty()) {
                    goOn = visitCluster(piece.substr(start, i - start));
                } else {
                    m_cluster.append(piece.substr(start, i - start));
                    goOn = visitCluster(m_cluster);
                    m_cluster.clear();
                }
                if (!goOn)
                    return false;
            }
            start = i;
        }
        m_cluster.append(piece.substr(start));
        return true;
    });
    return decoded && (m_cluster.empty() || visitCluster(m_cluster));
}

} // namespace Count
