// SPDX-License-Identifier: MIT
#pragma once

#include "cellstrokes.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include <vector>

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

    // Orders the rows by their names' strokes, stably; or back to the
    // order they came in.
    void sortByStrokes();
    void restoreInputOrder();
    bool isSorted() const { return m_state.sorted; }

    // How many rows have a name with a character without a count.
    qsizetype unknownRowCount() const { return m_state.unknownRows; }

    // All the model shows, to be put back as it was: the records are
    // shared, not copied, so keeping one costs little.
    struct State
    {
        QList<QStringList> records;
        int width = 0;
        bool firstIsHeader = false;
        int nameColumn = 0;
        bool sorted = false;
        // The record shown in each row.
        std::vector<qint32> shown;
        // Per record: its name's summary.
        std::vector<CellStrokes::Summary> summaries;
        qsizetype unknownRows = 0;
    };
    const State &state() const { return m_state; }
    void setState(State state);

    // The records of the shown rows ROWS (all, when empty) in the order
    // shown, the header first when there is one and every row goes.
    QList<QStringList> shownRecords(QList<int> rows = {}) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    qsizetype firstDataRecord() const { return m_state.firstIsHeader ? 1 : 0; }
    void rebuildOrder();
    void countNames();
    QStringView nameOf(qsizetype record) const;
    QVariant addedCell(qsizetype record, int column) const;
    QString cellText(qsizetype record, int column) const;
    QVariant toolTip(qsizetype record, int column) const;
    QString unknownToolTip(qsizetype record) const;

    const CellStrokes &m_strokes;
    const StrokeOrder &m_order;
    State m_state;
};
