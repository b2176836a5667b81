// SPDX-License-Identifier: MIT
// tarvelo-faultfixture KIND PATH: makes the stroke database at PATH wrong
// in one way, for the start-up fault tests. The write kinds make a new
// file; the flip kinds damage one byte of an existing stroke database.
#include "connection.h"
#include "dbwriter.h"
#include "recordset.h"
#include "runtimeerror.h"
#include "strokelookup.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

qint64 queryNumber(const QString &folder, const QString &sql)
{
    data::Connection conn;
    conn.Open(StrokeLookup::connectionString(folder));
    data::Recordset rs;
    rs.Open(sql, conn, data::adLockReadOnly);
    const qint64 value = rs.Fields(0).Value.toLongLong();
    rs.Close();
    conn.Close();
    return value;
}

// Flips every bit of the byte in the middle of the 1-based PAGE.
void flipInPage(const QString &path, qint64 page, qint64 pageSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        throw RuntimeError(u"cannot open %1"_s.arg(path));
    const qint64 offset = (page - 1) * pageSize + pageSize / 2;
    char byte = 0;
    if (!file.seek(offset) || !file.getChar(&byte) || !file.seek(offset) || !file.putChar(char(~byte)))
        throw RuntimeError(u"cannot change byte %1 of %2"_s.arg(offset).arg(path));
}

int usage()
{
    std::fputs("usage: tarvelo-faultfixture otherpassword|plain|notable|renamedcolumn|fliphead|fliproot PATH\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3)
        return usage();
    const QString &kind = args.at(1);
    const QString &path = args.at(2);
    try {
        if (kind == u"fliphead" || kind == u"fliproot") {
            const QString folder = QFileInfo(path).absolutePath();
            const qint64 pageSize = queryNumber(folder, u"PRAGMA page_size"_s);
            // Every lookup passes the root page of the stroke table; the
            // first page is read when the file is opened.
            const qint64 page = kind == u"fliphead"
                    ? 1
                    : queryNumber(folder, u"select rootpage from sqlite_master where name = 'a'"_s);
            flipInPage(path, page, pageSize);
            return 0;
        }
        StrokeDbLayout layout;
        if (kind == u"otherpassword")
            layout.password = u"not-the-password"_s;
        else if (kind == u"plain")
            layout.password.clear();
        else if (kind == u"notable")
            layout.table = u"b"_s;
        else if (kind == u"renamedcolumn")
            layout.countColumn = u"strokes"_s;
        else
            return usage();
        writeStrokeDatabase(path, {{u"汉"_s, 5}, {u"字"_s, 6}}, layout);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
