// SPDX-License-Identifier: MIT
#include "listview.h"

#include "design.h"
#include "runtimeerror.h"

#include <QHeaderView>

#include <cmath>

namespace {

// Leaves room for the first column and a vertical scroll bar in the
// design's list, so no horizontal scroll bar appears.
constexpr int defaultColumnWidthPixels = 78;

} // namespace

ListView::ListView(QWidget *parent)
    : QTreeWidget(parent)
{
    setSortingEnabled(false);
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setColumnCount(0);
}

void ListView::setReportView()
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setHeaderHidden(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

float ListView::widthInTwips() const
{
    return float(width() * Design::twipsPerPixel);
}

void ListView::addColumnHeader(const QString &text, std::optional<float> widthTwips)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    QTreeWidgetItem *headers = headerItem();
    headers->setText(column, text);
    const float twips = widthTwips.value_or(float(defaultColumnWidthPixels * Design::twipsPerPixel));
    setColumnWidth(column, int(std::lround(twips / Design::twipsPerPixel)));
}

void ListView::clearItems()
{
    m_keys.clear();
    clear();
}

QTreeWidgetItem *ListView::addItem(const QString &key, const QString &text)
{
    if (!key.isEmpty() && m_keys.contains(key))
        throw RuntimeError(tr("列表中已经有键为“%1”的行。").arg(key));
    auto *row = new QTreeWidgetItem(QStringList{text});
    addTopLevelItem(row);
    if (!key.isEmpty())
        m_keys.insert(key, row);
    return row;
}

QTreeWidgetItem *ListView::item(qsizetype position) const
{
    if (position < 1 || position > topLevelItemCount())
        throw RuntimeError(tr("列表中没有第 %1 行。").arg(position));
    return topLevelItem(int(position - 1));
}

QTreeWidgetItem *ListView::item(const QString &key) const
{
    QTreeWidgetItem *row = m_keys.value(key);
    if (!row)
        throw RuntimeError(tr("列表中没有键为“%1”的行。").arg(key));
    return row;
}

void ListView::setSubItem(QTreeWidgetItem *row, int index, const QString &text)
{
    if (index < 1 || index >= columnCount())
        throw RuntimeError(tr("列表中没有第 %1 个子项。").arg(index));
    row->setText(index, text);
}
