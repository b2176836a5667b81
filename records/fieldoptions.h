// SPDX-License-Identifier: MIT
#pragma once

#include <QCommandLineOption>
#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

class QCommandLineParser;

namespace Delimited {

// The field of each line a program works on, as -t SEP, -k N and --header
// choose it: the same options, wording and checks in every program.
struct FieldChoice
{
    // Counted from 0, or -1 for the whole line.
    qsizetype field = -1;
    // With a field: its separator, or FieldPicker::blankSeparated.
    char32_t separator = 0;
    bool header = false;

    // Quotes are read as RFC 4180 has them for comma-separated fields only:
    // elsewhere a quote is more likely part of the text.
    bool quoting() const { return separator == U','; }
};

struct FieldOptions
{
    Q_DECLARE_TR_FUNCTIONS(Delimited)

public:
    // USE words what the field is for in the program's help, such as
    // "按第 N 个字段排序".
    explicit FieldOptions(const QString &use, const QString &headerUse);

    QCommandLineOption separator;
    QCommandLineOption field;
    QCommandLineOption header;

    // The choice the user made; false with PROBLEM set when it is not usable.
    bool take(const QCommandLineParser &parser, FieldChoice *choice, QString *problem) const;
};

} // namespace Delimited
