// SPDX-License-Identifier: MIT
// The list window on 100,000 rows of names: pasted from the clipboard,
// counted and painted; their order by strokes, by unit then strokes, by
// the numbers of a clicked column; a sort undone and redone, the order
// restored; each with the repaint after it. And a 10 MB cell.
//   bin/bench_list --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "listwindow.h"
#include "strokedata.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QTableView>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr unsigned randomSeed = 2013;
constexpr int rows = 100'000;

// Common surnames and characters of given names, two or three to a name.
const QString surnames = u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤欧阳"_s;
const QString given = u"伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华玉萍红建国志文春梅海燕鹏飞晓东雪琳宇轩浩然子涵欣怡梓萱一诺思远"_s;

const QStringList units = {u"办公室"_s, u"财务部"_s, u"人事处"_s, u"工会"_s, u"信息中心"_s, u"后勤"_s};

constexpr int exposeWaitMs = 10;

// Painting is measured only once the window is on the (offscreen) screen.
void showExposed(QWidget &window)
{
    window.show();
    while (!window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, exposeWaitMs);
}

struct Fixture
{
    std::unique_ptr<StrokeRules> rules;
    QString block;
};

Fixture *fixture = nullptr;

QString makeBlock()
{
    std::mt19937 random(randomSeed);
    const auto pick = [&random](const QString &from) { return from.at(int(random() % unsigned(from.size()))); };
    QString block = u"序号\t姓名\t单位\r\n"_s;
    for (int row = 1; row <= rows; ++row) {
        QString name = pick(surnames);
        name += pick(given);
        if (random() % 2)
            name += pick(given);
        block += QString::number(row) + u'\t' + name + u'\t' + units.at(int(random() % units.size())) + u"\r\n"_s;
    }
    return block;
}

void pasteCountAndShow(benchmark::State &state)
{
    ListWindow window;
    window.setRules(*fixture->rules);
    showExposed(window);
    QApplication::clipboard()->setText(fixture->block);
    auto *table = window.findChild<QTableView *>(u"table"_s);
    for (auto _ : state) {
        window.paste();
        window.repaint();
        benchmark::DoNotOptimize(table->model()->rowCount());
    }
    if (table->model()->rowCount() != rows)
        state.SkipWithError("the rows were not all pasted");
}

void sortByStrokes(benchmark::State &state)
{
    ListWindow window;
    window.setRules(*fixture->rules);
    showExposed(window);
    QApplication::clipboard()->setText(fixture->block);
    window.paste();
    auto *group = window.findChild<QComboBox *>(u"groupBox"_s);
    // The third column, 单位, when grouping.
    group->setCurrentIndex(int(state.range(0)) * 3);
    // 0 按姓氏笔画, 1 按姓名笔画, 2 繁體筆劃.
    window.findChild<QComboBox *>(u"ruleBox"_s)->setCurrentIndex(int(state.range(1)));
    for (auto _ : state) {
        window.sortByStrokes();
        window.repaint();
        state.PauseTiming();
        window.restoreInputOrder();
        state.ResumeTiming();
    }
}

// A cell of 10 MB among a few names: beside them, in their column, or as
// the heading of a column of numbers; pasted, and painted again.
void longCell(benchmark::State &state)
{
    ListWindow window;
    window.setRules(*fixture->rules);
    showExposed(window);
    constexpr qsizetype cellSize = 10 << 20;
    const QString cell(cellSize, u'字');
    const QString texts[] = {
        u"姓名\t备注\r\n王五\t"_s + cell + u"\r\n张三\t\r\n"_s,
        u"姓名\r\n王五\r\n"_s + cell + u"\r\n张三\r\n"_s,
        u"姓名\t"_s + cell + u"\r\n王五\t1\r\n张三\t2\r\n"_s,
    };
    QApplication::clipboard()->setText(texts[state.range(1)]);
    const bool repaintOnly = state.range(0) != 0;
    if (repaintOnly)
        window.paste();
    for (auto _ : state) {
        if (!repaintOnly)
            window.paste();
        window.repaint();
    }
}

// A click on the heading of 序号, a column of numbers.
void sortByNumbers(benchmark::State &state)
{
    ListWindow window;
    window.setRules(*fixture->rules);
    showExposed(window);
    QApplication::clipboard()->setText(fixture->block);
    window.paste();
    QHeaderView *header = window.findChild<QTableView *>(u"table"_s)->horizontalHeader();
    for (auto _ : state) {
        emit header->sectionClicked(0);
        window.repaint();
        state.PauseTiming();
        window.restoreInputOrder();
        state.ResumeTiming();
    }
}

void restoreAfterSort(benchmark::State &state)
{
    ListWindow window;
    window.setRules(*fixture->rules);
    showExposed(window);
    QApplication::clipboard()->setText(fixture->block);
    window.paste();
    for (auto _ : state) {
        state.PauseTiming();
        window.sortByStrokes();
        state.ResumeTiming();
        window.restoreInputOrder();
        window.repaint();
    }
}

void undoAndRedoSort(benchmark::State &state)
{
    ListWindow window;
    window.setRules(*fixture->rules);
    showExposed(window);
    QApplication::clipboard()->setText(fixture->block);
    window.paste();
    window.sortByStrokes();
    for (auto _ : state) {
        window.undo();
        window.repaint();
        window.redo();
        window.repaint();
    }
}

} // namespace

BENCHMARK(pasteCountAndShow)->Unit(benchmark::kMillisecond);
BENCHMARK(sortByStrokes)
        ->ArgsProduct({{0, 1}, {0, 1, 2}})
        ->ArgNames({"grouped", "rule"})
        ->Unit(benchmark::kMillisecond);
BENCHMARK(undoAndRedoSort)->Unit(benchmark::kMillisecond);
BENCHMARK(sortByNumbers)->Unit(benchmark::kMillisecond);
BENCHMARK(restoreAfterSort)->Unit(benchmark::kMillisecond);
BENCHMARK(longCell)
        ->ArgsProduct({{0, 1}, {0, 1, 2}})
        ->ArgNames({"repaintOnly", "where"})
        ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Fixture loaded;
    loaded.rules = std::make_unique<StrokeRules>(QCoreApplication::applicationDirPath());
    loaded.block = makeBlock();
    fixture = &loaded;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
