// SPDX-License-Identifier: MIT
#include "program.h"

#include "counter.h"
#include "messages.h"
#include "options.h"
#include "output.h"
#include "programmain.h"
#include "runtimeerror.h"
#include "strokefiles.h"
#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>

#include <cerrno>
#endif

using namespace Qt::StringLiterals;

namespace Count {

namespace {

const QString standardInputName = u"-"_s;
// Up to this many different characters in the texts are looked up one by
// one, each reading only the pages it needs; more load the whole table.
constexpr qsizetype fewCharacters = 1000;

void writeLine(std::FILE *file, const QString &text)
{
    CommandLine::writeMessage(file, text);
}

bool isTerminal(std::FILE *file)
{
#ifdef Q_OS_UNIX
    return isatty(fileno(file)) == 1;
#else
    Q_UNUSED(file);
    return false;
#endif
}

#ifdef Q_OS_UNIX
// An open file read as the system hands it over. A file's own reads wait
// until the buffer is full; these return what has come, so the lines typed
// at a terminal or sent down a pipe are counted as they arrive.
class DescriptorReader : public QIODevice
{
public:
    explicit DescriptorReader(int descriptor)
        : m_descriptor(descriptor)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        ssize_t got = -1;
        do
            got = ::read(m_descriptor, data, std::size_t(maxSize));
        while (got < 0 && errno == EINTR);
        if (got < 0)
            setErrorString(CommandLine::systemError(errno));
        return got;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    int m_descriptor;
};
#endif

// The code points of TEXTS, each once, or null when there are too many for
// looking them up one by one to be quicker than loading every count.
std::unique_ptr<QList<char32_t>> fewCodePoints(const QStringList &texts)
{
    QSet<char32_t> seen;
    for (const QString &text : texts) {
        for (const char32_t codePoint : text.toUcs4()) {
            seen.insert(codePoint);
            if (seen.size() > fewCharacters)
                return nullptr;
        }
    }
    return std::make_unique<QList<char32_t>>(seen.begin(), seen.end());
}

// Whether TEXT has no character with a count and names a file: a user who
// meant to count the file is told how, though the count stands as it is.
bool looksLikeFileName(const StrokeTable &table, const QString &text)
{
    const QList<uint> codePoints = text.toUcs4();
    for (qsizetype i = 0; i < codePoints.size(); ++i) {
        if (i == 0 ? table.isLeadingKnown(codePoints[i]) : table.isKnown(codePoints[i]))
            return false;
    }
    return QFileInfo(text).isFile();
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
                                   .arg(name, CommandLine::openFailure(name, file)));
            return false;
        }
#ifdef Q_OS_UNIX
        DescriptorReader reader(file.handle());
        if (!counter.countStream(reader, name))
            return false;
#else
        if (!counter.countStream(file, name))
            return false;
#endif
    }
    return true;
}

// Counts the inputs, or lists the characters OPTIONS ask for, into OUT,
// with the reports and messages on ERR; returns the exit status.
int countOrList(const Options &options, const StrokeTable &table, const StrokeSequences &sequences, std::FILE *out,
                std::FILE *err)
{
    Output output(out, err);
    output.setLineByLine(isTerminal(out));
    const auto report = [&output, err](const QString &line) {
        output.flushReports();
        writeLine(err, line);
    };
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
        for (const QString &text : std::as_const(options.texts)) {
            if (looksLikeFileName(table, text))
                report(u"tarvelo-count: "_s
                       + Messages::tr("提示：“%1”是一个文件；要数文件里的字，请用 -f %1。").arg(text));
        }
        counted = counted || output.isClosed();
    }
    output.flushReports();
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

} // namespace

int run(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    Options options;
    QString text;
    const ParseResult parsed = parseArguments(arguments, &options, &text);
    if (const auto status = CommandLine::endOfParse(parsed, text, u"tarvelo-count: "_s, out, err))
        return *status;

    StrokeTable table;
    StrokeSequences sequences;
    const bool needsSequences = options.sequence || !options.beginsWith.empty();
    try {
        const auto few = options.texts.isEmpty() ? nullptr : fewCodePoints(options.texts);
        StrokeFiles::load(options.databasePath, &table, needsSequences ? &sequences : nullptr, options.common,
                          few.get());
    } catch (const RuntimeError &error) {
        writeLine(err, u"tarvelo-count: "_s + error.description());
        return Failed;
    }

    return countOrList(options, table, sequences, out, err);
}

} // namespace Count
