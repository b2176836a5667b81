// SPDX-License-Identifier: MIT
#pragma once

#include <QLatin1StringView>

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

inline constexpr int schemaVersion = 1;

} // namespace StrokeDb
