// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QByteArray>
#include <QFile>
#include <QLatin1StringView>
#include <QString>
#include <QtGlobal>

class StrokeTable;

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

// The stroke sequence of every character that has one, in the order a
// stroke-ordered list puts characters (笔画序), as the generator writes them
// into a plain file beside the stroke database. The window never reads it.
//
// The file: lines starting with '#' are comments, one of them
// "# entries: N"; every other line is CHARACTER, TAB, SEQUENCE, LF, where
// SEQUENCE is digits 1-5 (横 1, 竖 2, 撇 3, 点 4, 折 5) or '-' for a
// character of the 2013 list that has none of its own. The lines come in
// stroke order, so a reader takes the order from the line number.
class StrokeSequences
{
    Q_DECLARE_TR_FUNCTIONS(StrokeSequences)

public:
    static constexpr QLatin1StringView fileSuffix{"-sequences.txt"};
    static constexpr QLatin1StringView entriesComment{"# entries: "};
    static constexpr char noSequence = '-';
    static constexpr char firstStroke = '1';
    static constexpr char lastStroke = '5';

    // The sequences file that belongs to the stroke database at
    // DATABASEPATH: Refcom-sequences.txt beside Refcom.dll.
    static QString pathBeside(const QString &databasePath);

    // Whether TEXT is a sequence: one or more digits 1-5.
    static bool isSequence(std::string_view text);

    // Reads the file at PATH, replacing what was loaded. Throws
    // RuntimeError, worded for the user, when it is missing, unreadable,
    // not a regular file or not a complete sequences file, or when its
    // lines are out of stroke order or, with COUNTS, a sequence is not as
    // long as its character's count.
    void load(const QString &path, const StrokeTable *counts = nullptr);

    // Digits '1'..'5'; empty when CODEPOINT has none.
    std::string_view sequence(char32_t codePoint) const;
    // Line index in stroke order, or -1.
    qint32 position(char32_t codePoint) const
    {
        return codePoint < codePointLimit && m_positions ? m_positions[codePoint] - 1 : -1;
    }
    qsizetype size() const { return qsizetype(m_entries.size()); }

    char32_t codePointAt(qint32 position) const { return m_entries[size_t(position)].codePoint; }
    std::string_view sequenceAt(qint32 position) const;

private:
    static QString remedy(const QString &path);

    static constexpr char32_t codePointLimit = 0x110000;

    struct Entry
    {
        char32_t codePoint;
        std::uint32_t offset;
        std::uint32_t length;
    };
    struct FreeMemory
    {
        void operator()(qint32 *positions) const { std::free(positions); }
    };

    void parse(const StrokeTable *counts);
    void clear();

    // The file, mapped rather than read: its pages come from the system's
    // cache as the parser reaches them, with no copy. The generator and
    // the package replace the file by renaming, never in place.
    std::unique_ptr<QFile> m_file;
    std::string_view m_text;
    std::vector<Entry> m_entries;
    // Position + 1 by code point, 0 for none; zeroed by the system page by
    // page, so the pages of code points without a sequence cost nothing.
    std::unique_ptr<qint32[], FreeMemory> m_positions;
};
