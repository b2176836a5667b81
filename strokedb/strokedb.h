// SPDX-License-Identifier: MIT
#pragma once

#include <QLatin1StringView>
#include <QStringView>

// Facts about the stroke database file that the generator and the
// application must agree on.
namespace StrokeDb {

inline constexpr QLatin1StringView fileName{"Refcom.dll"};
inline constexpr QLatin1StringView password{"quonvartelp"};

// The password is compiled into the program, so stretching it with many
// PBKDF2 rounds protects nothing: anyone holding the program holds the key.
// The cipher keeps the file from casual editing and SQLCipher's per-page
// HMAC rejects tampered pages; neither depends on this number. A small count
// keeps opening the file well under a millisecond instead of ~60 ms.
inline constexpr int kdfIterations = 64;

// Every page carries its own cipher and HMAC set-up cost, so fewer, larger
// pages make checking the whole file at start-up about twice as fast as
// SQLCipher's default of 1024 bytes.
inline constexpr int pageSize = 4096;

inline constexpr int schemaVersion = 2;

// The stroke table, the one table the window reads: each character and
// its count. Its names are written bare in queries: quoted, a name the
// file lacks would be read as a text instead of failing the query.
inline constexpr QLatin1StringView strokeTable{"a"};
inline constexpr QStringView characterColumn{u"汉字"};
inline constexpr QStringView strokeCountColumn{u"笔画数"};

// The 2013 List of Commonly Used Standard Chinese Characters: each
// character and its place in the list, from 1. The window never reads it.
inline constexpr QLatin1StringView commonTable{"common"};
inline constexpr QStringView commonCharacterColumn{u"汉字"};
inline constexpr QStringView commonPlaceColumn{u"序号"};

// Provenance, as key and value rows; the window never reads it.
inline constexpr QLatin1StringView metaTable{"meta"};
inline constexpr QLatin1StringView metaKeyColumn{"key"};
inline constexpr QLatin1StringView metaValueColumn{"value"};
inline constexpr QLatin1StringView metaSchemaVersion{"schema_version"};
inline constexpr QLatin1StringView metaUnicodeVersion{"unicode_version"};
inline constexpr QLatin1StringView metaSourceFile{"source_file"};
inline constexpr QLatin1StringView metaCorrections{"corrections"};

} // namespace StrokeDb
