// SPDX-License-Identifier: MIT
#include "stroketable.h"

#include "character.h"
#include "dataerror.h"
#include "runtimeerror.h"
#include "strokedb.h"
#include "strokelookup.h"
#include "utf8.h"

#include <QVariant>

#include <algorithm>
#include <limits>
#include <new>

using namespace Qt::StringLiterals;

namespace {

const QStringList rowColumns{StrokeDb::characterColumn.toString(), StrokeDb::strokeCountColumn.toString()};
const QString oneKeyQuery = u"select %1, %2 from %3 where %1 = ?"_s.arg(StrokeDb::characterColumn,
                                                                       StrokeDb::strokeCountColumn,
                                                                       StrokeDb::strokeTable);

constexpr char32_t noCodePoint = 0xFFFFFFFF;

// The blocks whose characters each stand for one ordinary character: CJK
// radicals supplement, Kangxi radicals, and the two blocks of compatibility
// ideographs.
struct Block
{
    char32_t first;
    char32_t last;
};
constexpr Block compatibilityBlocks[] = {
    {0x2E80, 0x2EFF},
    {0x2F00, 0x2FDF},
    {0xF900, 0xFAFF},
    {0x2F800, 0x2FA1F},
};

bool isInCompatibilityBlock(char32_t codePoint)
{
    return std::any_of(std::begin(compatibilityBlocks), std::end(compatibilityBlocks),
                       [codePoint](const Block &block) { return codePoint >= block.first && codePoint <= block.last; });
}

// The one code point that CODEPOINT's compatibility form normalizes to, or
// noCodePoint when it normalizes to itself or to several.
char32_t compatibilityTarget(char32_t codePoint)
{
    const QList<uint> normalized =
            QString::fromUcs4(&codePoint, 1).normalized(QString::NormalizationForm_KC).toUcs4();
    return normalized.size() == 1 && normalized.front() != codePoint ? char32_t(normalized.front()) : noCodePoint;
}

// The one code point that the UTF-8 text of a key spells, or noCodePoint
// when it spells none or several: the window looks up single code points
// only, so such a row can never match.
char32_t soleCodePoint(const unsigned char *text, int length)
{
    const unsigned char *end = text + length;
    char32_t codePoint = noCodePoint;
    if (length <= 0 || Utf8::decode(text, end, &codePoint) != end)
        return noCodePoint;
    return codePoint;
}

// The count VALUE converted exactly as the window's lookup converts it, or
// false where the lookup would fail.
bool strokeCountOf(const data::Value &value, qint16 *count)
{
    QVariant converted;
    switch (value.type) {
    case data::Value::Integer:
        if (value.integer < std::numeric_limits<qint16>::min() || value.integer > std::numeric_limits<qint16>::max())
            return false;
        *count = qint16(value.integer);
        return true;
    case data::Value::Real:
        converted = value.real;
        break;
    case data::Value::Text:
        converted = QString::fromUtf8(value.bytes);
        break;
    case data::Value::Blob:
        converted = value.bytes.toByteArray();
        break;
    case data::Value::Null:
        return false;
    }
    try {
        *count = StrokeLookup::toStrokeCount(converted, QString());
        return true;
    } catch (const RuntimeError &) {
        return false;
    }
}

// The code point that the text VALUE spells alone, or noCodePoint.
char32_t keyOf(const data::Value &value)
{
    if (value.type != data::Value::Text)
        return noCodePoint;
    return soleCodePoint(reinterpret_cast<const unsigned char *>(value.bytes.data()), int(value.bytes.size()));
}

} // namespace

void StrokeTable::clear()
{
    m_counts.reset(static_cast<qint16 *>(std::calloc(codePointLimit, sizeof(qint16))));
    if (!m_counts)
        throw std::bad_alloc();
    m_known.assign(codePointLimit / wordBits, 0);
    m_selectorCounts.clear();
    m_size = 0;
    m_implausible = 0;
}

void StrokeTable::setCount(char32_t codePoint, qint16 count)
{
    ++m_size;
    if (count <= 0)
        ++m_implausible;
    if (Character::isVariationSelector(codePoint)) {
        m_selectorCounts.insert(codePoint, count);
        return;
    }
    m_counts[codePoint] = count;
    setKnown(codePoint);
}

void StrokeTable::load(data::Connection &conn)
{
    clear();
    // Characters whose first row holds a count the lookup refuses: later
    // rows of theirs must not give them one.
    QSet<char32_t> refused;
    conn.forEachTableRow(StrokeDb::strokeTable, rowColumns, [&](std::span<const data::Value> values) {
        const char32_t codePoint = keyOf(values[0]);
        if (codePoint == noCodePoint || isLeadingKnown(codePoint)
            || (!refused.isEmpty() && refused.contains(codePoint)))
            return;
        qint16 count = 0;
        if (strokeCountOf(values[1], &count)) {
            setCount(codePoint, count);
        } else {
            refused.insert(codePoint);
            if (values[1].type == data::Value::Integer || values[1].type == data::Value::Real)
                ++m_implausible;
        }
    });
    addCompatibilityForms();
}

void StrokeTable::loadCharacters(data::Connection &conn, const QList<char32_t> &codePoints)
{
    clear();
    for (const char32_t codePoint : withCompatibilityTargets(codePoints)) {
        if (codePoint >= codePointLimit || isLeadingKnown(codePoint))
            continue;
        // The key's own collation may match other keys too; the first row
        // keyed by exactly this code point is the one load() takes.
        bool taken = false;
        conn.forEachQueryRow(oneKeyQuery, {QString::fromUcs4(&codePoint, 1)}, [&](std::span<const data::Value> values) {
            if (taken || keyOf(values[0]) != codePoint)
                return;
            taken = true;
            qint16 count = 0;
            if (strokeCountOf(values[1], &count))
                setCount(codePoint, count);
        });
    }
    addCompatibilityForms();
}

QList<char32_t> StrokeTable::withCompatibilityTargets(const QList<char32_t> &codePoints)
{
    QList<char32_t> all = codePoints;
    for (const char32_t codePoint : codePoints) {
        const char32_t target = isInCompatibilityBlock(codePoint) ? compatibilityTarget(codePoint) : noCodePoint;
        if (target != noCodePoint)
            all.append(target);
    }
    return all;
}

// Done once over the few blocks, after the rows: the counting loops then
// index these forms as they do every other character.
void StrokeTable::addCompatibilityForms()
{
    m_compatibilityForms.clear();
    for (const Block &block : compatibilityBlocks) {
        for (char32_t codePoint = block.first; codePoint <= block.last; ++codePoint) {
            if (isKnown(codePoint))
                continue;
            const char32_t target = compatibilityTarget(codePoint);
            if (target == noCodePoint || !isKnown(target))
                continue;
            m_counts[codePoint] = m_counts[target];
            setKnown(codePoint);
            m_compatibilityForms.insert(codePoint);
        }
    }
}

void StrokeTable::loadCommon(data::Connection &conn, const QString &databasePath)
{
    m_common.clear();
    try {
        conn.forEachTableRow(StrokeDb::commonTable, {StrokeDb::commonCharacterColumn.toString()},
                             [&](std::span<const data::Value> values) {
            const char32_t codePoint = keyOf(values[0]);
            if (codePoint != noCodePoint)
                m_common.insert(codePoint);
        });
    } catch (const data::Error &) {
        throw RuntimeError(tr("笔画数据库“%1”里没有常用字表，不能用 --common。"
                              "请换用随新版 Tarvelo 安装的笔画数据库。")
                                   .arg(databasePath));
    }
}

void StrokeTable::keepOnlyCommon()
{
    for (char32_t codePoint = 0; codePoint < codePointLimit; ++codePoint) {
        if (isKnown(codePoint) && !m_common.contains(codePoint)) {
            m_counts[codePoint] = 0;
            clearKnown(codePoint);
            if (!m_compatibilityForms.contains(codePoint))
                --m_size;
        }
    }
    for (auto it = m_selectorCounts.begin(); it != m_selectorCounts.end();) {
        if (m_common.contains(it.key())) {
            ++it;
        } else {
            it = m_selectorCounts.erase(it);
            --m_size;
        }
    }
    // A form stays counted while the character it stands for is common.
    addCompatibilityForms();
}

qint16 StrokeTable::leadingCount(char32_t codePoint) const
{
    return Character::isVariationSelector(codePoint) ? m_selectorCounts.value(codePoint, 0) : count(codePoint);
}

bool StrokeTable::isLeadingKnown(char32_t codePoint) const
{
    return Character::isVariationSelector(codePoint) ? m_selectorCounts.contains(codePoint) : isKnown(codePoint);
}

QList<char32_t> StrokeTable::withStrokes(int low, int high) const
{
    QList<char32_t> found;
    for (char32_t codePoint = 0; codePoint < codePointLimit; ++codePoint) {
        const qint16 strokes = leadingCount(codePoint);
        if (isLeadingKnown(codePoint) && strokes >= low && strokes <= high
            && !m_compatibilityForms.contains(codePoint))
            found.append(codePoint);
    }
    // Stable, so code point order holds within one count.
    std::stable_sort(found.begin(), found.end(), [this](char32_t a, char32_t b) {
        return leadingCount(a) < leadingCount(b);
    });
    return found;
}
