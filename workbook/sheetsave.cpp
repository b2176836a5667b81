// SPDX-License-Identifier: MIT
#include "sheetsave.h"

#include "runtimeerror.h"
#include "sheetbuilder.h"
#include "systemtext.h"
#include "zipwriter.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <charconv>

using namespace Qt::StringLiterals;

namespace Workbook {

namespace {

constexpr double narrowestColumn = 8;
constexpr double widestColumn = 60;
constexpr double columnPadding = 2;
constexpr char32_t firstWideCharacter = 0x2E80;
constexpr qsizetype mostWholeDigits = 15;
constexpr qsizetype mostFractionDigits = 6;
// Sheets smaller than this are written on one thread.
constexpr qsizetype rowsForAPiece = 10'000;
// Excel's own bound; LibreOffice takes the same names.
constexpr qsizetype longestSheetName = 31;

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

double displayWidth(const QString &text)
{
    double width = 0;
    for (const QChar c : text)
        width += c.unicode() >= firstWideCharacter ? 2 : 1;
    return width;
}

qsizetype digitsAt(QStringView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
        ++end;
    return end - from;
}

} // namespace

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

// A whole column of these is written, so this spares a regular expression
// and Qt's locale-aware conversion at every cell.
bool isPlainNumber(QStringView text)
{
    qsizetype at = text.startsWith(u'-') ? 1 : 0;
    const qsizetype whole = digitsAt(text, at);
    if (whole == 0 || whole > mostWholeDigits || (whole > 1 && text[at] == u'0'))
        return false;
    at += whole;
    if (at == text.size())
        return true;
    const qsizetype fraction = text[at] == u'.' ? digitsAt(text, at + 1) : 0;
    return fraction > 0 && fraction <= mostFractionDigits && at + 1 + fraction == text.size();
}

void checkSize(const QList<QStringList> &records)
{
    qsizetype widest = 0;
    for (const QStringList &record : records)
        widest = std::max(widest, record.size());
    if (records.size() > maxRows || widest > maxColumns)
        throw RuntimeError(tr("名单有 %1 行、%2 列，超过了工作表的 %3 行、%4 列。")
                                   .arg(records.size())
                                   .arg(widest)
                                   .arg(maxRows)
                                   .arg(maxColumns));
}

QString sheetName(const QString &wanted)
{
    static const QString forbidden = u"[]:*?/\\"_s;
    const bool good = !wanted.isEmpty() && wanted.size() <= longestSheetName && !wanted.startsWith(u'\'')
            && !wanted.endsWith(u'\'') && std::none_of(wanted.begin(), wanted.end(), [](QChar c) {
                   return forbidden.contains(c) || c.category() == QChar::Other_Control;
               });
    return good ? wanted : u"Sheet1"_s;
}

qsizetype pieceCount(const QList<QStringList> &records)
{
    return records.size() < rowsForAPiece ? 1 : ZipWriter::pieceCount();
}

void appendNumber(QByteArray &out, qint64 n)
{
    constexpr int longestNumber = 20;
    char digits[longestNumber];
    const auto end = std::to_chars(digits, digits + longestNumber, n).ptr;
    out.append(digits, end - digits);
}

void savePackage(const QString &path, const std::function<void(ZipWriter &)> &write)
{
    // The zip is made in memory, where it can be seeked freely, and
    // written out once whole.
    QBuffer zipped;
    zipped.open(QIODevice::ReadWrite);
    {
        ZipWriter zip(&zipped);
        write(zip);
        zip.close();
    }
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(zipped.data()) == zipped.size() && file.commit();
    if (!saved) {
        const QString reason = quotedSystemText(file.errorString());
        file.cancelWriting();
        throw RuntimeError(tr("不能保存“%1”：%2。原有的文件没有改动。").arg(QDir::toNativeSeparators(path), reason));
    }
}

} // namespace Workbook
