// SPDX-License-Identifier: MIT
#include "placement.h"

#include <QEvent>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace {

void centreNow(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    // Before the window system has framed the window, its frame is its
    // client area; while it frames it, the frame may read as 1x1 for a
    // moment, and the window would be put with its corner at the centre.
    QRect frame = window->frameGeometry();
    frame.setSize(frame.size().expandedTo(window->size()));
    const QRect centred = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frame.size(),
                                              screen->availableGeometry());
    if (centred.topLeft() != frame.topLeft())
        window->move(centred.topLeft());
}

// Follows one window from its first show to its first exposure.
class Centring : public QObject
{
public:
    explicit Centring(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::Show) {
            m_window->removeEventFilter(this);
            centreNow(m_window);
            if (QWindow *handle = m_window->windowHandle())
                handle->installEventFilter(this);
            else
                deleteLater();
        } else if (event->type() == QEvent::Expose && m_window && m_window->windowHandle() == watched
                   && m_window->windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            centreNow(m_window);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> m_window;
};

} // namespace

void centreOnScreen(QWidget *window)
{
    centreNow(window);
    new Centring(window);
}
