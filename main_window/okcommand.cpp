// SPDX-License-Identifier: MIT
#include "okcommand.h"

#include "character.h"

using namespace Qt::StringLiterals;

namespace OkCommand {

namespace {

QString buildMask()
{
    const QString lower = u"abcdefghijklmnopqrstuvwxyz"_s;
    return lower + lower.toUpper() + u",.;'><?/\\]}{[;l!@#$%^&*()_-+=`~"_s;
}

} // namespace

QString trimmedInput(const QString &text)
{
    return text.trimmed();
}

const QString &validationMask()
{
    static const QString mask = buildMask();
    return mask;
}

bool isRejected(const QString &character)
{
    const QString base = Character::lookupKey(character);
    const bool inMask = validationMask().contains(base);
    const bool isSpace = trimmedInput(base).isEmpty();
    return inMask || isSpace;
}

bool run(const QString &text, Window &window, State &state)
{
    state.total = 0;
    const QString trimmed = trimmedInput(text);
    const QStringList pieces = Character::split(trimmed);
    const qsizetype n = pieces.size();
    state.chars = QStringList(n + 1);
    state.strokes = QList<qint16>(n + 1, 0);

    for (state.idx = 0; state.idx < n; ++state.idx) {
        state.chars[state.idx] = pieces.at(state.idx);
        if (isRejected(state.chars.at(state.idx)))
            return false;
    }

    window.clearRows();

    for (state.idx = 0; state.idx < n; ++state.idx) {
        state.strokes[state.idx] = window.GetNumber(state.chars.at(state.idx));
        state.total += state.strokes.at(state.idx);
        window.addRow(QString(), state.chars.at(state.idx));
        window.setRowCount(state.idx + 1, QString(), QString::number(state.strokes.at(state.idx)));
    }

    // Only whether the untrimmed text holds a second character matters.
    constexpr qsizetype enoughForTotal = 2;
    if (Character::split(text, enoughForTotal).size() == enoughForTotal) {
        window.addRow(totalRowKey, trimmed);
        window.setRowCount(0, totalRowKey, QString::number(state.total));
    }
    return true;
}

} // namespace OkCommand
