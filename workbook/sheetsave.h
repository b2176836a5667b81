// SPDX-License-Identifier: MIT
#pragma once

#include "workbook.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What writing an .xlsx and an .ods share.
namespace Workbook {

class ZipWriter;

// Each column's width in characters, a Chinese character counting two:
// as wide as its widest cell within bounds.
QList<double> columnWidths(const QList<QStringList> &records);

// Whether TEXT is a number as typed that a spreadsheet keeps as it stands:
// no leading zero, no more digits than a double holds exactly.
bool isPlainNumber(QStringView text);

// Throws RuntimeError where RECORDS exceed what a sheet holds.
void checkSize(const QList<QStringList> &records);

// WANTED where both formats take it as a sheet's name, else "Sheet1".
QString sheetName(const QString &wanted);

// In how many pieces, made at once, a sheet of RECORDS is written.
qsizetype pieceCount(const QList<QStringList> &records);

// Appends N in decimal.
void appendNumber(QByteArray &out, qint64 n);

// Writes the parts WRITE adds to a zip at PATH, replacing the file in one
// step: on any failure the old file stays as it was.
void savePackage(const QString &path, const std::function<void(ZipWriter &)> &write);

} // namespace Workbook
