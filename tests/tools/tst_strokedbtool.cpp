// SPDX-License-Identifier: MIT
#include "strokedbfixtures.h"
#include "runtimeerror.h"
#include "sqlcipher.h"
#include "strokecorrections.h"
#include "strokelookup.h"
#include "unihan.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype realRowCount = 98060;
constexpr int toolTimeoutMs = 60000;

using Counts = QList<std::pair<char32_t, int>>;

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(toolTimeoutMs) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

ToolRun runTool(const QStringList &arguments)
{
    return runProgram(QCoreApplication::applicationDirPath() + u"/tarvelo-strokedb"_s, arguments);
}

const QByteArray sampleUnihan = "# Unihan_IRGSources.txt\n"
                                "# Unicode version: 15.0.0\n"
                                "#\n"
                                "U+6C49\tkIRG_GSource\tG0-3A3A\n"
                                "U+6C49\tkTotalStrokes\t5\n"
                                "U+8303\tkTotalStrokes\t8 9\n"
                                "# U+5B57\tkTotalStrokes\t6\n"
                                "U+20BB7\tkTotalStrokes\t6\n"
                                "\n# EOF\n";

const QString strokesName = u"Unihan_IRGSources.txt"_s;
const QByteArray fileEnd = "\n# EOF\n";

// A Unicode data folder the tool accepts: the 8105 places of the list on
// consecutive ideographs with counts in order, each count of OVERRIDES in
// place of its place's, and EXTRALINES on lines 3 on of the strokes file.
QString writeUnicodeFolder(const QString &folder, const QByteArray &extraLines = {},
                           const QMap<int, int> &overrides = {})
{
    constexpr char32_t firstIdeograph = 0x4E00;
    constexpr int countsPerLevel = 10;
    QByteArray strokes = "# Unicode version: 15.0.0\n#\n" + extraLines;
    QByteArray list = "# Unicode version: 15.0.0\n";
    int levelStart = 1;
    for (const int levelEnd : commonListLevelEnds) {
        for (int place = levelStart; place <= levelEnd; ++place) {
            const int count = 1 + (place - levelStart) * countsPerLevel / (levelEnd - levelStart + 1);
            const QByteArray code = QByteArray::number(uint(firstIdeograph) + uint(place), 16).toUpper();
            strokes += "U+" + code + "\tkTotalStrokes\t" + QByteArray::number(overrides.value(place, count)) + '\n';
            list += "U+" + code + "\tkTGH\t2013:" + QByteArray::number(place) + '\n';
        }
        levelStart = levelEnd + 1;
    }
    QDir().mkpath(folder);
    Fixture::writeAll(QDir(folder).filePath(strokesName), strokes + fileEnd);
    Fixture::writeAll(QDir(folder).filePath(u"Unihan_OtherMappings.txt"_s), list + fileEnd);
    Fixture::writeAll(QDir(folder).filePath(u"CJKRadicals.txt"_s), "1; 2F00; 4E00\n" + fileEnd);
    return folder;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

// Everything under FOLDER: a regular file's hash, a link's target, or
// the kind of anything else.
QMap<QString, QByteArray> entriesIn(const QString &folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        QByteArray kind = "not a file";
        if (info.isSymLink())
            kind = "link to " + QFile::encodeName(info.symLinkTarget());
        else if (info.isDir())
            kind = "folder";
        else if (info.isFile())
            kind = Fixture::fileHash(info.filePath());
        entries.insert(QDir(folder).relativeFilePath(info.filePath()), kind);
    }
    return entries;
}

} // namespace

class TestStrokeDbTool : public QObject
{
    Q_OBJECT

private slots:
    void parseTotalStrokes_data();
    void parseTotalStrokes();
    void parseTotalStrokesRefuses_data();
    void parseTotalStrokesRefuses();
    void compressedInputReadsAsPlain();
    void damagedCompressedInputFails();

    void dumpListsEveryRow();
    void realDatabaseIsEncrypted();
    void buildIsRepeatable();
    void failedBuildKeepsOldFile();
    void buildRejectsUnusableInput_data();
    void buildRejectsUnusableInput();
    void buildRefusesAndKeepsFiles_data();
    void buildRefusesAndKeepsFiles();
    void buildReplacesOnlyFiles_data();
    void buildReplacesOnlyFiles();
    void failedOutputIsAnError_data();
    void failedOutputIsAnError();
    void killedBuildLeavesOnlyTarget_data();
    void killedBuildLeavesOnlyTarget();
    void dumpChecksAndEscapes_data();
    void dumpChecksAndEscapes();

    void realCounts_data();
    void realCounts();
    void realCountsFollowListOrder();
};

void TestStrokeDbTool::parseTotalStrokes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("version");
    QTest::addColumn<Counts>("counts");

    QTest::newRow("first of two counts, other fields and comments skipped")
            << sampleUnihan << u"15.0.0"_s << Counts{{0x6C49, 5}, {0x8303, 8}, {0x20BB7, 6}};
    QByteArray crlf = sampleUnihan;
    crlf.replace("\n", "\r\n");
    QTest::newRow("CRLF line ends") << crlf << u"15.0.0"_s
                                    << Counts{{0x6C49, 5}, {0x8303, 8}, {0x20BB7, 6}};
    QTest::newRow("sorted by code point, no final line end")
            << QByteArray("U+9F98\tkTotalStrokes\t48\nU+4E00\tkTotalStrokes\t1") << QString()
            << Counts{{0x4E00, 1}, {0x9F98, 48}};
    QTest::newRow("look-alike field skipped")
            << QByteArray(" U+4E02\tkTotalStrokesX\t3\nU+4E03\tkTotalStrokes\t2\n") << QString() << Counts{{0x4E03, 2}};
    QTest::newRow("empty") << QByteArray() << QString() << Counts{};
}

void TestStrokeDbTool::parseTotalStrokes()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, version);
    QFETCH(Counts, counts);

    const UnihanStrokes strokes = ::parseTotalStrokes(text);
    QCOMPARE(strokes.unicodeVersion, version);
    QCOMPARE(strokes.counts, counts);
}

void TestStrokeDbTool::parseTotalStrokesRefuses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");

    QTest::newRow("count in words") << QByteArray("U+3400\tkTotalStrokes\tfive\n")
                                    << u"line 1: “five” for U+3400 is not a stroke count"_s;
    QTest::newRow("second count in words") << QByteArray("U+3400\tkTotalStrokes\t5 many\n")
                                           << u"line 1: “5 many” for U+3400"_s;
    QTest::newRow("count of 23 digits") << QByteArray("U+3400\tkTotalStrokes\t12345678901234567890123\n")
                                        << u"line 1: U+3400 has 12345678901234567890123 strokes"_s;
    QTest::newRow("lower-case u+") << QByteArray("#\nu+3400\tkTotalStrokes\t5\n")
                                   << u"line 2: “u+3400\tkTotalStrokes\t5” is not a Unihan entry"_s;
    QTest::newRow("code point not hexadecimal") << QByteArray("U+XYZ\tkTotalStrokes\t5\n")
                                                << u"line 1: “U+XYZ"_s;
    QTest::newRow("no value") << QByteArray("U+4E01\tkTotalStrokes\n") << u"line 1: “U+4E01"_s;
}

void TestStrokeDbTool::parseTotalStrokesRefuses()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);

    QString message;
    try {
        ::parseTotalStrokes(text);
    } catch (const RuntimeError &failure) {
        message = failure.description();
    }
    QVERIFY2(message.startsWith(error), qPrintable(message));
}

void TestStrokeDbTool::compressedInputReadsAsPlain()
{
    const QString bzip2 = QStandardPaths::findExecutable(u"bzip2"_s);
    if (bzip2.isEmpty())
        QSKIP("bzip2 is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString plain = dir.filePath(u"Unihan.txt"_s);
    QVERIFY(Fixture::writeAll(plain, sampleUnihan));
    QCOMPARE(runProgram(bzip2, {u"-k"_s, plain}).exitCode, 0);
    QCOMPARE(readUnihanFile(plain), sampleUnihan);
    QCOMPARE(readUnihanFile(plain + u".bz2"_s), sampleUnihan);

    // Parallel compressors write one stream per block; all of them count.
    const QByteArray stream = Fixture::readAll(plain + u".bz2"_s);
    const QString joined = dir.filePath(u"joined.txt.bz2"_s);
    QVERIFY(Fixture::writeAll(joined, stream + stream));
    QCOMPARE(readUnihanFile(joined), sampleUnihan + sampleUnihan);
}

void TestStrokeDbTool::damagedCompressedInputFails()
{
    const QString bzip2 = QStandardPaths::findExecutable(u"bzip2"_s);
    if (bzip2.isEmpty())
        QSKIP("bzip2 is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString plain = dir.filePath(u"Unihan.txt"_s);
    QVERIFY(Fixture::writeAll(plain, sampleUnihan));
    QCOMPARE(runProgram(bzip2, {u"-k"_s, plain}).exitCode, 0);
    const QByteArray stream = Fixture::readAll(plain + u".bz2"_s);

    const QString cut = dir.filePath(u"cut.txt.bz2"_s);
    QVERIFY(Fixture::writeAll(cut, stream.left(stream.size() / 2)));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, readUnihanFile(cut));

    const QString trailingJunk = dir.filePath(u"junk.txt.bz2"_s);
    QVERIFY(Fixture::writeAll(trailingJunk, stream + "junk"));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, readUnihanFile(trailingJunk));

    QVERIFY_THROWS_EXCEPTION(RuntimeError, readUnihanFile(dir.filePath(u"missing.txt"_s)));
}

void TestStrokeDbTool::dumpListsEveryRow()
{
    const ToolRun run = runTool({u"dump"_s, Fixture::databasePath(Fixture::realDatabaseFolder())});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    QVERIFY(run.out.endsWith('\n'));
    const QList<QByteArray> lines = run.out.chopped(1).split('\n');
    QCOMPARE(lines.size(), realRowCount);
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        QCOMPARE(fields.size(), 2);
        QCOMPARE(QString::fromUtf8(fields.at(0)).toUcs4().size(), 1);
        bool ok = false;
        QVERIFY(fields.at(1).toInt(&ok) > 0 && ok);
    }
    QVERIFY(lines.contains("汉\t5"));
    QVERIFY(lines.contains("\xF0\xAA\x9A\xA5\t64"));
}

void TestStrokeDbTool::realDatabaseIsEncrypted()
{
    const QString sqlite3 = QStandardPaths::findExecutable(u"sqlite3"_s);
    if (sqlite3.isEmpty())
        QSKIP("sqlite3 is not installed");
    const QString path = Fixture::databasePath(Fixture::realDatabaseFolder());
    const QByteArray before = Fixture::fileHash(path);
    const ToolRun run = runProgram(sqlite3, {u"-readonly"_s, path, u".tables"_s});
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.err.contains("not a database"), run.err.constData());
    QVERIFY(!run.out.contains("meta"));
    QCOMPARE(Fixture::fileHash(path), before);
}

// The cipher's salt and IVs are random, so two builds differ in every
// page; what is repeatable is the content.
void TestStrokeDbTool::buildIsRepeatable()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArrayList dumps;
    for (const QString &name : {u"one.dll"_s, u"two.dll"_s}) {
        const QString out = dir.filePath(name);
        const ToolRun build = runTool({u"build"_s, QStringLiteral(TARVELO_UNICODE_DATA_DIR), out});
        QVERIFY2(build.exitCode == 0, build.err.constData());
        QVERIFY(build.out.contains("98060 characters"));
        const ToolRun dump = runTool({u"dump"_s, out});
        QCOMPARE(dump.exitCode, 0);
        dumps.append(dump.out);
    }
    QCOMPARE(dumps.at(0).size(), dumps.at(1).size());
    QVERIFY(dumps.at(0) == dumps.at(1));
    const ToolRun real = runTool({u"dump"_s, Fixture::databasePath(Fixture::realDatabaseFolder())});
    QVERIFY(real.out == dumps.at(0));
    QCOMPARE(filesIn(dir.path()), (QStringList{u"one-corrections.tsv"_s, u"one.dll"_s, u"two-corrections.tsv"_s,
                                                u"two.dll"_s}));
    QVERIFY(Fixture::readAll(dir.filePath(u"one-corrections.tsv"_s))
            == Fixture::readAll(dir.filePath(u"two-corrections.tsv"_s)));
}

void TestStrokeDbTool::failedBuildKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = Fixture::writeDatabase(dir.path(), {{u"汉"_s, 5}});
    const QString path = Fixture::databasePath(folder);
    const QByteArray before = Fixture::fileHash(path);
    // The same character twice breaks the one-row-per-character key.
    QVERIFY_THROWS_EXCEPTION(RuntimeError,
                             writeStrokeDatabase(path, {{u"字"_s, 6}, {u"字"_s, 7}}));
    QCOMPARE(Fixture::fileHash(path), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{StrokeDb::fileName});
}

void TestStrokeDbTool::buildRejectsUnusableInput_data()
{
    QTest::addColumn<QByteArray>("input");

    QTest::newRow("missing input") << QByteArray();
    QTest::newRow("no stroke entries") << QByteArray("# Unicode version: 15.0.0\nU+4E00\tkRSUnicode\t1.0\n");
    QTest::newRow("repeated code point") << QByteArray("U+4E00\tkTotalStrokes\t1\nU+4E00\tkTotalStrokes\t2\n");
}

void TestStrokeDbTool::buildRejectsUnusableInput()
{
    QFETCH(QByteArray, input);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = writeUnicodeFolder(dir.filePath(u"data"_s));
    const QString strokes = QDir(source).filePath(strokesName);
    QVERIFY(input.isEmpty() ? QFile::remove(strokes) : Fixture::writeAll(strokes, input));
    const QString out = dir.filePath(StrokeDb::fileName);
    const ToolRun run = runTool({u"build"_s, source, out});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("tarvelo-strokedb: "), run.err.constData());
    QVERIFY(run.out.isEmpty());
    QCOMPARE(filesIn(dir.path()), QStringList());
}

enum class Setup { Plain, HardLink, Bomb, CutShort };
using Overrides = QMap<int, int>;

void TestStrokeDbTool::buildRefusesAndKeepsFiles_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QByteArray>("extraLines");
    QTest::addColumn<Overrides>("overrides");
    QTest::addColumn<QString>("outName");
    QTest::addColumn<QByteArray>("errorHolds");

    const QString out = StrokeDb::fileName;
    const QString input = u"data/"_s + strokesName;
    QTest::newRow("good input: replaced, a user's .partial kept")
            << Setup::Plain << QByteArray() << Overrides() << out
            << QByteArray();
    QTest::newRow("output is the input")
            << Setup::Plain << QByteArray() << Overrides() << input
            << QByteArray("would overwrite the input");
    QTest::newRow("output is the input by another path")
            << Setup::Plain << QByteArray() << Overrides() << u"data/../"_s + input
            << QByteArray("would overwrite the input");
    QTest::newRow("output is a hard link to the input")
            << Setup::HardLink << QByteArray() << Overrides() << u"link"_s
            << QByteArray("would overwrite the input");
    QTest::newRow("code point beyond U+10FFFF")
            << Setup::Plain << QByteArray("U+110000\tkTotalStrokes\t5\n") << Overrides() << out
            << QByteArray("line 3: code point U+110000");
    QTest::newRow("surrogate")
            << Setup::Plain << QByteArray("U+D800\tkTotalStrokes\t5\n") << Overrides() << out
            << QByteArray("line 3: U+D800 is a surrogate");
    QTest::newRow("count 0")
            << Setup::Plain << QByteArray("U+3400\tkTotalStrokes\t0\n") << Overrides() << out
            << QByteArray("line 3: U+3400 has 0 strokes");
    QTest::newRow("count in words, by file and line")
            << Setup::Plain << QByteArray("U+3400\tkTotalStrokes\tfive\n") << Overrides() << out
            << QByteArray("Unihan_IRGSources.txt, line 3: “five” for U+3400 is not a stroke count");
    QTest::newRow("cut inside the last value, no # EOF")
            << Setup::CutShort << QByteArray() << Overrides() << out
            << QByteArray("Unihan_IRGSources.txt ends on line 8107 without the line “# EOF”");
    QTest::newRow("count 40000")
            << Setup::Plain << QByteArray("U+3400\tkTotalStrokes\t40000\n") << Overrides() << out
            << QByteArray("line 3: U+3400 has 40000 strokes");
    QTest::newRow("repeated code point, in words")
            << Setup::Plain << QByteArray("U+4E01\tkTotalStrokes\t1\n") << Overrides() << out
            << QByteArray("line 4: a second kTotalStrokes entry for U+4E01 (the first is on line 3)");
    QTest::newRow("bzip2 bomb")
            << Setup::Bomb << QByteArray() << Overrides() << out
            << QByteArray("unpacks to more than 512 MB");
    // Place 350 is the last with 1 stroke; 351 the first with 2.
    QTest::newRow("out of order at a border, nothing settles it")
            << Setup::Plain << QByteArray() << Overrides{{351, 9}} << out
            << QByteArray("U+4F5F at place 351 of the 2013 list has 9 strokes");
    QTest::newRow("out of order, either of two could be wrong")
            << Setup::Plain << QByteArray() << Overrides{{350, 2}, {351, 1}} << out
            << QByteArray("cannot tell whether the count of");
}

// Whatever goes wrong, the old database and every other file stay as
// they were.
void TestStrokeDbTool::buildRefusesAndKeepsFiles()
{
    QFETCH(Setup, setup);
    QFETCH(QByteArray, extraLines);
    QFETCH(Overrides, overrides);
    QFETCH(QString, outName);
    QFETCH(QByteArray, errorHolds);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = writeUnicodeFolder(dir.filePath(u"data"_s), extraLines, overrides);
    const QString strokes = QDir(source).filePath(strokesName);
    if (setup == Setup::Bomb) {
        // 600 streams of a mebibyte of zeros each: 27 KB that unpack to 600 MB.
        constexpr int streams = 600;
        const QString zeros = dir.filePath(u"zeros"_s);
        QVERIFY(Fixture::writeAll(zeros, QByteArray(1 << 20, '\0')));
        QCOMPARE(runProgram(QStandardPaths::findExecutable(u"bzip2"_s), {zeros}).exitCode, 0);
        QVERIFY(QFile::remove(strokes));
        QVERIFY(Fixture::writeAll(strokes + u".bz2"_s, Fixture::readAll(zeros + u".bz2"_s).repeated(streams)));
        QVERIFY(QFile::remove(zeros + u".bz2"_s));
    }
    if (setup == Setup::CutShort) {
        const QByteArray whole = Fixture::readAll(strokes);
        QVERIFY(Fixture::writeAll(strokes, whole.chopped(fileEnd.size() + 2)));
    }
    const QString out = dir.filePath(outName);
    if (setup == Setup::HardLink)
        QCOMPARE(::link(QFile::encodeName(strokes).constData(), QFile::encodeName(out).constData()), 0);
    if (!QFile::exists(out))
        QVERIFY(Fixture::writeAll(out, "old database"));
    QVERIFY(Fixture::writeAll(out + u".partial"_s, "a user's file"));
    QMap<QString, QByteArray> before;
    for (const QString &folder : {dir.path(), source}) {
        for (const QString &name : filesIn(folder))
            before.insert(QDir(folder).filePath(name), Fixture::fileHash(QDir(folder).filePath(name)));
    }

    const ToolRun run = runTool({u"build"_s, source, out});
    QVERIFY2(run.exitCode >= 0, "the tool crashed or hung");
    QVERIFY2(run.err.contains(errorHolds), run.err.constData());
    QMap<QString, QByteArray> after;
    for (const QString &folder : {dir.path(), source}) {
        for (const QString &name : filesIn(folder))
            after.insert(QDir(folder).filePath(name), Fixture::fileHash(QDir(folder).filePath(name)));
    }
    if (errorHolds.isEmpty()) {
        QCOMPARE(run.exitCode, 0);
        QVERIFY(after.value(out) != before.value(out));
        const QString corrections = dir.filePath(u"Refcom-corrections.tsv"_s);
        QVERIFY(after.contains(corrections));
        after.remove(corrections);
        after.insert(out, before.value(out));
    } else {
        QCOMPARE(run.exitCode, 1);
    }
    QCOMPARE(after, before);
}

enum class OutKind { Pipe, Device, Folder, CorrectionsFolder, LinkToPipe, LinkToFile };

void TestStrokeDbTool::buildReplacesOnlyFiles_data()
{
    QTest::addColumn<OutKind>("kind");
    QTest::addColumn<QStringList>("replaced");

    QTest::newRow("named pipe") << OutKind::Pipe << QStringList();
    QTest::newRow("copy of /dev/null") << OutKind::Device << QStringList();
    QTest::newRow("folder") << OutKind::Folder << QStringList();
    QTest::newRow("folder where the corrections go") << OutKind::CorrectionsFolder << QStringList();
    QTest::newRow("link to a pipe") << OutKind::LinkToPipe << QStringList();
    QTest::newRow("link to a file: the target and the corrections beside it")
            << OutKind::LinkToFile << QStringList{u"real/target.dll"_s, u"real/target-corrections.tsv"_s};
}

// Only regular files are replaced, and the database and its corrections
// together or neither.
void TestStrokeDbTool::buildReplacesOnlyFiles()
{
    QFETCH(OutKind, kind);
    QFETCH(QStringList, replaced);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = writeUnicodeFolder(dir.filePath(u"data"_s));
    const QDir outDir(dir.filePath(u"out"_s));
    QVERIFY(outDir.mkpath(u"real"_s));
    const QString out = outDir.filePath(StrokeDb::fileName);
    const QByteArray outName = QFile::encodeName(out);
    switch (kind) {
    case OutKind::Pipe:
        QCOMPARE(::mkfifo(outName.constData(), 0644), 0);
        break;
    case OutKind::Device:
        if (::mknod(outName.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("making a device node takes root");
        break;
    case OutKind::Folder:
        QVERIFY(outDir.mkdir(StrokeDb::fileName));
        break;
    case OutKind::CorrectionsFolder:
        QVERIFY(Fixture::writeAll(out, "old database"));
        QVERIFY(outDir.mkdir(u"Refcom-corrections.tsv"_s));
        break;
    case OutKind::LinkToPipe:
        QCOMPARE(::mkfifo(QFile::encodeName(outDir.filePath(u"real/pipe"_s)).constData(), 0644), 0);
        QCOMPARE(::symlink("real/pipe", outName.constData()), 0);
        break;
    case OutKind::LinkToFile:
        QVERIFY(Fixture::writeAll(outDir.filePath(u"real/target.dll"_s), "old database"));
        QCOMPARE(::symlink("real/target.dll", outName.constData()), 0);
        break;
    }
    QMap<QString, QByteArray> before = entriesIn(outDir.path());

    const ToolRun run = runTool({u"build"_s, source, out});
    QMap<QString, QByteArray> after = entriesIn(outDir.path());
    for (const QString &name : replaced) {
        QVERIFY2(after.value(name) != before.value(name), qPrintable(name));
        after.remove(name);
        before.remove(name);
    }
    QCOMPARE(after, before);
    QCOMPARE(run.exitCode, replaced.isEmpty() ? 1 : 0);
    if (replaced.isEmpty())
        QVERIFY2(run.err.contains("不是普通文件"), run.err.constData());
}

void TestStrokeDbTool::failedOutputIsAnError_data()
{
    QTest::addColumn<QString>("command");

    QTest::newRow("dump") << u"dump"_s;
    QTest::newRow("build") << u"build"_s;
}

// Standard output into a full disk: the listing or summary is lost, and
// the status and message say so.
void TestStrokeDbTool::failedOutputIsAnError()
{
    QFETCH(QString, command);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList arguments{command};
    if (command == u"dump"_s)
        arguments << Fixture::databasePath(Fixture::realDatabaseFolder());
    else
        arguments << writeUnicodeFolder(dir.filePath(u"data"_s)) << dir.filePath(StrokeDb::fileName);
    QProcess process;
    process.setStandardOutputFile(u"/dev/full"_s);
    process.start(QCoreApplication::applicationDirPath() + u"/tarvelo-strokedb"_s, arguments);
    QVERIFY(process.waitForFinished(toolTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(u"磁盘空间不足"_s) && err.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
             qPrintable(err));
}

void TestStrokeDbTool::killedBuildLeavesOnlyTarget_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("whileWriting");
    QTest::addColumn<int>("delayMs");

    QTest::newRow("SIGTERM while reading") << int(SIGTERM) << false << 300;
    QTest::newRow("SIGTERM as the files are written") << int(SIGTERM) << true << 0;
    QTest::newRow("SIGKILL as the files are written") << int(SIGKILL) << true << 0;
    QTest::newRow("SIGKILL while the files are written") << int(SIGKILL) << true << 40;
}

// Killed at any moment, the build leaves the old or the new complete
// database, and no other file.
void TestStrokeDbTool::killedBuildLeavesOnlyTarget()
{
    QFETCH(int, signal);
    QFETCH(bool, whileWriting);
    QFETCH(int, delayMs);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath(StrokeDb::fileName);
    writeStrokeDatabase(out, {{u"汉"_s, 5}});
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + u"/tarvelo-strokedb"_s,
                  {u"build"_s, QStringLiteral(TARVELO_UNICODE_DATA_DIR), out});
    QVERIFY(process.waitForStarted());
    // Writing has begun once the tool holds a file in the folder open.
    const QString inFolder = QFileInfo(dir.path()).canonicalFilePath() + u'/';
    const QDir descriptors(u"/proc/%1/fd"_s.arg(process.processId()));
    const auto writing = [&] {
        const QFileInfoList open = descriptors.entryInfoList(QDir::AllEntries | QDir::System);
        return std::any_of(open.cbegin(), open.cend(),
                           [&](const QFileInfo &fd) { return fd.symLinkTarget().startsWith(inFolder); });
    };
    const QDeadlineTimer deadline(toolTimeoutMs);
    while (whileWriting && !writing() && !deadline.hasExpired())
        QVERIFY2(!process.waitForFinished(1), "the build ended before it wrote");
    QVERIFY2(!process.waitForFinished(delayMs), "the build ended before it was killed");
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(toolTimeoutMs) || process.state() == QProcess::NotRunning);

    const QStringList files = filesIn(dir.path());
    QVERIFY2(files == QStringList{StrokeDb::fileName}
                     || files == (QStringList{u"Refcom-corrections.tsv"_s, StrokeDb::fileName}),
             qPrintable(files.join(u' ')));
    data::Connection conn;
    QVERIFY_THROWS_NO_EXCEPTION(StrokeLookup::openDatabaseFile(conn, out));
    conn.Close();
}

void TestStrokeDbTool::dumpChecksAndEscapes_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("keys with TAB, line ends and backslash, one line each")
            << QString() << QString() << QByteArray("a\\tb\t1\na\\\\b\t3\nc\\nd\\re\t2\n汉\t5\n");
    QTest::newRow("damaged page") << u"flip"_s << QString() << QByteArray();
    QTest::newRow("other password") << u"password"_s << QString() << QByteArray();
    QTest::newRow("missing file") << u"missing"_s << QString() << QByteArray();
    const QString endless = u"WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "_s;
    QTest::newRow("a view that never ends beside the tables")
            << u"sql"_s << u"CREATE VIEW v AS "_s + endless + u"SELECT x FROM r"_s << QByteArray();
    QTest::newRow("stroke table a view that never ends")
            << u"sql"_s << u"DROP TABLE a; CREATE VIEW a (汉字, 笔画数) AS "_s + endless + u"SELECT '汉', x FROM r"_s
            << QByteArray();
}

void TestStrokeDbTool::dumpChecksAndEscapes()
{
    QFETCH(QString, damage);
    QFETCH(QString, sql);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = Fixture::databasePath(dir.path());
    StrokeDbLayout layout;
    if (damage == u"password"_s)
        layout.password = u"another"_s;
    constexpr int manyRows = 5000;
    QList<StrokeRow> rows = Fixture::manyRows(manyRows);
    if (damage.isEmpty())
        rows = {{u"a\tb"_s, 1}, {u"c\nd\re"_s, 2}, {u"a\\b"_s, 3}, {u"汉"_s, 5}};
    writeStrokeDatabase(path, rows, layout);
    const QByteArray bytes = Fixture::readAll(path);
    if (damage == u"flip"_s)
        QVERIFY(Fixture::writeAll(path, Fixture::withByteFlipped(bytes, bytes.size() / 2)));
    if (damage == u"missing"_s)
        QVERIFY(QFile::remove(path));
    if (!sql.isEmpty()) {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> closing(db, sqlite3_close);
        QCOMPARE(data::setUpCipher(db, StrokeLookup::cipher()), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    }

    const ToolRun run = runTool({u"dump"_s, path});
    if (damage.isEmpty()) {
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
        return;
    }
    QString message;
    try {
        data::Connection conn;
        StrokeLookup::openDatabaseFile(conn, path);
    } catch (const RuntimeError &error) {
        message = error.description();
    }
    QVERIFY(!message.isEmpty());
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(QString::fromUtf8(run.err), u"tarvelo-strokedb: "_s + message + u'\n');
}

void TestStrokeDbTool::realCounts_data()
{
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("count");

    // Unihan counts the full radical where these have the simplified one.
    QTest::newRow("䜣 U+4723, list 6549") << u"䜣"_s << 6;
    QTest::newRow("䴓 U+4D13, list 6806") << u"䴓"_s << 9;
    QTest::newRow("䌹 U+4339, list 6750") << u"䌹"_s << 8;
    QTest::newRow("䥽 U+497D, list 4546") << u"䥽"_s << 10;
    QTest::newRow("䓫 U+44EB, list 7124") << u"䓫"_s << 11;
    QTest::newRow("𠳐 U+20CD0, list 4190") << u"𠳐"_s << 9;
    QTest::newRow("䌶 U+4336, outside the list") << u"䌶"_s << 6;
    QTest::newRow("汉 as Unihan") << u"汉"_s << 5;
    QTest::newRow("𠮷 as Unihan") << u"𠮷"_s << 6;
    QTest::newRow("范 as Unihan") << u"范"_s << 8;
    QTest::newRow("骨 as Unihan") << u"骨"_s << 9;
}

void TestStrokeDbTool::realCounts()
{
    QFETCH(QString, character);
    QFETCH(int, count);

    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, Fixture::realDatabaseFolder());
    QString failure;
    QCOMPARE(StrokeLookup::GetNumber(conn, rs, character, [&](const QString &text) { failure = text; }), count);
    QVERIFY(failure.isEmpty());
    StrokeLookup::closeDatabase(conn, rs);
}

void TestStrokeDbTool::realCountsFollowListOrder()
{
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, Fixture::realDatabaseFolder());
    data::Recordset list;
    list.Open(u"select 汉字, 序号 from common order by 序号"_s, conn, data::adLockReadOnly);
    QList<int> counts;
    while (!list.atEnd()) {
        QCOMPARE(list.Fields(1).Value.toInt(), counts.size() + 1);
        counts.append(StrokeLookup::GetNumber(conn, rs, list.Fields(0).Value.toString(), [](const QString &) {}));
        list.MoveNext();
    }
    list.Close();
    StrokeLookup::closeDatabase(conn, rs);
    QCOMPARE(counts.size(), std::end(commonListLevelEnds)[-1]);
    int levelStart = 0;
    for (const int levelEnd : commonListLevelEnds) {
        for (int i = levelStart + 1; i < levelEnd; ++i)
            QVERIFY2(counts.at(i) >= counts.at(i - 1) && counts.at(i) > 0, qPrintable(QString::number(i + 1)));
        levelStart = levelEnd;
    }

    // Every change is in the review file, and the database says how many.
    const QByteArray review =
            Fixture::readAll(QDir(Fixture::realDatabaseFolder()).filePath(u"Refcom-corrections.tsv"_s));
    QVERIFY(review.contains("䌶\tU+4336\t-\t9\t6\tsimplified radical"));
    QVERIFY(review.contains("䜣\tU+4723\t6549\t11\t6\tlist neighbours"));
}

QTEST_GUILESS_MAIN(TestStrokeDbTool)
#include "tst_strokedbtool.moc"
