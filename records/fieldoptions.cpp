// SPDX-License-Identifier: MIT
#include "fieldoptions.h"

#include <QCommandLineParser>

#include <limits>

using namespace Qt::StringLiterals;

namespace Delimited {

namespace {

// "N", or "N,N" as sort(1) writes one field, counted from 1.
bool parseField(const QString &text, qsizetype *field)
{
    const QStringList parts = text.split(u',');
    if (parts.size() > 2 || (parts.size() == 2 && parts.first() != parts.last()))
        return false;
    bool ok = false;
    const uint number = parts.first().toUInt(&ok);
    if (!ok || number == 0 || number > uint(std::numeric_limits<int>::max()))
        return false;
    *field = qsizetype(number) - 1;
    return true;
}

// One character; a shell's quoting of a TAB is hard to type, so "\t" is one.
bool parseSeparator(const QString &text, char32_t *separator)
{
    if (text == u"\\t"_s) {
        *separator = U'\t';
        return true;
    }
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.size() != 1 || codePoints.first() == '\n' || codePoints.first() == '\r'
        || codePoints.first() == '"')
        return false;
    *separator = char32_t(codePoints.first());
    return true;
}

} // namespace

FieldOptions::FieldOptions(const QString &use, const QString &headerUse)
    : separator(u"t"_s, tr("字段分隔符 SEP（一个字符，如“,”或“\\t”）；为“,”时按 CSV 的引号规则。"), u"SEP"_s)
    , field(u"k"_s, tr("%1；N 从 1 数起，没有 -t 时字段以空白分隔。").arg(use), u"N"_s)
    , header(u"header"_s, headerUse)
{
}

bool FieldOptions::take(const QCommandLineParser &parser, FieldChoice *choice, QString *problem) const
{
    const QString separatorText = parser.value(separator), fieldText = parser.value(field);
    choice->header = parser.isSet(header);
    if (parser.isSet(separator) && !parseSeparator(separatorText, &choice->separator))
        *problem = tr("-t 要一个字符（不能是换行或引号），“%1”不是。").arg(separatorText);
    else if (parser.isSet(field) && !parseField(fieldText, &choice->field))
        *problem = tr("-k 要一个从 1 数起的字段号 N，“%1”不是。").arg(fieldText);
    else if (parser.isSet(separator) && !parser.isSet(field))
        *problem = tr("-t 要和 -k 一起用，指明用哪个字段。");
    return problem->isEmpty();
}

} // namespace Delimited
