// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

// What the window designs and the About document are drawn in.
namespace Design {

// Lengths are in twips: 1440 to the inch, 15 to the pixel at 96 dots per
// inch.
inline constexpr int twipsPerPixel = 15;

// The Song (Ming) faces the text is laid out for, the first one installed
// taken: their half-width characters are half as wide as the full-width
// ones.
inline QStringList songFontFamilies()
{
    return {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Zen Hei")};
}

} // namespace Design
