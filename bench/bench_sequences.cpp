// SPDX-License-Identifier: MIT
// What the stroke sequences add to a program's start-up: reading the file
// beside the database, and ranking every character for the order, each
// from cold memory as a starting program has it:
//   bin/bench_sequences --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
#include "strokedb.h"
#include "strokelookup.h"
#include "strokeorder.h"
#include "strokesequences.h"
#include "stroketable.h"

#include <QCoreApplication>
#include <QDir>

#include <benchmark/benchmark.h>

namespace {

QString databasePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(StrokeDb::fileName);
}

const StrokeTable &table()
{
    static const StrokeTable loaded = [] {
        StrokeTable t;
        data::Connection conn;
        StrokeLookup::openDatabaseFile(conn, databasePath(), StrokeLookup::AfterCheck::ReadingEveryRow);
        t.load(conn);
        return t;
    }();
    return loaded;
}

void loadSequences(benchmark::State &state)
{
    const QString path = StrokeSequences::pathBeside(databasePath());
    for (auto _ : state) {
        StrokeSequences sequences;
        sequences.load(path);
        benchmark::DoNotOptimize(sequences.size());
    }
}
BENCHMARK(loadSequences)->Unit(benchmark::kMillisecond);

void loadSequencesAndOrder(benchmark::State &state)
{
    const QString path = StrokeSequences::pathBeside(databasePath());
    const StrokeTable &counts = table();
    for (auto _ : state) {
        StrokeSequences sequences;
        sequences.load(path);
        const StrokeOrder order(counts, sequences);
        benchmark::DoNotOptimize(order.rank(U'丁'));
    }
}
BENCHMARK(loadSequencesAndOrder)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
