// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

// Message box styles and answers, as the program's messages give them.
enum MsgBoxStyle { vbOKOnly = 0, vbCritical = 16, vbExclamation = 48 };
enum MsgBoxResult { vbOK = 1 };

// Shows a modal message box with one OK button and waits for it. A box
// given no title carries the application's title.
int MsgBox(const QString &prompt, int buttons = vbOKOnly, const QString &title = {});
