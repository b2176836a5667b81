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

inline constexpr int schemaVersion = 1;

} // namespace StrokeDb
