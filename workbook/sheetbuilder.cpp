// SPDX-License-Identifier: MIT
#include "sheetbuilder.h"

#include "package.h"
#include "runtimeerror.h"

#include <QCoreApplication>
#include <QDir>

namespace Workbook {

SheetBuilder::SheetBuilder(const Package &package)
    : m_package(package)
{
}

void SheetBuilder::checkRow(qint64 row) const
{
    if (row > maxRows || row < 1)
        throw RuntimeError(QCoreApplication::translate("Workbook",
                                   "“%1”的工作表声称第 %2 行有内容，而电子表格最多只有 %3 行。文件已经损坏，"
                                   "或是特意构造的。")
                                   .arg(QDir::toNativeSeparators(m_package.fileName()))
                                   .arg(row)
                                   .arg(maxRows));
}

void SheetBuilder::put(qint64 row, qint64 column, QString text)
{
    if (text.isEmpty())
        return;
    checkRow(row + 1);
    if (column < 0 || column >= maxColumns)
        throw RuntimeError(QCoreApplication::translate("Workbook",
                                   "“%1”的工作表声称第 %2 列有内容，而电子表格最多只有 %3 列。文件已经损坏，"
                                   "或是特意构造的。")
                                   .arg(QDir::toNativeSeparators(m_package.fileName()))
                                   .arg(column + 1)
                                   .arg(maxColumns));
    if (row >= m_records.size()) {
        m_cells += row + 1 - m_records.size();
        if (m_cells > maxCells)
            throwTooLarge();
        m_records.resize(row + 1);
    }
    QStringList &record = m_records[row];
    if (column >= record.size()) {
        if (record.capacity() < m_width)
            record.reserve(m_width);
        m_cells += column + 1 - record.size();
        if (m_cells > maxCells)
            throwTooLarge();
        record.resize(column + 1);
    }
    record[column] = std::move(text);
    m_width = std::max(m_width, column + 1);
}

void SheetBuilder::throwTooLarge() const
{
    throw RuntimeError(QCoreApplication::translate("Workbook",
                               "“%1”的工作表超过 %2 个单元格，名单窗口容纳不下。")
                               .arg(QDir::toNativeSeparators(m_package.fileName()))
                               .arg(maxCells));
}

void SheetBuilder::addRange(QList<Range> &ranges, qint64 first, qint64 last)
{
    if (!ranges.isEmpty() && ranges.last().last + 1 >= first && ranges.last().first <= first)
        ranges.last().last = std::max(ranges.last().last, last);
    else
        ranges.append({first, last});
}

// A range with a bound missing or out of order hides what lies inside
// the sheet, and nothing when nothing does.
void SheetBuilder::hideRows(qint64 first, qint64 last)
{
    first = std::max<qint64>(first, 0);
    last = std::min(last, maxRows - 1);
    if (first <= last)
        addRange(m_hiddenRows, first, last);
}

void SheetBuilder::hideColumns(qint64 first, qint64 last)
{
    first = std::max<qint64>(first, 0);
    last = std::min(last, maxColumns - 1);
    if (first <= last)
        addRange(m_hiddenColumns, first, last);
}

void SheetBuilder::merge(qint64 firstRow, qint64 firstColumn, qint64 lastRow, qint64 lastColumn)
{
    const qint64 endRow = std::min<qint64>(lastRow + 1, m_records.size());
    for (qint64 row = std::max<qint64>(firstRow, 0); row < endRow; ++row) {
        QStringList &record = m_records[row];
        const qint64 endColumn = std::min<qint64>(lastColumn + 1, record.size());
        const qint64 from = std::max<qint64>(row == firstRow ? firstColumn + 1 : firstColumn, 0);
        // Ranges laid over one another would otherwise walk the sheet
        // again for each.
        m_mergeWork += std::max<qint64>(endColumn - from, 0) + 1;
        if (m_mergeWork > maxCells)
            throwTooLarge();
        for (qint64 column = from; column < endColumn; ++column)
            record[column].clear();
    }
}

qsizetype SheetBuilder::countWithin(const QList<Range> &ranges, qint64 end)
{
    qsizetype count = 0;
    for (const Range &range : ranges) {
        if (range.first < end)
            count += std::min(range.last + 1, end) - range.first;
    }
    return count;
}

Sheet SheetBuilder::take()
{
    Sheet sheet;
    sheet.hiddenRows = countWithin(m_hiddenRows, m_records.size());
    sheet.hiddenColumns = countWithin(m_hiddenColumns, m_width);
    sheet.records = std::move(m_records);
    return sheet;
}

} // namespace Workbook
