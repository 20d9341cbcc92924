#include "chart/Template.h"

#include <QFile>

#include "common/Failure.h"

namespace chart {

QByteArray TemplateBytes() {
    QFile resource(QStringLiteral(":/Pie Chart.xlt"));
    if (!resource.open(QIODevice::ReadOnly))
        throw app::Failure("The workbook template \"Pie Chart.xlt\" is missing from the program.");
    return resource.readAll();
}

}  // namespace chart
