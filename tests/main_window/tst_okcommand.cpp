// SPDX-License-Identifier: MIT
#include "okcommand.h"
#include "strokelookup.h"

#include <QHash>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Rows as "text=count", the total row as "[s]text=count".
class FakeWindow : public OkCommand::Window
{
public:
    QHash<QString, qint16> counts;
    QStringList asked;
    QStringList rows;
    QStringList keys;
    int clears = 0;

    qint16 GetNumber(const QString &temStr) override
    {
        asked.append(temStr);
        return counts.value(temStr, 0);
    }
    void clearRows() override
    {
        ++clears;
        rows.clear();
        keys.clear();
    }
    void addRow(const QString &key, const QString &text) override
    {
        rows.append(key.isEmpty() ? text : u'[' + key + u']' + text);
        keys.append(key);
    }
    void setRowCount(qsizetype position, const QString &key, const QString &count) override
    {
        const qsizetype index = key.isEmpty() ? position - 1 : keys.indexOf(key);
        QVERIFY(index >= 0 && index < rows.size());
        QVERIFY(!rows.at(index).contains(u'='));
        rows[index] += u'=' + count;
    }
};

const QHash<QString, qint16> knownCounts = {
    {u"汉"_s, 5}, {u"字"_s, 6}, {u"范"_s, 8}, {u"骨"_s, 9}, {u"龘"_s, 48},
    {u"\U00020BB7"_s, 6}, {u"负"_s, -3}, {u"葛\uFE00"_s, 12}, {u"𠮷\U000E0100"_s, 6},
};

const QStringList previousRows = {u"旧=1"_s, u"[s]旧=1"_s};

FakeWindow windowWithPreviousRows()
{
    FakeWindow window;
    window.counts = knownCounts;
    window.rows = previousRows;
    window.keys = {QString(), OkCommand::totalRowKey};
    return window;
}

} // namespace

class TestOkCommand : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
    void maskCharactersRejected_data();
    void maskCharactersRejected();
    void secondRunReplacesRows();
    void longInputTotalDoesNotOverflow();
    void stateArraysHaveOneSpareElement();
    void validationMask();
};

void TestOkCommand::accepted_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("asked");

    QTest::newRow("empty") << QString() << QStringList() << QStringList();
    QTest::newRow("one space") << u" "_s << QStringList() << QStringList();
    QTest::newRow("two spaces") << u"  "_s << QStringList{u"[s]=0"_s} << QStringList();
    QTest::newRow("one character") << u"字"_s << QStringList{u"字=6"_s} << QStringList{u"字"_s};
    QTest::newRow("space before") << u" 字"_s << QStringList{u"字=6"_s, u"[s]字=6"_s}
                                  << QStringList{u"字"_s};
    QTest::newRow("space after") << u"字 "_s << QStringList{u"字=6"_s, u"[s]字=6"_s}
                                 << QStringList{u"字"_s};
    QTest::newRow("5 + 8") << u"汉范"_s << QStringList{u"汉=5"_s, u"范=8"_s, u"[s]汉范=13"_s}
                           << QStringList{u"汉"_s, u"范"_s};
    QTest::newRow("negative count") << u"负汉"_s << QStringList{u"负=-3"_s, u"汉=5"_s, u"[s]负汉=2"_s}
                                    << QStringList{u"负"_s, u"汉"_s};
    QTest::newRow("unknown character counts 0") << u"汉无"_s
                                                << QStringList{u"汉=5"_s, u"无=0"_s, u"[s]汉无=5"_s}
                                                << QStringList{u"汉"_s, u"无"_s};
    QTest::newRow("more than ten") << u"汉字范骨龘汉字范骨龘汉"_s
                                   << QStringList{u"汉=5"_s, u"字=6"_s, u"范=8"_s, u"骨=9"_s,
                                                  u"龘=48"_s, u"汉=5"_s, u"字=6"_s, u"范=8"_s,
                                                  u"骨=9"_s, u"龘=48"_s, u"汉=5"_s,
                                                  u"[s]汉字范骨龘汉字范骨龘汉=157"_s}
                                   << QStringList{u"汉"_s, u"字"_s, u"范"_s, u"骨"_s, u"龘"_s,
                                                  u"汉"_s, u"字"_s, u"范"_s, u"骨"_s, u"龘"_s,
                                                  u"汉"_s};
    QTest::newRow("full-width A") << u"\uFF21"_s << QStringList{u"\uFF21=0"_s} << QStringList{u"\uFF21"_s};
    QTest::newRow("full-width comma") << u"\uFF0C"_s << QStringList{u"\uFF0C=0"_s}
                                      << QStringList{u"\uFF0C"_s};
    QTest::newRow("full-width colon") << u"\uFF1A"_s << QStringList{u"\uFF1A=0"_s}
                                      << QStringList{u"\uFF1A"_s};
    QTest::newRow("digit") << u"7"_s << QStringList{u"7=0"_s} << QStringList{u"7"_s};
    QTest::newRow("colon, quotation mark, vertical line")
            << u":\"|"_s << QStringList{u":=0"_s, u"\"=0"_s, u"|=0"_s, u"[s]:\"|=0"_s}
            << QStringList{u":"_s, u"\""_s, u"|"_s};
    QTest::newRow("surrogate pair is one character") << u"\U00020BB7"_s
                                                     << QStringList{u"\U00020BB7=6"_s}
                                                     << QStringList{u"\U00020BB7"_s};
    QTest::newRow("ideographic space at the ends") << u"\u3000字\u3000"_s
                                                   << QStringList{u"字=6"_s, u"[s]字=6"_s}
                                                   << QStringList{u"字"_s};
    QTest::newRow("tab at the ends") << u"\t字\t"_s << QStringList{u"字=6"_s, u"[s]字=6"_s}
                                     << QStringList{u"字"_s};
    QTest::newRow("no-break space at the ends") << u"\u00A0字"_s
                                                << QStringList{u"字=6"_s, u"[s]字=6"_s}
                                                << QStringList{u"字"_s};
    QTest::newRow("variation selector stays") << u"葛\uFE00"_s << QStringList{u"葛\uFE00=12"_s}
                                              << QStringList{u"葛\uFE00"_s};
    QTest::newRow("supplementary selector stays") << u"𠮷\U000E0100汉"_s
                                                  << QStringList{u"𠮷\U000E0100=6"_s, u"汉=5"_s,
                                                                 u"[s]𠮷\U000E0100汉=11"_s}
                                                  << QStringList{u"𠮷\U000E0100"_s, u"汉"_s};
}

void TestOkCommand::accepted()
{
    QFETCH(QString, input);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, asked);

    FakeWindow window = windowWithPreviousRows();
    OkCommand::State state;
    QVERIFY(OkCommand::run(input, window, state));
    QCOMPARE(window.clears, 1);
    QCOMPARE(window.rows, rows);
    QCOMPARE(window.asked, asked);
}

void TestOkCommand::rejected_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("rejectedAt");

    QTest::newRow("space between") << u"汉 字"_s << 1;
    QTest::newRow("ideographic space between") << u"汉\u3000字"_s << 1;
    QTest::newRow("tab between") << u"汉\t字"_s << 1;
    QTest::newRow("no-break space between") << u"汉\u00A0字"_s << 1;
    QTest::newRow("fifth character") << u"汉字范骨a龘"_s << 4;
    QTest::newRow("letter first") << u"A汉"_s << 0;
    QTest::newRow("apostrophe between") << u"汉'字"_s << 1;
    QTest::newRow("after a surrogate pair") << u"\U00020BB7;"_s << 1;
}

void TestOkCommand::rejected()
{
    QFETCH(QString, input);
    QFETCH(int, rejectedAt);

    FakeWindow window = windowWithPreviousRows();
    OkCommand::State state;
    state.total = 99;
    QVERIFY(!OkCommand::run(input, window, state));
    QCOMPARE(window.clears, 0);
    QCOMPARE(window.rows, previousRows);
    QVERIFY(window.asked.isEmpty());
    QCOMPARE(state.idx, rejectedAt);
    QCOMPARE(state.total, 0);
}

void TestOkCommand::maskCharactersRejected_data()
{
    QTest::addColumn<QChar>("character");

    QSet<QChar> seen;
    for (const QChar c : OkCommand::validationMask()) {
        if (seen.contains(c))
            continue;
        seen.insert(c);
        QTest::addRow("U+%04X %c", c.unicode(), char(c.unicode())) << c;
    }
}

void TestOkCommand::maskCharactersRejected()
{
    QFETCH(QChar, character);

    for (const QString &input : {QString(character), u"汉"_s + character + u"字"_s}) {
        FakeWindow window = windowWithPreviousRows();
        OkCommand::State state;
        QVERIFY2(!OkCommand::run(input, window, state), qPrintable(input));
        QCOMPARE(window.rows, previousRows);
        QVERIFY(window.asked.isEmpty());
    }
}

void TestOkCommand::secondRunReplacesRows()
{
    FakeWindow window = windowWithPreviousRows();
    OkCommand::State state;
    QVERIFY(OkCommand::run(u"汉字"_s, window, state));
    QVERIFY(OkCommand::run(u"范骨"_s, window, state));
    QCOMPARE(window.clears, 2);
    QCOMPARE(window.rows, (QStringList{u"范=8"_s, u"骨=9"_s, u"[s]范骨=17"_s}));
    QCOMPARE(state.total, 17);
}

void TestOkCommand::longInputTotalDoesNotOverflow()
{
    constexpr int repeats = 3300;
    constexpr int expectedTotal = repeats * 48;
    FakeWindow window = windowWithPreviousRows();
    OkCommand::State state;
    QVERIFY(OkCommand::run(QString(repeats, u'龘'), window, state));
    QCOMPARE(window.rows.size(), repeats + 1);
    QCOMPARE(window.rows.last(), u"[s]"_s + QString(repeats, u'龘') + u'=' + QString::number(expectedTotal));
    QCOMPARE(state.total, expectedTotal);
}

void TestOkCommand::stateArraysHaveOneSpareElement()
{
    FakeWindow window = windowWithPreviousRows();
    OkCommand::State state;
    QVERIFY(OkCommand::run(u" 汉\U00020BB7 "_s, window, state));
    QCOMPARE(state.chars, (QStringList{u"汉"_s, u"\U00020BB7"_s, QString()}));
    QCOMPARE(state.strokes, (QList<qint16>{5, 6, 0}));
    QCOMPARE(state.total, 11);
}

void TestOkCommand::validationMask()
{
    const QString &mask = OkCommand::validationMask();
    QCOMPARE(mask.size(), 83);
    QSet<QChar> distinct(mask.cbegin(), mask.cend());
    QCOMPARE(distinct.size(), 81);

    QString lacking;
    constexpr char16_t firstPrintable = 0x20;
    constexpr char16_t lastPrintable = 0x7E;
    for (char16_t c = firstPrintable; c <= lastPrintable; ++c) {
        if (!distinct.contains(QChar(c)))
            lacking += QChar(c);
    }
    QCOMPARE(lacking, u" \"0123456789:|"_s);
    for (const QChar c : mask)
        QVERIFY(c.unicode() > firstPrintable && c.unicode() <= lastPrintable);
    QVERIFY(mask.startsWith(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ,.;'"_s));
}

QTEST_GUILESS_MAIN(TestOkCommand)
#include "tst_okcommand.moc"
