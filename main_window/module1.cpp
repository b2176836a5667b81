// SPDX-License-Identifier: MIT
#include "module1.h"

#include <QWidget>
#include <QWindow>

namespace Module1 {

namespace {

constexpr qreal opaqueAlpha = 255.0;

class QtBackend final : public Backend
{
public:
    void makeLayered(QWidget *window) override
    {
        // Qt's equivalent of a layered window whose alpha is not yet set:
        // a window at opacity 0, which the compositor does not draw.
        window->setWindowOpacity(0.0);
    }

    void setLayeredAlpha(QWidget *window, quint8 alpha) override
    {
        window->setWindowOpacity(alpha / opaqueAlpha);
        // On X11 the new opacity is only flushed with the next repaint.
        window->update();
    }

    void beginWindowMove(QWidget *window) override
    {
        if (QWindow *handle = window->windowHandle())
            handle->startSystemMove();
    }
};

QtBackend &qtBackend()
{
    static QtBackend backend;
    return backend;
}

Backend *current = nullptr;

Backend &backend()
{
    return current ? *current : qtBackend();
}

} // namespace

void setBackend(Backend *replacement)
{
    current = replacement;
}

void makeLayered(QWidget *window)
{
    backend().makeLayered(window);
}

void setLayeredAlpha(QWidget *window, quint8 alpha)
{
    backend().setLayeredAlpha(window, alpha);
}

void beginWindowMove(QWidget *window)
{
    backend().beginWindowMove(window);
}

} // namespace Module1
