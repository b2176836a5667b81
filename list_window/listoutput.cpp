// SPDX-License-Identifier: MIT
#include "listoutput.h"

#include "delimited.h"
#include "listinput.h"
#include "runtimeerror.h"
#include "systemtext.h"

#include <QDir>
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
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        const QString reason = quotedSystemText(file.errorString());
        file.cancelWriting();
        throw RuntimeError(QCoreApplication::translate("ListOutput", "不能保存“%1”：%2。原有的文件没有改动。")
                                   .arg(QDir::toNativeSeparators(path), reason));
    }
}

} // namespace ListOutput
