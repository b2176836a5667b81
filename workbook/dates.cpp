// SPDX-License-Identifier: MIT
#include "readers.h"

#include <QDate>
#include <QHash>

#include <cmath>

using namespace Qt::StringLiterals;

namespace Workbook {

namespace {

constexpr int secondsPerDay = 24 * 60 * 60;
// Serial numbers Excel takes as dates: up to the last day of 9999.
constexpr double lastSerial = 2958466;
// Excel's 1900 epoch counts a 29 February 1900 that never was; serials
// from this one on are a day ahead of a plain count.
constexpr double phantomLeapDay = 60;

// A point in time as a date format shows it.
struct Moment
{
    QDate date;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool isTokenLetter(QChar c)
{
    const char16_t l = c.toLower().unicode();
    return l == u'y' || l == u'm' || l == u'd' || l == u'h' || l == u's';
}

qsizetype runLength(QStringView code, qsizetype at)
{
    const QChar c = code[at].toLower();
    qsizetype end = at;
    while (end < code.size() && code[end].toLower() == c)
        ++end;
    return end - at;
}

// Whether the M run at AT means minutes: right after hours or before seconds.
bool isMinutes(QStringView code, qsizetype at, qsizetype length, QChar previousLetter)
{
    if (previousLetter == u'h')
        return true;
    for (qsizetype i = at + length; i < code.size(); ++i) {
        const QChar c = code[i].toLower();
        if (c == u's')
            return true;
        if (isTokenLetter(c))
            return false;
    }
    return false;
}

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, u'0');
}

QString datePart(QChar letter, qsizetype length, const Moment &m, bool twelveHour)
{
    static const QStringList weekdays = {u"一"_s, u"二"_s, u"三"_s, u"四"_s, u"五"_s, u"六"_s, u"日"_s};
    switch (letter.unicode()) {
    case u'y':
        return length <= 2 ? twoDigits(m.date.year() % 100) : QString::number(m.date.year());
    case u'm':
        return length == 1 ? QString::number(m.date.month())
                : length == 2 ? twoDigits(m.date.month())
                              : QString::number(m.date.month()) + u"月"_s;
    case u'd':
        if (length >= 3)
            return (length == 3 ? u"周"_s : u"星期"_s) + weekdays[m.date.dayOfWeek() - 1];
        return length == 1 ? QString::number(m.date.day()) : twoDigits(m.date.day());
    case u'h': {
        const int hour = twelveHour ? (m.hour + 11) % 12 + 1 : m.hour;
        return length == 1 ? QString::number(hour) : twoDigits(hour);
    }
    case u'n':
        return length == 1 ? QString::number(m.minute) : twoDigits(m.minute);
    default:
        return length == 1 ? QString::number(m.second) : twoDigits(m.second);
    }
}

// The format code's first section with what only styles the cell (colours,
// locales, fill and padding marks) taken out.
QString firstSection(QStringView code)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u';')
            break;
        else if (!quoted && c == u'[') {
            const qsizetype close = code.indexOf(u']', i);
            const QStringView inside = close < 0 ? QStringView() : code.sliced(i + 1, close - i - 1);
            // Elapsed hours, [h], show like hours here.
            if (!inside.isEmpty() && isTokenLetter(inside[0]))
                out += inside;
            i = close < 0 ? code.size() : close;
            continue;
        } else if (!quoted && (c == u'_' || c == u'*' || c == u'\\') && i + 1 < code.size()) {
            if (c == u'\\')
                out += u'"' + code[i + 1] + u'"';
            else if (c == u'_')
                out += u' ';
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

bool hasDateToken(QStringView code)
{
    bool quoted = false;
    for (const QChar c : code) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && isTokenLetter(c))
            return true;
    }
    return false;
}

Moment momentOf(double serial, bool epoch1904)
{
    const QDate epoch = epoch1904 ? QDate(1904, 1, 1) : serial < phantomLeapDay ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    double days = std::floor(serial);
    qint64 seconds = std::llround((serial - days) * secondsPerDay);
    if (seconds >= secondsPerDay) {
        seconds -= secondsPerDay;
        days += 1;
    }
    Moment m;
    m.date = epoch.addDays(qint64(days));
    m.hour = int(seconds / 3600);
    m.minute = int(seconds / 60 % 60);
    m.second = int(seconds % 60);
    return m;
}

} // namespace

QString builtInDateFormat(int id)
{
    static const QHash<int, QString> formats = {
            {14, u"yyyy/m/d"_s},
            {15, u"d-mmm-yy"_s},
            {16, u"d-mmm"_s},
            {17, u"mmm-yy"_s},
            {18, u"h:mm AM/PM"_s},
            {19, u"h:mm:ss AM/PM"_s},
            {20, u"h:mm"_s},
            {21, u"h:mm:ss"_s},
            {22, u"yyyy/m/d h:mm"_s},
            {45, u"mm:ss"_s},
            {46, u"[h]:mm:ss"_s},
            {47, u"mm:ss"_s},
            // The ones Excel and WPS number this way in a Chinese workbook.
            {27, u"yyyy\"年\"m\"月\""_s},
            {28, u"m\"月\"d\"日\""_s},
            {29, u"m\"月\"d\"日\""_s},
            {30, u"m-d-yy"_s},
            {31, u"yyyy\"年\"m\"月\"d\"日\""_s},
            {32, u"h\"时\"mm\"分\""_s},
            {33, u"h\"时\"mm\"分\"ss\"秒\""_s},
            {34, u"上午/下午h\"时\"mm\"分\""_s},
            {35, u"上午/下午h\"时\"mm\"分\"ss\"秒\""_s},
            {36, u"yyyy\"年\"m\"月\""_s},
            {50, u"yyyy\"年\"m\"月\""_s},
            {51, u"m\"月\"d\"日\""_s},
            {52, u"yyyy\"年\"m\"月\""_s},
            {53, u"m\"月\"d\"日\""_s},
            {54, u"m\"月\"d\"日\""_s},
            {55, u"上午/下午h\"时\"mm\"分\""_s},
            {56, u"上午/下午h\"时\"mm\"分\"ss\"秒\""_s},
            {57, u"yyyy\"年\"m\"月\""_s},
            {58, u"m\"月\"d\"日\""_s},
    };
    return formats.value(id);
}

QString formatDate(double serial, QStringView numberFormat, bool epoch1904)
{
    const QString code = firstSection(numberFormat);
    if (!hasDateToken(code) || !(serial >= 0 && serial < lastSerial))
        return {};
    const Moment m = momentOf(serial, epoch1904);
    const bool twelveHour = code.contains(u"AM/PM", Qt::CaseInsensitive) || code.contains(u"上午/下午");
    QString out;
    QChar previousLetter;
    for (qsizetype i = 0; i < code.size();) {
        const QChar c = code[i];
        if (c == u'"') {
            const qsizetype close = code.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? code.size() : close;
            out += QStringView(code).sliced(i + 1, end - i - 1);
            i = end + 1;
        } else if (code.sliced(i).startsWith(u"AM/PM", Qt::CaseInsensitive)) {
            out += m.hour < 12 ? u"AM"_s : u"PM"_s;
            i += 5;
        } else if (code.sliced(i).startsWith(u"上午/下午")) {
            out += m.hour < 12 ? u"上午"_s : u"下午"_s;
            i += 5;
        } else if (isTokenLetter(c)) {
            const qsizetype length = runLength(code, i);
            QChar letter = c.toLower();
            if (letter == u'm' && isMinutes(code, i, length, previousLetter))
                letter = u'n';
            out += datePart(letter, length, m, twelveHour);
            previousLetter = letter == u'n' ? QChar(u'm') : letter;
            i += length;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace Workbook
