// SPDX-License-Identifier: MIT
// Opening and saving 100,000 rows of 5 columns as an .xlsx (and saving
// them as an .ods), against the same table as a CSV file in the same run,
// and against Qt's XML reader alone going through the sheet's XML, which
// bounds what opening can take:
//   bin/bench_workbook --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// and the memory opening takes, against the program doing nothing:
//   /usr/bin/time -v bin/bench_workbook --open FILE.xlsx
//   /usr/bin/time -v bin/bench_workbook --open-nothing
// (bin/bench_workbook --write FILE.xlsx writes the table, as
// bin/bench_workbook --write-shared FILE.xlsx does with shared strings.)
#include "listinput.h"
#include "listoutput.h"
#include "workbook.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <unzip.h>
#include <xlsxwriter.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr unsigned randomSeed = 2013;
constexpr int rows = 100'000;
constexpr qint64 idBase = 110101199000000000;

const QString surnames = u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶"_s;
const QString given = u"伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂华玉萍红建国志文春梅海燕鹏飞晓东雪琳宇轩"_s;
const QStringList units = {u"办公室"_s, u"财务处"_s, u"人事处"_s, u"后勤服务中心"_s, u"信息中心"_s};

// 序号, 姓名, 单位, an ID number and a phone number, both kept as text.
QList<QStringList> makeTable()
{
    std::mt19937 random(randomSeed);
    const auto pick = [&random](const QString &from) { return from.at(int(random() % unsigned(from.size()))); };
    QList<QStringList> table = {{u"序号"_s, u"姓名"_s, u"单位"_s, u"身份证号"_s, u"电话"_s}};
    for (int row = 1; row <= rows; ++row) {
        QString name = pick(surnames);
        name += pick(given);
        if (random() % 2)
            name += pick(given);
        table.append({QString::number(row), name, units.at(int(random() % unsigned(units.size()))),
                      QString::number(idBase + random() % 1'000'000'000), u"1"_s + QString::number(3'000'000'000ULL + random())});
    }
    return table;
}

struct Fixture
{
    QTemporaryDir dir;
    QList<QStringList> table = makeTable();
    QString xlsx = dir.filePath(u"表.xlsx"_s);
    QString csv = dir.filePath(u"表.csv"_s);
};

Fixture *fixture = nullptr;

Workbook::SaveOptions saveOptions()
{
    Workbook::SaveOptions options;
    options.header = true;
    options.numberColumns = {0};
    return options;
}

void saveXlsx(benchmark::State &state)
{
    for (auto _ : state)
        Workbook::saveXlsx(fixture->xlsx, fixture->table, saveOptions());
}

void saveOds(benchmark::State &state)
{
    const QString path = fixture->dir.filePath(u"表.ods"_s);
    for (auto _ : state)
        Workbook::saveOds(path, fixture->table, saveOptions());
}

void saveCsv(benchmark::State &state)
{
    for (auto _ : state)
        ListOutput::save(fixture->csv, ListOutput::csvBytes(fixture->table, ListOutput::CsvEncoding::Utf8WithBom));
}

void openXlsx(benchmark::State &state)
{
    Workbook::saveXlsx(fixture->xlsx, fixture->table, saveOptions());
    for (auto _ : state) {
        const Workbook::Sheet sheet = Workbook::readSheet(fixture->xlsx);
        benchmark::DoNotOptimize(sheet.records.size());
    }
}

// The table as Excel and WPS write it, each text once in the shared
// strings and the cells naming it, where Tarvelo's own files hold the text
// in the cells.
bool writeSharedStrings(const QString &path, const QList<QStringList> &table)
{
    lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
    if (!book)
        return false;
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    for (qsizetype r = 0; r < table.size(); ++r) {
        for (qsizetype c = 0; c < table.at(r).size(); ++c)
            worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), table.at(r).at(c).toUtf8().constData(), nullptr);
    }
    return workbook_close(book) == LXW_NO_ERROR;
}

void openSharedStrings(benchmark::State &state)
{
    const QString path = fixture->dir.filePath(u"共享.xlsx"_s);
    if (!writeSharedStrings(path, fixture->table))
        state.SkipWithError("cannot write the workbook");
    for (auto _ : state) {
        const Workbook::Sheet sheet = Workbook::readSheet(path);
        benchmark::DoNotOptimize(sheet.records.size());
    }
}

// The inflated XML of PART in the zip at PATH; empty where it cannot be read.
QByteArray inflated(const QString &path, const char *part)
{
    constexpr int chunk = 64 * 1024;
    unzFile zip = unzOpen64(QFile::encodeName(path).constData());
    QByteArray bytes;
    if (zip && unzLocateFile(zip, part, 1) == UNZ_OK && unzOpenCurrentFile(zip) == UNZ_OK) {
        QByteArray buffer(chunk, Qt::Uninitialized);
        int read = 0;
        while ((read = unzReadCurrentFile(zip, buffer.data(), chunk)) > 0)
            bytes.append(buffer.constData(), read);
        unzCloseCurrentFile(zip);
    }
    if (zip)
        unzClose(zip);
    return bytes;
}

void tokenizeSheetXml(benchmark::State &state)
{
    Workbook::saveXlsx(fixture->xlsx, fixture->table, saveOptions());
    const QByteArray xml = inflated(fixture->xlsx, "xl/worksheets/sheet1.xml");
    if (xml.isEmpty())
        state.SkipWithError("cannot inflate the sheet");
    for (auto _ : state) {
        QXmlStreamReader reader(xml);
        qint64 tokens = 0;
        while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::Invalid)
            ++tokens;
        benchmark::DoNotOptimize(tokens);
    }
}

void openCsv(benchmark::State &state)
{
    ListOutput::save(fixture->csv, ListOutput::csvBytes(fixture->table, ListOutput::CsvEncoding::Utf8WithBom));
    for (auto _ : state) {
        QFile file(fixture->csv);
        if (!file.open(QIODevice::ReadOnly))
            state.SkipWithError("cannot read the CSV file");
        const ListInput::Decoded decoded = ListInput::decode(file.readAll());
        const QList<QStringList> records = ListInput::parseFile(decoded.text, fixture->csv);
        benchmark::DoNotOptimize(records.size());
    }
}

// The memory probes: one open, or nothing, and the process ends.
int probe(const QString &mode, const QString &path)
{
    if (mode == u"--write") {
        Workbook::saveXlsx(path, makeTable(), saveOptions());
        return 0;
    }
    if (mode == u"--write-shared")
        return writeSharedStrings(path, makeTable()) ? 0 : 1;
    if (mode == u"--open") {
        const Workbook::Sheet sheet = Workbook::readSheet(path);
        std::printf("%lld rows\n", static_cast<long long>(sheet.records.size()));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc >= 2 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "--open" || mode == "--open-nothing" || mode == "--write" || mode == "--write-shared")
        return probe(QString::fromLocal8Bit(argv[1]), argc == 3 ? QString::fromLocal8Bit(argv[2]) : QString());
    Fixture data;
    fixture = &data;
    benchmark::RegisterBenchmark("open/xlsx", openXlsx)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open/xlsx-shared-strings", openSharedStrings)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open/xlsx-xml-only", tokenizeSheetXml)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open/csv", openCsv)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save/xlsx", saveXlsx)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save/ods", saveOds)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("save/csv", saveCsv)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
