// SPDX-License-Identifier: MIT
// The main window over the real stroke database with very long input and
// with input that is not plain Chinese text.
#include "msgboxanswerer.h"
#include "connection.h"
#include "frmmain.h"
#include "recordset.h"
#include "runtime.h"
#include "strokelookup.h"

#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QString errorTitle = u"出错"_s;
const QString appTitle = u"Tarvelo"_s;
constexpr qsizetype longInputLength = 100'000;
constexpr qsizetype heavyInputLength = 40'000;
constexpr qint64 heavyCharacterStrokes = 10;
constexpr quint32 seed = 20240613;

QString fromUnits(std::initializer_list<char16_t> units)
{
    return QString(reinterpret_cast<const QChar *>(units.begin()), qsizetype(units.size()));
}

// The character without the variation selectors after it.
QString baseOf(const QString &character)
{
    const QList<uint> codePoints = character.toUcs4();
    QString base;
    for (uint codePoint : codePoints) {
        const bool selector = (codePoint >= 0xFE00 && codePoint <= 0xFE0F)
                || (codePoint >= 0xE0100 && codePoint <= 0xE01EF);
        if (!selector || base.isEmpty())
            base += QString::fromUcs4(reinterpret_cast<const char32_t *>(&codePoint), 1);
    }
    return character.size() == 1 ? character : base;
}

struct Row
{
    QString text;
    QString count;
};

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void longInput();
    void textBoxTakesLongInput();
    void totalPastSixteenBits();
    void oddCharacters_data();
    void oddCharacters();
    void rejected_data();
    void rejected();
    void apostropheLookAlike_data();
    void apostropheLookAlike();

private:
    [[nodiscard]] bool press(const QString &input);
    QList<Row> rows() const;
    void checkStillWorks();
    QString randomInput(qsizetype length, qint64 minimumStrokes, qint64 *sum) const;

    QHash<QString, qint64> m_strokes;
    QStringList m_characters;
    std::unique_ptr<frmMain> m_window;
    QStringList m_uncaught;
};

void TestHostileInput::initTestCase()
{
    setUncaughtErrorHandler([this](const QString &description) { m_uncaught.append(description); });

    // Read the whole table apart from the command, to check its sums.
    data::Connection conn;
    conn.Open(StrokeLookup::connectionString(QCoreApplication::applicationDirPath()));
    data::Recordset rs;
    rs.Open(u"select 汉字, 笔画数 from a"_s, conn, data::adLockReadOnly);
    while (!rs.atEnd()) {
        m_strokes.insert(rs.Fields(0).Value.toString(), rs.Fields(1).Value.toLongLong());
        rs.MoveNext();
    }
    rs.Close();
    conn.Close();
    QVERIFY(m_strokes.size() > 1000);
    m_characters = m_strokes.keys();
    std::sort(m_characters.begin(), m_characters.end());

    m_window = std::make_unique<frmMain>();
    m_window->Form_Load();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestHostileInput::init()
{
    m_uncaught.clear();
}

void TestHostileInput::cleanup()
{
    QVERIFY2(m_uncaught.isEmpty(), qPrintable(m_uncaught.join(u'\n')));
}

bool TestHostileInput::press(const QString &input)
{
    auto *text1 = m_window->findChild<QLineEdit *>(u"Text1"_s);
    text1->setText(input);
    if (text1->text() != input) {
        qWarning("Text1 holds %lld of the %lld units given", qlonglong(text1->text().size()),
                 qlonglong(input.size()));
        return false;
    }
    m_window->Command1_Click();
    return true;
}

QList<Row> TestHostileInput::rows() const
{
    auto *list = m_window->findChild<QTreeWidget *>(u"ListView1"_s);
    QList<Row> result;
    result.reserve(list->topLevelItemCount());
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        result.append({list->topLevelItem(i)->text(0), list->topLevelItem(i)->text(1)});
    return result;
}

void TestHostileInput::checkStillWorks()
{
    MsgBoxAnswerer answerer;
    QVERIFY(press(u"汉字"_s));
    QVERIFY(answerer.boxes.isEmpty());
    const QList<Row> shown = rows();
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.at(2).count, QString::number(m_strokes.value(u"汉"_s) + m_strokes.value(u"字"_s)));
}

QString TestHostileInput::randomInput(qsizetype length, qint64 minimumStrokes, qint64 *sum) const
{
    QStringList pool;
    for (const QString &character : m_characters)
        if (m_strokes.value(character) >= minimumStrokes)
            pool.append(character);
    QRandomGenerator random(seed);
    QString input;
    *sum = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const QString &character = pool.at(random.bounded(int(pool.size())));
        input += character;
        *sum += m_strokes.value(character);
    }
    return input;
}

void TestHostileInput::longInput()
{
    qint64 sum = 0;
    const qsizetype length = longInputLength;
    const QString input = randomInput(length, 0, &sum);
    MsgBoxAnswerer answerer;
    QVERIFY(press(input));
    QVERIFY(answerer.boxes.isEmpty());

    const QList<Row> shown = rows();
    QCOMPARE(shown.size(), length + 1);
    qsizetype position = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const Row &row = shown.at(i);
        QCOMPARE(input.mid(position, row.text.size()), row.text);
        position += row.text.size();
        if (row.count != QString::number(m_strokes.value(row.text)))
            QFAIL(qPrintable(u"row %1 (%2) shows %3"_s.arg(i).arg(row.text, row.count)));
    }
    QCOMPARE(position, input.size());
    QCOMPARE(shown.last().text, input);
    QCOMPARE(shown.last().count, QString::number(sum));
}

void TestHostileInput::textBoxTakesLongInput()
{
    frmMain window;
    auto *text1 = window.findChild<QLineEdit *>(u"Text1"_s);
    // Every character takes two units: a cut at an odd count halves one.
    QString input;
    while (input.size() < longInputLength)
        input += u"\U00020000"_s;
    text1->setText(input);
    QCOMPARE(text1->text().size(), input.size());
    QVERIFY(!text1->text().back().isHighSurrogate());
}

void TestHostileInput::totalPastSixteenBits()
{
    qint64 sum = 0;
    const QString input = randomInput(heavyInputLength, heavyCharacterStrokes, &sum);
    QVERIFY(sum > std::numeric_limits<qint16>::max());
    MsgBoxAnswerer answerer;
    QVERIFY(press(input));
    QVERIFY(answerer.boxes.isEmpty());
    QCOMPARE(rows().last().text, input);
    QCOMPARE(rows().last().count, QString::number(sum));
    checkStillWorks();
}

void TestHostileInput::oddCharacters_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("characters");
    QTest::addColumn<int>("failures");

    const QString high = fromUnits({0xD800});
    const QString low = fromUnits({0xDC00});
    QTest::newRow("lone high surrogate") << u"汉"_s + high + u"字"_s << QStringList{u"汉"_s, high, u"字"_s} << 1;
    QTest::newRow("lone low surrogate first") << low + u"汉"_s << QStringList{low, u"汉"_s} << 1;
    QTest::newRow("high surrogate last") << u"汉"_s + fromUnits({0xD83D}) << QStringList{u"汉"_s, fromUnits({0xD83D})} << 1;
    QTest::newRow("pair reversed") << low + high << QStringList{low, high} << 2;
    QTest::newRow("emoji") << u"😀"_s << QStringList{u"😀"_s} << 1;
    QTest::newRow("emoji joined") << u"👩\u200D💻"_s << QStringList{u"👩"_s, u"\u200D"_s, u"💻"_s} << 3;
    QTest::newRow("combining mark") << u"汉\u0301"_s << QStringList{u"汉"_s, u"\u0301"_s} << 1;
    QTest::newRow("variation selectors") << u"葛\U000E0100汉\uFE0F"_s
                                         << QStringList{u"葛\U000E0100"_s, u"汉\uFE0F"_s} << 0;
    QTest::newRow("ideographic spaces around") << u"\u3000汉字\u3000"_s << QStringList{u"汉"_s, u"字"_s} << 0;
    QTest::newRow("supplementary ideograph") << u"\U00020000字"_s << QStringList{u"\U00020000"_s, u"字"_s} << 0;
    QTest::newRow("private use") << u"\uE000\U000F0000"_s << QStringList{u"\uE000"_s, u"\U000F0000"_s} << 2;
    QTest::newRow("unassigned and noncharacter") << u"\u0378\uFFFF"_s << QStringList{u"\u0378"_s, u"\uFFFF"_s} << 2;
    QTest::newRow("nul") << u"汉"_s + QChar(u'\0') + u"字"_s << QStringList{u"汉"_s, QString(QChar(u'\0')), u"字"_s} << 1;
    QTest::newRow("byte order mark") << u"\uFEFF汉"_s << QStringList{u"\uFEFF"_s, u"汉"_s} << 1;
}

void TestHostileInput::oddCharacters()
{
    QFETCH(QString, input);
    QFETCH(QStringList, characters);
    QFETCH(int, failures);

    MsgBoxAnswerer answerer;
    QVERIFY(press(input));
    QCOMPARE(answerer.boxes.size(), failures);
    QCOMPARE(answerer.count(errorTitle), failures);

    const QList<Row> shown = rows();
    const bool totalRow = input.toUcs4().size() > 1;
    QCOMPARE(shown.size(), characters.size() + (totalRow ? 1 : 0));
    qint64 sum = 0;
    for (qsizetype i = 0; i < characters.size(); ++i) {
        QCOMPARE(shown.at(i).text, characters.at(i));
        const qint64 expected = m_strokes.value(baseOf(characters.at(i)), 0);
        QCOMPARE(shown.at(i).count, QString::number(expected));
        sum += expected;
    }
    if (totalRow)
        QCOMPARE(shown.last().count, QString::number(sum));
    checkStillWorks();
}

void TestHostileInput::rejected_data()
{
    QTest::addColumn<QString>("input");

    QTest::newRow("ideographic space between") << u"汉\u3000字"_s;
    QTest::newRow("no-break space between") << u"汉\u00A0字"_s;
    QTest::newRow("apostrophe") << u"汉'字"_s;
    QTest::newRow("statement end") << u"汉;字"_s;
    QTest::newRow("space with a variation selector") << u"汉 \uFE0F字"_s;
}

void TestHostileInput::rejected()
{
    QFETCH(QString, input);

    QVERIFY(press(u"字"_s));
    MsgBoxAnswerer answerer;
    QVERIFY(press(input));
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().title, appTitle);
    QCOMPARE(rows().size(), 1);
    QCOMPARE(rows().first().text, u"字"_s);
}

void TestHostileInput::apostropheLookAlike_data()
{
    QTest::addColumn<QString>("character");

    QTest::newRow("left single quotation mark") << u"\u2018"_s;
    QTest::newRow("right single quotation mark") << u"\u2019"_s;
    QTest::newRow("fullwidth apostrophe") << u"\uFF07"_s;
    QTest::newRow("modifier letter apostrophe") << u"\u02BC"_s;
    QTest::newRow("quotation mark") << u"\""_s;
}

void TestHostileInput::apostropheLookAlike()
{
    QFETCH(QString, character);

    MsgBoxAnswerer answerer;
    QVERIFY(press(character));
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().title, errorTitle);
    // The lookup found no row: the character was a value, not SQL.
    QVERIFY2(answerer.boxes.first().text.contains(u"没有“\u2068%1\u2069”"_s.arg(character)),
             qPrintable(answerer.boxes.first().text));
    QCOMPARE(rows().size(), 1);
    QCOMPARE(rows().first().count, u"0"_s);
    checkStillWorks();
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
