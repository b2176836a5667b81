// SPDX-License-Identifier: MIT
#pragma once

#include "options.h"
#include "output.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QIODevice;
class StrokeTable;

namespace Count {

// The total of one line of UTF-8 text, or the offset of its first invalid
// byte sequence.
struct LineTotal
{
    qint64 total = 0;
    qsizetype invalidAt = -1;
};
LineTotal utf8LineTotal(const StrokeTable &table, const char *line, qsizetype size);

// Counts items, one at a time, into OUTPUT in the format OPTIONS ask for.
class Counter
{
public:
    using Report = std::function<void(const QString &)>;

    // REPORT receives each line meant for standard error, without its end.
    Counter(const StrokeTable &table, const Options &options, Output &output, Report report);

    // Each returns false when counting must stop: the output is gone, or an
    // error has been reported.
    bool countArgument(const QString &text, int number);
    bool countStream(QIODevice &device, const QString &name);

    // Writes LINE for standard error and marks the run as failed.
    void report(const QString &line) { fail(line); }

    bool foundUnknown() const { return m_foundUnknown; }
    bool failed() const { return m_failed; }

private:
    struct Where
    {
        const QString *name = nullptr;
        qint64 line = 0;
        int argument = 0;
    };
    struct Encoding;

    bool fail(const QString &message);
    bool invalidBytes(const QString &name, qint64 offset, const QByteArray &encoding);
    bool countUtf8Line(const char *line, qsizetype size, qint64 offset, const Where &where);
    void countCodePoints(const char *echo, std::size_t echoSize, const Where &where);
    void reportUnknown(const Where &where, std::size_t column, const char32_t *character, std::size_t size);
    void setCodePoints(const QString &text);

    const StrokeTable &m_table;
    const Options &m_options;
    Output &m_output;
    Report m_report;
    bool m_foundUnknown = false;
    bool m_failed = false;
    // Kept between lines so their memory is reused.
    std::vector<char32_t> m_codePoints;
    std::string m_echo;
    std::string m_strokes;
    std::vector<std::u32string> m_unknown;
    Where m_reportWhere;
    std::string m_reportPlace;
    std::size_t m_reportSourceSize = 0;
};

// Lists the characters with the stroke counts OPTIONS name.
void listByStrokes(const StrokeTable &table, const Options &options, Output &output);

} // namespace Count
