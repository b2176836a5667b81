// SPDX-License-Identifier: MIT
// Opening the stroke database and looking characters up, against plain
// SQLite on an unencrypted copy of the same rows as the baseline.
#include "dbwriter.h"
#include "runtimeerror.h"
#include "strokelookup.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr unsigned randomSeed = 20260;
constexpr int sampleSize = 4096;

struct Sample
{
    QString realFolder;
    QList<StrokeRow> rows;
    // Characters drawn at random from the rows, so that lookups land on
    // pages all over the file.
    QStringList characters;
    QTemporaryDir plainDir;
    QString plainPath;
};

Sample *sample = nullptr;

void prepareSample(Sample &s)
{
    s.realFolder = QCoreApplication::applicationDirPath();
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, s.realFolder);
    rs.Open(u"select 汉字, 笔画数 from a"_s, conn, data::adLockReadOnly);
    while (!rs.atEnd()) {
        s.rows.append({rs.Fields(0).Value.toString(), rs.Fields(1).Value});
        rs.MoveNext();
    }
    StrokeLookup::closeDatabase(conn, rs);

    std::mt19937 random(randomSeed);
    std::uniform_int_distribution<qsizetype> pick(0, s.rows.size() - 1);
    for (int i = 0; i < sampleSize; ++i)
        s.characters.append(s.rows.at(pick(random)).character);

    StrokeDbLayout plain;
    plain.password.clear();
    s.plainPath = QDir(s.plainDir.path()).filePath(StrokeDb::fileName);
    writeStrokeDatabase(s.plainPath, s.rows, plain);
}

const QString &nextCharacter(qsizetype &i)
{
    const QString &character = sample->characters.at(i);
    i = (i + 1) % sample->characters.size();
    return character;
}

void failOnReport(const QString &description)
{
    std::fprintf(stderr, "lookup failed: %s\n", qPrintable(description));
    std::abort();
}

// What the main window pays at start-up before the user can type.
void openAndFirstLookup(benchmark::State &state)
{
    for (auto _ : state) {
        data::Connection conn;
        data::Recordset rs;
        StrokeLookup::openDatabase(conn, sample->realFolder);
        benchmark::DoNotOptimize(StrokeLookup::GetNumber(conn, rs, u"汉"_s, failOnReport));
        StrokeLookup::closeDatabase(conn, rs);
    }
}
BENCHMARK(openAndFirstLookup)->Unit(benchmark::kMicrosecond);

void lookup(benchmark::State &state)
{
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, sample->realFolder);
    qsizetype i = 0;
    for (const QString &character : std::as_const(sample->characters))
        StrokeLookup::GetNumber(conn, rs, character, failOnReport);
    for (auto _ : state)
        benchmark::DoNotOptimize(StrokeLookup::GetNumber(conn, rs, nextCharacter(i), failOnReport));
    StrokeLookup::closeDatabase(conn, rs);
}
BENCHMARK(lookup)->Unit(benchmark::kMicrosecond);

enum class Locking { PerStatement, HeldOpen };

sqlite3 *openPlain(const QString &path, Locking locking)
{
    sqlite3 *db = nullptr;
    const QByteArray name = path.toUtf8();
    if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        std::abort();
    if (locking == Locking::HeldOpen
        && sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
    return db;
}

sqlite3_stmt *prepare(sqlite3 *db)
{
    const QByteArray sql = StrokeLookup::queryText.toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        std::abort();
    return statement;
}

int plainLookup(sqlite3_stmt *statement, const QString &character)
{
    const QByteArray key = character.toUtf8();
    sqlite3_bind_text(statement, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(statement) != SQLITE_ROW)
        std::abort();
    const int count = sqlite3_column_int(statement, 0);
    sqlite3_reset(statement);
    return count;
}

void baselineOpenAndFirstLookup(benchmark::State &state, Locking locking)
{
    for (auto _ : state) {
        sqlite3 *db = openPlain(sample->plainPath, locking);
        sqlite3_stmt *statement = prepare(db);
        benchmark::DoNotOptimize(plainLookup(statement, u"汉"_s));
        sqlite3_finalize(statement);
        sqlite3_close(db);
    }
}
BENCHMARK_CAPTURE(baselineOpenAndFirstLookup, lockHeld, Locking::HeldOpen)->Unit(benchmark::kMicrosecond);

void baselineLookup(benchmark::State &state, Locking locking)
{
    sqlite3 *db = openPlain(sample->plainPath, locking);
    sqlite3_stmt *statement = prepare(db);
    qsizetype i = 0;
    for (const QString &character : std::as_const(sample->characters))
        plainLookup(statement, character);
    for (auto _ : state)
        benchmark::DoNotOptimize(plainLookup(statement, nextCharacter(i)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
}
BENCHMARK_CAPTURE(baselineLookup, lockHeld, Locking::HeldOpen)->Unit(benchmark::kMicrosecond);
// SQLite's default: a lock taken and the change counter read per statement.
BENCHMARK_CAPTURE(baselineLookup, lockPerStatement, Locking::PerStatement)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    try {
        Sample s;
        prepareSample(s);
        sample = &s;
        benchmark::RunSpecifiedBenchmarks();
        sample = nullptr;
    } catch (const RuntimeError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.description()));
        return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    benchmark::Shutdown();
    return 0;
}
