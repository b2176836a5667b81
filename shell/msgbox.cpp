// SPDX-License-Identifier: MIT
#include "msgbox.h"

#include "appinfo.h"

#include <QApplication>
#include <QMessageBox>

namespace {

constexpr int iconMask = 0x70;

QMessageBox::Icon iconFor(int buttons)
{
    switch (buttons & iconMask) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbExclamation:
        return QMessageBox::Warning;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int MsgBox(const QString &prompt, int buttons, const QString &title)
{
    QMessageBox box(iconFor(buttons), title.isEmpty() ? QString(App::title) : title, prompt,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MsgBox"));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return vbOK;
}
