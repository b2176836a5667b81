// SPDX-License-Identifier: MIT
#pragma once

#include "connection.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QSet>
#include <QtGlobal>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// Every stroke count of the database at once, indexed by code point, for
// programs that count far more characters than one query each could serve.
// The counts are those the window's lookup gives: the first row of a
// character wins, and a row whose count the lookup would refuse leaves the
// character without one. A compatibility form without a row of its own (a
// Kangxi radical, a compatibility ideograph), which text copied out of
// documents carries, takes the count of the one character it stands for.
class StrokeTable
{
    Q_DECLARE_TR_FUNCTIONS(StrokeTable)

public:
    static constexpr char32_t codePointLimit = 0x110000;

    // Reads every row of the stroke table over CONN, opened and checked by
    // StrokeLookup::openDatabaseFile. Throws data::Error when the rows
    // cannot be read.
    void load(data::Connection &conn);

    // Reads the rows of CODEPOINTS only, each by one probe of the stroke
    // table's key, with the counts load() would give them. Throws
    // data::Error when a row cannot be read.
    void loadCharacters(data::Connection &conn, const QList<char32_t> &codePoints);

    // Reads the list of commonly used characters over CONN. Throws
    // RuntimeError, worded for the user, when the database has no such list.
    void loadCommon(data::Connection &conn, const QString &databasePath);

    // Forgets the count of every character outside the common list.
    void keepOnlyCommon();

    // Indexed by code point: what each adds to a total when it is not the
    // first code point of a text, so a variation selector, which belongs to
    // the character before it, adds nothing; zero for a code point without
    // a count. Read directly by the tight counting loops, which must keep
    // the index below codePointLimit.
    const qint16 *counts() const { return m_counts.get(); }

    qint16 count(char32_t codePoint) const
    {
        return codePoint < codePointLimit && m_counts ? m_counts[codePoint] : 0;
    }

    // Whether a character starting with CODEPOINT has a stroke count. As the
    // first code point of a text, a variation selector is a character of its
    // own and may have a count; use leadingCount() for it.
    bool isKnown(char32_t codePoint) const
    {
        return codePoint < codePointLimit && (m_known[codePoint / wordBits] >> (codePoint % wordBits)) & 1U;
    }

    // The count of a character whose first code point is CODEPOINT, wherever
    // it stands.
    qint16 leadingCount(char32_t codePoint) const;
    bool isLeadingKnown(char32_t codePoint) const;

    // Calls F with every code point for which isKnown() holds, in code
    // point order, passing over the empty stretches of the code space a word
    // at a time.
    template<typename F>
    void forEachKnown(F f) const
    {
        for (size_t word = 0; word < m_known.size(); ++word) {
            for (std::uint64_t bits = m_known[word]; bits != 0; bits &= bits - 1)
                f(char32_t(word * wordBits + unsigned(std::countr_zero(bits))));
        }
    }

    // How many characters of the database have a count, compatibility forms
    // that take another's aside.
    qsizetype size() const { return m_size; }
    // How many of the rows read hold a number that is no stroke count: zero,
    // below it, or past what a count can hold. The window shows such a
    // count as the row has it; an order built on it would be wrong.
    qsizetype implausibleRows() const { return m_implausible; }

    // The characters of the database with LOW to HIGH strokes, by count,
    // then by code point; compatibility forms that take another's count are
    // left out, as the character they stand for is already there.
    QList<char32_t> withStrokes(int low, int high) const;

private:
    static constexpr unsigned wordBits = 64;

    void clear();
    void setCount(char32_t codePoint, qint16 count);
    void addCompatibilityForms();
    static QList<char32_t> withCompatibilityTargets(const QList<char32_t> &codePoints);

    void setKnown(char32_t codePoint) { m_known[codePoint / wordBits] |= std::uint64_t(1) << (codePoint % wordBits); }
    void clearKnown(char32_t codePoint) { m_known[codePoint / wordBits] &= ~(std::uint64_t(1) << (codePoint % wordBits)); }

    struct FreeMemory
    {
        void operator()(qint16 *counts) const { std::free(counts); }
    };
    // Zeroed by the system page by page as the rows touch it: most code
    // points have no count, and most pages of the table are never touched.
    std::unique_ptr<qint16[], FreeMemory> m_counts;
    std::vector<std::uint64_t> m_known;
    // Rows keyed by a variation selector count only where the selector
    // starts a text; kept apart so the loops need no test for selectors.
    QHash<char32_t, qint16> m_selectorCounts;
    QSet<char32_t> m_common;
    QSet<char32_t> m_compatibilityForms;
    qsizetype m_size = 0;
    qsizetype m_implausible = 0;
};
