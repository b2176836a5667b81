// SPDX-License-Identifier: MIT
#include "strokecorrections.h"

#include "character.h"
#include "runtimeerror.h"

#include <QSet>

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr char simplifiedMark = '\'';

QString describe(char32_t codePoint)
{
    return QString::fromUcs4(&codePoint, 1) + u' ' + Character::codePointName(codePoint);
}

// For each element of COUNTS, the length of the longest run of elements
// that ends there and never goes down.
QList<int> longestInOrderEndingAt(const QList<int> &counts)
{
    QList<int> lengths;
    lengths.reserve(counts.size());
    QList<int> smallestLast;
    for (const int count : counts) {
        const auto at = std::upper_bound(smallestLast.begin(), smallestLast.end(), count);
        lengths.append(int(std::distance(smallestLast.begin(), at)) + 1);
        if (at == smallestLast.end())
            smallestLast.append(count);
        else
            *at = count;
    }
    return lengths;
}

class Sources
{
public:
    explicit Sources(const StrokeSources &sources) : m_sources(sources) {}

    int count(char32_t codePoint) const
    {
        const auto found = m_sources.counts.constFind(codePoint);
        if (found == m_sources.counts.cend())
            throw RuntimeError(u"%1 has no kTotalStrokes entry"_s.arg(describe(codePoint)));
        return *found;
    }

    std::optional<RadicalPosition> simplifiedRadical(char32_t codePoint) const
    {
        const auto found = m_sources.radicals.constFind(codePoint);
        if (found == m_sources.radicals.cend() || !found->radical.endsWith(simplifiedMark)
            || found->radical.endsWith(QByteArray(2, simplifiedMark)))
            return std::nullopt;
        return *found;
    }

    char32_t radicalIdeograph(const QByteArray &radical) const
    {
        const auto found = m_sources.radicalIdeographs.constFind(radical);
        if (found == m_sources.radicalIdeographs.cend())
            throw RuntimeError(u"kRSUnicode names radical %1, which CJKRadicals.txt does not list"_s
                                       .arg(QString::fromLatin1(radical)));
        return *found;
    }

    // "讠 2 + 4": the radical alone, its strokes, and the residual strokes.
    QString radicalSum(const QByteArray &radical, int residual) const
    {
        const char32_t ideograph = radicalIdeograph(radical);
        return u"%1 %2 + %3"_s.arg(QString::fromUcs4(&ideograph, 1)).arg(count(ideograph)).arg(residual);
    }

    int radicalCount(const QByteArray &radical, int residual) const
    {
        return count(radicalIdeograph(radical)) + residual;
    }

    const StrokeSources &data() const { return m_sources; }

private:
    const StrokeSources &m_sources;
};

// Which counts of a level are in order: those on the one longest run that
// never goes down. Throws where two characters at one step of such runs
// leave the order unable to tell which of them is wrong.
std::vector<bool> inOrderCounts(const QList<int> &counts, const QList<char32_t> &list, int firstPlace)
{
    const qsizetype size = counts.size();
    const QList<int> endingAt = longestInOrderEndingAt(counts);
    QList<int> reversed;
    for (auto it = counts.crbegin(); it != counts.crend(); ++it)
        reversed.append(-*it);
    const QList<int> startingAtReversed = longestInOrderEndingAt(reversed);
    const int longest = *std::max_element(endingAt.cbegin(), endingAt.cend());

    std::vector<bool> onLongest(size_t(size), false);
    QHash<int, int> onLongestAtStep;
    for (qsizetype i = 0; i < size; ++i) {
        onLongest[i] = endingAt.at(i) + startingAtReversed.at(size - 1 - i) - 1 == longest;
        if (onLongest.at(i))
            ++onLongestAtStep[endingAt.at(i)];
    }
    std::vector<bool> inOrder(size_t(size), false);
    for (qsizetype i = 0; i < size; ++i) {
        inOrder[i] = onLongest.at(i) && onLongestAtStep.value(endingAt.at(i)) == 1;
        if (onLongest.at(i) && !inOrder.at(i))
            throw RuntimeError(u"the order of the 2013 list cannot tell whether the count of %1 (place %2, "
                               "%3 strokes) or that of another character at the same step is wrong"_s
                                       .arg(describe(list.at(firstPlace - 1 + i)))
                                       .arg(firstPlace + i)
                                       .arg(counts.at(i)));
    }
    return inOrder;
}

// The count of the nearest in-order neighbour from I in steps of STEP.
std::optional<int> nearestInOrder(const QList<int> &counts, const std::vector<bool> &inOrder, qsizetype i,
                                  qsizetype step)
{
    for (qsizetype j = i + step; j >= 0 && j < counts.size(); j += step)
        if (inOrder.at(j))
            return counts.at(j);
    return std::nullopt;
}

// The correction of CORRECTION's character, out of order between its
// in-order neighbours LOWER and UPPER.
StrokeCorrection settled(const Sources &sources, StrokeCorrection correction, std::optional<int> lower,
                         std::optional<int> upper)
{
    if (lower && upper && *lower == *upper) {
        correction.count = *lower;
        correction.detail = u"both nearest in-order neighbours in the list have %1"_s.arg(*lower);
        return correction;
    }
    const QString between = u"%1 and %2"_s.arg(lower ? QString::number(*lower) : u"the level's start"_s,
                                              upper ? QString::number(*upper) : u"the level's end"_s);
    const std::optional<RadicalPosition> radical = sources.simplifiedRadical(correction.codePoint);
    if (radical) {
        const int count = sources.radicalCount(radical->radical, radical->residualStrokes);
        if ((!lower || count >= *lower) && (!upper || count <= *upper)) {
            correction.count = count;
            correction.reason = CorrectionReason::Border;
            correction.detail = u"neighbours in the list have %1; simplified radical %2"_s.arg(
                    between, sources.radicalSum(radical->radical, radical->residualStrokes));
            return correction;
        }
    }
    throw RuntimeError(u"%1 at place %2 of the 2013 list has %3 strokes in Unihan, out of the list's "
                       "order; its neighbours have %4 and no simplified radical settles it"_s
                               .arg(describe(correction.codePoint))
                               .arg(correction.place)
                               .arg(correction.unihanCount)
                               .arg(between));
}

// The characters of one level whose counts break its order: those on no
// longest run that never goes down. Each gets the count its nearest
// in-order neighbours agree on, or, at a border between two counts, that
// of its simplified radical when it fits between them.
void correctLevel(const Sources &sources, int firstPlace, int lastPlace, QList<StrokeCorrection> *out)
{
    const QList<char32_t> &list = sources.data().commonList;
    QList<int> counts;
    for (int place = firstPlace; place <= lastPlace; ++place)
        counts.append(sources.count(list.at(place - 1)));
    const std::vector<bool> inOrder = inOrderCounts(counts, list, firstPlace);
    for (qsizetype i = 0; i < counts.size(); ++i) {
        if (inOrder.at(i))
            continue;
        const int place = firstPlace + int(i);
        const StrokeCorrection correction{list.at(place - 1), place, counts.at(i), 0,
                                          CorrectionReason::Neighbours, {}};
        out->append(settled(sources, correction, nearestInOrder(counts, inOrder, i, -1),
                            nearestInOrder(counts, inOrder, i, 1)));
    }
}

void correctOutsideList(const Sources &sources, QList<StrokeCorrection> *out)
{
    const StrokeSources &data = sources.data();
    const QSet<char32_t> listed(data.commonList.cbegin(), data.commonList.cend());
    QList<StrokeCorrection> found;
    for (auto it = data.radicals.cbegin(); it != data.radicals.cend(); ++it) {
        const std::optional<RadicalPosition> radical = sources.simplifiedRadical(it.key());
        if (!radical || listed.contains(it.key()) || !data.counts.contains(it.key()))
            continue;
        const QByteArray full = radical->radical.chopped(1);
        const int residual = radical->residualStrokes;
        const int unihanCount = data.counts.value(it.key());
        const int count = sources.radicalCount(radical->radical, residual);
        if (unihanCount != sources.radicalCount(full, residual) || count < 1)
            continue;
        found.append({it.key(), 0, unihanCount, count,
                      CorrectionReason::SimplifiedRadical,
                      u"kRSUnicode names simplified radical %1; Unihan counted %2"_s.arg(
                              sources.radicalSum(radical->radical, residual), sources.radicalSum(full, residual))});
    }
    std::sort(found.begin(), found.end(),
              [](const StrokeCorrection &a, const StrokeCorrection &b) { return a.codePoint < b.codePoint; });
    out->append(found);
}

QLatin1StringView reasonName(CorrectionReason reason)
{
    switch (reason) {
    case CorrectionReason::Neighbours:
        return "list neighbours"_L1;
    case CorrectionReason::Border:
        return "list border"_L1;
    case CorrectionReason::SimplifiedRadical:
        return "simplified radical"_L1;
    }
    return {};
}

} // namespace

QList<StrokeCorrection> strokeCorrections(const StrokeSources &sources)
{
    const int listSize = std::end(commonListLevelEnds)[-1];
    if (sources.commonList.size() != listSize)
        throw RuntimeError(u"the 2013 list (kTGH) holds %1 characters, not the %2 of its three levels"_s
                                   .arg(sources.commonList.size())
                                   .arg(listSize));
    const Sources checked(sources);
    QList<StrokeCorrection> corrections;
    int firstPlace = 1;
    for (const int lastPlace : commonListLevelEnds) {
        correctLevel(checked, firstPlace, lastPlace, &corrections);
        firstPlace = lastPlace + 1;
    }
    correctOutsideList(checked, &corrections);
    return corrections;
}

QByteArray correctionsTable(const QList<StrokeCorrection> &corrections)
{
    QString text = u"character\tcode point\tlist place\tUnihan count\tcount\treason\tdetail\n"_s;
    for (const StrokeCorrection &c : corrections) {
        text += QString::fromUcs4(&c.codePoint, 1) + u'\t'
                + Character::codePointName(c.codePoint) + u'\t'
                + (c.place > 0 ? QString::number(c.place) : u"-"_s) + u'\t' + QString::number(c.unihanCount)
                + u'\t' + QString::number(c.count) + u'\t' + reasonName(c.reason) + u'\t' + c.detail + u'\n';
    }
    return text.toUtf8();
}
