// SPDX-License-Identifier: MIT
#pragma once

#include "dbwriter.h"
#include "strokedb.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>

// Stroke database files for tests, written by the same code that writes the
// real one.
namespace Fixture {

inline QString databasePath(const QString &folder)
{
    return QDir(folder).filePath(StrokeDb::fileName);
}

// The database that the build put beside the test programs.
inline QString realDatabaseFolder()
{
    return QCoreApplication::applicationDirPath();
}

// Writes ROWS as the stroke database of FOLDER (created when missing) and
// returns FOLDER.
inline QString writeDatabase(const QString &folder, const QList<StrokeRow> &rows,
                             const StrokeDbLayout &layout = {})
{
    QDir().mkpath(folder);
    writeStrokeDatabase(databasePath(folder), rows, layout);
    return folder;
}

// Consecutive characters from U+4E00 with made-up counts: enough rows to
// fill many pages, so damage can hit a page that opening never reads.
inline QList<StrokeRow> manyRows(int count)
{
    constexpr char32_t firstIdeograph = 0x4E00;
    constexpr int countCycle = 30;
    QList<StrokeRow> rows;
    for (int i = 0; i < count; ++i) {
        const char32_t codePoint = firstIdeograph + char32_t(i);
        rows.append({QString::fromUcs4(&codePoint, 1), 1 + i % countCycle});
    }
    return rows;
}

// SHA-256 of the file at PATH, or empty when there is none.
inline QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// BYTES with the low bit of the byte at AT turned over: damage that leaves
// the file's size and structure as they were.
inline QByteArray withByteFlipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes.at(at) ^ 0x01);
    return bytes;
}

} // namespace Fixture
