#pragma once

#include <QAccessible>

class QWidget;

namespace common {

// Gives `widget` the role a screen reader announces it by (a window, an image, a pane) where a
// plain widget would be read as a nameless filler. The accessible object of a widget is made
// once, when a screen reader or a change of name first asks for it: call this before the
// widget's accessible name is set and before it is shown.
void setAccessibleRole(QWidget* widget, QAccessible::Role role);

}  // namespace common
