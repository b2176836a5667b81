// SPDX-License-Identifier: MIT
#include "realdata.h"
#include "strokeorder.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int levelEnds[] = {0, 3500, 6500, 8105};
constexpr quint32 shuffleSeed = 20131;

} // namespace

class TestStrokeOrder : public QObject
{
    Q_OBJECT

    RealData m_data;
    std::unique_ptr<StrokeOrder> m_order;

    std::u32string key(const QString &text) const
    {
        std::u32string k;
        m_order->appendKey(text, &k);
        return k;
    }

    template<typename T, typename Key>
    void sortBy(QList<T> &items, Key keyOf) const
    {
        std::stable_sort(items.begin(), items.end(), [&](const T &a, const T &b) { return keyOf(a) < keyOf(b); });
    }

private slots:
    void initTestCase()
    {
        m_data.load();
        m_order = std::make_unique<StrokeOrder>(m_data.table, m_data.sequences);
    }

    void levelSortsBack_data()
    {
        QTest::addColumn<int>("level");
        for (int level = 1; level <= 3; ++level)
            QTest::addRow("level %d", level) << level;
    }

    // Every level of the list, shuffled, comes back in the list's order:
    // counts, sequences, the borrowed ones and the ties all agree with it.
    void levelSortsBack()
    {
        QFETCH(int, level);
        const QList<char32_t> expected = m_data.list.mid(levelEnds[level - 1], levelEnds[level] - levelEnds[level - 1]);
        QList<char32_t> shuffled = expected;
        std::shuffle(shuffled.begin(), shuffled.end(), QRandomGenerator(shuffleSeed + quint32(level)));
        sortBy(shuffled, [this](char32_t c) { return m_order->rank(c); });
        for (qsizetype i = 0; i < expected.size(); ++i) {
            if (shuffled.at(i) != expected.at(i))
                QFAIL(qPrintable(u"place %1: %2 where the list has %3"_s.arg(levelEnds[level - 1] + i + 1)
                                         .arg(QString::fromUcs4(&shuffled.at(i), 1),
                                              QString::fromUcs4(&expected.at(i), 1))));
        }
    }

    void textsSort_data()
    {
        QTest::addColumn<QStringList>("expected");
        QStringList surnames;
        for (const char32_t c : U"丁于马王方孔石叶白冯朱刘许孙李杨吴何张陈林罗金周郑赵胡钟姚贺高黄梁董曾谢熊潘戴")
            if (c != 0)
                surnames.append(QString::fromUcs4(&c, 1));
        QTest::newRow("39 surnames") << surnames;
        QTest::newRow("十 before 丁, same sequence") << QStringList{u"十"_s, u"丁"_s};
        QTest::newRow("干 before 于") << QStringList{u"干"_s, u"于"_s};
        QTest::newRow("八 before 人") << QStringList{u"八"_s, u"人"_s};
        QTest::newRow("names by character, a prefix first")
                << QStringList{u"王"_s, u"王一"_s, u"王刚"_s, u"王　刚强"_s, u"毛"_s, u"买买提·吐尔逊"_s};
        QTest::newRow("without a count last")
                << QStringList{u"龘"_s, u"Li Lei"_s, u"Smith"_s, u"smith"_s, u"😀"_s};
        QTest::newRow("the count before the sequence") << QStringList{u"丫"_s, u"丰"_s, u"王"_s};
    }

    // Reversed or shuffled, the texts come back in order.
    void textsSort()
    {
        QFETCH(QStringList, expected);
        for (qsizetype i = 1; i < expected.size(); ++i)
            QVERIFY2(key(expected.at(i - 1)) < key(expected.at(i)), qPrintable(expected.at(i)));
        QStringList reversed(expected.crbegin(), expected.crend());
        QStringList shuffled = expected;
        std::shuffle(shuffled.begin(), shuffled.end(), QRandomGenerator(shuffleSeed));
        for (QStringList *input : {&reversed, &shuffled}) {
            sortBy(*input, [this](const QString &t) { return key(t); });
            QCOMPARE(*input, expected);
        }
    }

    void skipped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("same");
        QTest::newRow("ideographic space") << u"王　刚"_s << u"王刚"_s;
        QTest::newRow("spaces and a TAB") << u" 王 \t刚 "_s << u"王刚"_s;
        QTest::newRow("middle dot") << u"买买提·吐尔逊"_s << u"买买提吐尔逊"_s;
        QTest::newRow("katakana middle dot") << u"买买提・吐尔逊"_s << u"买买提吐尔逊"_s;
        QTest::newRow("bullet") << u"买买提•吐尔逊"_s << u"买买提吐尔逊"_s;
        QTest::newRow("variation selector") << u"葛\U000E0100"_s << u"葛"_s;
    }

    void skipped()
    {
        QFETCH(QString, text);
        QFETCH(QString, same);
        QVERIFY(key(text) == key(same));
        QCOMPARE(m_order->printableKey(key(text)), m_order->printableKey(key(same)));
    }

    // No two characters share a rank, so two keys are equal only when the
    // texts are the same once skipped characters are left out.
    void ranksAreDistinct()
    {
        std::vector<bool> taken;
        for (char32_t c = 0; c < StrokeTable::codePointLimit; ++c) {
            if (StrokeOrder::isSkipped(c))
                continue;
            const StrokeOrder::Rank rank = m_order->rank(c);
            QVERIFY(rank != 0);
            if (rank >= taken.size())
                taken.resize(size_t(rank) * 2, false);
            if (taken[rank])
                QFAIL(qPrintable(u"U+%1 shares its rank"_s.arg(uint(c), 4, 16, QChar(u'0'))));
            taken[rank] = true;
        }
    }

    // A spreadsheet's plain sort of the printed keys orders as the keys do.
    void printableKeysSortAsKeys()
    {
        QStringList texts = {u""_s, u"王"_s, u"王刚"_s, u"王刚强"_s, u"十"_s, u"丁"_s, u"Smith"_s,
                             u"𠮷野家"_s, u"龘"_s, u"a"_s, u"王a"_s};
        for (qsizetype i = 0; i < 40; ++i)
            texts.append(QString::fromUcs4(&m_data.list.at(i * 200), 1));
        for (const QString &a : texts) {
            const QByteArray printable = m_order->printableKey(key(a));
            QVERIFY(printable.at(0) >= 'A' && printable.at(0) <= 'Z');
            QVERIFY(std::all_of(printable.cbegin(), printable.cend(),
                                [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }));
            for (const QString &b : texts)
                QCOMPARE(printable < m_order->printableKey(key(b)), key(a) < key(b));
        }
    }

    void beginningWith()
    {
        const QList<char32_t> found = m_order->beginningWith("12");
        QCOMPARE(found.mid(0, 2), (QList<char32_t>{U'十', U'丁'}));
        QVERIFY(found.contains(U'土') && !found.contains(U'厂'));
        QVERIFY(std::is_sorted(found.cbegin(), found.cend(),
                               [this](char32_t a, char32_t b) { return m_order->rank(a) < m_order->rank(b); }));
        QVERIFY(m_order->beginningWith("").isEmpty());
        QVERIFY(m_order->beginningWith("16").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStrokeOrder)
#include "tst_strokeorder.moc"
