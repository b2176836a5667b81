// SPDX-License-Identifier: MIT
#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace CommandLine {

// -h and --help, worded by Qt's translations, without Qt's --help-all.
QCommandLineOption helpOption();

// What is wrong with ARGUMENTS, which a parser of OPTIONS refused although
// it knew every option: a value missing or one given to an option that
// takes none, in the user's words rather than the parser's English.
QString parseFailure(const QStringList &arguments, const QList<QCommandLineOption> &options);

enum class ParseResult { Run, Help, Version, Error };

// Parses ARGUMENTS with PARSER, which knows the options KNOWN, the help
// option among them, and Qt's version option. TEXT receives the help or the
// version line, as the result says, or why the arguments are refused: an
// unknown option, a missing value or one given to an option that takes
// none, in the user's words.
ParseResult parseCommandLine(QCommandLineParser &parser, const QStringList &arguments,
                             const QList<QCommandLineOption> &known, QString *text);

} // namespace CommandLine
