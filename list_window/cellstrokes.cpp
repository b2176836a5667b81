// SPDX-License-Identifier: MIT
#include "cellstrokes.h"

#include "character.h"
#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"

#include <QChar>

#include <type_traits>

using namespace Qt::StringLiterals;

namespace {

const QString unknownMark = u"?"_s;

// The shapes of strokes 1 to 5 of a sequence: 横 竖 撇 点 折.
constexpr char16_t strokeShapes[] = u"一丨丿丶乛";
constexpr char firstStrokeDigit = '1';

bool isUnifiedIdeograph(char32_t codePoint)
{
    constexpr char32_t first = 0x4E00;
    constexpr char32_t last = 0x9FFF;
    return codePoint >= first && codePoint <= last;
}

} // namespace

CellStrokes::CellStrokes(const StrokeTable &counts, const StrokeSequences &sequences)
    : m_counts(counts)
    , m_sequences(sequences)
{
}

template<typename Visit>
void CellStrokes::forEachCharacter(QStringView cell, Visit visit) const
{
    bool afterCharacter = false;
    for (qsizetype pos = 0; pos < cell.size();) {
        char32_t codePoint = cell[pos].unicode();
        qsizetype width = 1;
        if (cell[pos].isHighSurrogate() && pos + 1 < cell.size() && cell[pos + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(cell[pos], cell[pos + 1]);
            width = 2;
        }
        pos += width;
        if (afterCharacter && Character::isVariationSelector(codePoint))
            continue;
        // The order skips no unified ideograph, which most cells are made
        // of; that spares them the look-up of Unicode's white space.
        afterCharacter = isUnifiedIdeograph(codePoint) || !StrokeOrder::isSkipped(codePoint);
        if (!afterCharacter)
            continue;
        if constexpr (std::is_same_v<std::invoke_result_t<Visit &, char32_t>, bool>) {
            if (!visit(codePoint))
                return;
        } else {
            visit(codePoint);
        }
    }
}

bool CellStrokes::isKnown(char32_t codePoint) const
{
    return m_counts.isLeadingKnown(codePoint);
}

CellStrokes::Summary CellStrokes::summarize(QStringView cell) const
{
    Summary summary;
    forEachCharacter(cell, [&](char32_t codePoint) {
        ++summary.characters;
        if (isKnown(codePoint))
            summary.total += m_counts.leadingCount(codePoint);
        else
            ++summary.unknown;
    });
    return summary;
}

QString CellStrokes::each(QStringView cell) const
{
    QString text;
    forEachCharacter(cell, [&](char32_t codePoint) {
        if (!text.isEmpty())
            text += u'+';
        text += isKnown(codePoint) ? QString::number(m_counts.leadingCount(codePoint)) : unknownMark;
    });
    return text;
}

QString CellStrokes::firstStroke(QStringView cell) const
{
    QString shape;
    forEachCharacter(cell, [&](char32_t codePoint) {
        const std::string_view sequence = m_sequences.sequence(codePoint);
        const int digit = sequence.empty() ? -1 : sequence.front() - firstStrokeDigit;
        constexpr int shapes = int(std::size(strokeShapes)) - 1;
        shape = digit >= 0 && digit < shapes ? QString(QChar(strokeShapes[digit])) : unknownMark;
        return false;
    });
    return shape;
}

QList<char32_t> CellStrokes::unknownCharacters(QStringView cell) const
{
    QList<char32_t> unknown;
    forEachCharacter(cell, [&](char32_t codePoint) {
        if (!isKnown(codePoint) && !unknown.contains(codePoint))
            unknown.append(codePoint);
    });
    return unknown;
}

QString CellStrokes::totalText(const Summary &summary)
{
    if (summary.characters == 0)
        return {};
    if (summary.unknown == 0)
        return QString::number(summary.total);
    return summary.unknown == summary.characters ? unknownMark : QString::number(summary.total) + u"+?"_s;
}
