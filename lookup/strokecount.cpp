// SPDX-License-Identifier: MIT
#include "strokecount.h"

#include "strokelookup.h"

using namespace Qt::StringLiterals;

namespace StrokeCount {

namespace {

bool isVariationSelector(char32_t codePoint)
{
    return (codePoint >= 0xFE00 && codePoint <= 0xFE0F)
            || (codePoint >= 0xE0100 && codePoint <= 0xE01EF);
}

// The code point at POS and how many code units it takes.
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

// The first LIMIT characters of TEXT (all of them when LIMIT is negative).
QStringList charactersOf(const QString &text, qsizetype limit)
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

QString buildMask()
{
    const QString lower = u"abcdefghijklmnopqrstuvwxyz"_s;
    return lower + lower.toUpper() + u",.;'><?/\\]}{[;l!@#$%^&*()_-+=`~"_s;
}

} // namespace

QString trimmedInput(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).isSpace())
        ++begin;
    while (end > begin && text.at(end - 1).isSpace())
        --end;
    return text.mid(begin, end - begin);
}

QStringList splitCharacters(const QString &text)
{
    return charactersOf(text, -1);
}

const QString &validationMask()
{
    static const QString mask = buildMask();
    return mask;
}

bool isRejected(const QString &character)
{
    const QString base = StrokeLookup::lookupKey(character);
    const bool inMask = validationMask().contains(base);
    const bool isSpace = trimmedInput(base).isEmpty();
    return inMask || isSpace;
}

bool run(const QString &text, Window &window, State &state)
{
    state.total = 0;
    const QString trimmed = trimmedInput(text);
    const QStringList pieces = splitCharacters(trimmed);
    const qsizetype n = pieces.size();
    state.chars = QStringList(n + 1);
    state.strokes = QList<qint16>(n + 1, 0);

    for (state.idx = 0; state.idx < n; ++state.idx) {
        state.chars[state.idx] = pieces.at(state.idx);
        if (isRejected(state.chars.at(state.idx)))
            return false;
    }

    window.clearRows();

    for (state.idx = 0; state.idx < n; ++state.idx) {
        state.strokes[state.idx] = window.GetNumber(state.chars.at(state.idx));
        state.total += state.strokes.at(state.idx);
        window.addRow(QString(), state.chars.at(state.idx));
        window.setRowCount(state.idx + 1, QString(), QString::number(state.strokes.at(state.idx)));
    }

    // Only whether the untrimmed text holds a second character matters.
    constexpr qsizetype enoughForTotal = 2;
    if (charactersOf(text, enoughForTotal).size() == enoughForTotal) {
        window.addRow(totalRowKey, trimmed);
        window.setRowCount(0, totalRowKey, QString::number(state.total));
    }
    return true;
}

} // namespace StrokeCount
