// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

class StrokeSequences;
class StrokeTable;

// The strokes of one cell of a name list, character by character: what the
// list window shows beside each name. White space and the dots between the
// parts of a transcribed name are no characters of the name; a variation
// selector stays with the character before it and adds nothing.
class CellStrokes
{
public:
    CellStrokes(const StrokeTable &counts, const StrokeSequences &sequences);

    struct Summary
    {
        qint32 total = 0;
        qint32 characters = 0;
        qint32 unknown = 0;
    };
    Summary summarize(QStringView cell) const;

    // "4+6": each character's count, a character without one as "?".
    QString each(QStringView cell) const;

    // The first stroke of the first character (一丨丿丶乛), "?" when the
    // order of that character's strokes is not known, empty for a cell
    // without characters.
    QString firstStroke(QStringView cell) const;

    // The characters of CELL without a count, each once, in the order met.
    QList<char32_t> unknownCharacters(QStringView cell) const;

    // The total as shown: "10", "10+?" when some character has no count,
    // "?" when none has; empty for a cell without characters.
    static QString totalText(const Summary &summary);

private:
    // Calls VISIT with each counted character of CELL; a VISIT that
    // returns bool stops the walk by returning false.
    template<typename Visit>
    void forEachCharacter(QStringView cell, Visit visit) const;
    bool isKnown(char32_t codePoint) const;

    const StrokeTable &m_counts;
    const StrokeSequences &m_sequences;
};
