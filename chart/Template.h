#pragma once

#include <QByteArray>

namespace chart {

// The pie-chart template carried inside the program, as bytes. Throws app::Failure when the
// program was built without it.
QByteArray TemplateBytes();

}  // namespace chart
