// SPDX-License-Identifier: MIT
#pragma once

#include "fieldoptions.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QString>
#include <QStringList>

#include <string>

class QCommandLineParser;

namespace Count {

enum class Format { Totals, Each, Json };

struct Options
{
    Format format = Format::Totals;
    bool strict = false;
    bool common = false;
    QStringList texts;
    QStringList files;
    QByteArray encoding;
    // Empty for the database beside the program.
    QString databasePath;
    // With --each or --json: each character's stroke sequence too.
    bool sequence = false;
    // The characters whose sequence begins with these digits 1-5.
    std::string beginsWith;
    bool listByStrokes = false;
    int fewestStrokes = 0;
    int mostStrokes = 0;
    // -t, -k and --header: the row is kept and the counts appended to it.
    Delimited::FieldChoice fields;
    // Each character's count too, joined by "+".
    bool parts = false;
    // Empty for the input's own encoding where rows are kept, else UTF-8.
    QByteArray outputEncoding;
    bool byteOrderMark = false;

    // Whether each line is written with its own line end, in the encoding
    // chosen for the output, instead of as UTF-8 with a line feed.
    bool keepsRows() const
    {
        return fields.field >= 0 || fields.header || parts || !outputEncoding.isEmpty() || byteOrderMark;
    }
};

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

// Reads ARGUMENTS (the program name first) into OPTIONS. TEXT receives the
// help, the version line or the error message, as the result says.
ParseResult parseArguments(const QStringList &arguments, Options *options, QString *text);

} // namespace Count
