// SPDX-License-Identifier: MIT
#pragma once

#include "recordset.h"
#include "strokedb.h"
#include "strokelookup.h"
#include "strokesequences.h"
#include "stroketable.h"

#include <QCoreApplication>
#include <QDir>
#include <QList>

// The database and the sequences file that the build put beside the tests.
struct RealData
{
    StrokeTable table;
    StrokeSequences sequences;
    // The 2013 list: element N is the character at place N + 1.
    QList<char32_t> list;

    static QString databasePath() { return QDir(QCoreApplication::applicationDirPath()).filePath(StrokeDb::fileName); }

    void load()
    {
        data::Connection conn;
        StrokeLookup::openDatabaseFile(conn, databasePath(), StrokeLookup::AfterCheck::ReadingEveryRow);
        table.load(conn);
        data::Recordset rs;
        rs.Open(QStringLiteral("select 汉字 from common order by 序号"), conn, data::adLockReadOnly);
        for (; !rs.atEnd(); rs.MoveNext())
            list.append(rs.Fields(0).Value.toString().toUcs4().value(0));
        rs.Close();
        conn.Close();
        sequences.load(StrokeSequences::pathBeside(databasePath()));
    }
};
