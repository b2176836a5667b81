// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct UnihanStrokes
{
    QString unicodeVersion;
    // Code point and its total strokes, in code point order.
    QList<std::pair<char32_t, int>> counts;
};

// The text of FILEPATH, unpacked when it ends in ".bz2". Throws
// RuntimeError when it cannot be read.
QByteArray readUnihanFile(const QString &filePath);

// Every kTotalStrokes entry of a Unihan data file. Where two counts are
// given the first, the one for simplified Chinese, is taken.
UnihanStrokes parseTotalStrokes(const QByteArray &text);
