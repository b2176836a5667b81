// SPDX-License-Identifier: MIT
#include "listoutput.h"

#include "delimited.h"
#include "listinput.h"
#include "runtimeerror.h"
#include "systemtext.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QSaveFile>
#include <QStringEncoder>

using namespace Qt::StringLiterals;

namespace ListOutput {

namespace {

const QString rowEnd = u"\r\n"_s;
constexpr QByteArrayView utf8Bom("\xEF\xBB\xBF", 3);

QString joined(const QList<QStringList> &records, QChar separator)
{
    QString text;
    for (const QStringList &record : records)
        text += Delimited::joined(record, separator) + rowEnd;
    return text;
}

} // namespace

std::optional<LoneSurrogate> findLoneSurrogate(const QList<QStringList> &records)
{
    for (qsizetype record = 0; record < records.size(); ++record) {
        const QStringList &cells = records.at(record);
        for (qsizetype column = 0; column < cells.size(); ++column) {
            const QString &cell = cells.at(column);
            if (const qsizetype pos = ListInput::firstLoneSurrogate(cell); pos >= 0)
                return LoneSurrogate{record, column, cell.at(pos).unicode()};
        }
    }
    return std::nullopt;
}

QString clipboardText(const QList<QStringList> &records)
{
    return joined(records, u'\t');
}

QByteArray csvBytes(const QList<QStringList> &records, CsvEncoding encoding)
{
    const QString text = joined(records, u',');
    const bool utf8 = encoding == CsvEncoding::Utf8WithBom;
    QStringEncoder encoder = utf8 ? QStringEncoder(QStringEncoder::Utf8) : QStringEncoder("GB18030");
    // Both encodings hold every character; only half of one fails, which
    // would otherwise be written as '?'.
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        throw RuntimeError(QCoreApplication::translate("ListOutput", "名单里有半个字，写不成 %1 编码。")
                                   .arg(utf8 ? u"UTF-8"_s : u"GB18030"_s));
    return utf8 ? utf8Bom.toByteArray() + bytes : bytes;
}

void save(const QString &path, const QByteArray &bytes)
{
    const bool existed = QFileInfo::exists(path);
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (written)
        return;
    QString reason = quotedSystemText(file.errorString());
    file.cancelWriting();
    // A full disk fails the last flush, for which Qt may give no reason.
    const QStorageInfo storage(QFileInfo(path).absolutePath());
    if (storage.isValid() && storage.bytesAvailable() < bytes.size())
        reason = QCoreApplication::translate("ListOutput", "磁盘已满（还剩 %1 字节，要写 %2 字节）")
                         .arg(storage.bytesAvailable())
                         .arg(bytes.size());
    const QString shown = QDir::toNativeSeparators(path);
    throw RuntimeError(existed ? QCoreApplication::translate("ListOutput", "不能保存“%1”：%2。原有的文件没有改动。")
                                         .arg(shown, reason)
                               : QCoreApplication::translate("ListOutput", "不能保存“%1”：%2。文件没有建成。")
                                         .arg(shown, reason));
}

} // namespace ListOutput
