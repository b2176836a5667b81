// SPDX-License-Identifier: MIT
#include "unihan.h"

#include "character.h"
#include "runtimeerror.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <bzlib.h>
#include <functional>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype unpackChunk = 1 << 20;
constexpr int hexadecimal = 16;
constexpr char32_t lastCodePoint = 0x10FFFF;
constexpr char32_t firstSurrogate = 0xD800;
constexpr char32_t lastSurrogate = 0xDFFF;
constexpr qint64 maxStrokeCount = std::numeric_limits<qint16>::max();

RuntimeError tooLarge(const QString &filePath, qsizetype limit)
{
    return RuntimeError(u"%1 unpacks to more than %2 MB, far more than any Unihan file; "
                        "it is damaged or not a Unihan file"_s
                                .arg(filePath)
                                .arg(limit >> 20));
}

// Unpacks one bzip2 stream starting at PACKED[*POS] and moves *POS past it.
void unpackStream(const QByteArray &packed, qsizetype *pos, QByteArray *text, const QString &filePath,
                  qsizetype limit)
{
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK)
        throw RuntimeError(u"bzip2 cannot start"_s);
    stream.next_in = const_cast<char *>(packed.constData() + *pos);
    stream.avail_in = unsigned(packed.size() - *pos);
    int rc = BZ_OK;
    while (rc == BZ_OK) {
        const qsizetype used = text->size();
        const qsizetype room = std::min(unpackChunk, limit - used);
        if (room <= 0) {
            BZ2_bzDecompressEnd(&stream);
            throw tooLarge(filePath, limit);
        }
        text->resize(used + room);
        stream.next_out = text->data() + used;
        stream.avail_out = unsigned(room);
        rc = BZ2_bzDecompress(&stream);
        text->resize(text->size() - stream.avail_out);
        if (rc == BZ_OK && stream.avail_in == 0 && stream.avail_out != 0)
            break;
    }
    *pos = packed.size() - stream.avail_in;
    BZ2_bzDecompressEnd(&stream);
    if (rc != BZ_STREAM_END)
        throw RuntimeError(u"%1 is not a complete bzip2 file"_s.arg(filePath));
}

// Parallel compressors write one stream per block, so a file may hold
// several; stopping after the first would silently drop the rest.
QByteArray unpackBzip2(const QByteArray &packed, const QString &filePath, qsizetype limit)
{
    QByteArray text;
    qsizetype pos = 0;
    do {
        unpackStream(packed, &pos, &text, filePath, limit);
    } while (pos < packed.size());
    return text;
}

RuntimeError lineError(int line, const QString &what)
{
    return RuntimeError(u"line %1: %2"_s.arg(line).arg(what));
}

// Enough of a bad line to find it by.
constexpr qsizetype shownLength = 60;

QString shown(QByteArrayView line)
{
    return QString::fromUtf8(line.first(std::min(line.size(), shownLength))) + (line.size() > shownLength ? u"…"_s : QString());
}

bool isUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// "U+" with four to six upper-case hexadecimal digits, a TAB, a field
// name, a TAB and a value: the only lines besides comments and blank ones
// that Unihan's files hold.
bool isEntry(QByteArrayView line)
{
    constexpr qsizetype minDigits = 4;
    constexpr qsizetype maxDigits = 6;
    if (!line.startsWith("U+"))
        return false;
    qsizetype at = 2;
    while (at < line.size() && isUpperHex(line.at(at)))
        ++at;
    if (at - 2 < minDigits || at - 2 > maxDigits || at == line.size() || line.at(at) != '\t')
        return false;
    const qsizetype fieldEnd = line.indexOf('\t', at + 1);
    return fieldEnd > at + 1 && fieldEnd + 1 < line.size();
}

// Unicode's data files end with this line; a file without it was cut
// short, and a cut can fall inside a value ("23" read as "2").
void requireEnd(const QByteArray &text, const QString &filePath)
{
    static constexpr QByteArrayView endLine = "# EOF";
    const QByteArrayView rest = QByteArrayView(text).trimmed();
    const qsizetype lineStart = rest.lastIndexOf('\n') + 1;
    if (rest.sliced(lineStart).trimmed() != endLine)
        throw RuntimeError(u"%1 ends on line %2 without the line “# EOF” that ends Unicode's data files: "
                           "it was cut short; get it again"_s.arg(filePath)
                                   .arg(rest.count('\n') + 1));
}

// Calls ENTRY(codePoint, value, line) for each "U+XXXX<TAB>FIELD<TAB>value"
// line of TEXT, with lines numbered from 1 and each code point once.
void forEachEntry(const QByteArray &text, const QByteArray &field,
                  const std::function<void(char32_t, const QByteArray &, int)> &entry)
{
    const QByteArray tag = '\t' + field + '\t';
    QHash<char32_t, int> seen;
    qsizetype start = 0;
    for (int lineNumber = 1; start < text.size(); ++lineNumber) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = QByteArrayView(text).sliced(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!isEntry(line))
            throw lineError(lineNumber, u"“%1” is not a Unihan entry (U+ and the code point in upper-case "
                                        "hexadecimal, a TAB, the field, a TAB, the value)"_s.arg(shown(line)));
        if (!line.contains(tag))
            continue;
        const QList<QByteArray> fields = line.toByteArray().split('\t');
        const qulonglong codePoint = fields.at(0).mid(2).toULongLong(nullptr, hexadecimal);
        if (codePoint > lastCodePoint)
            throw lineError(lineNumber, u"code point U+%1 lies beyond U+10FFFF, the last there is"_s.arg(
                                                QString::number(codePoint, hexadecimal).toUpper()));
        const char32_t character = char32_t(codePoint);
        if (character >= firstSurrogate && character <= lastSurrogate)
            throw lineError(lineNumber, u"%1 is a surrogate, half of a UTF-16 pair, not a character"_s
                                                .arg(Character::codePointName(character)));
        const auto first = seen.constFind(character);
        if (first != seen.cend())
            throw lineError(lineNumber, u"a second %1 entry for %2 (the first is on line %3)"_s
                                                .arg(QString::fromLatin1(field), Character::codePointName(character))
                                                .arg(*first));
        seen.insert(character, lineNumber);
        entry(character, fields.at(2).trimmed(), lineNumber);
    }
}

} // namespace

QByteArray readUnihanFile(const QString &filePath, qsizetype limit)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(u"cannot read %1: %2"_s.arg(filePath, file.errorString()));
    if (file.size() > limit)
        throw tooLarge(filePath, limit);
    const QByteArray content = file.read(limit + 1);
    if (content.size() > limit)
        throw tooLarge(filePath, limit);
    const QByteArray text =
            filePath.endsWith(QLatin1String(".bz2")) ? unpackBzip2(content, filePath, limit) : content;
    requireEnd(text, filePath);
    return text;
}

QString unihanVersion(const QByteArray &text)
{
    static const QByteArray versionTag = "# Unicode version: ";
    const qsizetype at = text.indexOf(versionTag);
    if (at < 0 || (at > 0 && text.at(at - 1) != '\n'))
        return {};
    const qsizetype end = text.indexOf('\n', at);
    return QString::fromLatin1(text.mid(at + versionTag.size(), end < 0 ? -1 : end - at - versionTag.size()))
            .trimmed();
}

UnihanStrokes parseTotalStrokes(const QByteArray &text)
{
    UnihanStrokes result;
    result.unicodeVersion = unihanVersion(text);
    forEachEntry(text, "kTotalStrokes", [&](char32_t codePoint, const QByteArray &value, int line) {
        const QList<QByteArray> items = value.split(' ');
        for (const QByteArray &item : items) {
            const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
            if (item.isEmpty() || !std::all_of(item.cbegin(), item.cend(), isDigit))
                throw lineError(line, u"“%1” for %2 is not a stroke count"_s.arg(
                                              shown(value), Character::codePointName(codePoint)));
            bool ok = false;
            const qlonglong count = item.toLongLong(&ok);
            if (!ok || count < 1 || count > maxStrokeCount)
                throw lineError(line, u"%1 has %2 strokes; a count must lie between 1 and %3"_s
                                              .arg(Character::codePointName(codePoint))
                                              .arg(QString::fromLatin1(item))
                                              .arg(maxStrokeCount));
        }
        result.counts.append({codePoint, items.first().toInt()});
    });
    std::sort(result.counts.begin(), result.counts.end());
    return result;
}

QHash<char32_t, RadicalPosition> parseRadicalPositions(const QByteArray &text)
{
    static const QRegularExpression form(u"^([1-9][0-9]*'*)\\.(-?[0-9]+)$"_s);
    QHash<char32_t, RadicalPosition> positions;
    forEachEntry(text, "kRSUnicode", [&](char32_t codePoint, const QByteArray &value, int) {
        const QRegularExpressionMatch match = form.match(QString::fromLatin1(value.split(' ').first()));
        if (match.hasMatch())
            positions.insert(codePoint, {match.captured(1).toLatin1(), match.captured(2).toInt()});
    });
    return positions;
}

QList<char32_t> parseCommonList(const QByteArray &text)
{
    static const QByteArray edition = "2013:";
    QHash<int, std::pair<char32_t, int>> byPlace;
    forEachEntry(text, "kTGH", [&](char32_t codePoint, const QByteArray &value, int line) {
        for (const QByteArray &item : value.split(' ')) {
            if (!item.startsWith(edition))
                continue;
            bool ok = false;
            const int place = item.mid(edition.size()).toInt(&ok);
            if (!ok || place < 1)
                throw lineError(line, u"“%1” is not a place in the list"_s.arg(QString::fromLatin1(item)));
            const auto other = byPlace.constFind(place);
            if (other != byPlace.cend())
                throw lineError(line, u"%1 takes place %2 of the list, which %3 on line %4 holds already"_s
                                              .arg(Character::codePointName(codePoint))
                                              .arg(place)
                                              .arg(Character::codePointName(other->first))
                                              .arg(other->second));
            byPlace.insert(place, {codePoint, line});
        }
    });
    QList<char32_t> list(byPlace.size());
    for (auto it = byPlace.cbegin(); it != byPlace.cend(); ++it) {
        if (it.key() > list.size())
            throw lineError(it->second, u"%1 is at place %2, but the list holds only %3 characters, "
                                        "so a place before it is missing"_s
                                                .arg(Character::codePointName(it->first))
                                                .arg(it.key())
                                                .arg(list.size()));
        list[it.key() - 1] = it->first;
    }
    return list;
}

QHash<QByteArray, char32_t> parseRadicalIdeographs(const QByteArray &text)
{
    constexpr int fieldCount = 3;
    QHash<QByteArray, char32_t> ideographs;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(';');
        if (fields.size() != fieldCount)
            continue;
        bool ok = false;
        const uint ideograph = fields.at(2).trimmed().toUInt(&ok, hexadecimal);
        if (ok && ideograph <= lastCodePoint)
            ideographs.insert(fields.at(0).trimmed(), char32_t(ideograph));
    }
    return ideographs;
}
