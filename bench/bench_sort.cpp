// SPDX-License-Identifier: MIT
// tarvelo-sort's core on names held in memory: reading and keying, sorting,
// and writing 1,000,000 names of 2 to 4 characters, and a list of 40, in
// code point order so that the figures are the sort's own:
//   bin/bench_sort --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// The whole program with its data, against sort(1): sh bench/sort.sh build/bin
#include "ranking.h"
#include "sorter.h"

#include <QBuffer>
#include <QStringDecoder>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr unsigned randomSeed = 2013;
constexpr int shortestGiven = 1, longestGiven = 3;
constexpr unsigned char gb2312LeadFirst = 0xB0, gb2312LeadLast = 0xD7;
constexpr unsigned char gb2312TrailFirst = 0xA1, gb2312TrailLast = 0xFE;

// A surname from the common ones, then one to three characters of GB2312's
// first level.
QByteArray names(qsizetype count)
{
    static const QList<uint> surnames = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹").toUcs4();
    QList<uint> given;
    QStringDecoder decoder("GB2312");
    for (unsigned lead = gb2312LeadFirst; lead <= gb2312LeadLast; ++lead) {
        for (unsigned trail = gb2312TrailFirst; trail <= gb2312TrailLast; ++trail) {
            const char code[] = {char(lead), char(trail)};
            const QString character = decoder.decode(QByteArrayView(code, 2));
            if (!decoder.hasError() && character.size() == 1)
                given.append(character.at(0).unicode());
            decoder.resetState();
        }
    }
    std::mt19937 random(randomSeed);
    std::uniform_int_distribution<int> length(shortestGiven, longestGiven);
    std::uniform_int_distribution<qsizetype> pickSurname(0, surnames.size() - 1), pickGiven(0, given.size() - 1);
    QString text;
    for (qsizetype i = 0; i < count; ++i) {
        QList<uint> name{surnames.at(pickSurname(random))};
        for (int k = length(random); k > 0; --k)
            name.append(given.at(pickGiven(random)));
        text += QString::fromUcs4(reinterpret_cast<const char32_t *>(name.constData()), name.size()) + u'\n';
    }
    return text.toUtf8();
}

void sortNames(benchmark::State &state)
{
    QByteArray input = names(state.range(0));
    const Sort::CodePointRanking ranking;
    std::size_t written = 0;
    for (auto _ : state) {
        Sort::Sorter sorter(ranking, Sort::Settings());
        QBuffer device(&input);
        device.open(QIODevice::ReadOnly);
        if (!sorter.addInput(device, QStringLiteral("-"))) {
            state.SkipWithError("the names are not valid UTF-8");
            return;
        }
        sorter.sort();
        sorter.write([&written](const char *, std::size_t size) {
            written += size;
            return true;
        });
    }
    benchmark::DoNotOptimize(written);
    state.SetBytesProcessed(qint64(state.iterations()) * input.size());
}

} // namespace

BENCHMARK(sortNames)->Arg(40)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
