// SPDX-License-Identifier: MIT
#include "package.h"
#include "readers.h"
#include "sheetbuilder.h"

#include <QCoreApplication>

namespace Workbook::Xlsx {

namespace {

// An escape as Excel writes it: _xHHHH_.
constexpr qsizetype escapeLength = 7;
constexpr qsizetype escapeDigits = 4;
constexpr int hexBase = 16;

QString tr(const char *text)
{
    return QCoreApplication::translate("Workbook", text);
}

int hexValue(QChar c)
{
    constexpr int firstLetterValue = 10;
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + firstLetterValue;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + firstLetterValue;
    return -1;
}

// The code of the escape at AT in TEXT, or -1 where there is none.
int escapeAt(QStringView text, qsizetype at)
{
    if (at + escapeLength > text.size() || text[at] != u'_' || text[at + 1] != u'x'
        || text[at + escapeLength - 1] != u'_')
        return -1;
    int code = 0;
    for (qsizetype i = at + 2; i < at + 2 + escapeDigits; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0)
            return -1;
        code = code * hexBase + digit;
    }
    return code;
}

} // namespace

QString unescaped(QString text)
{
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const int code = escapeAt(text, at);
        if (code < 0) {
            out += text[at];
            continue;
        }
        out += QChar(char16_t(code));
        at += escapeLength - 1;
    }
    return out;
}

QStringList readSharedStrings(Package &package, const QString &partName)
{
    QStringList strings;
    if (!package.contains(partName))
        return strings;
    // Read as a stream on this thread: read in halves on two, the strings
    // took a fifth more memory (each thread's allocations kept apart) for
    // a sixth less time.
    XmlPart part(package, partName);
    while (part.next() != QXmlStreamReader::EndDocument) {
        // Phonetic runs (rPh) annotate the text and are not shown.
        if (part.xml().isStartElement() && part.xml().name() == u"si") {
            // Each takes memory however short it is in the file.
            if (strings.size() >= maxCells)
                part.throwDamaged(tr("共享字符串多于 %1 个").arg(maxCells));
            strings.append(unescaped(part.elementText(u"rPh")));
        }
    }
    return strings;
}

} // namespace Workbook::Xlsx
