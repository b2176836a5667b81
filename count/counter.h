// SPDX-License-Identifier: MIT
#pragma once

#include "delimited.h"
#include "linereader.h"
#include "options.h"
#include "output.h"
#include "strictreports.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class QIODevice;
class StrokeOrder;
class StrokeSequences;
class StrokeTable;

namespace Count {

// The command line's reader and writer, which counting stands on.
using CommandLine::LineReader;
using CommandLine::Output;
using CommandLine::TextEncoding;

// The total of one line of UTF-8 text, or the offset of its first invalid
// byte sequence.
struct LineTotal
{
    qint64 total = 0;
    qsizetype invalidAt = -1;
};
LineTotal utf8LineTotal(const StrokeTable &table, const char *line, qsizetype size);

// Each ASCII character as a line's reports and total see it: whether it is
// reported, being neither white space nor one with a count, and its count.
struct AsciiTable
{
    std::array<bool, asciiSize> reported = {};
    std::array<qint16, asciiSize> counts = {};
    bool anyCounted = false;
};

// Counts items, one at a time, into OUTPUT in the format OPTIONS ask for.
class Counter
{
public:
    using Report = std::function<void(const QString &)>;

    // REPORT receives each line meant for standard error, without its end.
    Counter(const StrokeTable &table, const Options &options, Output &output, Report report);

    // Each returns false when counting must stop: the output is gone, or an
    // error has been reported. A TEXT argument's lines are items as a
    // file's are; its bytes are those argumentBytes() gives back.
    bool countArgument(const QString &text, int number);
    bool countStream(QIODevice &device, const QString &name);

    // With --sequence: where each character's stroke sequence comes from.
    void setSequences(const StrokeSequences *sequences) { m_sequences = sequences; }

    // Writes LINE for standard error.
    void report(const QString &line) { fail(line); }

    bool foundUnknown() const { return m_foundUnknown; }

private:
    struct Where
    {
        const QString *name = nullptr;
        qint64 line = 0;
        int argument = 0;
        bool manyLines = false;
    };
    // One character as counted: a code point and the variation selectors
    // after it.
    struct Cluster
    {
        std::u32string_view codePoints;
        std::size_t column = 0;
        qint16 strokes = 0;
        bool known = false;
        bool space = false;
    };

    bool fail(const QString &message);
    bool countLines(LineReader &reader, Where &where);
    bool countLine(LineReader &reader, const Where &where);
    bool totalUtf8(LineReader &reader, const Where &where, qint64 *total);
    bool reportsWithTotal() const { return m_options.strict && m_options.format == Format::Totals; }
    template<typename Visit>
    bool walk(LineReader &reader, Visit &&visit);
    // Each in its own source: the line as the output format has it.
    bool writeTotal(LineReader &reader, const Where &where, qint64 total);
    bool echo(LineReader &reader, bool asJson);
    bool writeEach(LineReader &reader, const Where &where);
    bool writeJson(LineReader &reader, const Where &where, qint64 total);
    bool writeJsonSequences(LineReader &reader);
    void noteUnknown(const Cluster &cluster);
    bool isNewUnknown(const Cluster &cluster);
    void forgetUnknowns();
    void endJson();
    // Where rows are kept: each line, or each record of -k, written whole
    // with the counts appended.
    bool countRow(LineReader &reader, const Where &where);
    // A line of a row, and how it is read and written.
    struct RowLine
    {
        QByteArrayView bytes;
        bool utf8 = false;
        bool byBytes = false;
        bool asRead = false;
    };
    bool readRowLine(LineReader &reader, RowLine *line);
    bool readAsUtf8(LineReader &reader);
    bool writePlainRow(const LineReader &reader);
    bool writeRowAsRead(QByteArrayView line, const Where &where);
    bool writeParts(std::string_view field);
    void putRowText(std::string_view text);
    bool isWritable(std::string_view text, const Where &where);
    bool failUnwritable(const QString &text, const Where &where);
    QByteArrayView plainField(QByteArrayView line) const;
    void countField(std::u32string_view field, const Where &where, std::size_t columnsBefore);
    bool endRow(const Where &where);
    void appendNewFields(const std::string &total, const std::string &parts, bool mayNeedQuotes);
    void countRowField(const Where &where);
    std::u32string_view fieldCodePoints();
    void startOutput(const LineReader &reader);
    bool writeRow(const Where &where);
    // The --strict reports of a line's characters without a count, or of
    // one, the line decoded. Each that fills a block of reports sends them
    // out with the lines before: a long line of letters would otherwise
    // hold many times its size. False once nothing more can be written.
    bool reportUnknownsDecoded(LineReader &reader, const Where &where);
    // The same, read straight from LINE's UTF-8, adding its total to TOTAL
    // as it goes. COLUMNS_BEFORE are the characters before LINE on its
    // line, when it is a field.
    bool reportUnknownsInUtf8(QByteArrayView line, const Where &where, std::size_t columnsBefore, qint64 *total);
    void reportUnknown(const Where &where, const Cluster &cluster);
    bool reportUnknownInUtf8(const unsigned char *&p, const unsigned char *end, std::size_t column, bool leading,
                             const Where &where, const ReportPlace *&place, qint64 *total);
    const ReportPlace &reportPlace(const Where &where);

    const StrokeTable &m_table;
    const StrokeSequences *m_sequences = nullptr;
    const Options &m_options;
    Output &m_output;
    Report m_report;
    bool m_foundUnknown = false;
    // Kept between lines so their memory is reused.
    std::u32string m_cluster;
    std::string m_utf8;
    std::vector<bool> m_seen;
    std::vector<char32_t> m_seenList;
    std::unordered_set<std::u32string> m_seenClusters;
    // The UTF-8 of each such character, one after the other, and where
    // each ends.
    std::string m_unknown;
    std::vector<std::size_t> m_unknownEnds;
    // The row being read, as UTF-8, and the counts of its field.
    std::optional<Delimited::FieldPicker> m_picker;
    bool m_inRecord = false;
    bool m_headerNext = false;
    std::u32string m_codePoints;
    bool m_pickedBytes = false;
    qint64 m_rowFirstLine = 0;
    std::vector<std::size_t> m_rowLineStarts;
    std::u32string m_fieldCodePoints;
    // A long line of another encoding than UTF-8, as UTF-8.
    std::string m_lineUtf8;
    std::string m_row;
    std::string m_parts;
    qint64 m_rowTotal = 0;
    std::string m_lastLineEnd = "\n";
    // Null while the output is UTF-8, which the rows already are.
    bool m_outputStarted = false;
    // Whether the new fields never need quotes.
    bool m_plainNewFields = false;
    // Whether a row of one line may go out by writePlainRow().
    bool m_plainRows = false;
    std::optional<QStringEncoder> m_encoder;
    std::optional<QStringDecoder> m_checker;
    QByteArray m_outputName;
    // Where the last report was, and its place worded for the next one.
    Where m_reportWhere;
    ReportPlace m_reportPlace;
    AsciiTable m_ascii;
};

// The arguments as the program was given them, each readable as text: a
// byte that is not part of valid UTF-8 becomes a code point no valid text
// holds, which argumentBytes() turns back into that byte.
QStringList argumentsFromBytes(int argc, const char *const *argv);
QByteArray argumentBytes(const QString &argument);

// Lists the characters with the stroke counts OPTIONS name.
void listByStrokes(const StrokeTable &table, const Options &options, Output &output);

// Lists the characters whose stroke sequence begins as OPTIONS say, in
// stroke order, narrowed to the counts OPTIONS name and to those TABLE has.
void listBeginningWith(const StrokeTable &table, const StrokeSequences &sequences, const StrokeOrder &order,
                       const Options &options, Output &output);

// DIGITS 1-5 as the stroke symbols 一丨丿丶乛, in UTF-8.
std::string strokeSymbols(std::string_view digits);

} // namespace Count
