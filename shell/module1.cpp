// SPDX-License-Identifier: MIT
#include "module1.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace Module1 {

namespace {

constexpr qreal opaqueAlpha = 255.0;

// Moves a window with the pointer until the left button is released. Qt
// 6.4's X11 system move can outlive the release (its XInput2 pointer grab
// keeps the release from the window manager), so on X11 the program moves
// its windows itself.
class PointerMove : public QObject
{
public:
    void begin(QWidget *window)
    {
        if (m_window == window)
            return;
        finish();
        m_window = window;
        m_offset = QCursor::pos() - window->frameGeometry().topLeft();
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseMove: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (!m_window || !(mouse->buttons() & Qt::LeftButton))
                finish();
            else
                m_window->move(mouse->globalPosition().toPoint() - m_offset);
            break;
        }
        case QEvent::MouseButtonRelease:
        case QEvent::WindowDeactivate:
            finish();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void finish()
    {
        qApp->removeEventFilter(this);
        m_window = nullptr;
    }

    QPointer<QWidget> m_window;
    QPoint m_offset;
};

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
        // The window system moves the window, as it would by its caption,
        // wherever it can be trusted to and is able to; else the program
        // moves it (see PointerMove).
        const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
        QWindow *handle = window->windowHandle();
        if (!x11 && handle && handle->startSystemMove())
            return;
        m_move.begin(window);
    }

private:
    PointerMove m_move;
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
