#include "platform/UrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

void DesktopUrlOpener::open(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

}  // namespace platform
