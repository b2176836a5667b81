// SPDX-License-Identifier: MIT
// The stroke count command over arbitrary UTF-16, lone surrogates included,
// with a window that records what the command does to its rows.
#include "character.h"
#include "okcommand.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>

namespace {

constexpr char16_t variationSelectorFirst = 0xFE00;
constexpr char16_t variationSelectorLast = 0xFE0F;

struct Row
{
    QString key;
    QString text;
    QString count;
    bool countSet = false;
};

class RecordingWindow : public OkCommand::Window
{
public:
    qint16 GetNumber(const QString &temStr) override
    {
        ++lookups;
        // Any value will do as long as the sum can be checked; negative
        // counts make the total's sign matter too.
        qint16 count = 0;
        for (QChar unit : temStr)
            count = qint16(count * 31 + unit.unicode());
        return count;
    }
    void clearRows() override
    {
        ++clears;
        rows.clear();
    }
    void addRow(const QString &key, const QString &text) override
    {
        rows.append(Row{key, text, {}, false});
    }
    void setRowCount(qsizetype position, const QString &key, const QString &count) override
    {
        Row *row = nullptr;
        if (key.isEmpty()) {
            if (position >= 1 && position <= rows.size())
                row = &rows[position - 1];
        } else {
            for (Row &candidate : rows)
                if (candidate.key == key)
                    row = &candidate;
        }
        if (!row)
            fail("setRowCount names no row");
        row->count = count;
        row->countSet = true;
    }

    [[noreturn]] static void fail(const char *what)
    {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }

    QList<Row> rows;
    int clears = 0;
    int lookups = 0;
};

void check(bool condition, const char *what)
{
    if (!condition)
        RecordingWindow::fail(what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QString text(qsizetype(size / sizeof(char16_t)), Qt::Uninitialized);
    std::memcpy(text.data(), data, size_t(text.size()) * sizeof(char16_t));

    RecordingWindow window;
    window.rows.append(Row{QStringLiteral("old"), QStringLiteral("previous"), QStringLiteral("1"), true});
    OkCommand::State state;
    const bool accepted = OkCommand::run(text, window, state);

    if (!accepted) {
        check(window.clears == 0 && window.lookups == 0, "a rejected input touched the list");
        check(window.rows.size() == 1 && window.rows.first().key == QLatin1String("old"),
              "a rejected input changed the rows");
        return 0;
    }

    const QString trimmed = OkCommand::trimmedInput(text);
    const QStringList characters = Character::split(trimmed);
    const bool hasTotal = Character::split(text).size() > 1;
    check(window.clears == 1, "the list was not cleared exactly once");
    check(window.lookups == characters.size(), "not one lookup per character");
    check(window.rows.size() == characters.size() + (hasTotal ? 1 : 0), "wrong number of rows");

    QString joined;
    qint64 sum = 0;
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const Row &row = window.rows.at(i);
        check(row.key.isEmpty(), "a character row has a key");
        check(row.countSet, "a character row has no count");
        check(!row.text.isEmpty(), "a character row is empty");
        // A surrogate pair is one character: no row may end in a high
        // surrogate that the next row's low surrogate completes.
        if (i + 1 < characters.size())
            check(!(row.text.back().isHighSurrogate()
                    && window.rows.at(i + 1).text.front().isLowSurrogate()),
                  "a surrogate pair was split across rows");
        if (i > 0) {
            const QChar first = row.text.front();
            check(!(first.unicode() >= variationSelectorFirst && first.unicode() <= variationSelectorLast),
                  "a variation selector was parted from its character");
        }
        bool ok = false;
        sum += row.count.toLongLong(&ok);
        check(ok, "a count is not decimal text");
        check(row.count == QString::number(row.count.toLongLong()), "a count is not in shortest form");
        joined += row.text;
    }
    check(joined == trimmed, "the character rows do not add up to the trimmed input");
    check(sum == state.total, "the state's total is not the sum of the rows");

    if (hasTotal) {
        const Row &total = window.rows.last();
        check(total.key == OkCommand::totalRowKey, "the last row is not the total row");
        check(total.text == trimmed, "the total row does not show the trimmed input");
        check(total.count == QString::number(sum), "the total row's count is not the sum");
    }
    return 0;
}
