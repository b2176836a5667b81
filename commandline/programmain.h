// SPDX-License-Identifier: MIT
#pragma once

#include "optionparsing.h"

#include <QString>

#include <cstdio>
#include <functional>
#include <optional>

class QCoreApplication;

namespace CommandLine {

// What a command-line program ends with, as far as all of them agree.
enum ExitStatus { Done = 0, Failed = 2 };

// Whether a terminal acts on CODEPOINT instead of showing it: a control,
// a format character such as a direction override or isolate, or a line or
// paragraph separator.
bool isActedOnByTerminal(char32_t codePoint);

// TEXT with its control characters, direction overrides and other
// invisible formatting, which may come with a file name, as <U+XXXX>: a
// message cannot move the terminal's cursor, retitle it or turn its text
// around.
enum class LineFeeds { Kept, Shown };
QString visibleText(const QString &text, LineFeeds lineFeeds = LineFeeds::Shown);

// Writes the message TEXT, its lines shown as visibleText() shows them, and
// a line feed to FILE, standard error.
void writeMessage(std::FILE *file, const QString &text);

// Writes the help or the version line TEXT to OUT; a write that fails
// says why on ERR, as a count's output does. Returns the exit status.
int writeText(const QString &text, std::FILE *out, std::FILE *err);

// What a parse that does not run the program ends in: the help or the
// version line written to OUT, or the refusal TEXT after PREFIX on ERR.
// Returns the exit status, or nothing when RESULT says to run.
std::optional<int> endOfParse(ParseResult result, const QString &text, const QString &prefix, std::FILE *out,
                              std::FILE *err);

// Makes sure descriptors 0 to 2 are open before anything else opens a file.
// False when one cannot be.
bool openStandardDescriptors();

// Qt's own texts, such as the help's headings, in Chinese where the system
// has Qt's translations.
void loadQtTranslations(QCoreApplication &app);

// What every command-line program does around BODY, its run over the
// arguments: descriptors 0 to 2 made sure of, a quiet end when the reader
// closes the pipe, a QCoreApplication named NAME with VERSION and Qt's
// Chinese texts, and a message instead of an abort when memory runs out.
// Returns BODY's exit status, or Failed.
int runProgram(int argc, char *argv[], const char *name, const char *version, const std::function<int()> &body);

} // namespace CommandLine
