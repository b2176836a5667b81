// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The main window's OK command: the typed text checked, each character
// counted through the window, and the rows filled; apart from the widgets.
namespace OkCommand {

// Leading and trailing Unicode white space removed (the space, the
// ideographic space U+3000, tabs, no-break spaces...).
QString trimmedInput(const QString &text);

// ASCII letters and the punctuation that an input of Chinese characters
// cannot hold.
const QString &validationMask();

// Whether CHARACTER makes the input invalid: it is in the mask, or it is
// white space between other characters.
bool isRejected(const QString &character);

// What the command needs from its window.
class Window
{
public:
    virtual ~Window() = default;
    // The stroke count of TEMSTR; on failure it has told the user and gives 0.
    virtual qint16 GetNumber(const QString &temStr) = 0;
    virtual void clearRows() = 0;
    virtual void addRow(const QString &key, const QString &text) = 0;
    // Sets the count column of the row at 1-based POSITION, or of the row
    // with KEY when KEY is not empty.
    virtual void setRowCount(qsizetype position, const QString &key, const QString &count) = 0;
};

inline const QString totalRowKey = QStringLiteral("s");

// The state that one run of the command leaves behind.
struct State
{
    qsizetype idx = 0;
    QStringList chars;
    QList<qint16> strokes;
    // Wide enough that no input a text box can hold overflows it.
    qint64 total = 0;
};

// Runs the command on TEXT, the whole content of the input box. Returns
// false, touching no row, when a character is rejected; STATE.idx then
// names it.
bool run(const QString &text, Window &window, State &state);

} // namespace OkCommand
