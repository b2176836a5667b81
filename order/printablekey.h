// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <cstdint>
#include <string_view>

// Keys of ranks written in capital letters and digits, a fixed number per
// rank, after a leading letter so no spreadsheet takes them for numbers:
// their byte order is the order of the keys.
namespace PrintableKey {

// How many digits a rank up to HIGHEST takes.
int width(std::uint32_t highest);

QByteArray format(std::u32string_view key, int width, char lead);

} // namespace PrintableKey
