#include "platform/Dialogs.h"

#include <QGuiApplication>

namespace platform {

QString Dialogs::resolvedTitle(const QString& title) {
    return title.isNull() ? QGuiApplication::applicationDisplayName() : title;
}

}  // namespace platform
