#pragma once

#include <QString>

namespace platform {

// Opens an address in the user's browser without waiting for it.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    virtual void open(const QString& url) = 0;
};

// The desktop's own handler (QDesktopServices).
class DesktopUrlOpener : public UrlOpener {
  public:
    void open(const QString& url) override;
};

}  // namespace platform
