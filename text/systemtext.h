// SPDX-License-Identifier: MIT
#pragma once

#include <QCoreApplication>
#include <QString>

// The system's own description of a failure, which is often English, set
// apart in quotes inside a Chinese sentence rather than run into it.
inline QString quotedSystemText(const QString &text)
{
    return QCoreApplication::translate("SystemText", "系统提示“%1”").arg(text);
}
