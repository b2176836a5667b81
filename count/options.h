// SPDX-License-Identifier: MIT
#pragma once

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
};

enum class ParseResult { Run, Help, Version, Error };

// Reads ARGUMENTS (the program name first) into OPTIONS. TEXT receives the
// help, the version line or the error message, as the result says.
ParseResult parseArguments(const QStringList &arguments, Options *options, QString *text);

} // namespace Count
