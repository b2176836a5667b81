// SPDX-License-Identifier: MIT
#pragma once

class QWidget;

// Centres WINDOW, its frame and title bar included, on the screen it opens
// on: at once, again when it is shown, and once more when the window
// system has mapped it, as only then is the size of its frame known.
void centreOnScreen(QWidget *window);
