// SPDX-License-Identifier: MIT
#pragma once

#include "cellstrokes.h"
#include "namerule.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class NameOrder;
class StrokeOrder;

// A name list as the window shows it: the records as they came, one of
// their columns chosen as the names, and beside the cells each name's
// strokes. The rows are shown in the order they came in or in the order
// of the names' strokes.
class NameListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The columns after the records' own cells.
    enum AddedColumn { TotalColumn, EachColumn, FirstStrokeColumn, AddedColumnCount };

    NameListModel(const CellStrokes &strokes, const StrokeOrder &order, QObject *parent = nullptr);
    ~NameListModel() override;

    // Takes RECORDS as the new list, in the order they came in.
    void setRecords(QList<QStringList> records, bool firstIsHeader, int nameColumn);
    void setFirstIsHeader(bool firstIsHeader);
    void setNameColumn(int column);

    const QList<QStringList> &records() const { return m_state.records; }
    bool firstIsHeader() const { return m_state.firstIsHeader; }
    int nameColumn() const { return m_state.nameColumn; }
    // How many columns the records have: the widest record's cells.
    int cellColumnCount() const { return m_state.width; }
    // The caption of cell column COLUMN: the header's cell or its number.
    QString cellColumnTitle(int column) const;

    // How the rows are ordered, stably: by the cells of COLUMN (the names
    // when -1), descending when asked, within groups of equal cells of
    // GROUPCOLUMN when that is not -1. The names go by RULE, other columns
    // of Chinese text by strokes character by character, the rest plainly:
    // numbers as numbers, then text by code point. Blank cells come last.
    struct SortKeys
    {
        int column = -1;
        bool descending = false;
        int groupColumn = -1;
        NameRule rule = NameRule::Surname;
        bool operator==(const SortKeys &) const = default;
    };
    void sortBy(const SortKeys &keys);
    void sortByStrokes(NameRule rule = NameRule::Surname) { sortBy({-1, false, -1, rule}); }
    // Back to the order the rows came in.
    void restoreInputOrder();
    bool isSorted() const { return m_state.sorted; }
    const SortKeys &sortKeys() const { return m_state.sortKeys; }

    // How many rows have a name with a character without a count.
    qsizetype unknownRowCount() const { return m_state.unknownRows; }

    // All the model shows, to be put back as it was: its lists are shared,
    // not copied, until one of them changes, so keeping one costs little.
    struct State
    {
        QList<QStringList> records;
        int width = 0;
        bool firstIsHeader = false;
        int nameColumn = 0;
        bool sorted = false;
        SortKeys sortKeys;
        // The record shown in each row.
        QList<qint32> shown;
        // Per record: its name's summary.
        QList<CellStrokes::Summary> summaries;
        qsizetype unknownRows = 0;
    };
    const State &state() const { return m_state; }
    void setState(State state);

    // The records of the shown rows ROWS (all, when empty) in the order
    // shown, the header first when there is one and every row goes; with
    // the counts shown beside them when asked, and the sequence column
    // renumbered as shown.
    enum class Counts { Left, Added };
    QList<QStringList> shownRecords(QList<int> rows = {}, Counts counts = Counts::Left) const;

    // The column numbering the rows 1, 2, 3 … in the order they came, or
    // -1; and whether it shows the rows' numbers in the order shown.
    int sequenceColumn() const { return m_sequenceColumn; }
    void setRenumbered(bool renumbered);
    bool isRenumbered() const { return m_renumbered; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    qsizetype firstDataRecord() const { return m_state.firstIsHeader ? 1 : 0; }
    void rebuildOrder();
    // Per data record, the rank of its cell in COLUMN under the sort's
    // rules: equal cells rank alike, blank ones highest.
    std::vector<std::uint32_t> columnRanks(int column, NameRule rule) const;
    std::vector<std::uint32_t> strokeRanks(int column, NameRule rule) const;
    std::vector<std::uint32_t> plainRanks(int column) const;
    bool holdsChinese(int column) const;
    const NameOrder &nameOrder(NameRule rule) const;
    QStringView cellOf(qsizetype record, int column) const;
    void countNames();
    QStringView nameOf(qsizetype record) const;
    QVariant addedCell(qsizetype record, int column) const;
    QString cellText(qsizetype record, int column) const;
    QVariant toolTip(qsizetype record, int column) const;
    QString unknownToolTip(qsizetype record) const;
    void findSequenceColumn();
    QStringList outputRecord(qsizetype record, qsizetype row, Counts counts) const;

    const CellStrokes &m_strokes;
    const StrokeOrder &m_order;
    State m_state;
    int m_sequenceColumn = -1;
    bool m_renumbered = false;
    // Made when first needed: the 繁體 rule's collator takes a while.
    mutable std::array<std::unique_ptr<NameOrder>, 3> m_nameOrders;
};
