#include "common/MousePointer.h"

#include <QEvent>
#include <QWidget>

namespace common {

namespace {
const char kHoverValue[] = "morrowlinHoverPointer";
}

MousePointer::MousePointer(QWidget* window) : QObject(window), window_(window) {}

void MousePointer::setCustomCursor(const QCursor& cursor) {
    custom_ = cursor;
    apply();
}

void MousePointer::set(int value) {
    value_ = value;
    apply();
}

void MousePointer::apply() {
    switch (value_) {
        case Hourglass:
            window_->setCursor(Qt::WaitCursor);
            break;
        case Custom:
            if (custom_) {
                window_->setCursor(*custom_);
                break;
            }
            [[fallthrough]];
        default:
            window_->unsetCursor();
            break;
    }
}

void MousePointer::watchAsButton(QWidget* widget) {
    widget->setProperty(kHoverValue, int(Custom));
    // A button ignores a move without a pressed button; it must not reach the window behind it,
    // which would put the default pointer back.
    widget->setAttribute(Qt::WA_NoMousePropagation);
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

void MousePointer::watchAsBackground(QWidget* widget) {
    widget->setProperty(kHoverValue, int(Default));
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

bool MousePointer::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseMove || type == QEvent::Enter || type == QEvent::HoverMove) &&
        value_ != Hourglass) {
        const QVariant wanted = watched->property(kHoverValue);
        if (wanted.isValid() && wanted.toInt() != value_) set(wanted.toInt());
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace common
