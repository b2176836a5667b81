// SPDX-License-Identifier: MIT
#pragma once

class QApplication;

// The font of a program's windows: the 9-point face the seed windows are
// laid out for at fixed places, or the user's own for windows whose
// layouts follow their text.
enum class InterfaceFont { Design, System };

// Gives APP the program's identity, locale, icon, Qt's Chinese texts and
// its windows' font.
void setUpApplication(QApplication &app, InterfaceFont font = InterfaceFont::Design);
