// SPDX-License-Identifier: MIT
#include "statusline.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace {

constexpr char notificationProperty[] = "tarveloStatusLine";

class NotificationLabel : public QAccessibleWidget
{
public:
    explicit NotificationLabel(QLabel *label)
        : QAccessibleWidget(label, QAccessible::Notification)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<const QLabel *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *statusLineFactory(const QString &, QObject *object)
{
    auto *label = qobject_cast<QLabel *>(object);
    if (label && label->property(notificationProperty).toBool())
        return new NotificationLabel(label);
    return nullptr;
}

} // namespace

namespace StatusLine {

void install(QLabel *label)
{
    static const bool installed = [] {
        QAccessible::installFactory(statusLineFactory);
        return true;
    }();
    Q_UNUSED(installed);
    label->setProperty(notificationProperty, true);
    // Setting its first text may have made the label an ordinary one to
    // screen readers already.
    QAccessibleInterface *known = QAccessible::queryAccessibleInterface(label);
    if (known && known->role() != QAccessible::Notification)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(known));
}

void tell(QLabel *label, const QString &text)
{
    label->setText(text);
    QAccessibleEvent shown(label, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

} // namespace StatusLine
