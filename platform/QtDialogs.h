#pragma once

#include "platform/Dialogs.h"

namespace platform {

// Dialogs shown with Qt's standard boxes.
class QtDialogs : public Dialogs {
  public:
    int messageBox(const QString& text, int style, const QString& title = QString()) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& initialText) override;
    QString saveFileName(const QString& title, const QString& filter,
                         const QString& initialName) override;
    bool printSetup(QPagedPaintDevice& printer) override;
};

}  // namespace platform
