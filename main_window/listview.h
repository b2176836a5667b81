// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QTreeWidget>

#include <optional>

// A list of rows under column headers, in the order they were added, each
// row found by its 1-based position or by an optional unique key.
class ListView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit ListView(QWidget *parent = nullptr);

    // One row per item with the column headers above.
    void setReportView();
    // The outer width, in twips.
    float widthInTwips() const;
    // Appends a column; without a width it takes the default one.
    void addColumnHeader(const QString &text, std::optional<float> widthTwips = std::nullopt);

    void clearItems();
    // Appends a row. A non-empty KEY must not be in use already.
    QTreeWidgetItem *addItem(const QString &key, const QString &text);
    // The row at 1-based POSITION, or the row with KEY; an error if none.
    QTreeWidgetItem *item(qsizetype position) const;
    QTreeWidgetItem *item(const QString &key) const;
    // Sets the text of sub-item INDEX (1 is the second column) of ROW.
    void setSubItem(QTreeWidgetItem *row, int index, const QString &text);

private:
    QHash<QString, QTreeWidgetItem *> m_keys;
};
