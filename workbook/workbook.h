// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Spreadsheet workbooks as the list window takes them: a sheet of an .xlsx
// (as Excel and WPS write it) or an .ods (as LibreOffice writes it) read
// into records of cells as the spreadsheet shows them, and a table written
// back as an .xlsx or an .ods. Every failure, hostile files included, throws
// RuntimeError worded for the user.
namespace Workbook {

// Whether PATH should be read as a workbook rather than as text: its
// extension is .xlsx, .xlsm or .ods, or its first bytes are those of a
// zip or of an Excel 97-2003 file.
bool isWorkbook(const QString &path);

// The names of the sheets in PATH, in their order.
QStringList sheetNames(const QString &path);

struct Sheet
{
    QList<QStringList> records;
    // Rows and columns the spreadsheet hides, which are read all the same.
    qsizetype hiddenRows = 0;
    qsizetype hiddenColumns = 0;
};

// The sheet at INDEX in PATH. Numbers are shown without a trailing ".0",
// text as stored, formulas by the value last computed, dates in the
// workbook's date format; of merged cells only the first holds the value.
Sheet readSheet(const QString &path, int index = 0);

struct SaveOptions
{
    // Whether the first record is a header, set in bold.
    bool header = false;
    // Columns whose cells are written as numbers where they hold plain
    // numbers; every other cell is text, so that 0012 stays 0012.
    QList<int> numberColumns;
    QString sheetName;
};

// Writes RECORDS to PATH as an .xlsx, replacing the file in one step: on
// any failure the old file stays as it was.
void saveXlsx(const QString &path, const QList<QStringList> &records, const SaveOptions &options = {});

// The same as an .ods. A control character, which an .ods cannot hold
// (an .xlsx escapes it), throws RuntimeError naming its cell.
void saveOds(const QString &path, const QList<QStringList> &records, const SaveOptions &options = {});

} // namespace Workbook
