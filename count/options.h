// SPDX-License-Identifier: MIT
#pragma once

#include "fieldoptions.h"
#include "optionparsing.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

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

// As every command-line program parses them.
using ParseResult = CommandLine::ParseResult;

// Reads ARGUMENTS (the program name first) into OPTIONS. TEXT receives the
// help, the version line or the error message, as the result says.
ParseResult parseArguments(const QStringList &arguments, Options *options, QString *text);

} // namespace Count
