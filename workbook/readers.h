// SPDX-License-Identifier: MIT
#pragma once

#include "workbook.h"

#include <QString>
#include <QStringList>

// The two formats' readers over an opened package.
namespace Workbook {

class Package;

namespace Xlsx {
QStringList sheetNames(Package &package);
Sheet readSheet(Package &package, int index);

// The shared strings of the part PART_NAME; none where the package has
// no such part.
QStringList readSharedStrings(Package &package, const QString &partName);

// Text with the characters XML cannot hold, written as _xHHHH_ (as Excel
// writes a carriage return, _x000D_), back as they were; a literal "_x"
// is written _x005F_x.
QString unescaped(QString text);
} // namespace Xlsx

namespace Ods {
QStringList sheetNames(Package &package);
Sheet readSheet(Package &package, int index);
} // namespace Ods

// What a cell with NUMBER_FORMAT (as Excel writes format codes) shows for
// SERIAL, a count of days since the workbook's epoch; empty where the
// format is no date or time format.
QString formatDate(double serial, QStringView numberFormat, bool epoch1904);

// The format code of Excel's built-in format ID where it is a date or time
// format, empty otherwise.
QString builtInDateFormat(int id);

} // namespace Workbook
