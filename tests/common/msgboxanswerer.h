// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <utility>

// Answers every message box that comes up while it exists, remembering
// what each one said, so that tests can drive modal code.
class MsgBoxAnswerer : public QObject
{
public:
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    MsgBoxAnswerer()
    {
        constexpr int pollMilliseconds = 5;
        m_timer.setInterval(pollMilliseconds);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { answer(); });
        m_timer.start();
    }

    QList<Box> boxes;

    // Runs once, while the first box is open and before it is answered:
    // what a user or an accessibility tool might do behind the box.
    std::function<void()> whileFirstOpen;

    qsizetype count(const QString &title) const
    {
        return std::count_if(boxes.cbegin(), boxes.cend(),
                             [&](const Box &box) { return box.title == title; });
    }

    QStringList titles() const
    {
        QStringList result;
        for (const Box &box : boxes)
            result.append(box.title);
        return result;
    }

private:
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == m_held)
            return;
        if (whileFirstOpen) {
            // From a timer of its own: a timer does not fire again while
            // its handler runs, and this one must answer what comes up.
            m_held = box;
            QTimer::singleShot(0, box, [this, box, action = std::exchange(whileFirstOpen, {})] {
                action();
                if (m_held)
                    accept(box);
                m_held = nullptr;
            });
            return;
        }
        accept(box);
    }

    void accept(QMessageBox *box)
    {
        boxes.append({box->windowTitle(), box->text(), box->icon()});
        box->accept();
    }

    QTimer m_timer;
    QPointer<QMessageBox> m_held;
};
