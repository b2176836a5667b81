// SPDX-License-Identifier: MIT
#include "listinput.h"

#include "delimited.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace ListInput {

namespace {

const QString utf8 = u"UTF-8"_s;
const QString gb18030 = u"GB18030"_s;
constexpr char16_t byteOrderMark = 0xFEFF;

struct Bom
{
    QByteArrayView bytes;
    QString encoding;
};
// Longest first, so UTF-32's mark is not taken for UTF-16's.
const Bom boms[] = {
    {QByteArrayView("\xFF\xFE\x00\x00", 4), u"UTF-32LE"_s},
    {QByteArrayView("\x00\x00\xFE\xFF", 4), u"UTF-32BE"_s},
    {QByteArrayView("\x84\x31\x95\x33", 4), gb18030},
    {QByteArrayView("\xEF\xBB\xBF", 3), utf8},
    {QByteArrayView("\xFF\xFE", 2), u"UTF-16LE"_s},
    {QByteArrayView("\xFE\xFF", 2), u"UTF-16BE"_s},
};

// Guesses look at no more rows than this: a list's first rows tell.
constexpr qsizetype guessRows = 1000;

struct Attempt
{
    QString text;
    bool valid = false;
};

// Whether the bytes are a whole file, or the start of one, which may stop
// inside a character that the bytes after it would complete.
enum class Extent { Whole, Start };

// UTF-16 decoders pass half a character through without an error; a whole
// file must not end inside one either.
Attempt decodeAs(QByteArrayView bytes, const QString &encoding, Extent extent = Extent::Whole)
{
    QStringDecoder decoder(encoding.toLatin1().constData(),
                           extent == Extent::Whole ? QStringDecoder::Flag::Stateless : QStringDecoder::Flag::Default);
    if (!decoder.isValid())
        return {};
    QString text = decoder.decode(bytes);
    const qsizetype lone = firstLoneSurrogate(text);
    const bool completedLater =
            extent == Extent::Start && lone >= 0 && lone == text.size() - 1 && text.back().isHighSurrogate();
    const bool valid = !decoder.hasError() && (lone < 0 || completedLater);
    if (text.startsWith(QChar(byteOrderMark)))
        text.remove(0, 1);
    return {std::move(text), valid};
}

// The line of the first invalid bytes of BYTES in ENCODING: the longest
// prefix that decodes cleanly is found by halving, and its line breaks
// counted.
qsizetype invalidLine(QByteArrayView bytes, const QString &encoding)
{
    qsizetype valid = 0;
    qsizetype invalid = bytes.size();
    while (invalid - valid > 1) {
        const qsizetype middle = valid + (invalid - valid) / 2;
        (decodeAs(bytes.first(middle), encoding, Extent::Start).valid ? valid : invalid) = middle;
    }
    return decodeAs(bytes.first(valid), encoding, Extent::Start).text.count(u'\n') + 1;
}

bool hasHan(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t codePoint = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (QChar::script(codePoint) == QChar::Script_Han)
            return true;
    }
    return false;
}

bool isNumber(const QString &cell)
{
    bool ok = false;
    cell.trimmed().toDouble(&ok);
    return ok;
}

QString cellOf(const QStringList &record, int column)
{
    return column < record.size() ? record.at(column) : QString();
}

// Drops the empty rows at the end, which a last line break or blank lines
// at the end of a file leave.
QList<QStringList> trimmed(QList<QStringList> records)
{
    const auto isEmpty = [](const QStringList &record) {
        return std::all_of(record.cbegin(), record.cend(), [](const QString &cell) { return cell.isEmpty(); });
    };
    while (!records.isEmpty() && isEmpty(records.last()))
        records.removeLast();
    return records;
}

} // namespace

qsizetype firstLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return i;
    }
    return -1;
}

Decoded decode(const QByteArray &bytes, const QString &encoding)
{
    QString chosen = encoding;
    if (chosen.isEmpty()) {
        for (const Bom &bom : boms) {
            if (bytes.startsWith(bom.bytes)) {
                chosen = bom.encoding;
                break;
            }
        }
    }
    if (chosen.isEmpty()) {
        Attempt attempt = decodeAs(bytes, utf8);
        if (attempt.valid)
            return {std::move(attempt.text), utf8, 0};
        chosen = gb18030;
    }
    Attempt attempt = decodeAs(bytes, chosen);
    if (!attempt.valid)
        return {{}, chosen, invalidLine(bytes, chosen)};
    return {std::move(attempt.text), chosen, 0};
}

QStringList availableEncodings()
{
    QStringList found;
    for (const QString &name : {utf8, gb18030, u"UTF-16LE"_s, u"UTF-16BE"_s, u"Big5"_s}) {
        if (QStringDecoder(name.toLatin1().constData()).isValid())
            found.append(name);
    }
    return found;
}

QList<QStringList> parsePasted(const QString &text)
{
    return trimmed(Delimited::parse(text, u'\t'));
}

QList<QStringList> parseFile(const QString &text, const QString &fileName)
{
    const bool commas = QFileInfo(fileName).suffix().compare(u"csv"_s, Qt::CaseInsensitive) == 0;
    return trimmed(Delimited::parse(text, commas ? u',' : u'\t'));
}

bool hasContent(const QList<QStringList> &records)
{
    return std::any_of(records.cbegin(), records.cend(), [](const QStringList &record) {
        return std::any_of(record.cbegin(), record.cend(), [](const QString &cell) { return !cell.isEmpty(); });
    });
}

int guessNameColumn(const QList<QStringList> &records)
{
    const qsizetype first = records.size() > 1 ? 1 : 0;
    const qsizetype end = std::min(records.size(), first + guessRows);
    int width = 0;
    for (qsizetype row = 0; row < end; ++row)
        width = std::max(width, int(records.at(row).size()));
    for (int column = 0; column < width; ++column) {
        qsizetype filled = 0;
        qsizetype chinese = 0;
        for (qsizetype row = first; row < end; ++row) {
            const QString cell = cellOf(records.at(row), column);
            filled += cell.isEmpty() ? 0 : 1;
            chinese += hasHan(cell) ? 1 : 0;
        }
        if (chinese > 0 && chinese * 2 >= filled)
            return column;
    }
    return 0;
}

bool guessHeader(const QList<QStringList> &records, int nameColumn)
{
    if (records.size() < 2)
        return false;
    static const QStringList captions = {u"姓名"_s, u"名字"_s, u"名称"_s, u"人名"_s, u"全名"_s,
                                         u"名单"_s, u"name"_s, u"names"_s, u"full name"_s};
    const QStringList &head = records.first();
    if (captions.contains(cellOf(head, nameColumn).trimmed(), Qt::CaseInsensitive))
        return true;
    const qsizetype end = std::min(records.size(), 1 + guessRows);
    const auto column = [&](int at, auto test) {
        qsizetype passing = 0;
        qsizetype filled = 0;
        for (qsizetype row = 1; row < end; ++row) {
            const QString cell = cellOf(records.at(row), at);
            filled += cell.isEmpty() ? 0 : 1;
            passing += !cell.isEmpty() && test(cell) ? 1 : 0;
        }
        return filled > 0 && passing == filled;
    };
    for (int at = 0; at < head.size(); ++at) {
        const QString &cell = head.at(at);
        if (!cell.isEmpty() && !isNumber(cell) && column(at, isNumber))
            return true;
    }
    return !hasHan(cellOf(head, nameColumn)) && column(nameColumn, [](const QString &cell) { return hasHan(cell); });
}

} // namespace ListInput
