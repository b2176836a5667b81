// SPDX-License-Identifier: MIT
#pragma once

#include "namerule.h"
#include "optionparsing.h"
#include "sorter.h"

#include <QString>
#include <QStringList>

namespace Sort {

struct Options
{
    Settings settings;
    NameRule rule = NameRule::Surname;
    QStringList files;
    // Empty for standard output.
    QString outputPath;
    // Empty for the database beside the program.
    QString databasePath;
};

// As every command-line program parses them.
using ParseResult = CommandLine::ParseResult;

// Reads ARGUMENTS (the program name first) into OPTIONS. TEXT receives the
// help, the version line or the error message, as the result says.
ParseResult parseArguments(const QStringList &arguments, Options *options, QString *text);

} // namespace Sort
