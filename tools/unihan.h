// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// Real Unihan files unpack to about 30 MB; the limit only keeps a tiny
// packed file that claims gigabytes from taking the machine's memory.
inline constexpr qsizetype maxUnpackedSize = qsizetype(512) << 20;

struct UnihanStrokes
{
    QString unicodeVersion;
    // Code point and its total strokes, in code point order.
    QList<std::pair<char32_t, int>> counts;
};

// Where kRSUnicode files a character: radical number ("149", or "149'" for
// the simplified form) and the strokes outside the radical.
struct RadicalPosition
{
    QByteArray radical;
    int residualStrokes = 0;
};

// The text of FILEPATH, unpacked when it ends in ".bz2". Throws
// RuntimeError when it cannot be read, would hold more than LIMIT bytes,
// or does not end with the line "# EOF", as every Unicode data file does.
QByteArray readUnihanFile(const QString &filePath, qsizetype limit = maxUnpackedSize);

// The "# Unicode version:" that TEXT names, or empty.
QString unihanVersion(const QByteArray &text);

// The parsers below skip comments, blank lines and entries of other
// fields, and throw RuntimeError, naming the line, for any other line and
// for an entry no character could have: a code point beyond U+10FFFF or
// in the surrogate range, a count that is not a number from 1 to 32767,
// or a second entry for one code point.

// Every kTotalStrokes entry of a Unihan data file. Where two counts are
// given the first, the one for simplified Chinese, is taken.
UnihanStrokes parseTotalStrokes(const QByteArray &text);

// The first kRSUnicode value of every character.
QHash<char32_t, RadicalPosition> parseRadicalPositions(const QByteArray &text);

// The 2013 List of Commonly Used Standard Chinese Characters from kTGH:
// element N is the character at place N + 1. Throws RuntimeError when a
// place is taken twice or left out.
QList<char32_t> parseCommonList(const QByteArray &text);

// CJKRadicals.txt: each radical number and the unified ideograph that is
// that radical alone.
QHash<QByteArray, char32_t> parseRadicalIdeographs(const QByteArray &text);
