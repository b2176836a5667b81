// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QColor>
#include <QList>
#include <QString>

class QTextDocument;

// A run of text with one character format.
struct RtfRun
{
    QString text;
    QColor color;          // invalid: the automatic (window text) colour
    int fontSize = 24;     // half-points
    QString fontName;      // empty: the view's own font
};

struct RtfParagraph
{
    QList<RtfRun> runs;
    Qt::Alignment alignment = Qt::AlignLeft;
    int firstLineIndent = 0; // twips
    // The paragraph mark's own format, which is what an empty paragraph shows.
    QColor markColor;
    int markFontSize = 24;
    QString markFontName;

    QString text() const;
};

struct RtfDocument
{
    // As in a rich edit control, the text after the last \par is a
    // paragraph too, so there is always at least one.
    QList<RtfParagraph> paragraphs;
};

// How the bytes of code page 936 become text.
enum class Cp936Decoding {
    // Qt's GB18030 codec where Qt has one (built with ICU), else the table.
    Automatic,
    // The table of the pairs the About document uses; other pairs become U+FFFD.
    Table,
};

// Reads a Rich Text Format document. Any input gives a result: unknown
// control words are ignored, unbalanced braces end or close the document,
// and truncated escapes are dropped.
RtfDocument readRtf(QByteArrayView rtf, Cp936Decoding decoding = Cp936Decoding::Automatic);

// Replaces the content of DOCUMENT with RTF's paragraphs.
void fillDocument(QTextDocument &document, const RtfDocument &rtf);

// Decodes code page 936 bytes with the built-in table alone.
QString decodeCp936WithTable(QByteArrayView bytes);
