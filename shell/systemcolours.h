// SPDX-License-Identifier: MIT
#pragma once

#include <QPalette>

class QWidget;

// The window designs give their colours as the user's system colours, so
// that they follow the colour scheme; these are the palette roles that
// carry those colours in Qt.
namespace SystemColour {

inline constexpr QPalette::ColorRole window = QPalette::Base;
inline constexpr QPalette::ColorRole windowText = QPalette::Text;
inline constexpr QPalette::ColorRole captionText = QPalette::HighlightedText;
inline constexpr QPalette::ColorRole infoBackground = QPalette::ToolTipBase;

// WIDGET fills its background with BACKGROUND and draws in FOREGROUND.
void paint(QWidget *widget, QPalette::ColorRole background, QPalette::ColorRole foreground = windowText);

// A view draws its content on the Base colour: give it BACKGROUND's colour.
void paintView(QWidget *view, QPalette::ColorRole background);

} // namespace SystemColour
