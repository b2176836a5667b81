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
// A cell longer than this is shown shortened, whole in its tooltip: a
// megabyte of text in one cell would take seconds at every repaint.
constexpr qsizetype longestShownCell = 200;
// Nor can a tooltip show a megabyte; past this it says how long the cell is.
constexpr qsizetype longestToolTip = 2000;

QString shortened(const QString &text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    // Not between the halves of a character.
    const qsizetype cut = text.at(length - 1).isHighSurrogate() ? length - 1 : length;
    return text.left(cut) + u'…';
}

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
    m_state.records = std::move(records);
    m_state.width = 0;
    for (const QStringList &record : std::as_const(m_state.records))
        m_state.width = std::max(m_state.width, int(record.size()));
    m_state.firstIsHeader = firstIsHeader && !m_state.records.isEmpty();
    m_state.nameColumn = std::clamp(nameColumn, 0, std::max(m_state.width - 1, 0));
    m_state.sorted = false;
    countNames();
    rebuildOrder();
    endResetModel();
}

void NameListModel::setState(State state)
{
    beginResetModel();
    m_state = std::move(state);
    endResetModel();
}

void NameListModel::setFirstIsHeader(bool firstIsHeader)
{
    if (firstIsHeader == m_state.firstIsHeader || m_state.records.isEmpty())
        return;
    beginResetModel();
    m_state.firstIsHeader = firstIsHeader;
    countNames();
    rebuildOrder();
    endResetModel();
}

void NameListModel::setNameColumn(int column)
{
    if (column == m_state.nameColumn || column < 0 || column >= m_state.width)
        return;
    beginResetModel();
    m_state.nameColumn = column;
    countNames();
    rebuildOrder();
    endResetModel();
}

QString NameListModel::cellColumnTitle(int column) const
{
    if (m_state.firstIsHeader && column < m_state.records.first().size() && !m_state.records.first().at(column).isEmpty())
        return m_state.records.first().at(column);
    return tr("第 %1 列").arg(column + 1);
}

void NameListModel::sortByStrokes()
{
    beginResetModel();
    m_state.sorted = true;
    rebuildOrder();
    endResetModel();
}

void NameListModel::restoreInputOrder()
{
    beginResetModel();
    m_state.sorted = false;
    rebuildOrder();
    endResetModel();
}

void NameListModel::countNames()
{
    m_state.summaries.assign(size_t(m_state.records.size()), {});
    m_state.unknownRows = 0;
    for (qsizetype record = firstDataRecord(); record < m_state.records.size(); ++record) {
        m_state.summaries[size_t(record)] = m_strokes.summarize(nameOf(record));
        if (m_state.summaries[size_t(record)].unknown > 0)
            ++m_state.unknownRows;
    }
}

void NameListModel::rebuildOrder()
{
    const qsizetype first = firstDataRecord();
    m_state.shown.resize(size_t(m_state.records.size() - first));
    std::iota(m_state.shown.begin(), m_state.shown.end(), qint32(first));
    if (!m_state.sorted)
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
    std::vector<std::u32string> keys(m_state.shown.size());
    std::vector<Row> rows(m_state.shown.size());
    for (size_t i = 0; i < m_state.shown.size(); ++i) {
        std::u32string &key = keys[i];
        m_order.appendKey(nameOf(m_state.shown[i]), &key);
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
        m_state.shown[i] = qint32(first) + rows[i].record;
}

QStringView NameListModel::nameOf(qsizetype record) const
{
    const QStringList &cells = m_state.records.at(record);
    return m_state.nameColumn < cells.size() ? QStringView(cells.at(m_state.nameColumn)) : QStringView();
}

QList<QStringList> NameListModel::shownRecords(QList<int> rows) const
{
    QList<QStringList> result;
    if (rows.isEmpty()) {
        result.reserve(m_state.records.size());
        if (m_state.firstIsHeader)
            result.append(m_state.records.first());
        for (const qint32 record : m_state.shown)
            result.append(m_state.records.at(record));
        return result;
    }
    std::sort(rows.begin(), rows.end());
    for (const int row : std::as_const(rows)) {
        if (row >= 0 && size_t(row) < m_state.shown.size())
            result.append(m_state.records.at(m_state.shown[size_t(row)]));
    }
    return result;
}

int NameListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_state.shown.size());
}

int NameListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() || m_state.records.isEmpty() ? 0 : m_state.width + AddedColumnCount;
}

QVariant NameListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_state.shown.size())
        return {};
    const qsizetype record = m_state.shown[size_t(index.row())];
    const bool unknown = m_state.summaries[size_t(record)].unknown > 0;
    switch (role) {
    case Qt::DisplayRole:
        return shortened(cellText(record, index.column()), longestShownCell);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return toolTip(record, index.column());
    case Qt::BackgroundRole:
        return unknown ? QBrush(unknownBackground) : QVariant();
    case Qt::ForegroundRole:
        return unknown ? QBrush(unknownForeground) : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == m_state.width + TotalColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QString NameListModel::cellText(qsizetype record, int column) const
{
    if (column < m_state.width) {
        const QStringList &cells = m_state.records.at(record);
        return column < cells.size() ? cells.at(column) : QString();
    }
    return addedCell(record, column - m_state.width).toString();
}

QVariant NameListModel::toolTip(qsizetype record, int column) const
{
    QStringList parts;
    if (m_state.summaries[size_t(record)].unknown > 0)
        parts.append(unknownToolTip(record));
    const QString text = cellText(record, column);
    if (text.size() > longestShownCell) {
        parts.append(shortened(text, longestToolTip));
        if (text.size() > longestToolTip)
            parts.append(tr("（共 %1 个字符）").arg(text.size()));
    }
    return parts.isEmpty() ? QVariant() : QVariant(parts.join(u'\n'));
}

QVariant NameListModel::addedCell(qsizetype record, int column) const
{
    switch (column) {
    case TotalColumn:
        return CellStrokes::totalText(m_state.summaries[size_t(record)]);
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
    if (section < m_state.width)
        return cellColumnTitle(section);
    switch (section - m_state.width) {
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
