// SPDX-License-Identifier: MIT
// The OK command from a click to filled rows, without painting.
#include "frmmain.h"

#include <QApplication>
#include <QLineEdit>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

void okCommandTenCharacters(benchmark::State &state)
{
    frmMain window;
    window.Form_Load();
    window.findChild<QLineEdit *>(u"Text1"_s)->setText(u"汉字笔画数一二三四五"_s);
    for (auto _ : state)
        window.Command1_Click();
}
BENCHMARK(okCommandTenCharacters)->Unit(benchmark::kMicrosecond);

// The ten lookups alone, to tell the list's share from the database's.
void tenLookups(benchmark::State &state)
{
    frmMain window;
    window.Form_Load();
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i)
            benchmark::DoNotOptimize(window.GetNumber(u"汉"_s));
    }
}
BENCHMARK(tenLookups)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
