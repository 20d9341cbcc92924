#include "common/AccessibleRole.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace common {

namespace {

constexpr char kRoleProperty[] = "morrowlinAccessibleRole";

// Asked for each class of an object, most derived first: a widget given a role gets a widget's
// accessible object with that role; every other object is left to Qt's own.
QAccessibleInterface* roleFactory(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) return nullptr;
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid()) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object),
                                 static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void setAccessibleRole(QWidget* widget, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(roleFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(kRoleProperty, static_cast<int>(role));
}

}  // namespace common
