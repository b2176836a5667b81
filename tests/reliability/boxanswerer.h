// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Presses OK on every message box that comes up while it exists and keeps
// what each one said, so that modal code can run unattended.
class BoxAnswerer : public QObject
{
public:
    struct Box
    {
        QString title;
        QString text;
    };

    BoxAnswerer()
    {
        constexpr int pollMilliseconds = 2;
        m_timer.setInterval(pollMilliseconds);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            boxes.append({box->windowTitle(), box->text()});
            box->accept();
        });
        m_timer.start();
    }

    qsizetype count(const QString &title) const
    {
        return std::count_if(boxes.cbegin(), boxes.cend(),
                             [&](const Box &box) { return box.title == title; });
    }

    QList<Box> boxes;

private:
    QTimer m_timer;
};
