// SPDX-License-Identifier: MIT
#include "frmabout.h"

#include <QTimer>

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent)
{
}

void frmAbout::Form_Load()
{
    QTimer::singleShot(0, this, [this] { done(0); });
}
