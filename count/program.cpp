// SPDX-License-Identifier: MIT
#include "program.h"

#include "counter.h"
#include "dataerror.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "runtimeerror.h"
#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"
#include "strokelookup.h"

#include <QCoreApplication>
#include <QFile>

using namespace Qt::StringLiterals;

namespace Count {

namespace {

const QString standardInputName = u"-"_s;

void writeLine(std::FILE *file, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
}

bool countInputs(Counter &counter, const Options &options)
{
    if (!options.texts.isEmpty()) {
        for (qsizetype i = 0; i < options.texts.size(); ++i)
            if (!counter.countArgument(options.texts.at(i), int(i + 1)))
                return false;
        return true;
    }
    const QStringList files = options.files.isEmpty() ? QStringList{standardInputName} : options.files;
    for (const QString &name : files) {
        QFile file;
        const bool opened = name == standardInputName
                ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)
                : (file.setFileName(name), file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        if (!opened) {
            counter.report(Messages::tr("打不开“%1”：%2。请检查文件名和读取权限。")
                                   .arg(name, file.errorString()));
            return false;
        }
        if (!counter.countStream(file, name))
            return false;
    }
    return true;
}

} // namespace

void loadTable(const QString &path, bool commonOnly, StrokeTable *table)
{
    try {
        data::Connection conn;
        // The check of the whole file leaves its pages in memory for the
        // reading of every row that follows.
        StrokeLookup::openDatabaseFile(conn, path, StrokeLookup::AfterCheck::ReadingEveryRow);
        table->load(conn);
        if (commonOnly) {
            table->loadCommon(conn, path);
            table->keepOnlyCommon();
        }
    } catch (const data::Error &error) {
        throw RuntimeError(StrokeLookup::describe(error, path));
    }
}

int run(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    Options options;
    QString text;
    switch (parseArguments(arguments, &options, &text)) {
    case ParseResult::Help:
    case ParseResult::Version:
        std::fputs(text.toUtf8().constData(), out);
        return std::fflush(out) == 0 ? Done : Failed;
    case ParseResult::Error:
        writeLine(err, u"tarvelo-count: "_s + text);
        return Failed;
    case ParseResult::Run:
        break;
    }

    const QString databasePath = options.databasePath.isEmpty()
            ? StrokeLookup::databasePath(QCoreApplication::applicationDirPath())
            : options.databasePath;
    StrokeTable table;
    StrokeSequences sequences;
    const bool needsSequences = options.sequence || !options.beginsWith.empty();
    try {
        loadTable(databasePath, options.common, &table);
        if (needsSequences)
            sequences.load(StrokeSequences::pathBeside(databasePath));
    } catch (const RuntimeError &error) {
        writeLine(err, u"tarvelo-count: "_s + error.description());
        return Failed;
    }

    Output output(out);
    const auto report = [err](const QString &line) { writeLine(err, line); };
    bool counted = true;
    bool foundUnknown = false;
    if (!options.beginsWith.empty()) {
        listBeginningWith(table, sequences, StrokeOrder(table, sequences), options, output);
    } else if (options.listByStrokes) {
        listByStrokes(table, options, output);
    } else {
        Counter counter(table, options, output, report);
        if (options.sequence)
            counter.setSequences(&sequences);
        counted = countInputs(counter, options);
        foundUnknown = counter.foundUnknown();
        counted = counted || output.isClosed();
    }
    if (!output.isClosed() && output.error().isEmpty())
        output.flush();
    if (!output.error().isEmpty()) {
        report(u"tarvelo-count: "_s + output.error());
        return Failed;
    }
    if (!counted)
        return Failed;
    return foundUnknown ? FoundUnknown : Done;
}

} // namespace Count
