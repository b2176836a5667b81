// SPDX-License-Identifier: MIT
#include "workbook.h"

#include "runtimeerror.h"
#include "sheetbuilder.h"
#include "systemtext.h"

#include <xlsxwriter.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

using namespace Qt::StringLiterals;

namespace Workbook {

namespace {

// Column widths in Excel's units, about one Latin letter each; a Chinese
// character takes two.
constexpr double narrowestColumn = 8;
constexpr double widestColumn = 60;
constexpr double columnPadding = 2;
constexpr char32_t firstWideCharacter = 0x2E80;

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

QString lxwReason(lxw_error error)
{
    return quotedSystemText(QString::fromUtf8(lxw_strerror(error)));
}

double displayWidth(const QString &text)
{
    double width = 0;
    for (const QChar c : text)
        width += c.unicode() >= firstWideCharacter ? 2 : 1;
    return width;
}

QList<double> columnWidths(const QList<QStringList> &records)
{
    QList<double> widths;
    for (const QStringList &record : records) {
        if (record.size() > widths.size())
            widths.resize(record.size(), narrowestColumn - columnPadding);
        for (qsizetype c = 0; c < record.size(); ++c)
            widths[c] = std::max(widths[c], std::min(displayWidth(record[c]), widestColumn));
    }
    for (double &w : widths)
        w = std::min(w + columnPadding, widestColumn);
    return widths;
}

// A number as typed that Excel keeps as it stands: no leading zero, no
// more digits than a double holds exactly.
constexpr qsizetype mostWholeDigits = 15;
constexpr qsizetype mostFractionDigits = 6;
constexpr qsizetype longestPlainNumber = 1 + mostWholeDigits + 1 + mostFractionDigits;

qsizetype digitsAt(QStringView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
        ++end;
    return end - from;
}

// TEXT's value where it is such a number. A whole column of them is
// written, so this spares a regular expression and Qt's locale-aware
// conversion at every cell.
std::optional<double> plainNumber(QStringView text)
{
    if (text.size() > longestPlainNumber)
        return std::nullopt;
    qsizetype at = text.startsWith(u'-') ? 1 : 0;
    const qsizetype whole = digitsAt(text, at);
    if (whole == 0 || whole > mostWholeDigits || (whole > 1 && text[at] == u'0'))
        return std::nullopt;
    at += whole;
    if (at < text.size()) {
        const qsizetype fraction = text[at] == u'.' ? digitsAt(text, at + 1) : 0;
        if (fraction == 0 || fraction > mostFractionDigits || at + 1 + fraction != text.size())
            return std::nullopt;
    }
    std::array<char, longestPlainNumber> latin{};
    std::transform(text.begin(), text.end(), latin.begin(), [](QChar c) { return char(c.unicode()); });
    double value = 0;
    std::from_chars(latin.data(), latin.data() + text.size(), value);
    return value;
}

// TEXT as UTF-8 for the library, which writes the characters XML cannot
// hold as _xHHHH_ but leaves a literal "_x0041_" as it is, for Excel to
// read as "A": its underscore is escaped here.
QByteArray escaped(const QString &text)
{
    if (!text.contains(u"_x"))
        return text.toUtf8();
    static const QRegularExpression literal(u"_(x[0-9A-Fa-f]{4}_)"_s);
    return QString(text).replace(literal, u"_x005F_\\1"_s).toUtf8();
}

class Writer
{
public:
    explicit Writer(const QString &fileName)
    {
        lxw_workbook_options options = {};
        // Rows go to a temporary file as they are written, not into
        // memory; text is written in the cells, not as shared strings,
        // which makes the file no slower to read.
        options.constant_memory = LXW_TRUE;
        m_book = workbook_new_opt(QFile::encodeName(fileName).constData(), &options);
        if (!m_book)
            throw RuntimeError(tr("不能建立临时的工作簿文件。"));
        m_text = workbook_add_format(m_book);
        format_set_num_format(m_text, "@");
        m_header = workbook_add_format(m_book);
        format_set_num_format(m_header, "@");
        format_set_bold(m_header);
    }
    ~Writer()
    {
        if (m_book)
            workbook_close(m_book);
    }

    void write(const QList<QStringList> &records, const SaveOptions &options)
    {
        const QByteArray name = options.sheetName.toUtf8();
        const bool named = !name.isEmpty() && workbook_validate_sheet_name(m_book, name.constData()) == LXW_NO_ERROR;
        lxw_worksheet *sheet = workbook_add_worksheet(m_book, named ? name.constData() : nullptr);
        const QList<double> widths = columnWidths(records);
        for (qsizetype c = 0; c < widths.size(); ++c)
            worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths[c], m_text);
        for (qsizetype r = 0; r < records.size(); ++r) {
            const bool header = options.header && r == 0;
            for (qsizetype c = 0; c < records[r].size(); ++c)
                writeCell(sheet, r, c, records[r][c], header ? m_header : m_text,
                          !header && options.numberColumns.contains(int(c)));
        }
    }

    void close()
    {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        if (error != LXW_NO_ERROR)
            throw RuntimeError(tr("工作簿没有写成：%1。").arg(lxwReason(error)));
    }

private:
    void writeCell(lxw_worksheet *sheet, qsizetype r, qsizetype c, const QString &text, lxw_format *format,
                   bool number)
    {
        if (text.isEmpty())
            return;
        const std::optional<double> value = number ? plainNumber(text) : std::nullopt;
        const lxw_error error = value
                ? worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), *value, nullptr)
                : worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), escaped(text).constData(), format);
        if (error == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED)
            throw RuntimeError(tr("第 %1 行第 %2 列的内容超过了 Excel 一格能存的 32767 个字，写不进工作簿。")
                                       .arg(r + 1)
                                       .arg(c + 1));
        if (error != LXW_NO_ERROR)
            throw RuntimeError(tr("第 %1 行第 %2 列写不进工作簿：%3。").arg(r + 1).arg(c + 1).arg(lxwReason(error)));
    }

    lxw_workbook *m_book = nullptr;
    lxw_format *m_text = nullptr;
    lxw_format *m_header = nullptr;
};

void checkSize(const QList<QStringList> &records)
{
    qsizetype widest = 0;
    for (const QStringList &record : records)
        widest = std::max(widest, record.size());
    if (records.size() > maxRows || widest > maxColumns)
        throw RuntimeError(tr("名单有 %1 行、%2 列，超过了 Excel 工作表的 %3 行、%4 列。")
                                   .arg(records.size())
                                   .arg(widest)
                                   .arg(maxRows)
                                   .arg(maxColumns));
}

} // namespace

void saveXlsx(const QString &path, const QList<QStringList> &records, const SaveOptions &options)
{
    checkSize(records);
    // The library writes only to a file it names itself; the finished
    // workbook then replaces PATH in one step.
    QTemporaryFile temporary(QDir::tempPath() + u"/tarvelo-XXXXXX.xlsx"_s);
    if (!temporary.open())
        throw RuntimeError(tr("不能建立临时文件：%1。").arg(quotedSystemText(temporary.errorString())));
    temporary.close();
    {
        Writer writer(temporary.fileName());
        writer.write(records, options);
        writer.close();
    }
    QFile written(temporary.fileName());
    QSaveFile file(path);
    const bool saved = written.open(QIODevice::ReadOnly) && file.open(QIODevice::WriteOnly)
            && file.write(written.readAll()) == written.size() && file.commit();
    if (!saved) {
        const QString reason = quotedSystemText(file.error() != QFileDevice::NoError ? file.errorString()
                                                                                     : written.errorString());
        file.cancelWriting();
        throw RuntimeError(tr("不能保存“%1”：%2。原有的文件没有改动。").arg(QDir::toNativeSeparators(path), reason));
    }
}

} // namespace Workbook
