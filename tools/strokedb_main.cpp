// SPDX-License-Identifier: MIT
// tarvelo-strokedb: builds the stroke database from Unihan, or lists it.
#include "dbwriter.h"
#include "recordset.h"
#include "runtimeerror.h"
#include "strokedb.h"
#include "unihan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int exitUsage = 2;

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

int usage()
{
    print(stderr, u"usage: tarvelo-strokedb build UNIHAN_FILE OUT\n"
                  "       tarvelo-strokedb dump DB\n"_s);
    return exitUsage;
}

int build(const QString &source, const QString &out)
{
    const UnihanStrokes strokes = parseTotalStrokes(readUnihanFile(source));
    if (strokes.counts.isEmpty())
        throw RuntimeError(u"%1 holds no kTotalStrokes entries"_s.arg(source));
    QList<StrokeRow> rows;
    rows.reserve(strokes.counts.size());
    for (const auto &[codePoint, count] : strokes.counts)
        rows.append({QString::fromUcs4(&codePoint, 1), count});
    StrokeDbLayout layout;
    layout.unicodeVersion = strokes.unicodeVersion;
    layout.sourceFile = QFileInfo(source).fileName();
    writeStrokeDatabase(out, rows, layout);
    print(stdout, u"%1: %2 characters from Unicode %3\n"_s.arg(out).arg(rows.size()).arg(strokes.unicodeVersion));
    return 0;
}

int dump(const QString &path)
{
    data::Connection conn;
    conn.ConnectionString = u"Provider=SQLCipher;jet oledb:database Password="_s + StrokeDb::password
            + u";Data Source="_s + data::quotedConnectionValue(QDir::toNativeSeparators(path));
    conn.Open();
    data::Recordset rs;
    rs.Open(u"select 汉字, 笔画数 from a"_s, conn, data::adOpenForwardOnly, data::adLockReadOnly);
    QString chunk;
    constexpr qsizetype flushAt = 1 << 16;
    while (!rs.atEnd()) {
        chunk += rs.Fields(0).Value.toString() + u'\t' + rs.Fields(1).Value.toString() + u'\n';
        if (chunk.size() > flushAt) {
            print(stdout, chunk);
            chunk.clear();
        }
        rs.MoveNext();
    }
    print(stdout, chunk);
    rs.Close();
    conn.Close();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args.at(1) == u"build")
            return build(args.at(2), args.at(3));
        if (args.size() == 3 && args.at(1) == u"dump")
            return dump(args.at(2));
    } catch (const RuntimeError &error) {
        print(stderr, u"tarvelo-strokedb: "_s + error.description() + u'\n');
        return 1;
    }
    return usage();
}
