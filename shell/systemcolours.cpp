// SPDX-License-Identifier: MIT
#include "systemcolours.h"

#include <QWidget>

namespace SystemColour {

void paint(QWidget *widget, QPalette::ColorRole background, QPalette::ColorRole foreground)
{
    widget->setBackgroundRole(background);
    widget->setForegroundRole(foreground);
    widget->setAutoFillBackground(true);
}

void paintView(QWidget *view, QPalette::ColorRole background)
{
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, palette.color(background));
    view->setPalette(palette);
}

} // namespace SystemColour
