// SPDX-License-Identifier: MIT
// Line totals of a text of GB2312 characters held in memory: the flat table
// that tarvelo-count loads once, against the window's one query per
// character on the same text. Prints the ratio of the medians at the end:
//   bin/bench_count --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include "character.h"
#include "counter.h"
#include "program.h"
#include "runtimeerror.h"
#include "strokefiles.h"
#include "strokelookup.h"
#include "stroketable.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QStringDecoder>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr unsigned randomSeed = 2013;
constexpr qsizetype textCharacters = 1'000'000;
constexpr qsizetype lineCharacters = 50;
// About 3 MB, with 13 characters to report in every line of 17 bytes.
constexpr qsizetype asciiLines = 180'000;
constexpr unsigned char gb2312LeadFirst = 0xB0, gb2312LeadLast = 0xF7;
constexpr unsigned char gb2312TrailFirst = 0xA1, gb2312TrailLast = 0xFE;

struct Sample
{
    StrokeTable table;
    QByteArray utf8;
    QStringList lines;
    qint64 expectedTotal = 0;
};

Sample *sample = nullptr;

// Every character that a valid GB2312 double-byte code names.
QStringList gb2312Characters()
{
    QStringDecoder decoder("GB2312");
    QStringList characters;
    for (unsigned lead = gb2312LeadFirst; lead <= gb2312LeadLast; ++lead) {
        for (unsigned trail = gb2312TrailFirst; trail <= gb2312TrailLast; ++trail) {
            const char code[] = {char(lead), char(trail)};
            const QString character = decoder.decode(QByteArrayView(code, 2));
            if (!decoder.hasError() && character.size() == 1)
                characters.append(character);
            decoder.resetState();
        }
    }
    return characters;
}

void prepare(Sample &s)
{
    const QString folder = QCoreApplication::applicationDirPath();
    data::Connection conn;
    StrokeLookup::openDatabase(conn, folder);
    s.table.load(conn);

    const QStringList characters = gb2312Characters();
    std::mt19937 random(randomSeed);
    std::uniform_int_distribution<qsizetype> pick(0, characters.size() - 1);
    QString line;
    for (qsizetype i = 0; i < textCharacters; ++i) {
        line += characters.at(pick(random));
        if (line.size() == lineCharacters) {
            s.lines.append(line);
            s.utf8 += line.toUtf8() + '\n';
            line.clear();
        }
    }
    for (const QString &l : std::as_const(s.lines))
        for (const QString &c : Character::split(l))
            s.expectedTotal += s.table.count(c.front().unicode());
}

void BM_FlatTableLineTotals(benchmark::State &state)
{
    const char *data = sample->utf8.constData();
    const char *end = data + sample->utf8.size();
    for (auto _ : state) {
        qint64 sum = 0;
        for (const char *line = data; line < end;) {
            const char *newline = static_cast<const char *>(std::memchr(line, '\n', size_t(end - line)));
            const Count::LineTotal total = Count::utf8LineTotal(sample->table, line, newline - line);
            sum += total.total;
            line = newline + 1;
        }
        benchmark::DoNotOptimize(sum);
        if (sum != sample->expectedTotal)
            state.SkipWithError("the flat table's totals differ");
    }
    state.SetItemsProcessed(state.iterations() * textCharacters);
}
BENCHMARK(BM_FlatTableLineTotals)->Unit(benchmark::kMillisecond);

// The whole counting path of the program: reading, totals and the output
// lines, written to the null device.
void BM_CounterToNullDevice(benchmark::State &state)
{
    std::FILE *null = std::fopen("/dev/null", "w");
    Count::Options options;
    for (auto _ : state) {
        QBuffer input(&sample->utf8);
        input.open(QIODevice::ReadOnly);
        CommandLine::Output output(null);
        Count::Counter counter(sample->table, options, output, [](const QString &) {});
        const bool done = counter.countStream(input, u"-"_s) && output.flush();
        if (!done)
            state.SkipWithError("counting failed");
    }
    std::fclose(null);
    state.SetItemsProcessed(state.iterations() * textCharacters);
}
BENCHMARK(BM_CounterToNullDevice)->Unit(benchmark::kMillisecond);

// Lines of ASCII words, none of whose letters has a count: with --strict,
// one report for nearly every byte (the Arg), against the same count
// without --strict. Both streams go to the null device.
void BM_CounterAsciiReports(benchmark::State &state)
{
    static const QByteArray ascii = QByteArray("strokes of ab cd\n").repeated(asciiLines);
    std::FILE *null = std::fopen("/dev/null", "w");
    Count::Options options;
    options.strict = state.range(0) != 0;
    for (auto _ : state) {
        QBuffer input(const_cast<QByteArray *>(&ascii));
        input.open(QIODevice::ReadOnly);
        CommandLine::Output output(null, null);
        Count::Counter counter(sample->table, options, output, [](const QString &) {});
        const bool done = counter.countStream(input, u"-"_s) && output.flush();
        if (!done)
            state.SkipWithError("counting failed");
    }
    std::fclose(null);
    state.SetBytesProcessed(state.iterations() * ascii.size());
}
BENCHMARK(BM_CounterAsciiReports)->ArgName("strict")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What the window does for each character: one query over its connection.
void BM_WindowQueryPerCharacter(benchmark::State &state)
{
    data::Connection conn;
    data::Recordset rs;
    StrokeLookup::openDatabase(conn, QCoreApplication::applicationDirPath());
    for (auto _ : state) {
        qint64 sum = 0;
        for (const QString &line : std::as_const(sample->lines))
            for (const QString &character : Character::split(line))
                sum += StrokeLookup::GetNumber(conn, rs, character, [](const QString &) {});
        if (sum != sample->expectedTotal)
            state.SkipWithError("the query path's totals differ");
    }
    StrokeLookup::closeDatabase(conn, rs);
    state.SetItemsProcessed(state.iterations() * textCharacters);
}
BENCHMARK(BM_WindowQueryPerCharacter)->Unit(benchmark::kMillisecond)->Iterations(1);

// Opening and checking the database and reading every row into the table:
// what tarvelo-count does before it counts anything.
void BM_LoadTable(benchmark::State &state)
{
    const QString path = StrokeLookup::databasePath(QCoreApplication::applicationDirPath());
    for (auto _ : state) {
        StrokeTable table;
        StrokeFiles::loadTable(path, &table);
        benchmark::DoNotOptimize(table.size());
    }
}
BENCHMARK(BM_LoadTable)->Unit(benchmark::kMillisecond);

// The console report, then the ratio of the medians (or of the means when
// the run has no repetitions) of the flat table to the query path.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_name.function_name == "BM_CounterAsciiReports"
                && (median || run.run_type != Run::RT_Aggregate))
                m_reportTimes[run.run_name.args] = run.GetAdjustedRealTime();
            const auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end() || (run.run_type == Run::RT_Aggregate && !median))
                continue;
            if (median || !m_medians.count(run.run_name.function_name))
                m_rates[run.run_name.function_name] = rate->second.value;
            if (median)
                m_medians[run.run_name.function_name] = true;
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto table = m_rates.find("BM_FlatTableLineTotals");
        const auto query = m_rates.find("BM_WindowQueryPerCharacter");
        if (table != m_rates.end())
            std::printf("flat table: %.1f M characters/s\n", table->second / 1e6);
        if (table != m_rates.end() && query != m_rates.end())
            std::printf("query path: %.3f M characters/s; flat table / query path: %.0f\n",
                        query->second / 1e6, table->second / query->second);
        const auto plain = m_reportTimes.find("strict:0");
        const auto strict = m_reportTimes.find("strict:1");
        if (plain != m_reportTimes.end() && strict != m_reportTimes.end())
            std::printf("ASCII with --strict / without, counting only (no start-up): %.2f\n",
                        strict->second / plain->second);
    }

private:
    std::map<std::string, double> m_rates;
    std::map<std::string, bool> m_medians;
    std::map<std::string, double> m_reportTimes;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Sample s;
    try {
        prepare(s);
    } catch (const RuntimeError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.description()));
        return 1;
    }
    sample = &s;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
