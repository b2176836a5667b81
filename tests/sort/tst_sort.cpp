// SPDX-License-Identifier: MIT
// tarvelo-sort as its users run it, over the real data: files and standard
// input in, standard output, -o's file, standard error and the status out.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cctype>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

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
    void leavesNodesAlone_data();
    void leavesNodesAlone();
    void keepsTheFileItReplaces();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QString databaseBeside(const QString &folder, const QByteArray &sequences);

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

// A copy of the real database in FOLDER, with SEQUENCES as the sequences
// file beside it, or a named pipe in its place when SEQUENCES is null.
QString TestSort::databaseBeside(const QString &folder, const QByteArray &sequences)
{
    const QDir programDir = QFileInfo(QStringLiteral(TARVELO_SORT_PROGRAM)).dir();
    QDir(m_dir.path()).mkdir(folder);
    const QString database = m_dir.filePath(folder + u"/Refcom.dll"_s);
    QFile::copy(programDir.filePath(u"Refcom.dll"_s), database);
    const QString beside = m_dir.filePath(folder + u"/Refcom-sequences.txt"_s);
    if (sequences.isNull())
        mkfifo(QFile::encodeName(beside).constData(), S_IRUSR | S_IWUSR);
    else
        write(folder + u"/Refcom-sequences.txt"_s, sequences);
    return database;
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
    // The system's reason in the user's words.
    QTest::newRow("input fails to read") << QStringList{u"/proc/self/mem"_s} << QByteArray("王\n")
                                         << u"读不了“/proc/self/mem”：读写设备出错"_s;
    QTest::newRow("inputs in two encodings")
            << QStringList{write(u"m16.txt"_s, "\xFF\xFE" + QStringEncoder("UTF-16LE").encode(u"丁\n"_s))}
            << QByteArray("王\n") << u"“INPUT”却是 UTF-8 编码"_s;
    QTest::newRow("file name with terminal controls")
            << QStringList{u"/nonexistent/\x1B]0;x\x07\u202E"_s} << QByteArray("王\n")
            << u"“/nonexistent/<U+001B>]0;x<U+0007><U+202E>”"_s;
    QFile real(QFileInfo(QStringLiteral(TARVELO_SORT_PROGRAM)).dir().filePath(u"Refcom-sequences.txt"_s));
    QVERIFY(real.open(QIODevice::ReadOnly));
    QByteArray moved = real.readAll();
    const qsizetype wang = moved.indexOf("\n王\t") + 1;
    const QByteArray wangLine = moved.mid(wang, moved.indexOf('\n', wang) + 1 - wang);
    moved.remove(wang, wangLine.size()).insert(moved.indexOf("\n一\t") + 1, wangLine);
    QTest::newRow("sequences file with a line moved")
            << QStringList{u"--database"_s, databaseBeside(u"moved"_s, moved)} << QByteArray("王\n")
            << u"Refcom-sequences.txt”已损坏（第 "_s;
    QTest::newRow("named pipe for the sequences file")
            << QStringList{u"--database"_s, databaseBeside(u"pipe"_s, QByteArray())} << QByteArray("王\n")
            << u"Refcom-sequences.txt”不是普通文件"_s;
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

// A node named by -o is neither replaced nor written: a reader waiting on a
// pipe would get nothing, and a device would be gone.
void TestSort::leavesNodesAlone_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::newRow("named pipe") << u"pipe-out"_s << int(S_IFIFO);
    QTest::newRow("device node") << u"null-out"_s << int(S_IFCHR);
}

void TestSort::leavesNodesAlone()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    const QByteArray path = QFile::encodeName(m_dir.filePath(name));
    const int made = type == S_IFIFO ? mkfifo(path.constData(), S_IRUSR | S_IWUSR)
                                     : mknod(path.constData(), S_IFCHR | S_IRUSR | S_IWUSR, makedev(1, 3));
    if (made != 0)
        QSKIP("This user may not make such a node.");
    const Run result = run({u"-o"_s, QString::fromLocal8Bit(path)}, "王\n");
    QCOMPARE(result.status, statusFailed);
    QVERIFY2(QString::fromUtf8(result.err).contains(u"-o 要一个普通文件"_s), result.err.constData());
    struct stat after = {};
    QCOMPARE(stat(path.constData(), &after), 0);
    QCOMPARE(int(after.st_mode & S_IFMT), type);
}

// The replacement is to its readers what the old file was.
void TestSort::keepsTheFileItReplaces()
{
    constexpr uid_t nobody = 65534;
    const QString path = write(u"owned.txt"_s, "王\n丁\n");
    const QByteArray name = QFile::encodeName(path);
    if (chown(name.constData(), nobody, nobody) != 0)
        QSKIP("Only the superuser can give a file away.");
    chmod(name.constData(), S_IRUSR | S_IWUSR);
    QCOMPARE(setxattr(name.constData(), "user.tarvelo", "1", 1, 0), 0);
    const Run result = run({u"-o"_s, path, path});
    QCOMPARE(result.status, statusDone);
    struct stat after = {};
    QCOMPARE(stat(name.constData(), &after), 0);
    QCOMPARE(after.st_uid, nobody);
    QCOMPARE(after.st_gid, gid_t(nobody));
    QCOMPARE(after.st_mode & ACCESSPERMS, mode_t(S_IRUSR | S_IWUSR));
    char value[2] = {};
    QCOMPARE(getxattr(name.constData(), "user.tarvelo", value, sizeof value), ssize_t(1));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("丁\n王\n"));
}

QTEST_GUILESS_MAIN(TestSort)
#include "tst_sort.moc"
