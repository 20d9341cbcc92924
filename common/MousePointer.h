#pragma once

#include <QCursor>
#include <QObject>
#include <optional>

class QWidget;

namespace common {

// A window's mouse pointer: the default (0), the hourglass (11) or the window's custom pointer
// (99, the hand cursor when one was loaded). Moving over a push button shows the custom pointer,
// moving over the background, the list or a frame shows the default one; while the hourglass is
// up these movements leave it as it is.
class MousePointer : public QObject {
    Q_OBJECT
  public:
    enum Value : int { Default = 0, Hourglass = 11, Custom = 99 };

    explicit MousePointer(QWidget* window);

    void setCustomCursor(const QCursor& cursor);
    bool hasCustomCursor() const { return custom_.has_value(); }

    void set(int value);
    int value() const { return value_; }

    // Pointer movement over `widget` asks for the custom pointer (buttons) or the default one.
    void watchAsButton(QWidget* widget);
    void watchAsBackground(QWidget* widget);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void apply();

    QWidget* window_;
    std::optional<QCursor> custom_;
    int value_ = Default;
};

}  // namespace common
