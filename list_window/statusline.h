// SPDX-License-Identifier: MIT
#pragma once

class QLabel;
class QString;

// A window's status line that screen readers speak. They speak a label's
// new text only while it has the focus, which a status line never has, but
// speak a notification whenever it shows; so the line is a notification
// to them, shown again with each message.
namespace StatusLine {

void install(QLabel *label);
void tell(QLabel *label, const QString &text);

} // namespace StatusLine
