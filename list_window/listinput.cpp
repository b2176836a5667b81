// SPDX-License-Identifier: MIT
#include "listinput.h"

#include "delimited.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <vector>

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
// The separator of a file whose name does not tell it shows in its first
// lines.
constexpr qsizetype sniffLines = 20;
// Past one control or replacement character in this many, text is junk.
constexpr qsizetype junkShareDivisor = 10;
// Fewer replaced characters than one in this many: UTF-8 with a fault. Text
// in GB18030 or Big5 read as UTF-8 has a replacement for nearly every
// character.
constexpr qsizetype brokenUtf8Divisor = 4;
// UTF-16 shows in the first bytes, in one character in this many or more
// having a zero half.
constexpr qsizetype utf16SampleBytes = 4096;
constexpr qsizetype utf16ZeroDivisor = 8;
// A heading is short; a longer cell that mentions a name is a remark.
constexpr qsizetype longestHeading = 12;

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

// Text that is nearly all UTF-8 holds a broken character, rather than
// being in another encoding: read as UTF-8, text in GB18030 or Big5 turns
// nearly every character into a replacement.
bool isMostlyUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    qsizetype wide = 0;
    qsizetype replaced = 0;
    for (const QChar c : text) {
        wide += c.unicode() >= 0x80 ? 1 : 0;
        replaced += c == QChar::ReplacementCharacter ? 1 : 0;
    }
    return wide > 0 && replaced * brokenUtf8Divisor < wide;
}

// UTF-16 without a mark: text with ASCII in it (digits, line breaks) has
// a zero byte in every such character's high half, and no other encoding
// has zero bytes at all.
QString guessUtf16(QByteArrayView bytes)
{
    const qsizetype end = std::min(bytes.size(), utf16SampleBytes) & ~qsizetype(1);
    qsizetype evenZeros = 0;
    qsizetype oddZeros = 0;
    for (qsizetype i = 0; i < end; i += 2) {
        evenZeros += bytes[i] == 0 ? 1 : 0;
        oddZeros += bytes[i + 1] == 0 ? 1 : 0;
    }
    const qsizetype units = end / 2;
    if (oddZeros * utf16ZeroDivisor >= units && evenZeros == 0)
        return u"UTF-16LE"_s;
    if (evenZeros * utf16ZeroDivisor >= units && oddZeros == 0)
        return u"UTF-16BE"_s;
    return {};
}

struct Guess
{
    QString encoding;
    bool doubtful = false;
};

// GB18030 and Big5 both read almost any pair of bytes; each puts its most
// common characters in a range of lead and trail bytes of its own (GB2312's
// first level, Big5's frequent characters), and a name list is mostly such
// characters. The encoding whose common range holds more of the pairs wins.
Guess guessDoubleByte(QByteArrayView bytes)
{
    if (isMostlyUtf8(bytes))
        return {utf8, false};
    qsizetype pairs = 0;
    qsizetype gbCommon = 0;
    qsizetype big5Common = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto lead = quint8(bytes[i]);
        if (lead < 0x80 || i + 1 >= bytes.size())
            continue;
        const auto trail = quint8(bytes[++i]);
        ++pairs;
        gbCommon += lead >= 0xB0 && lead <= 0xD7 && trail >= 0xA1 && trail <= 0xFE ? 1 : 0;
        big5Common += lead >= 0xA4 && lead <= 0xC6 && ((trail >= 0x40 && trail <= 0x7E) || trail >= 0xA1) ? 1 : 0;
    }
    const bool big5 = big5Common > gbCommon && decodeAs(bytes, u"Big5"_s).valid;
    const qsizetype common = big5 ? big5Common : gbCommon;
    return {big5 ? u"Big5"_s : gb18030, common * 2 < pairs};
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

bool isNameHeading(QStringView cell)
{
    // Form headings pad their words (姓　名), qualify them (代表姓名) and
    // add a note in brackets (姓名（拼音）); what they say stays.
    QString words;
    int depth = 0;
    for (const QChar c : cell) {
        if (c == u'(' || c == u'（' || c == u'[' || c == u'【')
            ++depth;
        else if (c == u')' || c == u'）' || c == u']' || c == u'】')
            depth = std::max(depth - 1, 0);
        else if (depth == 0 && !c.isSpace() && !c.isPunct())
            words += c.toLower();
    }
    if (words.isEmpty() || words.size() > longestHeading)
        return false;
    static const QStringList exact = {u"名称"_s, u"名"_s, u"name"_s, u"names"_s, u"fullname"_s};
    static const QStringList within = {u"姓名"_s, u"名字"_s, u"人名"_s, u"全名"_s, u"名单"_s};
    return exact.contains(words) || std::any_of(within.cbegin(), within.cend(), [&words](const QString &word) {
               return words.contains(word);
           });
}

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
    bool doubtful = false;
    if (chosen.isEmpty())
        chosen = guessUtf16(bytes);
    if (chosen.isEmpty()) {
        Attempt attempt = decodeAs(bytes, utf8);
        if (attempt.valid)
            return {std::move(attempt.text), utf8, 0};
        const Guess guess = guessDoubleByte(bytes);
        chosen = guess.encoding;
        doubtful = guess.doubtful;
    }
    Attempt attempt = decodeAs(bytes, chosen);
    if (!attempt.valid)
        return {{}, chosen, invalidLine(bytes, chosen)};
    return {std::move(attempt.text), chosen, 0, doubtful};
}

bool isMostlyControl(QStringView text)
{
    qsizetype junk = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool layout = u == u'\t' || u == u'\n' || u == u'\r';
        junk += ((u < u' ' && !layout) || u == 0x7F || u == QChar::ReplacementCharacter) ? 1 : 0;
    }
    return junk * junkShareDivisor > text.size();
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

QList<QStringList> parsePasted(const QString &text, qsizetype *openQuoteLine)
{
    return trimmed(Delimited::parse(text, u'\t', openQuoteLine));
}

QChar sniffSeparator(QStringView text)
{
    static constexpr char16_t candidates[] = {u'\t', u',', u';'};
    constexpr size_t kinds = std::size(candidates);
    std::array<std::vector<qsizetype>, kinds> counts;
    std::array<qsizetype, kinds> inLine = {};
    qsizetype lineLength = 0;
    bool quoted = false;
    // Blank lines tell nothing.
    const auto endLine = [&] {
        if (lineLength > 0) {
            for (size_t at = 0; at < kinds; ++at)
                counts[at].push_back(inLine[at]);
        }
        inLine = {};
        lineLength = 0;
    };
    for (qsizetype i = 0; i < text.size() && qsizetype(counts.front().size()) < sniffLines; ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && (c == u'\n' || c == u'\r')) {
            endLine();
            continue;
        } else if (!quoted) {
            for (size_t at = 0; at < kinds; ++at)
                inLine[at] += c == candidates[at] ? 1 : 0;
        }
        ++lineLength;
    }
    endLine();
    // The separator that splits every line alike wins; failing that, the
    // one on the most lines; a plain list of names has none.
    qsizetype bestLines = 0;
    QChar best = u'\t';
    for (size_t at = 0; at < kinds; ++at) {
        const std::vector<qsizetype> &n = counts[at];
        if (!n.empty() && n.front() > 0 && std::all_of(n.cbegin(), n.cend(), [&n](qsizetype k) { return k == n.front(); }))
            return candidates[at];
        const auto on = std::count_if(n.cbegin(), n.cend(), [](qsizetype k) { return k > 0; });
        if (on > bestLines) {
            bestLines = on;
            best = candidates[at];
        }
    }
    return best;
}

QChar separatorFor(QStringView text, const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == u"csv"_s)
        return u',';
    return suffix == u"tsv"_s ? u'\t' : sniffSeparator(text);
}

QList<QStringList> parseFile(const QString &text, const QString &fileName, qsizetype *openQuoteLine)
{
    return trimmed(Delimited::parse(text, separatorFor(text, fileName), openQuoteLine));
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
    const QStringList &head = records.first();
    if (isNameHeading(cellOf(head, nameColumn)))
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
