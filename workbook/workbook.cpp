// SPDX-License-Identifier: MIT
#include "workbook.h"

#include "package.h"
#include "readers.h"
#include "runtimeerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Workbook {

bool isWorkbook(const QString &path)
{
    // Not .xls: many systems export text or HTML tables under that name,
    // which the text reader takes; a real one is known by its first bytes.
    static const QStringList extensions = {u"xlsx"_s, u"xlsm"_s, u"ods"_s};
    if (extensions.contains(QFileInfo(path).suffix().toLower()))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head == "PK\x03\x04" || head == "\xD0\xCF\x11\xE0";
}

QStringList sheetNames(const QString &path)
{
    Package package(path);
    return package.format() == Format::Ods ? Ods::sheetNames(package) : Xlsx::sheetNames(package);
}

Sheet readSheet(const QString &path, int index)
{
    Package package(path);
    // An .ods says which sheets it has only in the part that holds them,
    // which is not read twice.
    if (package.format() == Format::Ods)
        return Ods::readSheet(package, index);
    if (index < 0 || index >= Xlsx::sheetNames(package).size())
        throw RuntimeError(QCoreApplication::translate("Workbook", "“%1”里没有第 %2 个工作表。")
                                   .arg(QDir::toNativeSeparators(path))
                                   .arg(index + 1));
    return Xlsx::readSheet(package, index);
}

} // namespace Workbook
