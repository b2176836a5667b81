// SPDX-License-Identifier: MIT
#include "rtfreader.h"

#include "design.h"

#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <array>

namespace {

// Deeper groups still count braces but no longer copy the state, so a
// hostile document cannot make the reader allocate per brace.
constexpr qsizetype maxGroupDepth = 256;
// Longer control words are not RTF; their letters are read and dropped.
constexpr int maxControlWordLength = 32;
// Parameters saturate here instead of overflowing.
constexpr qint64 maxParameter = 2'000'000'000;
constexpr int defaultFontSize = 24;        // half-points: 12 pt
constexpr int maxFontSize = 3276;          // half-points, as in a rich edit control
constexpr int maxIndent = 31680;           // twips: 22 inches, the widest page
constexpr int maxColorComponent = 255;
constexpr int codePageGbk = 936;
constexpr int codePageWestern = 1252;
constexpr char32_t lastCodePoint = 0x10FFFF;
constexpr int unicodeParameterWrap = 0x10000; // \uN is a signed 16-bit value
constexpr qreal halfPointsPerPoint = 2.0;

constexpr char16_t replacementCharacter = 0xFFFD;
constexpr char16_t lineSeparator = 0x2028;

struct Cp936Pair
{
    quint16 bytes;
    char16_t unicode;
};

constexpr Cp936Pair cp936Table[] = {
#include "cp936table.inc"
};

static_assert(std::is_sorted(std::begin(cp936Table), std::end(cp936Table),
                             [](const Cp936Pair &a, const Cp936Pair &b) { return a.bytes < b.bytes; }));

constexpr quint8 firstLeadByte = 0x81;
constexpr quint8 lastLeadByte = 0xFE;
constexpr quint8 firstTrailByte = 0x40;
constexpr quint8 lastTrailByte = 0xFE;
constexpr quint8 excludedTrailByte = 0x7F;
constexpr quint8 firstNonAscii = 0x80;

enum class Destination { Text, FontTable, ColorTable, Skip };

struct State
{
    Destination destination = Destination::Text;
    int colorIndex = 0;
    int fontSize = defaultFontSize;
    int font = -1;
    Qt::Alignment alignment = Qt::AlignLeft;
    int firstLineIndent = 0;
    int unicodeSkip = 1;
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool gb18030Available()
{
    static const bool available = QStringDecoder("GB18030").isValid();
    return available;
}

// Words that open a destination whose text is not part of the document.
bool isSkippedDestination(QByteArrayView word)
{
    static constexpr std::array<QByteArrayView, 27> words{
        "stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf",
        "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "fldinst",
        "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl",
        "listtable", "listoverridetable", "rsidtbl", "generator", "falt", "panose", "nonshppict",
    };
    return std::find(words.begin(), words.end(), word) != words.end();
}

// Control words that stand for a single character.
char16_t characterWord(QByteArrayView word)
{
    struct Entry
    {
        QByteArrayView word;
        char16_t character;
    };
    static constexpr std::array<Entry, 11> entries{{
        {"tab", u'\t'},
        {"line", lineSeparator},
        {"emdash", 0x2014},
        {"endash", 0x2013},
        {"lquote", 0x2018},
        {"rquote", 0x2019},
        {"ldblquote", 0x201C},
        {"rdblquote", 0x201D},
        {"bullet", 0x2022},
        {"emspace", 0x2003},
        {"enspace", 0x2002},
    }};
    for (const Entry &entry : entries)
        if (entry.word == word)
            return entry.character;
    return 0;
}

class Reader
{
public:
    Reader(QByteArrayView input, Cp936Decoding decoding)
        : m_in(input)
        , m_decoding(decoding)
    {
    }

    RtfDocument read()
    {
        qsizetype start = m_in.indexOf('{');
        if (start >= 0) {
            m_pos = start + 1;
            m_stack.append(State{});
            parse();
        } else {
            m_stack.append(State{});
        }
        flushText();
        m_current.alignment = state().alignment;
        m_current.firstLineIndent = state().firstLineIndent;
        setMarkFormat(m_current);
        m_document.paragraphs.append(std::move(m_current));
        return std::move(m_document);
    }

private:
    State &state() { return m_stack.last(); }

    void parse()
    {
        while (m_pos < m_in.size()) {
            const char c = m_in[m_pos++];
            switch (c) {
            case '{':
                flushText();
                openGroup();
                break;
            case '}':
                flushText();
                if (!closeGroup())
                    return;
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
                break;
            default:
                textByte(c);
                break;
            }
        }
    }

    void openGroup()
    {
        if (m_stack.size() >= maxGroupDepth) {
            ++m_excessDepth;
            return;
        }
        m_stack.append(state());
    }

    // False when the outermost group has closed: the document ends there.
    bool closeGroup()
    {
        m_pendingSkip = 0;
        if (m_excessDepth > 0) {
            --m_excessDepth;
            return true;
        }
        if (m_stack.size() == 1)
            return false;
        m_stack.removeLast();
        return true;
    }

    void controlSequence()
    {
        if (m_pos >= m_in.size())
            return;
        const char c = m_in[m_pos];
        if (isLetter(c)) {
            controlWord();
            return;
        }
        ++m_pos;
        switch (c) {
        case '\'':
            hexEscape();
            break;
        case '\\':
        case '{':
        case '}':
            textByte(c);
            break;
        case '~':
            character(0x00A0);
            break;
        case '_':
            character(0x2011);
            break;
        case '*':
            state().destination = Destination::Skip;
            break;
        case '\r':
        case '\n':
            word("par", 0);
            break;
        default:
            break;
        }
    }

    void hexEscape()
    {
        if (m_pos + 2 > m_in.size())
            return;
        const int high = hexValue(m_in[m_pos]);
        const int low = hexValue(m_in[m_pos + 1]);
        if (high < 0 || low < 0)
            return;
        m_pos += 2;
        textByte(char(high * 16 + low));
    }

    void controlWord()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_in.size() && isLetter(m_in[m_pos]))
            ++m_pos;
        const QByteArrayView name = m_in.sliced(start, m_pos - start);

        bool negative = false;
        if (m_pos + 1 < m_in.size() && m_in[m_pos] == '-' && isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        qint64 parameter = 0;
        while (m_pos < m_in.size() && isDigit(m_in[m_pos])) {
            parameter = std::min(maxParameter, parameter * 10 + (m_in[m_pos] - '0'));
            ++m_pos;
        }
        if (m_pos < m_in.size() && m_in[m_pos] == ' ')
            ++m_pos;
        if (name.size() > maxControlWordLength)
            return;
        word(name, int(negative ? -parameter : parameter));
    }

    void word(QByteArrayView name, int parameter)
    {
        if (name == "bin") {
            // Raw bytes follow, braces and backslashes included.
            const qsizetype length = std::max(0, parameter);
            m_pos = std::min(m_in.size(), m_pos + length);
            return;
        }
        flushText();
        State &s = state();
        switch (s.destination) {
        case Destination::Skip:
            return;
        case Destination::FontTable:
            if (name == "f")
                m_fontNumber = parameter;
            else if (isSkippedDestination(name))
                s.destination = Destination::Skip;
            return;
        case Destination::ColorTable:
            colorTableWord(name, parameter);
            return;
        case Destination::Text:
            break;
        }

        if (takePendingSkip())
            return;
        if (!paragraphWord(name, parameter, s))
            textWord(name, parameter, s);
    }

    // The words that shape paragraphs and characters; false for any other.
    bool paragraphWord(QByteArrayView name, int parameter, State &s)
    {
        if (name == "par") {
            endParagraph();
        } else if (name == "pard") {
            s.alignment = Qt::AlignLeft;
            s.firstLineIndent = 0;
        } else if (name == "plain") {
            s.colorIndex = 0;
            s.fontSize = defaultFontSize;
            s.font = m_defaultFont;
        } else if (name == "ql") {
            s.alignment = Qt::AlignLeft;
        } else if (name == "qr") {
            s.alignment = Qt::AlignRight;
        } else if (name == "qc") {
            s.alignment = Qt::AlignHCenter;
        } else if (name == "qj") {
            s.alignment = Qt::AlignJustify;
        } else if (name == "fi") {
            s.firstLineIndent = std::clamp(parameter, -maxIndent, maxIndent);
        } else if (name == "cf") {
            s.colorIndex = std::max(0, parameter);
        } else if (name == "fs") {
            s.fontSize = parameter > 0 ? std::min(parameter, maxFontSize) : defaultFontSize;
        } else if (name == "f") {
            s.font = parameter;
        } else {
            return false;
        }
        return true;
    }

    // The words that give text, or open a table or a skipped destination.
    void textWord(QByteArrayView name, int parameter, State &s)
    {
        if (name == "u") {
            unicode(parameter);
        } else if (name == "uc") {
            s.unicodeSkip = std::max(0, parameter);
        } else if (name == "ansicpg") {
            m_codePage = parameter;
        } else if (name == "deff") {
            m_defaultFont = parameter;
            s.font = parameter;
        } else if (name == "fonttbl") {
            s.destination = Destination::FontTable;
        } else if (name == "colortbl") {
            s.destination = Destination::ColorTable;
        } else if (isSkippedDestination(name)) {
            s.destination = Destination::Skip;
        } else if (const char16_t c = characterWord(name)) {
            character(c);
        }
    }

    void colorTableWord(QByteArrayView name, int parameter)
    {
        const int value = std::clamp(parameter, 0, maxColorComponent);
        if (name == "red")
            m_red = value;
        else if (name == "green")
            m_green = value;
        else if (name == "blue")
            m_blue = value;
        else
            return;
        m_colorGiven = true;
    }

    void unicode(int parameter)
    {
        qint64 code = parameter;
        if (code < 0)
            code += unicodeParameterWrap;
        if (code >= 0 && code <= qint64(lastCodePoint)) {
            const char32_t point = char32_t(code);
            appendText(QString::fromUcs4(&point, 1));
        }
        m_pendingSkip = state().unicodeSkip;
    }

    // After \uN, the next characters or words stand in for readers that
    // cannot show the code point: each is dropped.
    bool takePendingSkip()
    {
        if (m_pendingSkip == 0)
            return false;
        --m_pendingSkip;
        return true;
    }

    void character(char16_t c)
    {
        flushText();
        if (state().destination != Destination::Text)
            return;
        if (takePendingSkip())
            return;
        appendText(QString(QChar(c)));
    }

    void textByte(char c)
    {
        switch (state().destination) {
        case Destination::Skip:
            return;
        case Destination::FontTable:
            if (c == ';') {
                m_fonts.append({m_fontNumber, decode(m_fontName).trimmed()});
                m_fontName.clear();
            } else {
                m_fontName.append(c);
            }
            return;
        case Destination::ColorTable:
            if (c == ';') {
                m_colors.append(m_colorGiven ? QColor(m_red, m_green, m_blue) : QColor());
                m_red = m_green = m_blue = 0;
                m_colorGiven = false;
            }
            return;
        case Destination::Text:
            break;
        }
        if (takePendingSkip())
            return;
        m_pendingBytes.append(c);
    }

    void flushText()
    {
        if (m_pendingBytes.isEmpty())
            return;
        const QString text = decode(m_pendingBytes);
        m_pendingBytes.clear();
        appendText(text);
    }

    QString decode(QByteArrayView bytes) const
    {
        if (m_codePage == codePageGbk) {
            if (m_decoding == Cp936Decoding::Automatic && gb18030Available()) {
                // The codec keeps a cut-off lead byte back for a next call
                // that never comes; a line feed after it makes it show as
                // an error, as the table does.
                QByteArray terminated = bytes.toByteArray();
                terminated.append('\n');
                QString text = QStringDecoder("GB18030").decode(terminated);
                if (text.endsWith(u'\n'))
                    text.chop(1);
                return text;
            }
            return decodeCp936WithTable(bytes);
        }
        if (m_codePage == codePageWestern) {
            QStringDecoder western("windows-1252", QStringConverter::Flag::Stateless);
            if (western.isValid())
                return western.decode(bytes);
        }
        return QString::fromLatin1(bytes);
    }

    QColor color(int index) const
    {
        return index < m_colors.size() ? m_colors[index] : QColor();
    }

    QString fontName(int number) const
    {
        for (const auto &[fontNumber, name] : m_fonts)
            if (fontNumber == number)
                return name;
        return {};
    }

    void appendText(const QString &text)
    {
        if (text.isEmpty())
            return;
        QString clean = text;
        // Block and frame marks of the text document never come from the
        // text itself: only \par ends a paragraph.
        for (QChar &c : clean) {
            if (c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator)
                c = QChar(lineSeparator);
            else if (c == QChar(0xFDD0) || c == QChar(0xFDD1) || c == QChar::Null)
                c = QChar(replacementCharacter);
        }
        const State &s = state();
        RtfRun run{QString(), color(s.colorIndex), s.fontSize, fontName(s.font)};
        if (!m_current.runs.isEmpty()) {
            RtfRun &last = m_current.runs.last();
            if (last.color == run.color && last.fontSize == run.fontSize
                && last.fontName == run.fontName) {
                last.text += clean;
                return;
            }
        }
        run.text = std::move(clean);
        m_current.runs.append(std::move(run));
    }

    void setMarkFormat(RtfParagraph &paragraph)
    {
        const State &s = state();
        paragraph.markColor = color(s.colorIndex);
        paragraph.markFontSize = s.fontSize;
        paragraph.markFontName = fontName(s.font);
    }

    void endParagraph()
    {
        m_current.alignment = state().alignment;
        m_current.firstLineIndent = state().firstLineIndent;
        setMarkFormat(m_current);
        m_document.paragraphs.append(std::move(m_current));
        m_current = RtfParagraph{};
    }

    QByteArrayView m_in;
    Cp936Decoding m_decoding;
    qsizetype m_pos = 0;
    QList<State> m_stack;
    qsizetype m_excessDepth = 0;
    int m_pendingSkip = 0;
    QByteArray m_pendingBytes;

    int m_codePage = codePageWestern;
    int m_defaultFont = -1;
    QList<std::pair<int, QString>> m_fonts;
    int m_fontNumber = 0;
    QByteArray m_fontName;
    QList<QColor> m_colors;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;
    bool m_colorGiven = false;

    RtfDocument m_document;
    RtfParagraph m_current;
};

QTextCharFormat charFormat(const QColor &color, int fontSize, const QString &fontName,
                           const QStringList &fallbackFamilies)
{
    QTextCharFormat format;
    if (color.isValid())
        format.setForeground(color);
    format.setFontPointSize(fontSize / halfPointsPerPoint);
    if (!fontName.isEmpty())
        format.setFontFamilies(QStringList{fontName} + fallbackFamilies);
    return format;
}

} // namespace

QString RtfParagraph::text() const
{
    QString result;
    for (const RtfRun &run : runs)
        result += run.text;
    return result;
}

RtfDocument readRtf(QByteArrayView rtf, Cp936Decoding decoding)
{
    return Reader(rtf, decoding).read();
}

void fillDocument(QTextDocument &document, const RtfDocument &rtf)
{
    document.clear();
    const QStringList fallbackFamilies = document.defaultFont().families();
    QTextCursor cursor(&document);
    bool first = true;
    for (const RtfParagraph &paragraph : rtf.paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(paragraph.alignment);
        block.setTextIndent(paragraph.firstLineIndent / qreal(Design::twipsPerPixel));
        const QTextCharFormat mark = charFormat(paragraph.markColor, paragraph.markFontSize,
                                                paragraph.markFontName, fallbackFamilies);
        if (first) {
            cursor.setBlockFormat(block);
            cursor.setBlockCharFormat(mark);
            first = false;
        } else {
            cursor.insertBlock(block, mark);
        }
        for (const RtfRun &run : paragraph.runs)
            cursor.insertText(run.text, charFormat(run.color, run.fontSize, run.fontName, fallbackFamilies));
    }
}

QString decodeCp936WithTable(QByteArrayView bytes)
{
    QString result;
    result.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const quint8 lead = quint8(bytes[i]);
        if (lead < firstNonAscii) {
            result += QChar(lead);
            continue;
        }
        if (lead < firstLeadByte || lead > lastLeadByte || i + 1 >= bytes.size()) {
            result += QChar(replacementCharacter);
            continue;
        }
        const quint8 trail = quint8(bytes[i + 1]);
        if (trail < firstTrailByte || trail > lastTrailByte || trail == excludedTrailByte) {
            result += QChar(replacementCharacter);
            continue;
        }
        ++i;
        const quint16 pair = quint16(lead << 8 | trail);
        const auto found = std::lower_bound(std::begin(cp936Table), std::end(cp936Table), pair,
                                            [](const Cp936Pair &entry, quint16 key) { return entry.bytes < key; });
        result += QChar(found != std::end(cp936Table) && found->bytes == pair ? found->unicode
                                                                             : replacementCharacter);
    }
    return result;
}
