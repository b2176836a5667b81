// SPDX-License-Identifier: MIT
#include "printablekey.h"

namespace PrintableKey {

namespace {

// Digits before capital letters, as in ASCII, so the printed keys sort
// bytewise as the ranks do.
constexpr char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::uint64_t base = sizeof(digits) - 1;

} // namespace

int width(std::uint32_t highest)
{
    int digitCount = 1;
    for (std::uint64_t span = base; span <= highest; span *= base)
        ++digitCount;
    return digitCount;
}

QByteArray format(std::u32string_view key, int width, char lead)
{
    QByteArray text(1 + qsizetype(key.size()) * width, lead);
    char *out = text.data() + 1;
    for (std::uint32_t rank : key) {
        for (int digit = width - 1; digit >= 0; --digit) {
            out[digit] = digits[rank % base];
            rank /= std::uint32_t(base);
        }
        out += width;
    }
    return text;
}

} // namespace PrintableKey
