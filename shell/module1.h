// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

class QWidget;

// The window-system operations of the program, in one place: only the
// About window uses them. They go through Qt, so they work wherever Qt
// draws windows; results are not checked, as a failed opacity change is
// simply tried again with the next value.
namespace Module1 {

// Makes WINDOW able to take a whole-window constant alpha. Until the first
// alpha is set it is not drawn at all.
void makeLayered(QWidget *window);

// Sets the whole-window constant alpha of WINDOW, 0 (invisible) to 255
// (opaque), and repaints it so that the change reaches the screen.
void setLayeredAlpha(QWidget *window, quint8 alpha);

// Lets the window system move WINDOW with the mouse until the button is
// released, as though its caption had been pressed.
void beginWindowMove(QWidget *window);

// Where the operations go; tests put a recorder in its place.
class Backend
{
public:
    virtual ~Backend() = default;
    virtual void makeLayered(QWidget *window) = 0;
    virtual void setLayeredAlpha(QWidget *window, quint8 alpha) = 0;
    virtual void beginWindowMove(QWidget *window) = 0;
};

// Installs BACKEND (not owned), or the real one again with nullptr.
void setBackend(Backend *backend);

} // namespace Module1
