// SPDX-License-Identifier: MIT
// tarvelo-strokedb: builds the stroke database from Unihan, or lists it.
#include "dbwriter.h"
#include "outputfiles.h"
#include "recordset.h"
#include "runtimeerror.h"
#include "strokecorrections.h"
#include "strokedb.h"
#include "strokesequencebuild.h"
#include "strokesequences.h"
#include "strokelookup.h"
#include "unihan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <new>
#include <system_error>

#ifdef Q_OS_UNIX
#include <signal.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr int exitUsage = 2;

const QString strokesFile = u"Unihan_IRGSources.txt"_s;
const QString listFile = u"Unihan_OtherMappings.txt"_s;
const QString radicalsFile = u"CJKRadicals.txt"_s;

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

// A listing or summary that did not arrive is a failure, not a success
// with the output lost.
void printOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size())
        || std::fflush(stdout) != 0)
        throw RuntimeError(writeFailure(u"标准输出"_s, errno));
}

int usage()
{
    print(stderr, u"usage: tarvelo-strokedb build UNICODE_DATA_FOLDER OUT [STROKE_TABLE CORRECTIONS]\n"
                  "       tarvelo-strokedb dump DB\n"
                  "The folder holds %1, %2 (each plain or .bz2) and %3,\n"
                  "as Debian's unicode-data installs them in /usr/share/unicode.\n"
                  "With a stroke table (py_stroke.mb) and its correction file, the stroke\n"
                  "sequences are checked and written beside OUT as well.\n"_s
                          .arg(strokesFile, listFile, radicalsFile));
    return exitUsage;
}

// Ctrl-C or kill while the files are written or replaced would leave a
// temporary file where the system cannot write one without a name, or
// one file of the set replaced and the other not. Holding the signals for
// the fraction of a second that writing takes lets every file go its
// ordinary way first; the signal then ends the program as it would have.
class SignalsHeld
{
public:
    SignalsHeld()
    {
#ifdef Q_OS_UNIX
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &m_before);
#endif
    }
    ~SignalsHeld()
    {
#ifdef Q_OS_UNIX
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
#endif
    }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
#ifdef Q_OS_UNIX
    sigset_t m_before;
#endif
};

// NAME in FOLDER, plain or packed.
QString inputFile(const QDir &folder, const QString &name)
{
    for (const QString &candidate : {name, name + u".bz2"_s}) {
        if (folder.exists(candidate))
            return folder.filePath(candidate);
    }
    throw RuntimeError(u"%1 holds neither %2 nor %2.bz2; install Debian's package unicode-data "
                       "and name /usr/share/unicode"_s
                               .arg(QDir::toNativeSeparators(folder.path()), name));
}

// Whether A and B are one file, whatever their names or links.
bool sameFile(const QString &a, const QString &b)
{
    std::error_code error;
    return std::filesystem::equivalent(QFileInfo(a).filesystemAbsoluteFilePath(),
                                       QFileInfo(b).filesystemAbsoluteFilePath(), error);
}

// The parsers name a line; the file is named here.
template<typename Parse>
auto parseFile(const QString &path, Parse parse)
{
    try {
        return parse(readUnihanFile(path));
    } catch (const RuntimeError &error) {
        if (error.description().startsWith(u"line "_s))
            throw RuntimeError(QDir::toNativeSeparators(path) + u", "_s + error.description());
        throw;
    }
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(u"cannot read %1: %2"_s.arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(u"cannot read %1: %2"_s.arg(path, file.errorString()));
    return bytes;
}

// The stroke table's sequences, checked against the list that SOURCES hold
// with the counts the database gets.
SequenceBuild strokeSequences(const QStringList &sequenceInputs, const StrokeSources &sources,
                              const QHash<char32_t, int> &corrected)
{
    SequenceSources sequenceSources;
    sequenceSources.strokeTable = readFile(sequenceInputs.at(0));
    sequenceSources.corrections = readFile(sequenceInputs.at(1));
    sequenceSources.commonList = sources.commonList;
    sequenceSources.counts = sources.counts;
    for (auto it = corrected.cbegin(); it != corrected.cend(); ++it)
        sequenceSources.counts.insert(it.key(), it.value());
    sequenceSources.provenance = {
            u"Source: %1, fcitx's stroke table (fcitx5-chinese-addons), from Debian 12's package "
            "fcitx5-module-pinyinhelper 5.0.16-1, mended as %2 says."_s.arg(
                    QFileInfo(sequenceInputs.at(0)).fileName(), QFileInfo(sequenceInputs.at(1)).fileName()),
            u"Licence: LGPL-2.1-or-later (GNU Lesser General Public License, version 2.1 or later)."_s};
    return buildStrokeSequences(sequenceSources);
}

// Where a build writes. A symbolic link OUT stays and its target is
// replaced, so the files that go with the database lie beside that and are
// named after it.
struct BuildOutputs
{
    QString database;
    QString corrections;
    QString sequences;
};

BuildOutputs buildOutputs(const QString &out, const QStringList &inputs)
{
    BuildOutputs outputs;
    outputs.database = OutputFiles::target(out);
    const QFileInfo outInfo(outputs.database);
    outputs.corrections =
            OutputFiles::target(outInfo.dir().filePath(outInfo.completeBaseName() + u"-corrections.tsv"_s));
    outputs.sequences = OutputFiles::target(StrokeSequences::pathBeside(outputs.database));
    for (const QString &input : inputs) {
        for (const QString &written : {outputs.database, outputs.corrections, outputs.sequences}) {
            if (sameFile(input, written))
                throw RuntimeError(
                        u"%1 would overwrite the input %2; choose another output file"_s.arg(written, input));
        }
    }
    return outputs;
}

// The counts, the 2013 list and the radicals read from the three Unihan
// INPUTS, which must be of one Unicode version.
UnihanStrokes readSources(const QStringList &inputs, StrokeSources *sources)
{
    UnihanStrokes strokes;
    parseFile(inputs.at(0), [&](const QByteArray &text) {
        strokes = parseTotalStrokes(text);
        sources->radicals = parseRadicalPositions(text);
        return 0;
    });
    if (strokes.counts.isEmpty())
        throw RuntimeError(u"%1 holds no kTotalStrokes entries"_s.arg(inputs.at(0)));
    const QString listVersion = parseFile(inputs.at(1), [&](const QByteArray &text) {
        sources->commonList = parseCommonList(text);
        return unihanVersion(text);
    });
    if (listVersion != strokes.unicodeVersion)
        throw RuntimeError(u"%1 is from Unicode %2 but %3 from Unicode %4; use files of one version"_s.arg(
                inputs.at(0), strokes.unicodeVersion, inputs.at(1), listVersion));
    sources->radicalIdeographs = parseFile(inputs.at(2), parseRadicalIdeographs);
    for (const auto &[codePoint, count] : strokes.counts)
        sources->counts.insert(codePoint, count);
    return strokes;
}

StrokeDbLayout databaseLayout(const UnihanStrokes &strokes, const QStringList &inputs,
                              const StrokeSources &sources, qsizetype corrections)
{
    StrokeDbLayout layout;
    layout.unicodeVersion = strokes.unicodeVersion;
    QStringList sourceNames;
    for (const QString &input : inputs)
        sourceNames.append(QFileInfo(input).fileName());
    layout.sourceFile = sourceNames.join(u' ');
    layout.corrections = int(corrections);
    for (const char32_t codePoint : sources.commonList)
        layout.commonCharacters.append(QString::fromUcs4(&codePoint, 1));
    return layout;
}

void reportBuild(const QString &out, const BuildOutputs &outputs, qsizetype rows, const QString &unicodeVersion,
                 const QList<StrokeCorrection> &corrections, const SequenceBuild *sequences)
{
    QMap<CorrectionReason, int> byReason;
    for (const StrokeCorrection &correction : corrections)
        ++byReason[correction.reason];
    printOut(u"%1: %2 characters from Unicode %3\n"
                  "%4 counts differ from Unihan's: %5 settled by their neighbours in the 2013 list, "
                  "%6 at a border in the list by their simplified radical, %7 outside the list by "
                  "their simplified radical; each is listed in %8\n"_s.arg(out)
                          .arg(rows)
                          .arg(unicodeVersion)
                          .arg(corrections.size())
                          .arg(byReason.value(CorrectionReason::Neighbours))
                          .arg(byReason.value(CorrectionReason::Border))
                          .arg(byReason.value(CorrectionReason::SimplifiedRadical))
                          .arg(outputs.corrections));
    if (sequences) {
        const SequenceFigures &f = sequences->figures;
        printOut(u"%1: %2 stroke sequences kept, %3 dropped outside the list (length is not the count), "
                      "%4 corrected, %5 characters of the list without one\n"_s.arg(outputs.sequences)
                              .arg(f.kept)
                              .arg(f.dropped)
                              .arg(f.corrected)
                              .arg(f.withoutInList));
    }
}

int build(const QString &folderPath, const QString &out, const QStringList &sequenceInputs)
{
    const QFileInfo folderInfo(folderPath);
    if (!folderInfo.isDir())
        throw RuntimeError(u"%1 is not a folder; name the folder that holds %2, %3 and %4"_s.arg(
                folderPath, strokesFile, listFile, radicalsFile));
    const QDir folder(folderPath);
    const QStringList inputs = {inputFile(folder, strokesFile), inputFile(folder, listFile),
                                inputFile(folder, radicalsFile)};
    const BuildOutputs outputs = buildOutputs(out, inputs + sequenceInputs);

    StrokeSources sources;
    const UnihanStrokes strokes = readSources(inputs, &sources);
    const QList<StrokeCorrection> corrections = strokeCorrections(sources);
    QHash<char32_t, int> corrected;
    for (const StrokeCorrection &correction : corrections)
        corrected.insert(correction.codePoint, correction.count);
    QList<StrokeRow> rows;
    rows.reserve(strokes.counts.size());
    for (const auto &[codePoint, count] : strokes.counts)
        rows.append({QString::fromUcs4(&codePoint, 1), corrected.value(codePoint, count)});
    const SequenceBuild sequences = sequenceInputs.isEmpty() ? SequenceBuild()
                                                             : strokeSequences(sequenceInputs, sources, corrected);
    {
        const SignalsHeld held;
        OutputFiles files;
        writeStrokeDatabase(files.open(outputs.database), rows,
                            databaseLayout(strokes, inputs, sources, corrections.size()));
        files.add(outputs.corrections, correctionsTable(corrections));
        if (!sequenceInputs.isEmpty())
            files.add(outputs.sequences, sequences.file);
        files.commit();
    }
    reportBuild(out, outputs, rows.size(), strokes.unicodeVersion, corrections,
                sequenceInputs.isEmpty() ? nullptr : &sequences);
    return 0;
}

// A key with a TAB, a line end or a backslash in it would otherwise split
// or merge rows of the listing.
QString escaped(const QString &key)
{
    struct Escape
    {
        char16_t raw;
        char16_t shown;
    };
    static constexpr Escape escapes[] = {{u'\\', u'\\'}, {u'\t', u't'}, {u'\n', u'n'}, {u'\r', u'r'}};
    QString text;
    text.reserve(key.size());
    for (const QChar c : key) {
        const auto *escape = std::find_if(std::begin(escapes), std::end(escapes),
                                          [c](const Escape &e) { return e.raw == c.unicode(); });
        if (escape == std::end(escapes)) {
            text += c;
        } else {
            text += u'\\';
            text += QChar(escape->shown);
        }
    }
    return text;
}

int dump(const QString &path)
{
    data::Connection conn;
    StrokeLookup::openDatabaseFile(conn, path);
    data::Recordset rs;
    const QString rows =
            u"select %1, %2 from %3"_s.arg(StrokeDb::characterColumn, StrokeDb::strokeCountColumn, StrokeDb::strokeTable);
    rs.Open(rows, conn, data::adLockReadOnly);
    QString chunk;
    constexpr qsizetype flushAt = 1 << 16;
    while (!rs.atEnd()) {
        chunk += escaped(rs.Fields(0).Value.toString()) + u'\t' + rs.Fields(1).Value.toString() + u'\n';
        if (chunk.size() > flushAt) {
            printOut(chunk);
            chunk.clear();
        }
        rs.MoveNext();
    }
    printOut(chunk);
    rs.Close();
    conn.Close();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString failure;
    try {
        if ((args.size() == 4 || args.size() == 6) && args.at(1) == u"build")
            return build(args.at(2), args.at(3), args.mid(4));
        if (args.size() == 3 && args.at(1) == u"dump")
            return dump(args.at(2));
        return usage();
    } catch (const RuntimeError &error) {
        failure = error.description();
    } catch (const std::bad_alloc &) {
        failure = u"not enough memory; nothing was written"_s;
    } catch (const std::exception &error) {
        failure = QString::fromLocal8Bit(error.what());
    }
    print(stderr, u"tarvelo-strokedb: "_s + failure + u'\n');
    return 1;
}
