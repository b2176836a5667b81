// SPDX-License-Identifier: MIT
// The lists of characters that are not counted from an input: by stroke
// count and by how their stroke sequence begins.
#include "counter.h"

#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"

namespace Count {

void listByStrokes(const StrokeTable &table, const Options &options, Output &output)
{
    for (char32_t codePoint : table.withStrokes(options.fewestStrokes, options.mostStrokes)) {
        output.appendCodePoint(codePoint);
        output.append('\t');
        output.appendNumber(table.leadingCount(codePoint));
        output.append('\n');
        if (!output.flushWhenFull())
            return;
    }
}

void listBeginningWith(const StrokeTable &table, const StrokeSequences &sequences, const StrokeOrder &order,
                       const Options &options, Output &output)
{
    for (char32_t codePoint : order.beginningWith(options.beginsWith)) {
        const qint16 strokes = table.leadingCount(codePoint);
        if (!table.isLeadingKnown(codePoint)
            || (options.listByStrokes && (strokes < options.fewestStrokes || strokes > options.mostStrokes)))
            continue;
        output.appendCodePoint(codePoint);
        output.append('\t');
        output.appendNumber(strokes);
        output.append('\t');
        output.append(strokeSymbols(sequences.sequence(codePoint)).c_str());
        output.append('\n');
        if (!output.flushWhenFull())
            return;
    }
}

std::string strokeSymbols(std::string_view digits)
{
    // 横 竖 撇 点 折.
    static const char *const symbols[] = {"一", "丨", "丿", "丶", "乛"};
    std::string text;
    for (char digit : digits)
        if (digit >= '1' && digit <= '5')
            text += symbols[digit - '1'];
    return text;
}

} // namespace Count
