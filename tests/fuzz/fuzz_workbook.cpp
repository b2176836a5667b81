// SPDX-License-Identifier: MIT
// Workbooks made of arbitrary bytes. The first byte picks how the rest is
// packed: split at NUL bytes (which XML cannot hold) into the parts of an
// .xlsx or of an .ods and zipped, or taken whole as the file, zip and all.
// Reading must end in a sheet within a spreadsheet's limits or in
// RuntimeError; anything else, a crash, a hang or memory without bound,
// is a fault. A sheet read is saved as an .xlsx and an .ods, and must read
// back as it was, or saving must say why it cannot.
#include "runtimeerror.h"
#include "sheetbuilder.h"
#include "workbook.h"

#include <zip.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

enum Packing : unsigned { XlsxParts, OdsParts, WholeFile, packings };
// With this bit set the second sheet is read rather than the first.
constexpr unsigned secondSheetBit = 0x80;

// What an .xlsx needs around its sheet, where the input gives no other.
const QByteArray defaultWorkbook = R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"
 xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>
<sheet name="a" sheetId="1" r:id="rId1"/><sheet name="b" sheetId="2" r:id="rId2"/></sheets></workbook>)";
const QByteArray defaultRelations = R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet"
 Target="worksheets/sheet1.xml"/><Relationship Id="rId2"
 Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/sheet1.xml"/>
</Relationships>)";

// The parts the input's pieces become, in their order.
const QStringList xlsxNames = {u"xl/worksheets/sheet1.xml"_s, u"xl/sharedStrings.xml"_s, u"xl/styles.xml"_s,
                               u"xl/workbook.xml"_s, u"xl/_rels/workbook.xml.rels"_s};
const QStringList odsNames = {u"content.xml"_s, u"META-INF/manifest.xml"_s, u"mimetype"_s};

QTemporaryDir *directory = nullptr;

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool zipped(const QString &path, const QList<std::pair<QString, QByteArray>> &parts)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const auto &[name, bytes] : parts) {
        ok = ok && zipOpenNewFileInZip64(zip, name.toUtf8().constData(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                                         Z_DEFLATED, Z_BEST_SPEED, 0) == ZIP_OK
                && zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK
                && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

bool written(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), bytes.size()) == bytes.size();
}

bool packed(const QString &path, Packing packing, QByteArrayView input)
{
    if (packing == WholeFile)
        return written(path, input);
    const QList<QByteArray> pieces = input.toByteArray().split('\0');
    const QStringList &names = packing == XlsxParts ? xlsxNames : odsNames;
    QList<std::pair<QString, QByteArray>> parts;
    for (qsizetype i = 0; i < names.size() && i < pieces.size(); ++i)
        parts.append({names.at(i), pieces.at(i)});
    if (packing == XlsxParts && pieces.size() < 4)
        parts.append({xlsxNames.at(3), defaultWorkbook});
    if (packing == XlsxParts && pieces.size() < 5)
        parts.append({xlsxNames.at(4), defaultRelations});
    return zipped(path, parts);
}

// RECORDS as a file holds them: no empty cells at a row's end, no empty
// rows at the end; for an .ods, every line end a line feed.
QList<QStringList> asStored(QList<QStringList> records, bool ods)
{
    for (QStringList &record : records) {
        while (!record.isEmpty() && record.last().isEmpty())
            record.removeLast();
        if (ods)
            record.replaceInStrings(u"\r\n"_s, u"\n"_s).replaceInStrings(u"\r"_s, u"\n"_s);
    }
    while (!records.isEmpty() && records.last().isEmpty())
        records.removeLast();
    return records;
}

bool hasLoneSurrogate(const QList<QStringList> &records)
{
    for (const QStringList &record : records) {
        for (const QString &cell : record) {
            if (!cell.isValidUtf16())
                return true;
        }
    }
    return false;
}

// Saving what was read and reading it again gives it back.
void checkSaved(const QList<QStringList> &records)
{
    // The list window refuses half a character before it saves.
    if (hasLoneSurrogate(records))
        return;
    for (const bool ods : {false, true}) {
        const QString path = directory->filePath(ods ? u"saved.ods"_s : u"saved.xlsx"_s);
        try {
            if (ods)
                Workbook::saveOds(path, records);
            else
                Workbook::saveXlsx(path, records);
        } catch (const RuntimeError &) {
            continue;
        }
        check(asStored(Workbook::readSheet(path).records, ods) == asStored(records, ods),
              "a saved sheet reads back otherwise");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;
    directory = &dir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto packing = Packing((data[0] & ~secondSheetBit) % packings);
    const int sheet = data[0] & secondSheetBit ? 1 : 0;
    const QString path = directory->filePath(u"input.xlsx"_s);
    check(packed(path, packing, QByteArrayView(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1))),
          "the input could not be written");
    try {
        Workbook::sheetNames(path);
        const Workbook::Sheet read = Workbook::readSheet(path, sheet);
        check(read.records.size() <= Workbook::maxRows, "more rows than a sheet has");
        qint64 cells = 0;
        for (const QStringList &record : read.records) {
            check(record.size() <= Workbook::maxColumns, "more columns than a sheet has");
            cells += record.size();
        }
        check(cells <= Workbook::maxCells, "more cells than the reader holds");
        check(read.hiddenRows >= 0 && read.hiddenRows <= read.records.size(), "more hidden rows than rows");
        check(read.hiddenColumns >= 0 && read.hiddenColumns <= Workbook::maxColumns, "more hidden columns than a sheet has");
        checkSaved(read.records);
    } catch (const RuntimeError &) {
    }
    return 0;
}
