// SPDX-License-Identifier: MIT
#include "character.h"

namespace Character {

char32_t codePointAt(const QString &text, qsizetype pos, qsizetype *width)
{
    const QChar unit = text.at(pos);
    if (unit.isHighSurrogate() && pos + 1 < text.size() && text.at(pos + 1).isLowSurrogate()) {
        *width = 2;
        return QChar::surrogateToUcs4(unit, text.at(pos + 1));
    }
    *width = 1;
    return unit.unicode();
}

QStringList split(const QString &text, qsizetype limit)
{
    QStringList characters;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype width = 0;
        const char32_t codePoint = codePointAt(text, pos, &width);
        if (isVariationSelector(codePoint) && !characters.isEmpty()) {
            characters.last() += text.mid(pos, width);
        } else {
            if (characters.size() == limit)
                break;
            characters.append(text.mid(pos, width));
        }
        pos += width;
    }
    return characters;
}

QString codePointName(char32_t codePoint)
{
    constexpr int hexadecimal = 16;
    constexpr int fewestDigits = 4;
    return QStringLiteral("U+")
            + QString::number(uint(codePoint), hexadecimal).toUpper().rightJustified(fewestDigits, u'0');
}

QString lookupKey(const QString &character)
{
    if (character.isEmpty())
        return character;
    qsizetype width = 0;
    codePointAt(character, 0, &width);
    return character.left(width);
}

} // namespace Character
