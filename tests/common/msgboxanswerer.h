// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>

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
        if (!box || !box->isVisible())
            return;
        boxes.append({box->windowTitle(), box->text(), box->icon()});
        box->accept();
    }

    QTimer m_timer;
};
