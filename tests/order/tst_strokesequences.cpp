// SPDX-License-Identifier: MIT
#include "realdata.h"
#include "runtimeerror.h"
#include "strokesequencebuild.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// List characters on which ibus-libpinyin's table differs from ours, and
// why ours stands. Every other difference is mended in the correction file.
const QHash<QString, QString> knownDifferences = {
        {u"雌"_s, u"此 is 212135 in both tables' 此 紫 些; theirs writes 212115 here"_s},
        {u"邶"_s, u"北 is 21135 in both tables' 北 背; theirs writes 21115 here"_s},
        {u"钚"_s, u"钅 is 31115 everywhere else in both tables; theirs writes 31112 here"_s},
        {u"辔"_s, u"theirs writes 车 before the first 纟, which the list's order rules out"_s},
        {u"芈"_s, u"theirs begins with 艹 (122…), which the list's order rules out"_s},
        {u"陑"_s, u"阝 on the left is 52; theirs writes 55, which the list's order rules out"_s},
        {u"鹍"_s, u"昆 is 25111535 in both tables' 昆 混 棍; theirs writes 25111515 here"_s},
        {u"𨱇"_s, u"the list places it after 铽, where its own 311151241344 cannot stand: ours has none"_s},
};

// ibus-libpinyin's letters for the five strokes, in their order.
constexpr char secondTableStrokes[] = "hspnz";

QHash<char32_t, QSet<QByteArray>> secondTable()
{
    QHash<char32_t, QSet<QByteArray>> sequences;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(TARVELO_SECOND_STROKE_TABLE, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return sequences;
    }
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "select tabkeys, phrase from phrases", -1, &statement, nullptr);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        QByteArray keys(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        for (char &c : keys)
            c = char('1' + (std::strchr(secondTableStrokes, c) - secondTableStrokes));
        const QList<uint> phrase =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 1))).toUcs4();
        if (phrase.size() == 1)
            sequences[phrase.front()].insert(keys);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return sequences;
}

} // namespace

class TestStrokeSequences : public QObject
{
    Q_OBJECT

    RealData m_data;
    SequenceSources m_sources;

private slots:
    void initTestCase()
    {
        m_data.load();
        m_sources.strokeTable = readAll(QStringLiteral(TARVELO_STROKE_TABLE));
        m_sources.corrections = readAll(QStringLiteral(TARVELO_SEQUENCE_CORRECTIONS));
        QVERIFY(!m_sources.strokeTable.isEmpty() && !m_sources.corrections.isEmpty());
        m_sources.commonList = m_data.list;
        for (char32_t c = 0; c < StrokeTable::codePointLimit; ++c) {
            if (m_data.table.isKnown(c))
                m_sources.counts.insert(c, m_data.table.count(c));
        }
    }

    // The file beside the database is what the build makes of its sources.
    void builtFileIsCurrent()
    {
        const auto entries = [](const QByteArray &file) {
            QList<QByteArray> lines = file.split('\n');
            lines.removeIf([](const QByteArray &line) { return line.startsWith('#'); });
            return lines;
        };
        const QByteArray built = buildStrokeSequences(m_sources).file;
        QCOMPARE(entries(built), entries(readAll(StrokeSequences::pathBeside(RealData::databasePath()))));
    }

    void plantedFault_data()
    {
        QTest::addColumn<bool>("inCorrections");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong length") << false << "\n12 十\n"_ba << "\n121 十\n"_ba
                                      << u"十 U+5341 (level 1, place 4) has 2 strokes, but its sequence 121 has 3"_s;
        QTest::newRow("inversion") << false << "\n12 丁\n"_ba << "\n21 丁\n"_ba
                                   << u"the order points to 丁 U+4E01"_s;
        QTest::newRow("inversion, either may be wrong") << false << "\n13 厂\n"_ba << "\n24 厂\n"_ba
                                                        << u"厂 U+5382 (level 1, place 6) 24 comes before 七 U+4E03 (level 1, place 7) 15 in the list; the order cannot tell"_s;
        QTest::newRow("correction no longer needed") << true << "\n坰\t"_ba << "\n十\t12\tplanted\n坰\t"_ba
                                                     << u"十 U+5341 is no longer needed"_s;
        QTest::newRow("correction of the wrong length") << true << "\n坰\t12125251\t"_ba << "\n坰\t1212525\t"_ba
                                                        << u"has 8 strokes, but the correction has 7"_s;
    }

    void plantedFault()
    {
        QFETCH(bool, inCorrections);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, message);
        SequenceSources planted = m_sources;
        QByteArray &text = inCorrections ? planted.corrections : planted.strokeTable;
        QVERIFY(text.contains(from));
        text.replace(from, to);
        try {
            buildStrokeSequences(planted);
            QFAIL("the build took the planted fault");
        } catch (const RuntimeError &error) {
            QVERIFY2(error.description().contains(message), qPrintable(error.description()));
        }
    }

    // Every difference from a second, independent table on the list's
    // characters is either mended in the correction file or known above.
    void agreesWithSecondTable()
    {
        const QHash<char32_t, QSet<QByteArray>> theirs = secondTable();
        QVERIFY(theirs.size() > 8000);
        QStringList unexplained;
        QSet<QString> differing;
        for (const char32_t c : m_data.list) {
            const QByteArray ours(m_data.sequences.sequence(c).data(), qsizetype(m_data.sequences.sequence(c).size()));
            const auto found = theirs.constFind(c);
            if (found == theirs.cend() || found->contains(ours))
                continue;
            const QString character = QString::fromUcs4(&c, 1);
            differing.insert(character);
            if (!knownDifferences.contains(character))
                unexplained.append(character + u' ' + QString::fromLatin1(ours) + u" / "_s
                                   + QString::fromLatin1(found->values().join('|')));
        }
        QVERIFY2(unexplained.isEmpty(), qPrintable(unexplained.join(u", "_s)));
        for (auto it = knownDifferences.cbegin(); it != knownDifferences.cend(); ++it)
            QVERIFY2(differing.contains(it.key()) || !theirs.contains(it.key().toUcs4().front()),
                     qPrintable(it.key() + u" no longer differs"_s));
    }

    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("cut short") << "\n丁\t12\n"_ba << "\n"_ba;
        QTest::newRow("a character twice") << "\n丁\t12\n"_ba << "\n十\t12\n"_ba;
        QTest::newRow("a stroke that is no stroke") << "\n丁\t12\n"_ba << "\n丁\t16\n"_ba;
        QTest::newRow("two characters on a line") << "\n丁\t12\n"_ba << "\n丁丁\t12\n"_ba;
        QTest::newRow("invalid UTF-8") << "\n丁\t12\n"_ba << "\n\xE4\xB8\t12\n"_ba;
        QTest::newRow("no line end at the end") << "\n"_ba << "\n"_ba;
    }

    // A damaged file is refused with one message that names it, never read
    // in part.
    void damagedFile()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QByteArray bytes = readAll(StrokeSequences::pathBeside(RealData::databasePath()));
        if (QByteArrayView(QTest::currentDataTag()) == "no line end at the end")
            bytes.chop(1);
        else
            bytes.replace(bytes.indexOf(from), from.size(), to);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Refcom-sequences.txt"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        StrokeSequences sequences;
        try {
            sequences.load(path);
            QFAIL("a damaged file was taken");
        } catch (const RuntimeError &error) {
            QVERIFY2(error.description().contains(path) && error.description().contains(u"已损坏"_s),
                     qPrintable(error.description()));
        }
        QCOMPARE(sequences.size(), 0);
        QCOMPARE(sequences.position(U'十'), -1);
    }
};

QTEST_GUILESS_MAIN(TestStrokeSequences)
#include "tst_strokesequences.moc"
