// SPDX-License-Identifier: MIT
#include "fixtures.h"
#include "runtimeerror.h"
#include "unihan.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
                                "U+20BB7\tkTotalStrokes\t6\n";

} // namespace

class TestStrokeDbTool : public QObject
{
    Q_OBJECT

private slots:
    void parseTotalStrokes_data();
    void parseTotalStrokes();
    void compressedInputReadsAsPlain();
    void damagedCompressedInputFails();

    void dumpListsEveryRow();
    void realDatabaseIsEncrypted();
    void buildIsRepeatable();
    void failedBuildKeepsOldFile();
    void buildRejectsUnusableInput_data();
    void buildRejectsUnusableInput();
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
    QTest::newRow("malformed entries skipped")
            << QByteArray("U+XYZ\tkTotalStrokes\t5\nU+4E00\tkTotalStrokes\tmany\n"
                          "U+4E01\tkTotalStrokes\n U+4E02\tkTotalStrokesX\t3\nU+4E03\tkTotalStrokes\t2\n")
            << QString() << Counts{{0x4E03, 2}};
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
        const ToolRun build = runTool({u"build"_s, QStringLiteral(TARVELO_UNIHAN_FILE), out});
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
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{u"one.dll"_s, u"two.dll"_s}));
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
    const QString source = dir.filePath(u"Unihan.txt"_s);
    if (!input.isEmpty())
        QVERIFY(Fixture::writeAll(source, input));
    const QString out = dir.filePath(StrokeDb::fileName);
    const ToolRun run = runTool({u"build"_s, source, out});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("tarvelo-strokedb: "), run.err.constData());
    QVERIFY(run.out.isEmpty());
    const QStringList expected = input.isEmpty() ? QStringList() : QStringList{u"Unihan.txt"_s};
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), expected);
}

QTEST_GUILESS_MAIN(TestStrokeDbTool)
#include "tst_strokedbtool.moc"
