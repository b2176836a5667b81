// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Writing a name list back: the cells as a spreadsheet takes them from the
// clipboard, and as a CSV file.
namespace ListOutput {

// TAB-separated cells, a cell holding a TAB, quote or line break quoted,
// every row ended by CRLF.
QString clipboardText(const QList<QStringList> &records);

// Where a cell holds half of a character outside the Basic Multilingual
// Plane: a surrogate without its partner, which no encoding can write and
// which the clipboard's UTF-8 would turn silently into '?'.
struct LoneSurrogate {
    qsizetype record = 0;
    qsizetype column = 0;
    char16_t unit = 0;
};
std::optional<LoneSurrogate> findLoneSurrogate(const QList<QStringList> &records);

enum class CsvEncoding { Utf8WithBom, Gb18030 };

// Comma-separated cells quoted as RFC 4180 has them, rows ended by CRLF, in
// ENCODING: UTF-8 behind a byte-order mark, by which spreadsheets know it,
// or GB18030, which older ones read by default. Throws RuntimeError, worded
// for the user, for a lone surrogate, which neither can write.
QByteArray csvBytes(const QList<QStringList> &records, CsvEncoding encoding);

// Replaces the file at PATH with BYTES in one step: on any failure the old
// file stays as it was. Throws RuntimeError, worded for the user.
void save(const QString &path, const QByteArray &bytes);

} // namespace ListOutput
