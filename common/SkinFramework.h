#pragma once

#include <QString>

class QWidget;

namespace common {

// The skin control: loads a skin file (a Qt style sheet) and applies it to one window. Its flags
// and options are kept as given; loading reads the whole file and fails with a message naming it.
class SkinFramework {
  public:
    void LoadSkin(const QString& path, const QString& iniName);
    int flags() const { return flags_; }
    void setFlags(int flags) { flags_ = flags; }
    void setApplyOptions(bool on) { applyOptions_ = on; }
    void setApplyColors(bool on) { applyColors_ = on; }
    void ApplyWindow(QWidget* window);

    bool loaded() const { return !styleSheet_.isNull(); }
    const QString& styleSheet() const { return styleSheet_; }

  private:
    QString styleSheet_;
    int flags_ = 0;
    bool applyOptions_ = false;
    bool applyColors_ = false;
};

}  // namespace common
