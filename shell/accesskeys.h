// SPDX-License-Identifier: MIT
#pragma once

class QAbstractButton;

// Makes the access key of BUTTON (Alt with the letter its caption
// underlines) click it at once. Qt animates the press and clicks about
// 0.1 s later, and a key typed in between still reaches the window whose
// command has not yet run: Esc right after Alt+A would close the program.
void clickOnAccessKey(QAbstractButton *button);
