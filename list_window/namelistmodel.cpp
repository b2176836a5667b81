// SPDX-License-Identifier: MIT
#include "namelistmodel.h"

#include "character.h"
#include "nameorder.h"
#include "strokeorder.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <cstdint>
#include <limits>
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
// The rank of a blank cell, after every other.
constexpr std::uint32_t blankRank = std::numeric_limits<std::uint32_t>::max();
// Whether a column holds Chinese text shows in its first rows.
constexpr qsizetype sampledRows = 1000;
// A cell longer than this is shown shortened, whole in its tooltip: a
// megabyte of text in one cell would take seconds at every repaint.
constexpr qsizetype longestShownCell = 200;
// Nor can a tooltip show a megabyte; past this it says how long the cell is.
constexpr qsizetype longestToolTip = 2000;

// The first LENGTH code units of TEXT, or one fewer where that would
// split a character.
QStringView startOf(QStringView text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    return text.first(text.at(length - 1).isHighSurrogate() ? length - 1 : length);
}

QString shortened(const QString &text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    return startOf(text, length).toString() + u'…';
}

} // namespace

NameListModel::NameListModel(const CellStrokes &strokes, const StrokeOrder &order, QObject *parent)
    : QAbstractTableModel(parent)
    , m_strokes(strokes)
    , m_order(order)
{
}

NameListModel::~NameListModel() = default;

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
    findSequenceColumn();
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

void NameListModel::sortBy(const SortKeys &keys)
{
    beginResetModel();
    m_state.sorted = true;
    m_state.sortKeys = keys;
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
    findSequenceColumn();
    m_state.summaries = QList<CellStrokes::Summary>(m_state.records.size());
    m_state.unknownRows = 0;
    for (qsizetype record = firstDataRecord(); record < m_state.records.size(); ++record) {
        m_state.summaries[record] = m_strokes.summarize(nameOf(record));
        if (m_state.summaries[record].unknown > 0)
            ++m_state.unknownRows;
    }
}

void NameListModel::rebuildOrder()
{
    const qsizetype first = firstDataRecord();
    m_state.shown.resize(m_state.records.size() - first);
    std::iota(m_state.shown.begin(), m_state.shown.end(), qint32(first));
    if (!m_state.sorted)
        return;
    const SortKeys &keys = m_state.sortKeys;
    const int column = keys.column < 0 ? m_state.nameColumn : keys.column;
    const std::vector<std::uint32_t> primary = columnRanks(column, keys.rule);
    std::vector<std::uint32_t> group;
    if (keys.groupColumn >= 0 && keys.groupColumn != column)
        group = columnRanks(keys.groupColumn, keys.rule);
    // Blank cells stay last in either direction.
    const auto before = [descending = keys.descending](std::uint32_t a, std::uint32_t b) {
        if (a == blankRank || b == blankRank)
            return a != blankRank && b == blankRank;
        return descending ? b < a : a < b;
    };
    std::stable_sort(m_state.shown.begin(), m_state.shown.end(), [&](qint32 a, qint32 b) {
        const size_t i = size_t(a - first);
        const size_t j = size_t(b - first);
        if (!group.empty() && group[i] != group[j])
            return group[i] == blankRank ? false : group[j] == blankRank || group[i] < group[j];
        return before(primary[i], primary[j]);
    });
}

std::vector<std::uint32_t> NameListModel::columnRanks(int column, NameRule rule) const
{
    if (column == m_state.nameColumn)
        return strokeRanks(column, rule);
    // Other Chinese text (a unit, a place) is no name: character by character.
    return holdsChinese(column) ? strokeRanks(column, NameRule::FullName) : plainRanks(column);
}

std::vector<std::uint32_t> NameListModel::strokeRanks(int column, NameRule rule) const
{
    const NameOrder &order = nameOrder(rule);
    const qsizetype first = firstDataRecord();
    const size_t count = size_t(m_state.records.size() - first);
    // The ranks of a cell's first two characters, packed into one number,
    // decide most comparisons without touching the whole keys. A rank is
    // never 0, so a shorter key packs lower, as it compares.
    struct Row
    {
        std::uint64_t prefix;
        qint32 index;
    };
    constexpr int rankBits = 32;
    std::vector<std::u32string> keys(count);
    std::vector<Row> rows(count);
    for (size_t i = 0; i < count; ++i) {
        std::u32string &key = keys[i];
        order.appendKey(cellOf(first + qsizetype(i), column), &key);
        const std::uint64_t high = key.empty() ? 0 : key[0];
        const std::uint64_t low = key.size() < 2 ? 0 : key[1];
        rows[i] = {(high << rankBits) | low, qint32(i)};
    }
    std::sort(rows.begin(), rows.end(), [&keys](const Row &a, const Row &b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return keys[size_t(a.index)] < keys[size_t(b.index)];
    });
    std::vector<std::uint32_t> ranks(count);
    std::uint32_t rank = 0;
    for (size_t i = 0; i < count; ++i) {
        const std::u32string &key = keys[size_t(rows[i].index)];
        if (i > 0 && key != keys[size_t(rows[i - 1].index)])
            ++rank;
        const bool blank = key.size() == 1 && key.front() == order.highestRank();
        ranks[size_t(rows[i].index)] = blank ? blankRank : rank;
    }
    return ranks;
}

std::vector<std::uint32_t> NameListModel::plainRanks(int column) const
{
    const qsizetype first = firstDataRecord();
    const size_t count = size_t(m_state.records.size() - first);
    struct Cell
    {
        bool number;
        double value;
        QStringView text;
        bool operator<(const Cell &other) const
        {
            if (number != other.number)
                return number;
            return number ? value < other.value : text < other.text;
        }
    };
    std::vector<Cell> cells(count);
    std::vector<qint32> order(count);
    for (size_t i = 0; i < count; ++i) {
        const QStringView text = cellOf(first + qsizetype(i), column).trimmed();
        bool number = false;
        const double value = text.toDouble(&number);
        cells[i] = {number, value, text};
        order[i] = qint32(i);
    }
    std::sort(order.begin(), order.end(), [&cells](qint32 a, qint32 b) { return cells[size_t(a)] < cells[size_t(b)]; });
    std::vector<std::uint32_t> ranks(count);
    std::uint32_t rank = 0;
    for (size_t i = 0; i < count; ++i) {
        const Cell &cell = cells[size_t(order[i])];
        if (i > 0 && cells[size_t(order[i - 1])] < cell)
            ++rank;
        ranks[size_t(order[i])] = cell.text.isEmpty() ? blankRank : rank;
    }
    return ranks;
}

bool NameListModel::holdsChinese(int column) const
{
    qsizetype filled = 0;
    qsizetype chinese = 0;
    const qsizetype end = std::min(m_state.records.size(), firstDataRecord() + sampledRows);
    for (qsizetype record = firstDataRecord(); record < end; ++record) {
        const QStringView cell = cellOf(record, column);
        filled += cell.isEmpty() ? 0 : 1;
        chinese += std::any_of(cell.begin(), cell.end(), [](QChar c) {
            return c.script() == QChar::Script_Han || c.isHighSurrogate();
        }) ? 1 : 0;
    }
    return chinese * 2 > filled;
}

const NameOrder &NameListModel::nameOrder(NameRule rule) const
{
    std::unique_ptr<NameOrder> &order = m_nameOrders.at(size_t(rule));
    if (!order)
        order = std::make_unique<NameOrder>(m_order, rule);
    return *order;
}

QStringView NameListModel::cellOf(qsizetype record, int column) const
{
    const QStringList &cells = m_state.records.at(record);
    return column < cells.size() ? QStringView(cells.at(column)) : QStringView();
}

QStringView NameListModel::nameOf(qsizetype record) const
{
    return cellOf(record, m_state.nameColumn);
}

QList<QStringList> NameListModel::shownRecords(QList<int> rows, Counts counts) const
{
    QList<QStringList> result;
    const bool everyRow = rows.isEmpty();
    if (everyRow) {
        rows.resize(m_state.shown.size());
        std::iota(rows.begin(), rows.end(), 0);
    }
    std::sort(rows.begin(), rows.end());
    result.reserve(rows.size() + 1);
    if (everyRow && m_state.firstIsHeader)
        result.append(outputRecord(0, -1, counts));
    for (const int row : std::as_const(rows)) {
        if (row >= 0 && row < m_state.shown.size())
            result.append(outputRecord(m_state.shown.at(row), row, counts));
    }
    return result;
}

QStringList NameListModel::outputRecord(qsizetype record, qsizetype row, Counts counts) const
{
    const bool renumber = m_renumbered && row >= 0 && m_sequenceColumn >= 0;
    if (counts == Counts::Left && !renumber)
        return m_state.records.at(record);
    QStringList cells = m_state.records.at(record);
    if (renumber)
        cells[m_sequenceColumn] = QString::number(row + 1);
    if (counts == Counts::Added) {
        cells.resize(m_state.width);
        for (int added = 0; added < AddedColumnCount; ++added) {
            cells.append(row < 0 ? headerData(m_state.width + added, Qt::Horizontal).toString()
                                 : addedCell(record, added).toString());
        }
    }
    return cells;
}

void NameListModel::setRenumbered(bool renumbered)
{
    if (renumbered == m_renumbered)
        return;
    m_renumbered = renumbered;
    if (m_sequenceColumn >= 0 && rowCount() > 0)
        emit dataChanged(index(0, m_sequenceColumn), index(rowCount() - 1, m_sequenceColumn));
}

void NameListModel::findSequenceColumn()
{
    m_sequenceColumn = -1;
    const qsizetype first = firstDataRecord();
    if (m_state.records.size() - first < 2)
        return;
    for (int column = 0; column < m_state.width && m_sequenceColumn < 0; ++column) {
        bool counting = true;
        for (qsizetype record = first; counting && record < m_state.records.size(); ++record)
            counting = cellOf(record, column).trimmed() == QString::number(record - first + 1);
        if (counting)
            m_sequenceColumn = column;
    }
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
    if (!index.isValid() || index.row() >= m_state.shown.size())
        return {};
    const qsizetype record = m_state.shown.at(index.row());
    const bool unknown = m_state.summaries.at(record).unknown > 0;
    switch (role) {
    case Qt::DisplayRole:
        if (m_renumbered && index.column() == m_sequenceColumn)
            return index.row() + 1;
        // Each character's count takes at least one character shown, so the
        // start of a long name is all the shortened column needs.
        if (index.column() == m_state.width + EachColumn)
            return shortened(m_strokes.each(startOf(nameOf(record), longestShownCell)), longestShownCell);
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
    if (m_state.summaries.at(record).unknown > 0)
        parts.append(unknownToolTip(record));
    // The counts of a long name are shown shortened, with no more to tell.
    const QString text = column < m_state.width ? cellText(record, column) : QString();
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
        return CellStrokes::totalText(m_state.summaries.at(record));
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
        return shortened(cellColumnTitle(section), longestShownCell);
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
