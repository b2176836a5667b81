// SPDX-License-Identifier: MIT
#pragma once

class QApplication;

// Gives APP the program's identity, locale, icon, Qt's Chinese texts and
// the interface font the windows are laid out for.
void setUpApplication(QApplication &app);
