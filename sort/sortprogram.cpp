// SPDX-License-Identifier: MIT
#include "sortprogram.h"

#include "sortmessages.h"
#include "sortoptions.h"
#include "nameorder.h"
#include "output.h"
#include "programmain.h"
#include "replacedfile.h"
#include "runtimeerror.h"
#include "sorter.h"
#include "strokefiles.h"
#include "strokeorder.h"
#include "strokeranking.h"
#include "strokesequences.h"
#include "systemtext.h"
#include "stroketable.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace Sort {

namespace {

const QString standardInputName = u"-"_s;
const QString programPrefix = u"tarvelo-sort: "_s;

void writeLine(std::FILE *file, const QString &text)
{
    CommandLine::writeMessage(file, programPrefix + text);
}

bool readInputs(Sorter &sorter, const QStringList &names, QString *error)
{
    for (const QString &name : names.isEmpty() ? QStringList{standardInputName} : names) {
        QFile file;
        const bool opened = name == standardInputName
                ? file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)
                : (file.setFileName(name), file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
        if (!opened) {
            *error = Messages::tr("打不开“%1”：%2。请检查文件名和读取权限。")
                             .arg(name, CommandLine::openFailure(name, file));
            return false;
        }
        if (!sorter.addInput(file, name)) {
            *error = sorter.error();
            return false;
        }
    }
    return true;
}

// Nothing reaches PATH unless all of it is written: the file is replaced in
// one step, and an error or a kill leaves the old one as it was. TARGET is
// the file that PATH names, as replaceableTarget() found it.
bool writeFile(const Sorter &sorter, const QString &path, const QString &target, QString *error)
{
    QSaveFile file(target);
    int writeError = 0;
    const auto failed = [&] {
        const int reason = writeError != 0 ? writeError : errno;
        *error = Messages::tr("写不了“%1”：%2。")
                         .arg(path, reason != 0 ? CommandLine::systemError(reason) : quotedSystemText(file.errorString()));
        return false;
    };
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    CommandLine::keepAttributes(file, target);
    const bool written = sorter.write([&file, &writeError](const char *bytes, std::size_t size) {
        errno = 0;
        const bool whole = file.write(bytes, qint64(size)) == qint64(size);
        if (!whole)
            writeError = errno;
        return whole;
    });
    errno = 0;
    if (!written || !file.commit())
        return failed();
    return true;
}

// The output's reader going away ends the program quietly.
bool writeStandardOutput(const Sorter &sorter, std::FILE *out, QString *error)
{
    CommandLine::Output output(out);
    sorter.write([&output](const char *bytes, std::size_t size) {
        output.append(bytes, size);
        return output.flushWhenFull();
    });
    if (!output.isClosed() && output.error().isEmpty())
        output.flush();
    *error = output.error();
    return error->isEmpty();
}

int sortWith(const Ranking &ranking, const Options &options, const QString &target, std::FILE *out, std::FILE *err)
{
    Sorter sorter(ranking, options.settings);
    QString error;
    if (!readInputs(sorter, options.files, &error)) {
        writeLine(err, error);
        return Failed;
    }
    sorter.sort();
    const bool written = options.outputPath.isEmpty() ? writeStandardOutput(sorter, out, &error)
                                                      : writeFile(sorter, options.outputPath, target, &error);
    if (!written) {
        writeLine(err, error);
        return Failed;
    }
    return Done;
}

} // namespace

int run(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    Options options;
    QString text;
    const ParseResult parsed = parseArguments(arguments, &options, &text);
    if (const auto status = CommandLine::endOfParse(parsed, text, programPrefix, out, err))
        return *status;
    // Checked before any work: a node named by mistake is left alone.
    const QString target = options.outputPath.isEmpty() ? QString()
                                                        : CommandLine::replaceableTarget(options.outputPath, &text);
    if (!options.outputPath.isEmpty() && target.isEmpty()) {
        writeLine(err, text);
        return Failed;
    }

    StrokeTable table;
    StrokeSequences sequences;
    try {
        StrokeFiles::loadForOrder(options.databasePath, &table, &sequences);
    } catch (const RuntimeError &error) {
        writeLine(err, error.description());
        return Failed;
    }
    const StrokeOrder strokeOrder(table, sequences);
    const NameOrder order(strokeOrder, options.rule);
    const StrokeRanking ranking(order);
    return sortWith(ranking, options, target, out, err);
}

} // namespace Sort
