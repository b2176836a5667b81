// SPDX-License-Identifier: MIT
#include "accesskeys.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QShortcutEvent>

namespace {

class AccessKey : public QObject
{
public:
    explicit AccessKey(QAbstractButton *button)
        : QObject(button)
        , m_button(button)
    {
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_button || event->type() != QEvent::Shortcut)
            return QObject::eventFilter(watched, event);
        const auto *shortcut = static_cast<QShortcutEvent *>(event);
        // An ambiguous key only moves the focus among its buttons, as Qt
        // does it.
        if (shortcut->isAmbiguous() || shortcut->key() != QKeySequence::mnemonic(m_button->text()))
            return QObject::eventFilter(watched, event);
        m_button->setFocus(Qt::ShortcutFocusReason);
        m_button->click();
        return true;
    }

private:
    QAbstractButton *m_button;
};

} // namespace

void clickOnAccessKey(QAbstractButton *button)
{
    new AccessKey(button);
}
