// SPDX-License-Identifier: MIT
#include "nameorder.h"
#include "realdata.h"
#include "strokeorder.h"

#include <QCollator>
#include <QLocale>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(NameRule)

class TestNameOrder : public QObject
{
    Q_OBJECT

    RealData m_data;
    std::unique_ptr<StrokeOrder> m_strokes;
    std::unique_ptr<NameOrder> m_orders[3];

    const NameOrder &order(NameRule rule) const { return *m_orders[int(rule)]; }

    static std::u32string key(const NameOrder &order, const QString &text)
    {
        std::u32string k;
        order.appendKey(text, &k);
        return k;
    }

    static QStringList sorted(const NameOrder &order, QStringList texts)
    {
        std::stable_sort(texts.begin(), texts.end(),
                         [&](const QString &a, const QString &b) { return key(order, a) < key(order, b); });
        return texts;
    }

    static void addRuleColumn()
    {
        QTest::addColumn<NameRule>("rule");
    }

private slots:
    void initTestCase()
    {
        m_data.load();
        m_strokes = std::make_unique<StrokeOrder>(m_data.table, m_data.sequences);
        for (const NameRule rule : {NameRule::Surname, NameRule::FullName, NameRule::Traditional})
            m_orders[int(rule)] = std::make_unique<NameOrder>(*m_strokes, rule);
    }

    void ordersNames_data()
    {
        addRuleColumn();
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("expected");
        const QString politburo = u"李书磊 王毅 李强 王沪宁 李干杰 李希"_s;
        QTest::newRow("姓氏: a single given name first") << NameRule::Surname << politburo
                                                          << u"王毅 王沪宁 李希 李强 李干杰 李书磊"_s;
        QTest::newRow("姓名: character by character") << NameRule::FullName << politburo
                                                        << u"王沪宁 王毅 李干杰 李书磊 李希 李强"_s;
        const QString tian = u"田富 田大利 高大富 高富 丁小强 丁宁"_s;
        QTest::newRow("姓氏: 田富 高富 丁宁") << NameRule::Surname << tian << u"丁宁 丁小强 田富 田大利 高富 高大富"_s;
        QTest::newRow("姓名: 田大利 高大富 丁小强") << NameRule::FullName << tian
                                                  << u"丁小强 丁宁 田大利 田富 高大富 高富"_s;
        // Padding and dots are skipped before the characters are counted.
        QTest::newRow("姓氏: padding and dots") << NameRule::Surname << u"王沪宁 王　毅 阿·木 阿木提"_s
                                                << u"王　毅 王沪宁 阿·木 阿木提"_s;
        QTest::newRow("姓氏: compound surnames unchanged") << NameRule::Surname
                                                           << u"欧阳娜娜 欧阳修 欧文 司马光"_s
                                                           << u"司马光 欧文 欧阳修 欧阳娜娜"_s;
        QTest::newRow("姓氏: minority names by character") << NameRule::Surname
                                                           << u"买买提·吐尔逊 买买提·艾力 买力"_s
                                                           << u"买力 买买提·艾力 买买提·吐尔逊"_s;
        // ICU's Taiwan stroke counts: 強 and 馬 by their own, simplified
        // characters by theirs.
        QTest::newRow("繁體") << NameRule::Traditional << u"馬英九 王強 李登輝 马英 丁"_s
                              << u"丁 马英 王強 李登輝 馬英九"_s;
    }

    void ordersNames()
    {
        QFETCH(NameRule, rule);
        QFETCH(QString, names);
        QFETCH(QString, expected);
        QCOMPARE(sorted(order(rule), names.split(u' ')).join(u' '), expected);
    }

    // Under 姓氏, a two-character name sorts before the three-character
    // names of its surname whatever its second character, and after the
    // two-character ones whose second character ranks lower.
    void emptyPlaceFirst_data()
    {
        QTest::addColumn<QString>("second");
        QTest::newRow("one stroke") << u"一"_s;
        QTest::newRow("many strokes") << u"龘"_s;
        QTest::newRow("beyond the BMP") << u"𠮷"_s;
        QTest::newRow("Kangxi radical") << u"\u2F00"_s;
        QTest::newRow("without a count") << u"a"_s;
        QTest::newRow("digit") << u"1"_s;
    }

    void emptyPlaceFirst()
    {
        QFETCH(QString, second);
        const NameOrder &surname = order(NameRule::Surname);
        QVERIFY(key(surname, u"王"_s + second) < key(surname, u"王一一"_s));
        QVERIFY(key(surname, u"王"_s) < key(surname, u"王"_s + second));
        QVERIFY(key(surname, u"王一"_s) <= key(surname, u"王"_s + second));
        QVERIFY(key(surname, u"王一"_s) < key(surname, u"王"_s + second + u"一"_s));
    }

    // Under every rule, names without a countable character follow the
    // counted ones, and blank texts follow them.
    void uncountedAndBlankLast_data()
    {
        addRuleColumn();
        QTest::newRow("姓氏") << NameRule::Surname;
        QTest::newRow("姓名") << NameRule::FullName;
        QTest::newRow("繁體") << NameRule::Traditional;
    }

    void uncountedAndBlankLast()
    {
        QFETCH(NameRule, rule);
        const QStringList names = {u""_s, u"Smith"_s, u"龘"_s, u"　"_s, u"王"_s, u"·"_s, u"王毅"_s, u"zz"_s};
        const QStringList result = sorted(order(rule), names);
        QCOMPARE(result.mid(3), (QStringList{u"Smith"_s, u"zz"_s, u""_s, u"　"_s, u"·"_s}));
    }

    // A spreadsheet's plain sort of the printed keys orders as the keys do,
    // under each rule.
    void printableKeysSortAsKeys()
    {
        QStringList texts = {u""_s, u"王"_s, u"王毅"_s, u"王沪宁"_s, u"王　毅"_s, u"王a"_s, u"王一一"_s,
                             u"Smith"_s, u"𠮷野家"_s, u"龘"_s, u"馬英九"_s, u"\U0010FFFF"_s};
        for (qsizetype i = 0; i < 20; ++i)
            texts.append(QString::fromUcs4(&m_data.list.at(i * 400), 1));
        for (const NameRule rule : {NameRule::Surname, NameRule::FullName, NameRule::Traditional}) {
            const NameOrder &o = order(rule);
            for (const QString &a : texts) {
                const QByteArray printable = o.printableKey(key(o, a));
                QVERIFY(std::all_of(printable.cbegin(), printable.cend(),
                                    [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }));
                for (const QString &b : texts)
                    QCOMPARE(printable < o.printableKey(key(o, b)), key(o, a) < key(o, b));
            }
        }
    }

    // Han names order under 繁體 as the collator orders them.
    void traditionalAsCollator()
    {
        const QCollator collator(QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan));
        QStringList names;
        for (qsizetype i = 0; i + 2 < m_data.list.size(); i += 97)
            names.append(QString::fromUcs4(&m_data.list.at(i), 1 + i % 3));
        QStringList expected = names;
        std::stable_sort(expected.begin(), expected.end(),
                         [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
        QCOMPARE(sorted(order(NameRule::Traditional), names), expected);
    }
};

QTEST_GUILESS_MAIN(TestNameOrder)
#include "tst_nameorder.moc"
