// SPDX-License-Identifier: MIT
#include "strokesequencebuild.h"

#include "character.h"
#include "runtimeerror.h"
#include "strokecorrections.h"
#include "strokesequences.h"

#include <QStringList>

#include <algorithm>
#include <tuple>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Sequences = QHash<char32_t, QByteArray>;

struct Correction
{
    char32_t codePoint = 0;
    // Empty where the table's sequence is taken away: a list character
    // whose sequence is right in itself but stands where the list's order
    // cannot have it keeps its place in the list without one.
    QByteArray sequence;
    int line = 0;
};

// A character of the 2013 list and where it stands.
struct Placed
{
    char32_t codePoint = 0;
    int place = 0;
    int level = 0;
    int count = 0;
};

QString describe(char32_t codePoint)
{
    return QString::fromUcs4(&codePoint, 1) + u' ' + Character::codePointName(codePoint);
}

QString describe(const Placed &c)
{
    return u"%1 (level %2, place %3)"_s.arg(describe(c.codePoint)).arg(c.level).arg(c.place);
}

// The one code point that BYTES encode, strictly, or 0.
char32_t onlyCodePoint(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    const QList<uint> codePoints = text.toUcs4();
    return codePoints.size() == 1 && text.toUtf8() == bytes && codePoints.front() != 0xFFFD ? codePoints.front() : 0;
}

QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> found = text.split('\n');
    for (QByteArray &line : found) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return found;
}

Sequences parseStrokeTable(const QByteArray &text)
{
    Sequences sequences;
    int number = 0;
    for (const QByteArray &line : lines(text)) {
        ++number;
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split(' ');
        const char32_t codePoint = fields.size() == 2 ? onlyCodePoint(fields.at(1)) : 0;
        if (codePoint == 0 || !StrokeSequences::isSequence(fields.at(0).toStdString()))
            throw RuntimeError(u"stroke table, line %1: not a sequence of digits 1-5, a space and one character"_s.arg(number));
        if (sequences.contains(codePoint))
            throw RuntimeError(u"stroke table, line %1: %2 comes twice"_s.arg(number).arg(describe(codePoint)));
        sequences.insert(codePoint, fields.at(0));
    }
    return sequences;
}

QList<Correction> parseCorrections(const QByteArray &text)
{
    QList<Correction> corrections;
    QSet<char32_t> seen;
    int number = 0;
    for (const QByteArray &line : lines(text)) {
        ++number;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        const char32_t codePoint = fields.size() == 3 ? onlyCodePoint(fields.at(0)) : 0;
        const bool none = codePoint != 0 && fields.at(1) == QByteArray(1, StrokeSequences::noSequence);
        if (codePoint == 0 || (!none && !StrokeSequences::isSequence(fields.at(1).toStdString()))
            || fields.at(2).trimmed().isEmpty())
            throw RuntimeError(u"correction file, line %1: not a character, a TAB, digits 1-5 or -, a TAB and the reason"_s
                                       .arg(number));
        if (seen.contains(codePoint))
            throw RuntimeError(u"correction file, line %1: %2 comes twice"_s.arg(number).arg(describe(codePoint)));
        seen.insert(codePoint);
        corrections.append({codePoint, none ? QByteArray() : fields.at(1), number});
    }
    return corrections;
}

int levelOf(int place)
{
    int level = 1;
    for (const int end : commonListLevelEnds) {
        if (place <= end)
            return level;
        ++level;
    }
    return level - 1;
}

class SequenceCheck
{
public:
    SequenceCheck(const SequenceSources &sources, const Sequences &sequences)
        : m_sources(sources)
        , m_sequences(sequences)
    {
        for (qsizetype i = 0; i < sources.commonList.size(); ++i) {
            const char32_t codePoint = sources.commonList.at(i);
            const int place = int(i) + 1;
            const int count = sources.counts.value(codePoint, 0);
            if (count == 0)
                m_problems.append(u"%1 of the 2013 list has no count in the database"_s.arg(describe(codePoint)));
            m_list.append({codePoint, place, levelOf(place), count});
            m_listIndex.insert(codePoint, i);
        }
    }

    const QList<Placed> &list() const { return m_list; }
    const QStringList &problems() const { return m_problems; }

    void checkLengths()
    {
        for (const Placed &c : m_list) {
            const QByteArray sequence = m_sequences.value(c.codePoint);
            if (!sequence.isEmpty() && sequence.size() != c.count)
                m_problems.append(u"%1 has %2 strokes, but its sequence %3 has %4"_s.arg(describe(c))
                                          .arg(c.count)
                                          .arg(QString::fromLatin1(sequence))
                                          .arg(sequence.size()));
        }
    }

    void checkOrder();
    void checkNeeded(const Sequences &raw, const QList<Correction> &corrections);

private:
    // The list characters with a sequence, of one level and one count, in
    // list order, with their sequences.
    QList<std::pair<Placed, QByteArray>> runAround(qsizetype index) const;
    void reportInversion(const QList<std::pair<Placed, QByteArray>> &run, qsizetype i);

    const SequenceSources &m_sources;
    const Sequences &m_sequences;
    QList<Placed> m_list;
    QHash<char32_t, qsizetype> m_listIndex;
    QStringList m_problems;
};

QList<std::pair<Placed, QByteArray>> SequenceCheck::runAround(qsizetype index) const
{
    const Placed &at = m_list.at(index);
    const auto sameRun = [&](qsizetype i) {
        return i >= 0 && i < m_list.size() && m_list.at(i).level == at.level && m_list.at(i).count == at.count;
    };
    qsizetype first = index;
    while (sameRun(first - 1))
        --first;
    QList<std::pair<Placed, QByteArray>> run;
    for (qsizetype i = first; sameRun(i); ++i) {
        const QByteArray sequence = m_sequences.value(m_list.at(i).codePoint);
        if (!sequence.isEmpty())
            run.append({m_list.at(i), sequence});
    }
    return run;
}

void SequenceCheck::checkOrder()
{
    for (qsizetype start = 0; start < m_list.size();) {
        const auto run = runAround(start);
        for (qsizetype i = 1; i < run.size(); ++i) {
            if (run.at(i - 1).second > run.at(i).second)
                reportInversion(run, i);
        }
        const Placed &first = m_list.at(start);
        while (start < m_list.size() && m_list.at(start).level == first.level && m_list.at(start).count == first.count)
            ++start;
    }
}

// Of two neighbours out of order, the wrong one is the one whose leaving
// out puts its other neighbours in order. Where leaving out either would,
// or neither, the order cannot tell.
void SequenceCheck::reportInversion(const QList<std::pair<Placed, QByteArray>> &run, qsizetype i)
{
    const auto &before = run.at(i - 1);
    const auto &after = run.at(i);
    const bool beforeWrong = i < 2 || run.at(i - 2).second <= after.second;
    const bool afterWrong = i + 1 >= run.size() || before.second <= run.at(i + 1).second;
    const QString pair = u"%1 %2 comes before %3 %4 in the list"_s.arg(describe(before.first),
                                                                       QString::fromLatin1(before.second),
                                                                       describe(after.first),
                                                                       QString::fromLatin1(after.second));
    if (beforeWrong != afterWrong) {
        const Placed &wrong = beforeWrong ? before.first : after.first;
        m_problems.append(pair + u"; the order points to %1: mend it in the correction file"_s.arg(describe(wrong)));
    } else {
        m_problems.append(pair + u"; the order cannot tell which of the two is wrong: mend one in the correction file"_s);
    }
}

void SequenceCheck::checkNeeded(const Sequences &raw, const QList<Correction> &corrections)
{
    for (const Correction &c : corrections) {
        const QByteArray original = raw.value(c.codePoint);
        const int count = m_sources.counts.value(c.codePoint, 0);
        const QString where = u"correction file, line %1: %2 "_s.arg(c.line).arg(describe(c.codePoint));
        const auto listed = m_listIndex.constFind(c.codePoint);
        if (count == 0) {
            m_problems.append(where + u"has no count in the database"_s);
            continue;
        }
        if (c.sequence.isEmpty() && listed == m_listIndex.cend()) {
            m_problems.append(where + u"is not in the 2013 list; only its characters can be left without a sequence"_s);
            continue;
        }
        if (!c.sequence.isEmpty() && c.sequence.size() != count) {
            m_problems.append(where + u"has %1 strokes, but the correction has %2"_s.arg(count).arg(c.sequence.size()));
            continue;
        }
        // A table that has come to agree makes the correction stale.
        if (original == c.sequence)
            m_problems.append(where + u"is no longer needed: the table has the same"_s);
    }
}

struct Line
{
    char32_t codePoint = 0;
    int count = 0;
    // The sequence it is ordered by; for a list character without one, its
    // neighbour's.
    QByteArray orderedBy;
    bool own = true;
    // 0 for the list's characters, 1 after them.
    int outside = 1;
    int level = 0;
    int place = 0;

};

// A list character without a sequence takes that of the nearest one before
// it in its level with the same count, or else the nearest after it, so the
// level keeps its order.
void borrowSequences(QList<Line> &listLines)
{
    const auto borrow = [&](auto first, auto last) {
        const Line *lender = nullptr;
        for (auto it = first; it != last; ++it) {
            if (lender && (lender->level != it->level || lender->count != it->count))
                lender = nullptr;
            if (it->own)
                lender = &*it;
            else if (lender && it->orderedBy.isEmpty())
                it->orderedBy = lender->orderedBy;
        }
    };
    borrow(listLines.begin(), listLines.end());
    borrow(listLines.rbegin(), listLines.rend());
}

QByteArray fileText(const QList<Line> &lines, const SequenceSources &sources, const SequenceFigures &figures)
{
    QString text = u"# Stroke sequences in stroke order (笔画序): CHARACTER, TAB, SEQUENCE "
                   "(横 1, 竖 2, 撇 3, 点 4, 折 5), or - for a character of the 2013 list without one.\n"_s;
    for (const QString &line : sources.provenance)
        text += u"# "_s + line + u'\n';
    text += u"# kept %1, dropped %2, corrected %3, list characters without one %4\n"_s.arg(figures.kept)
                    .arg(figures.dropped)
                    .arg(figures.corrected)
                    .arg(figures.withoutInList);
    text += StrokeSequences::entriesComment + QString::number(lines.size()) + u'\n';
    QByteArray bytes = text.toUtf8();
    for (const Line &line : lines) {
        bytes += QString::fromUcs4(&line.codePoint, 1).toUtf8() + '\t';
        bytes += line.own ? line.orderedBy : QByteArray(1, StrokeSequences::noSequence);
        bytes += '\n';
    }
    return bytes;
}

} // namespace

SequenceBuild buildStrokeSequences(const SequenceSources &sources)
{
    const Sequences raw = parseStrokeTable(sources.strokeTable);
    const QList<Correction> corrections = parseCorrections(sources.corrections);
    Sequences sequences = raw;
    for (const Correction &c : corrections) {
        if (c.sequence.isEmpty())
            sequences.remove(c.codePoint);
        else
            sequences.insert(c.codePoint, c.sequence);
    }

    SequenceCheck check(sources, sequences);
    check.checkLengths();
    check.checkOrder();
    check.checkNeeded(raw, corrections);
    if (!check.problems().isEmpty())
        throw RuntimeError(u"the stroke sequences do not hold against the 2013 list:\n  "_s
                           + check.problems().join(u"\n  "_s));

    SequenceBuild build;
    build.figures.corrected = int(corrections.size());
    QList<Line> lines;
    QSet<char32_t> listed;
    for (const Placed &c : check.list()) {
        const QByteArray sequence = sequences.value(c.codePoint);
        lines.append({c.codePoint, c.count, sequence, !sequence.isEmpty(), 0, c.level, c.place});
        listed.insert(c.codePoint);
        ++(sequence.isEmpty() ? build.figures.withoutInList : build.figures.kept);
    }
    borrowSequences(lines);
    for (auto it = sequences.cbegin(); it != sequences.cend(); ++it) {
        if (listed.contains(it.key()))
            continue;
        const int count = sources.counts.value(it.key(), 0);
        if (count != it->size()) {
            ++build.figures.dropped;
            continue;
        }
        lines.append({it.key(), count, *it});
        ++build.figures.kept;
    }
    // Characters with no sequence to order by go after those of their count
    // that have one.
    std::sort(lines.begin(), lines.end(), [](const Line &a, const Line &b) {
        return std::tuple(a.count, a.orderedBy.isEmpty(), std::cref(a.orderedBy), a.outside, a.level, a.place, a.codePoint)
                < std::tuple(b.count, b.orderedBy.isEmpty(), std::cref(b.orderedBy), b.outside, b.level, b.place, b.codePoint);
    });
    build.file = fileText(lines, sources, build.figures);
    return build;
}
