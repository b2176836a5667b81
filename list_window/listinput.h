// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Reading a name list: the text a spreadsheet puts on the clipboard, or a
// file's bytes, into records of cells, and the guesses of which column
// holds the names and whether the first row is a header.
namespace ListInput {

// The encoding a file is read in: named as Qt's converters name them, or
// empty to detect it: a byte-order mark; else UTF-8 when every byte fits,
// or nearly every one (a file with a broken character); else GB18030 or
// Big5, whichever reads as the more common characters.
struct Decoded
{
    QString text;
    QString encoding;
    // 1-based line of the first bytes that are not valid in ENCODING, or 0.
    qsizetype invalidLine = 0;
    // Detected, but few of the characters read are common ones: likely
    // another encoding (Shift-JIS, say).
    bool doubtful = false;
};
Decoded decode(const QByteArray &bytes, const QString &encoding = {});

// Whether TEXT is mostly control characters and replacement characters:
// binary data, not a list.
bool isMostlyControl(QStringView text);

// The index of the first surrogate in TEXT without its partner, half of a
// character that no encoding writes; -1 when there is none.
qsizetype firstLoneSurrogate(QStringView text);

// The encodings a user may choose from, where this system can read them.
QStringList availableEncodings();

// A spreadsheet's clipboard text: TAB-separated cells, rows ending in CRLF
// or LF, a cell holding a TAB, quote or line break quoted. The line break
// after the last row ends it and adds no empty row. OPENQUOTELINE, when
// given, gets the line of a quote that never closes, as Delimited::parse().
QList<QStringList> parsePasted(const QString &text, qsizetype *openQuoteLine = nullptr);

// The separator of delimited TEXT, from its first lines: TAB, comma or
// semicolon, whichever splits them alike (TAB for a plain list of names).
QChar sniffSeparator(QStringView text);

// The separator of a file's text: FILENAME's extension tells it (a comma
// for .csv, a TAB for .tsv), else its first lines do.
QChar separatorFor(QStringView text, const QString &fileName);
QList<QStringList> parseFile(const QString &text, const QString &fileName, qsizetype *openQuoteLine = nullptr);

// Whether RECORDS hold any cell that is not empty.
bool hasContent(const QList<QStringList> &records);

// The first column whose cells mostly hold Chinese characters, a first row
// that looks like a header left out; 0 when none does.
int guessNameColumn(const QList<QStringList> &records);

// Whether CELL reads as the heading of a column of names: 姓名, 姓　名,
// 代表姓名, 姓名（拼音）, Name and the like.
bool isNameHeading(QStringView cell);

// Whether the first record looks like a header over the rest: a known
// caption over the names, text over a column of numbers, or no Chinese
// over names in Chinese.
bool guessHeader(const QList<QStringList> &records, int nameColumn);

} // namespace ListInput
