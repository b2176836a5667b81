// SPDX-License-Identifier: MIT
// tarvelo-sort as its users run it, over the real data: files and standard
// input in, standard output, -o's file, standard error and the status out.
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cctype>

using namespace Qt::StringLiterals;

namespace {

constexpr int runTimeoutMs = 120'000;
constexpr int statusDone = 0, statusFailed = 2;

struct Run
{
    QByteArray out;
    QByteArray err;
    int status = -1;
};

Run run(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(QStringLiteral(TARVELO_SORT_PROGRAM), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(runTimeoutMs);
    return {process.readAllStandardOutput(), process.readAllStandardError(),
            process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1};
}

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

} // namespace

class TestSort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void sortsLines_data();
    void sortsLines();
    void sortsCsvOntoItself();
    void keysSortAsTheLines_data();
    void keysSortAsTheLines();
    void refusesWithoutWriting_data();
    void refusesWithoutWriting();

private:
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
};

QString TestSort::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

void TestSort::sortsLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("out");

    const QString names = u"李四\n王　刚\n丁一\n王刚\nAnna\n"_s;
    QTest::newRow("stroke order, white space skipped, equal keys stable")
            << QStringList() << names << u"丁一\n王　刚\n王刚\n李四\nAnna\n"_s;
    QTest::newRow("reversed, equal keys stable") << QStringList{u"-r"_s} << names
                                                 << u"Anna\n李四\n王　刚\n王刚\n丁一\n"_s;
    QTest::newRow("a TAB field; a missing field last") << QStringList{u"-t"_s, u"\\t"_s, u"-k"_s, u"2"_s}
                                                       << u"3\n1\t王\n2\t丁\n"_s << u"2\t丁\n1\t王\n3\n"_s;
    const QString politburo = u"李书磊\n王毅\n\n李强\n王沪宁\nSmith\n李干杰\n李希\n"_s;
    QTest::newRow("姓氏 by default; blank and uncounted lines last")
            << QStringList() << politburo << u"王毅\n王沪宁\n李希\n李强\n李干杰\n李书磊\nSmith\n\n"_s;
    QTest::newRow("--rule 姓名") << QStringList{u"--rule"_s, u"姓名"_s} << politburo
                                 << u"王沪宁\n王毅\n李干杰\n李书磊\n李希\n李强\nSmith\n\n"_s;
    QTest::newRow("--rule traditional") << QStringList{u"--rule"_s, u"traditional"_s}
                                        << u"馬英九\n王強\n\n马英\n"_s << u"马英\n王強\n馬英九\n\n"_s;
    QTest::newRow("a Kangxi radical counted as its character")
            << QStringList() << u"a\n\u2F45\n三\n"_s << u"三\n\u2F45\na\n"_s;
}

void TestSort::sortsLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, input);
    QFETCH(QString, out);
    const Run result = run(arguments, input.toUtf8());
    QCOMPARE(QString::fromUtf8(result.err), QString());
    QCOMPARE(QString::fromUtf8(result.out), out);
    QCOMPARE(result.status, statusDone);
}

// A spreadsheet's export: GBK, CRLF, a header, a quoted field, no final
// line end; sorted by its names into the same file.
void TestSort::sortsCsvOntoItself()
{
    const QString path = write(u"list.csv"_s, gbk(u"编号,姓名,部门\r\n1,李四,\"后勤部,食堂\"\r\n"
                                                  "2,王五,办公室\r\n3,丁一,\"说\"\"好\"\"\""_s));
    const Run result = run({u"--encoding"_s, u"GBK"_s, u"-t"_s, u","_s, u"-k"_s, u"2"_s, u"--header"_s,
                            u"-o"_s, path, path});
    QCOMPARE(QString::fromUtf8(result.err), QString());
    QCOMPARE(result.status, statusDone);
    QVERIFY(result.out.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), gbk(u"编号,姓名,部门\r\n3,丁一,\"说\"\"好\"\"\"\r\n2,王五,办公室\r\n"
                                 "1,李四,\"后勤部,食堂\"\r\n"_s));
}

void TestSort::keysSortAsTheLines_data()
{
    QTest::addColumn<QString>("rule");
    for (const QString &rule : {u"姓氏"_s, u"姓名"_s, u"繁體"_s})
        QTest::newRow(qPrintable(rule)) << rule;
}

void TestSort::keysSortAsTheLines()
{
    QFETCH(QString, rule);
    const QString input = u"齐白石\n王刚\nAnna\n十\n丁\n买买提·吐尔逊\n王　刚\n𠮷\n人\n王刚强\n\n八\n"_s;
    const Run keyed = run({u"--key"_s, u"--rule"_s, rule}, input.toUtf8());
    QCOMPARE(keyed.status, statusDone);
    const Run plain = run({u"--rule"_s, rule}, input.toUtf8());
    QList<QByteArray> lines = keyed.out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QByteArray unkeyed;
    QList<QByteArray> keys;
    for (const QByteArray &line : std::as_const(lines)) {
        const qsizetype tab = line.indexOf('\t');
        const QByteArray key = line.left(tab);
        QVERIFY2(!key.isEmpty() && key.at(0) >= 'A' && key.at(0) <= 'Z', key.constData());
        QVERIFY2(std::all_of(key.begin(), key.end(), [](char c) { return std::isdigit(uchar(c)) || std::isupper(uchar(c)); }),
                 key.constData());
        keys.append(key);
        unkeyed += line.mid(tab + 1) + '\n';
    }
    QCOMPARE(unkeyed, plain.out);
    QVERIFY(std::is_sorted(keys.begin(), keys.end()));
    // Equal keys exactly where the lines are equal but for white space.
    const auto text = [&lines](qsizetype i) {
        return QString::fromUtf8(lines.at(i).mid(lines.at(i).indexOf('\t') + 1)).remove(u'\u3000').remove(u' ');
    };
    for (qsizetype i = 1; i < keys.size(); ++i)
        QCOMPARE(keys.at(i) == keys.at(i - 1), text(i) == text(i - 1));
}

void TestSort::refusesWithoutWriting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("said");

    QTest::newRow("invalid UTF-8") << QStringList() << QByteArray("王\n\xE4\xB8\n") << u"INPUT:2: 第 2 行、第 4 字节"_s;
    QTest::newRow("invalid GBK") << QStringList{u"--encoding"_s, u"GBK"_s} << QByteArray("ab\r\n\x81\r\n")
                                 << u"INPUT:2: 第 2 行、第 4 字节"_s;
    QTest::newRow("missing database") << QStringList{u"--database"_s, u"/nonexistent/Refcom.dll"_s}
                                      << QByteArray("王\n") << u"/nonexistent/Refcom.dll"_s;
    QTest::newRow("unknown option") << QStringList{u"--stable"_s} << QByteArray("王\n")
                                    << u"用 tarvelo-sort --help 查看用法。"_s;
    QTest::newRow("field not a number") << QStringList{u"-k"_s, u"0"_s} << QByteArray("王\n")
                                        << u"用 tarvelo-sort --help 查看用法。"_s;
    // The system's English set apart in quotes, not run into the sentence.
    QTest::newRow("input fails to read") << QStringList{u"/proc/self/mem"_s} << QByteArray("王\n")
                                         << u"读不了“/proc/self/mem”：系统提示“"_s;
}

void TestSort::refusesWithoutWriting()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, said);
    const QString path = write(u"input.txt"_s, input);
    const Run result = run(arguments + QStringList{u"-o"_s, path, path});
    QCOMPARE(result.status, statusFailed);
    QVERIFY(result.out.isEmpty());
    const QString err = QString::fromUtf8(result.err);
    QVERIFY2(err.startsWith(u"tarvelo-sort: "_s) && err.contains(said.replace(u"INPUT"_s, path)), qPrintable(err));
    QCOMPARE(err.count(u'\n'), said.startsWith(u"用"_s) ? 2 : 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), input);
}

QTEST_GUILESS_MAIN(TestSort)
#include "tst_sort.moc"
