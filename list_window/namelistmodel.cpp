// SPDX-License-Identifier: MIT
#include "namelistmodel.h"

#include "character.h"
#include "strokeorder.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>

using namespace Qt::StringLiterals;

namespace {

// A row whose name has a character without a count stands out in a light
// warning colour, in dark text whatever the colour scheme.
const QColor unknownBackground(0xFF, 0xE0, 0xB2);
const QColor unknownForeground(Qt::black);
// The tooltip names this many characters at most.
constexpr qsizetype namedUnknownLimit = 8;

} // namespace

NameListModel::NameListModel(const CellStrokes &strokes, const StrokeOrder &order, QObject *parent)
    : QAbstractTableModel(parent)
    , m_strokes(strokes)
    , m_order(order)
{
}

void NameListModel::setRecords(QList<QStringList> records, bool firstIsHeader, int nameColumn)
{
    beginResetModel();
    m_records = std::move(records);
    m_width = 0;
    for (const QStringList &record : std::as_const(m_records))
        m_width = std::max(m_width, int(record.size()));
    m_firstIsHeader = firstIsHeader && !m_records.isEmpty();
    m_nameColumn = std::clamp(nameColumn, 0, std::max(m_width - 1, 0));
    m_sorted = false;
    countNames();
    rebuildOrder();
    endResetModel();
}

void NameListModel::setFirstIsHeader(bool firstIsHeader)
{
    if (firstIsHeader == m_firstIsHeader || m_records.isEmpty())
        return;
    beginResetModel();
    m_firstIsHeader = firstIsHeader;
    countNames();
    rebuildOrder();
    endResetModel();
}

void NameListModel::setNameColumn(int column)
{
    if (column == m_nameColumn || column < 0 || column >= m_width)
        return;
    beginResetModel();
    m_nameColumn = column;
    countNames();
    rebuildOrder();
    endResetModel();
}

QString NameListModel::cellColumnTitle(int column) const
{
    if (m_firstIsHeader && column < m_records.first().size() && !m_records.first().at(column).isEmpty())
        return m_records.first().at(column);
    return tr("第 %1 列").arg(column + 1);
}

void NameListModel::sortByStrokes()
{
    beginResetModel();
    m_sorted = true;
    rebuildOrder();
    endResetModel();
}

void NameListModel::restoreInputOrder()
{
    beginResetModel();
    m_sorted = false;
    rebuildOrder();
    endResetModel();
}

void NameListModel::countNames()
{
    m_summaries.assign(size_t(m_records.size()), {});
    m_unknownRows = 0;
    for (qsizetype record = firstDataRecord(); record < m_records.size(); ++record) {
        m_summaries[size_t(record)] = m_strokes.summarize(nameOf(record));
        if (m_summaries[size_t(record)].unknown > 0)
            ++m_unknownRows;
    }
}

void NameListModel::rebuildOrder()
{
    const qsizetype first = firstDataRecord();
    m_shown.resize(size_t(m_records.size() - first));
    std::iota(m_shown.begin(), m_shown.end(), qint32(first));
    if (!m_sorted)
        return;
    // The ranks of a name's first two characters, packed into one number,
    // decide most comparisons without touching the whole keys. A rank is
    // never 0, so a shorter name packs lower, as its key compares.
    struct Row
    {
        std::uint64_t prefix;
        qint32 record;
    };
    constexpr int rankBits = 32;
    std::vector<std::u32string> keys(m_shown.size());
    std::vector<Row> rows(m_shown.size());
    for (size_t i = 0; i < m_shown.size(); ++i) {
        std::u32string &key = keys[i];
        m_order.appendKey(nameOf(m_shown[i]), &key);
        const std::uint64_t high = key.empty() ? 0 : key[0];
        const std::uint64_t low = key.size() < 2 ? 0 : key[1];
        rows[i] = {(high << rankBits) | low, qint32(i)};
    }
    std::stable_sort(rows.begin(), rows.end(), [&keys](const Row &a, const Row &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return keys[size_t(a.record)] < keys[size_t(b.record)];
    });
    for (size_t i = 0; i < rows.size(); ++i)
        m_shown[i] = qint32(first) + rows[i].record;
}

QStringView NameListModel::nameOf(qsizetype record) const
{
    const QStringList &cells = m_records.at(record);
    return m_nameColumn < cells.size() ? QStringView(cells.at(m_nameColumn)) : QStringView();
}

QList<QStringList> NameListModel::shownRecords(QList<int> rows) const
{
    QList<QStringList> result;
    if (rows.isEmpty()) {
        result.reserve(m_records.size());
        if (m_firstIsHeader)
            result.append(m_records.first());
        for (const qint32 record : m_shown)
            result.append(m_records.at(record));
        return result;
    }
    std::sort(rows.begin(), rows.end());
    for (const int row : std::as_const(rows)) {
        if (row >= 0 && size_t(row) < m_shown.size())
            result.append(m_records.at(m_shown[size_t(row)]));
    }
    return result;
}

int NameListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int NameListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || m_records.isEmpty() ? 0 : m_width + AddedColumnCount;
}

QVariant NameListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_shown.size())
        return {};
    const qsizetype record = m_shown[size_t(index.row())];
    const bool unknown = m_summaries[size_t(record)].unknown > 0;
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() < m_width) {
            const QStringList &cells = m_records.at(record);
            return index.column() < cells.size() ? cells.at(index.column()) : QString();
        }
        return addedCell(record, index.column() - m_width);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return unknown ? unknownToolTip(record) : QVariant();
    case Qt::BackgroundRole:
        return unknown ? QBrush(unknownBackground) : QVariant();
    case Qt::ForegroundRole:
        return unknown ? QBrush(unknownForeground) : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == m_width + TotalColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant NameListModel::addedCell(qsizetype record, int column) const
{
    switch (column) {
    case TotalColumn:
        return CellStrokes::totalText(m_summaries[size_t(record)]);
    case EachColumn:
        return m_strokes.each(nameOf(record));
    case FirstStrokeColumn:
        return m_strokes.firstStroke(nameOf(record));
    default:
        return {};
    }
}

QString NameListModel::unknownToolTip(qsizetype record) const
{
    const QList<char32_t> unknown = m_strokes.unknownCharacters(nameOf(record));
    QStringList named;
    for (qsizetype i = 0; i < unknown.size() && i < namedUnknownLimit; ++i) {
        const char32_t codePoint = unknown.at(i);
        named.append(tr("“%1”（%2）").arg(QString::fromUcs4(&codePoint, 1), Character::codePointName(codePoint)));
    }
    if (unknown.size() > namedUnknownLimit)
        named.append(tr("等 %1 个字").arg(unknown.size()));
    return tr("没有笔画数的字：%1").arg(named.join(u"、"_s));
}

QVariant NameListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < m_width)
        return cellColumnTitle(section);
    switch (section - m_width) {
    case TotalColumn:
        return tr("笔画");
    case EachColumn:
        return tr("各字笔画");
    case FirstStrokeColumn:
        return tr("起笔");
    default:
        return {};
    }
}
