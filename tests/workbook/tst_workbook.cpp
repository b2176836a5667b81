// SPDX-License-Identifier: MIT
// Workbooks read and written: each made here, by libxlsxwriter as Excel
// writes them, or part by part where a file must be odd or hostile.
#include "delimited.h"
#include "runtimeerror.h"
#include "workbook.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <optional>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestWorkbook : public QObject
{
    Q_OBJECT

private slots:
    void cells_data();
    void cells();
    void writtenByExcelsLibrary();
    void ods_data();
    void ods();
    void roundTrip_data();
    void roundTrip();
    void otherReaders_data();
    void otherReaders();
    void hostile_data();
    void hostile();
    void largeSheet_data();
    void largeSheet();
    void hiddenRangesOutOfOrder_data();
    void hiddenRangesOutOfOrder();

private:
    QTemporaryDir m_dir;
};

namespace {

using Records = QList<QStringList>;
using Parts = QList<std::pair<QString, QByteArray>>;

const QByteArray workbookXml = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"
 xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">
<sheets><sheet name="名单" sheetId="1" r:id="rId1"/></sheets></workbook>)";
const QByteArray relationsXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet"
 Target="worksheets/sheet1.xml"/></Relationships>)";
// Style 1 shows dates as built-in format 14, 2 as 31 (年月日), 3 a custom
// date, 4 a time, 5 a custom number format with no date in it.
const QByteArray stylesXml = R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<numFmts><numFmt numFmtId="164" formatCode="yyyy\-mm\-dd;@"/><numFmt numFmtId="165" formatCode="0.00E+00_ "/></numFmts>
<cellXfs><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="31"/><xf numFmtId="164"/><xf numFmtId="20"/>
<xf numFmtId="165"/></cellXfs></styleSheet>)";
const QByteArray sharedStringsXml = R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<si><t>王毅</t></si><si><t>0012</t></si><si><r><t>王</t></r><r><t>沪宁</t></r><rPh><t>ワン</t></rPh></si>
<si><t>110101199003071234</t></si><si><t>一_x000D_
二_x005F_x0041_</t></si></sst>)";

QByteArray sheetXml(const QByteArray &inside)
{
    return R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)" + inside
            + "</worksheet>";
}

Parts xlsxParts(const QByteArray &sheet)
{
    return {{u"xl/workbook.xml"_s, workbookXml},
            {u"xl/_rels/workbook.xml.rels"_s, relationsXml},
            {u"xl/styles.xml"_s, stylesXml},
            {u"xl/sharedStrings.xml"_s, sharedStringsXml},
            {u"xl/worksheets/sheet1.xml"_s, sheet}};
}

Parts odsParts(const QByteArray &tables)
{
    return {{u"mimetype"_s, "application/vnd.oasis.opendocument.spreadsheet"},
            {u"content.xml"_s,
             R"(<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">
<office:body><office:spreadsheet>)"
                     + tables + "</office:spreadsheet></office:body></office:document-content>"}};
}

QString zipped(const QTemporaryDir &dir, const QString &name, const Parts &parts)
{
    const QString path = dir.filePath(name);
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    bool ok = zip != nullptr;
    for (const auto &[part, bytes] : parts) {
        ok = ok && zipOpenNewFileInZip64(zip, part.toUtf8().constData(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                                         Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK
                && zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK
                && zipCloseFileInZip(zip) == ZIP_OK;
    }
    ok = zip && zipClose(zip, nullptr) == ZIP_OK && ok;
    return ok ? path : QString();
}

QString written(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return file.fileName();
}

// Records as one line, rows apart by '|', cells by ','.
QString flat(const Records &records)
{
    QStringList rows;
    for (const QStringList &record : records)
        rows.append(record.join(u','));
    return rows.join(u'|');
}

QString failure(const std::function<void()> &action)
{
    try {
        action();
    } catch (const RuntimeError &e) {
        return e.description();
    }
    return {};
}

// An Excel 97-2003 file's first bytes and, for a protected workbook, the
// stream name that marks it, as a compound file's directory holds it.
QByteArray compoundFile(bool encrypted)
{
    QByteArray bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    bytes.append(QByteArray(504, '\0'));
    if (encrypted)
        bytes.append(reinterpret_cast<const char *>(u"EncryptionInfo"), 28);
    bytes.append(QByteArray(1024, '\0'));
    return bytes;
}

// Numbered rows FIRST to LAST of a name and a number, every seventh hidden.
QByteArray numberedRows(int first, int last)
{
    QByteArray rows;
    for (int row = first; row <= last; ++row) {
        const QByteArray r = QByteArray::number(row);
        rows += "<row r=\"" + r + (row % 7 ? "\">" : "\" hidden=\"1\">") + R"(<c r="A)" + r
                + R"(" t="inlineStr"><is><t>名)" + r + R"(</t></is></c><c r="B)" + r + R"("><v>)" + r + "</v></c></row>";
    }
    return rows;
}

// What reading PATH gives: the records and hidden counts, or the error.
QString outcome(const QString &path)
{
    QString result;
    const QString error = failure([&] {
        const Workbook::Sheet sheet = Workbook::readSheet(path);
        result = u"%1 %2 %3"_s.arg(flat(sheet.records)).arg(sheet.hiddenRows).arg(sheet.hiddenColumns);
    });
    return error.isEmpty() ? result : error;
}

} // namespace


void TestWorkbook::cells_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QString>("shown");

    QTest::newRow("shared string") << QByteArray(R"(<c r="A1" t="s"><v>0</v></c>)") << u"王毅"_s;
    QTest::newRow("digits kept as text") << QByteArray(R"(<c r="A1" t="s"><v>1</v></c>)") << u"0012"_s;
    QTest::newRow("ID number as text") << QByteArray(R"(<c r="A1" t="s"><v>3</v></c>)") << u"110101199003071234"_s;
    QTest::newRow("escaped characters") << QByteArray(R"(<c r="A1" t="s"><v>4</v></c>)") << u"一\r\n二_x0041_"_s;
    QTest::newRow("rich text, phonetic left out") << QByteArray(R"(<c r="A1" t="s"><v>2</v></c>)") << u"王沪宁"_s;
    QTest::newRow("inline string") << QByteArray(R"(<c r="A1" t="inlineStr"><is><r><t>李</t></r><r><t> 四</t></r></is></c>)")
                                   << u"李 四"_s;
    QTest::newRow("whole number") << QByteArray(R"(<c r="A1"><v>3.0</v></c>)") << u"3"_s;
    QTest::newRow("number with leading zeros") << QByteArray(R"(<c r="A1"><v>007</v></c>)") << u"7"_s;
    QTest::newRow("sixteen digits") << QByteArray(R"(<c r="A1"><v>1234567890123456</v></c>)")
                                    << u"1.23456789012346E+15"_s;
    QTest::newRow("float noise") << QByteArray(R"(<c r="A1"><v>0.30000000000000004</v></c>)") << u"0.3"_s;
    QTest::newRow("large number") << QByteArray(R"(<c r="A1"><v>1.2345678901234568E+17</v></c>)")
                                  << u"1.23456789012346E+17"_s;
    QTest::newRow("number format without a date") << QByteArray(R"(<c r="A1" s="5"><v>45356.5</v></c>)") << u"45356.5"_s;
    QTest::newRow("formula's number") << QByteArray(R"(<c r="A1"><f>1+2</f><v>3</v></c>)") << u"3"_s;
    QTest::newRow("formula's text") << QByteArray(R"(<c r="A1" t="str"><f>A2&amp;""</f><v>张三</v></c>)") << u"张三"_s;
    QTest::newRow("formula's error") << QByteArray(R"(<c r="A1" t="e"><f>1/0</f><v>#DIV/0!</v></c>)") << u"#DIV/0!"_s;
    QTest::newRow("boolean") << QByteArray(R"(<c r="A1" t="b"><v>1</v></c>)") << u"TRUE"_s;
    QTest::newRow("short date") << QByteArray(R"(<c r="A1" s="1"><v>45356</v></c>)") << u"2024/3/5"_s;
    QTest::newRow("Chinese date") << QByteArray(R"(<c r="A1" s="2"><v>45356</v></c>)") << u"2024年3月5日"_s;
    QTest::newRow("custom date") << QByteArray(R"(<c r="A1" s="3"><v>45356</v></c>)") << u"2024-03-05"_s;
    QTest::newRow("time") << QByteArray(R"(<c r="A1" s="4"><v>0.6875</v></c>)") << u"16:30"_s;
    QTest::newRow("empty cell") << QByteArray(R"(<c r="A1" s="1"/>)") << QString();
}

void TestWorkbook::cells()
{
    QFETCH(QByteArray, cell);
    QFETCH(QString, shown);
    const QString path = zipped(m_dir, u"cell.xlsx"_s, xlsxParts(sheetXml("<sheetData><row r=\"1\">" + cell + "</row></sheetData>")));
    const Workbook::Sheet sheet = Workbook::readSheet(path);
    QCOMPARE(flat(sheet.records), shown);
}

void TestWorkbook::writtenByExcelsLibrary()
{
    const QString path = m_dir.filePath(u"library.xlsx"_s);
    lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *first = workbook_add_worksheet(book, "代表");
    lxw_worksheet *second = workbook_add_worksheet(book, "获奖");
    lxw_format *date = workbook_add_format(book);
    format_set_num_format(date, "yyyy\"年\"m\"月\"d\"日\"");
    lxw_row_col_options hidden = {};
    hidden.hidden = LXW_TRUE;
    worksheet_write_string(first, 0, 0, "姓名", nullptr);
    worksheet_write_string(first, 0, 1, "工号", nullptr);
    worksheet_write_string(first, 1, 0, "王毅", nullptr);
    worksheet_write_string(first, 1, 1, "0012", nullptr);
    worksheet_write_formula_str(first, 2, 0, "=A2", nullptr, "王毅");
    worksheet_write_formula_num(first, 2, 1, "=7/2", nullptr, 3.5);
    worksheet_set_row_opt(first, 2, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
    worksheet_set_column_opt(first, 1, 1, LXW_DEF_COL_WIDTH, nullptr, &hidden);
    worksheet_merge_range(first, 3, 0, 3, 1, "合并", nullptr);
    worksheet_write_boolean(first, 4, 0, 1, nullptr);
    lxw_datetime day = {2024, 3, 5, 0, 0, 0};
    worksheet_write_datetime(first, 4, 1, &day, date);
    worksheet_write_string(second, 0, 0, "李四", nullptr);
    QCOMPARE(workbook_close(book), LXW_NO_ERROR);

    QCOMPARE(Workbook::sheetNames(path), QStringList({u"代表"_s, u"获奖"_s}));
    const Workbook::Sheet sheet = Workbook::readSheet(path);
    QCOMPARE(flat(sheet.records), u"姓名,工号|王毅,0012|王毅,3.5|合并|TRUE,2024年3月5日"_s);
    QCOMPARE(sheet.hiddenRows, 1);
    QCOMPARE(sheet.hiddenColumns, 1);
    QCOMPARE(flat(Workbook::readSheet(path, 1).records), u"李四"_s);
}

void TestWorkbook::ods_data()
{
    QTest::addColumn<QByteArray>("tables");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("records");
    QTest::addColumn<int>("hiddenRows");

    QTest::newRow("text as shown, spaces kept")
            << QByteArray(R"(<table:table table:name="名单"><table:table-row><table:table-cell office:value-type="float"
 office:value="0.5"><text:p>50%</text:p></table:table-cell><table:table-cell><text:p>王<text:s text:c="2"/>毅</text:p>
<text:p>副</text:p></table:table-cell></table:table-row></table:table>)")
            << 0 << u"50%,王  毅\n副"_s << 0;
    QTest::newRow("repeats, and empty rows to the sheet's end")
            << QByteArray(R"(<table:table table:name="a"><table:table-row table:number-rows-repeated="2"><table:table-cell
 table:number-columns-repeated="2"><text:p>x</text:p></table:table-cell><table:table-cell table:number-columns-repeated="1020"/>
</table:table-row><table:table-row table:number-rows-repeated="1048574"><table:table-cell table:number-columns-repeated="1024"/>
</table:table-row></table:table>)")
            << 0 << u"x,x|x,x"_s << 0;
    QTest::newRow("merged cell, hidden row")
            << QByteArray(R"(<table:table table:name="a"><table:table-row table:visibility="collapse"><table:table-cell
 table:number-columns-spanned="2"><text:p>合并</text:p></table:table-cell><table:covered-table-cell><text:p>藏</text:p>
</table:covered-table-cell><table:table-cell><text:p>c</text:p></table:table-cell></table:table-row></table:table>)")
            << 0 << u"合并,,c"_s << 1;
    QTest::newRow("second sheet")
            << QByteArray(R"(<table:table table:name="a"><table:table-row><table:table-cell><text:p>一</text:p>
</table:table-cell></table:table-row></table:table><table:table table:name="b"><table:table-row><table:table-cell/>
<table:table-cell office:value-type="boolean" office:boolean-value="true"/></table:table-row></table:table>)")
            << 1 << u",TRUE"_s << 0;
}

void TestWorkbook::ods()
{
    QFETCH(QByteArray, tables);
    QFETCH(int, index);
    QFETCH(QString, records);
    QFETCH(int, hiddenRows);
    const QString path = zipped(m_dir, u"sheet.ods"_s, odsParts(tables));
    const Workbook::Sheet sheet = Workbook::readSheet(path, index);
    QCOMPARE(flat(sheet.records), records);
    QCOMPARE(sheet.hiddenRows, hiddenRows);
}

namespace {

// Rows enough to be written in pieces on several threads.
Records manyRows()
{
    constexpr int count = 25'000;
    Records records = {{u"序号"_s, u"备注"_s, u"姓名"_s}};
    for (int row = 1; row <= count; ++row)
        records.append({QString::number(row), row % 3 ? u"0%1"_s.arg(row) : QString(), u"王%1"_s.arg(row)});
    return records;
}

void save(const QString &path, const Records &records, const Workbook::SaveOptions &options = {})
{
    if (path.endsWith(u".ods"))
        Workbook::saveOds(path, records, options);
    else
        Workbook::saveXlsx(path, records, options);
}

} // namespace

void TestWorkbook::roundTrip_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<Records>("records");
    QTest::addColumn<bool>("header");
    // What reading the file back gives, where it is not RECORDS.
    QTest::addColumn<QString>("expected");

    const QList<std::pair<const char *, Records>> both = {
            {"text stays text", {{u"0012"_s, u"110101199003071234"_s, u"=1+1"_s, u"<&>\""_s}}},
            {"numbers and near numbers",
             {{u"a"_s, u"-3.25"_s}, {u"b"_s, u"007"_s}, {u"c"_s, u"1.1234567"_s}, {u"d"_s, u"0"_s},
              {u"e"_s, u"12345678901234567"_s}, {u"f"_s, u"1e5"_s}, {u"g"_s, u"3."_s}, {u"h"_s, u"-"_s}}},
            {"spaces", {{u" 两端 "_s, u"a  b"_s, u"\tx\ty"_s, u"一\n\n二"_s}}},
            {"header, ragged rows", {{u"姓名"_s, u"笔画"_s}, {u"王毅"_s, u"8"_s}, {u"𠀀"_s}, {}, {u""_s, u"末"_s}}},
            {"many rows", manyRows()}};
    for (const char *suffix : {"xlsx", "ods"}) {
        for (const auto &[name, records] : both)
            QTest::addRow("%s %s", suffix, name) << QString::fromLatin1(suffix) << records << true << flat(records);
    }
    const Records escapes = {{u"_x0041_"_s, u"a\u0001b"_s, u"一\r\n二"_s, u"\uFFFF"_s}};
    QTest::newRow("xlsx escapes") << u"xlsx"_s << escapes << false << flat(escapes);
    QTest::newRow("ods line ends") << u"ods"_s << Records{{u"一\r\n二\r三"_s, u"_x0041_"_s}} << false
                                   << u"一\n二\n三,_x0041_"_s;
    QTest::newRow("ods control character") << u"ods"_s << Records{{u"名"_s}, {u"a"_s, u"a\u0001b"_s}} << false
                                           << u"第 2 行第 2 列有控制字符 U+0001"_s;
}

void TestWorkbook::roundTrip()
{
    QFETCH(QString, suffix);
    QFETCH(Records, records);
    QFETCH(bool, header);
    QFETCH(QString, expected);
    const QString path = written(m_dir, u"saved."_s + suffix, "the file that was there");
    Workbook::SaveOptions options;
    options.header = header;
    options.numberColumns = {1};
    options.sheetName = u"笔画序"_s;
    const QString error = failure([&] { save(path, records, options); });
    if (!error.isEmpty()) {
        QVERIFY2(error.startsWith(expected), qPrintable(error));
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), "the file that was there");
        return;
    }
    QCOMPARE(Workbook::sheetNames(path), QStringList(u"笔画序"_s));
    QCOMPARE(flat(Workbook::readSheet(path).records), expected);

    const QString blocked = m_dir.filePath(u"missing/saved."_s + suffix);
    QVERIFY(failure([&] { save(blocked, records); }).contains(u"原有的文件没有改动"));
}

void TestWorkbook::otherReaders_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("office");
    QTest::newRow("xlsx by openpyxl") << u"xlsx"_s << false;
    QTest::newRow("ods by odfpy") << u"ods"_s << false;
    QTest::newRow("xlsx by LibreOffice") << u"xlsx"_s << true;
    QTest::newRow("ods by LibreOffice") << u"ods"_s << true;
}

namespace {

// The sheet at PATH as Debian's python3 with openpyxl or odfpy reads it,
// and the sheet's name; nothing where that cannot be run.
std::optional<std::pair<QString, Records>> readByPython(const QString &path)
{
    if (!QFileInfo(QStringLiteral(TARVELO_PYTHON)).isExecutable())
        return std::nullopt;
    QProcess reader;
    reader.start(QStringLiteral(TARVELO_PYTHON), {QStringLiteral(TARVELO_READBACK), path});
    if (!reader.waitForFinished() || reader.exitCode() != 0)
        return std::pair{QString::fromUtf8(reader.readAllStandardError()), Records()};
    const QJsonObject read = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    Records rows;
    for (const QJsonValue &row : read[u"rows"].toArray())
        rows.append(row.toVariant().toStringList());
    return std::pair{read[u"sheet"].toString(), rows};
}

// The same as LibreOffice's CSV export gives it, which names the file
// after the sheet.
std::optional<std::pair<QString, Records>> readByLibreOffice(const QString &path, const QTemporaryDir &dir)
{
    const QString office = QStandardPaths::findExecutable(u"soffice"_s);
    if (office.isEmpty())
        return std::nullopt;
    // Comma, double quote, UTF-8, each sheet to a file of its own.
    const QString csv = u"csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1"_s;
    const QString out = dir.filePath(u"office"_s);
    QProcess converter;
    converter.start(office, {u"-env:UserInstallation="_s + QUrl::fromLocalFile(dir.filePath(u"profile"_s)).toString(),
                             u"--headless"_s, u"--convert-to"_s, csv, u"--outdir"_s, out, path});
    constexpr int officeMilliseconds = 120'000;
    converter.waitForFinished(officeMilliseconds);
    const QFileInfoList written = QDir(out).entryInfoList({u"*.csv"_s});
    if (written.size() != 1)
        return std::pair{QString::fromUtf8(converter.readAllStandardError()), Records()};
    QFile file(written.first().filePath());
    if (!file.open(QIODevice::ReadOnly))
        return std::pair{file.errorString(), Records()};
    const QString base = QFileInfo(path).completeBaseName() + u'-';
    return std::pair{written.first().completeBaseName().mid(base.size()),
                     Delimited::parse(QString::fromUtf8(file.readAll()).chopped(1), u',')};
}

} // namespace

// What is saved, as readers other than this system's own read it.
void TestWorkbook::otherReaders()
{
    QFETCH(QString, suffix);
    QFETCH(bool, office);
    const Records records = {{u"姓名"_s, u"序号"_s, u"备注"_s},
                             {u"王毅"_s, u"12"_s, u"0012"_s},
                             {u"王沪宁"_s, u""_s, u" a  b <&> "_s},
                             {u"𠀀"_s, u"-3.5"_s, u"一\n二"_s},
                             {u"丁一"_s, u"7"_s, u"110101199003071234"_s}};
    Workbook::SaveOptions options;
    options.header = true;
    options.numberColumns = {1};
    options.sheetName = u"名单"_s;
    const QString path = m_dir.filePath(u"other."_s + suffix);
    save(path, records, options);
    QTemporaryDir work;
    const auto read = office ? readByLibreOffice(path, work) : readByPython(path);
    if (!read)
        QSKIP("the other reader is not installed (tools/install-deps.sh test installs it)");
    QVERIFY2(!read->second.isEmpty(), qPrintable(read->first));
    QCOMPARE(read->first, u"名单"_s);
    QCOMPARE(flat(read->second), flat(records));
}

void TestWorkbook::hostile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");

    const QByteArray spaces(64 * 1024 * 1024, ' ');
    QTest::newRow("zip bomb") << zipped(m_dir, u"bomb.xlsx"_s, xlsxParts(sheetXml(spaces))) << u"解压后超过"_s;
    QTest::newRow("a billion rows")
            << zipped(m_dir, u"rows.xlsx"_s,
                      xlsxParts(sheetXml(R"(<sheetData><row r="1000000000"><c><v>1</v></c></row></sheetData>)")))
            << u"1000000000 行"_s;
    QTest::newRow("a billion rows in an .ods")
            << zipped(m_dir, u"rows.ods"_s,
                      odsParts(R"(<table:table table:name="a"><table:table-row table:number-rows-repeated="1000000000">
<table:table-cell><text:p>王五</text:p></table:table-cell></table:table-row></table:table>)"))
            << u"1000000000 行"_s;
    QByteArray farCells;
    for (int row = 1; row <= 400; ++row)
        farCells += R"(<row><c r="XFD)" + QByteArray::number(row) + R"("><v>1</v></c></row>)";
    QTest::newRow("too many cells")
            << zipped(m_dir, u"cells.xlsx"_s, xlsxParts(sheetXml("<sheetData>" + farCells + "</sheetData>")))
            << u"单元格"_s;
    const QByteArray runs = QByteArray(R"(<text:s text:c="1024"/>)").repeated(16 * 1024 + 1);
    QTest::newRow("spaces from a few bytes")
            << zipped(m_dir, u"spaces.ods"_s,
                      odsParts(R"(<table:table table:name="a"><table:table-row><table:table-cell><text:p>)" + runs
                               + "</text:p></table:table-cell></table:table-row></table:table>"))
            << u"空格多得异常"_s;
    QTest::newRow("entity expansion")
            << zipped(m_dir, u"laughs.xlsx"_s,
                      xlsxParts(R"(<?xml version="1.0"?><!DOCTYPE w [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;">]>
<worksheet><sheetData><row><c t="inlineStr"><is><t>&b;</t></is></c></row></sheetData></worksheet>)"))
            << u"文档类型定义"_s;
    QTest::newRow("external entity")
            << zipped(m_dir, u"external.xlsx"_s,
                      xlsxParts(R"(<?xml version="1.0"?><!DOCTYPE w [<!ENTITY e SYSTEM "file:///etc/passwd">]>
<worksheet><sheetData><row><c t="inlineStr"><is><t>&e;</t></is></c></row></sheetData></worksheet>)"))
            << u"文档类型定义"_s;
    QTest::newRow("missing part") << zipped(m_dir, u"missing.xlsx"_s, xlsxParts({}).first(3)) << u"缺少"_s;
    QTest::newRow("damaged XML") << zipped(m_dir, u"damaged.xlsx"_s, xlsxParts("<worksheet><sheetData><row>"))
                                 << u"已经损坏"_s;
    QTest::newRow("shared string out of range")
            << zipped(m_dir, u"index.xlsx"_s, xlsxParts(sheetXml(R"(<sheetData><row><c t="s"><v>99</v></c></row></sheetData>)")))
            << u"共享字符串 99"_s;
    QTest::newRow("protected workbook") << written(m_dir, u"protected.xlsx"_s, compoundFile(true)) << u"受密码保护"_s;
    QTest::newRow("protected .ods")
            << zipped(m_dir, u"protected.ods"_s,
                      odsParts({}) + Parts{{u"META-INF/manifest.xml"_s,
                                            R"(<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">
<manifest:file-entry manifest:full-path="content.xml"><manifest:encryption-data/></manifest:file-entry></manifest:manifest>)"}})
            << u"受密码保护"_s;
    QTest::newRow("Excel 97-2003") << written(m_dir, u"old.xls"_s, compoundFile(false)) << u"另存为"_s;
    QTest::newRow("not a zip") << written(m_dir, u"list.xlsx"_s, "姓名,工号\n王毅,1\n") << u"不是 Excel 工作簿"_s;
    QTest::newRow("truncated zip") << written(m_dir, u"cut.xlsx"_s, "PK\x03\x04\x14\x00") << u"已经损坏"_s;
    QTest::newRow("another zip") << zipped(m_dir, u"other.xlsx"_s, {{u"a.txt"_s, "a"}}) << u"是个 zip 文件"_s;
}

void TestWorkbook::hostile()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    QVERIFY(!path.isEmpty());
    const QString error = failure([&] {
        Workbook::sheetNames(path);
        Workbook::readSheet(path);
    });
    QVERIFY2(error.contains(message), qPrintable(error));
}

// A large sheet is read in two halves split at a row near its middle: the
// result must be that of reading it in one go, which a sheet without an
// XML declaration is, wherever the middle falls.
void TestWorkbook::largeSheet_data()
{
    QTest::addColumn<QByteArray>("sheetData");

    const QByteArray rows = numberedRows(1, 6000);
    QTest::newRow("hidden rows, a merge over the middle, a row written again")
            << rows + R"(<row r="5"><c r="A5"><v>7</v></c></row></sheetData><mergeCells><mergeCell ref="A2990:B3010"/>)"
                       "</mergeCells>";
    QTest::newRow("middle inside a comment")
            << numberedRows(1, 2000) + "<!--" + numberedRows(2001, 5000) + "-->" + numberedRows(5001, 6000) + "</sheetData>";
    QTest::newRow("middle inside CDATA")
            << numberedRows(1, 2000) + R"(<row r="2001"><c t="inlineStr"><is><t><![CDATA[)" + numberedRows(3000, 6000)
                       + "]]></t></is></c></row>" + numberedRows(6001, 7000) + "</sheetData>";
    QTest::newRow("rows without numbers") << QByteArray(rows).replace(" r=\"", " x=\"") + "</sheetData>";
    QTest::newRow("row past the limit after the middle")
            << rows + R"(<row r="1048577"><c><v>1</v></c></row></sheetData>)";
    QTest::newRow("damaged after the middle") << rows + R"(<row r="6001"><c></sheetData>)";
}

void TestWorkbook::largeSheet()
{
    QFETCH(QByteArray, sheetData);
    const QByteArray sheet = sheetXml(R"(<cols><col min="3" max="3" hidden="1"/></cols><sheetData>)" + sheetData);
    const QString path = zipped(m_dir, u"large.xlsx"_s, xlsxParts(sheet));
    const QString inOneGo = outcome(path);
    QVERIFY(QFile::remove(path));
    const QString split = outcome(zipped(m_dir, u"large.xlsx"_s, xlsxParts("<?xml version=\"1.0\"?>" + sheet)));
    QVERIFY(!inOneGo.isEmpty());
    QCOMPARE(split, inOneGo);
}

void TestWorkbook::hiddenRangesOutOfOrder_data()
{
    QTest::addColumn<QByteArray>("cols");
    QTest::addColumn<int>("hiddenColumns");
    QTest::newRow("no end") << QByteArray(R"(<col min="2" hidden="1"/>)") << 0;
    QTest::newRow("start before the first") << QByteArray(R"(<col min="0" max="1" hidden="1"/>)") << 1;
}

void TestWorkbook::hiddenRangesOutOfOrder()
{
    QFETCH(QByteArray, cols);
    QFETCH(int, hiddenColumns);
    const QByteArray sheet = sheetXml("<cols>" + cols + "</cols>"
                                      + R"(<sheetData><row r="1"><c><v>1</v></c><c><v>2</v></c></row></sheetData>)");
    QCOMPARE(Workbook::readSheet(zipped(m_dir, u"ranges.xlsx"_s, xlsxParts(sheet))).hiddenColumns, hiddenColumns);
}

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"
