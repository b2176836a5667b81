// SPDX-License-Identifier: MIT
#pragma once

#include "workbook.h"

#include <QList>
#include <QString>

// A sheet's records as its cells come in, held within what a spreadsheet
// can hold, so that a file claiming more fails rather than fills memory.
namespace Workbook {

// Excel's and LibreOffice's own limits on a sheet.
constexpr qint64 maxRows = 1048576;
constexpr qint64 maxColumns = 16384;
// Cells held, the empty ones before a value included: far beyond any name
// list, and within a few hundred megabytes.
constexpr qint64 maxCells = 5'000'000;

class Package;

class SheetBuilder
{
public:
    explicit SheetBuilder(const Package &package);

    // ROW and COLUMN count from 0. Empty text is left out: the cells
    // before a value are filled in when the value comes.
    void put(qint64 row, qint64 column, QString text);
    // Throws where ROW (1-based, as the file numbers it) is past the limit.
    void checkRow(qint64 row) const;
    void hideRows(qint64 first, qint64 last);
    void hideColumns(qint64 first, qint64 last);
    // Of a merged range, all but the first cell are emptied.
    void merge(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn);

    Sheet take();

private:
    struct Range
    {
        qint64 first;
        qint64 last;
    };
    static void addRange(QList<Range> &ranges, qint64 first, qint64 last);
    static qsizetype countWithin(const QList<Range> &ranges, qint64 end);
    [[noreturn]] void throwTooLarge() const;

    const Package &m_package;
    QList<QStringList> m_records;
    qint64 m_cells = 0;
    qint64 m_width = 0;
    QList<Range> m_hiddenRows;
    QList<Range> m_hiddenColumns;
    qint64 m_mergeWork = 0;
};

} // namespace Workbook
