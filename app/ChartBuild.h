#pragma once

#include <QString>

#include "common/Services.h"

class Form1;

namespace app {

// The accounting format every amount gets: dollar sign, thousands separators, no decimals,
// negatives in parentheses, zero as a dash.
inline const QString kAmountFormat =
    QStringLiteral("_($* #,##0_);_($* (#,##0);_($* \"-\"??_);_(@_)");

// The template's name in the temporary folder, and the picture's.
inline const QString kTemplateFileName = QStringLiteral("Pie Chart.xlt");
inline const QString kPictureFileName = QStringLiteral("temp.bmp");

// The command behind "Start Creating Template": fills the template with the main window's
// entries, saves the temporary workbook under a fresh name, takes its picture, hands both to the
// Preview window, hides the main window and stores the list. One error trap for the whole
// command ("Form1.PushButton1_Click"); a failing step is reported and the next one runs.
class ChartBuild {
  public:
    ChartBuild(Form1& form, const common::Services& services);
    void run();

    // Draws "tkvane" + eight digits 1..9; the random source is reseeded before each digit.
    static QString drawWorkbookName(platform::RandomSource& random);

  private:
    Form1& form_;
    common::Services services_;
};

}  // namespace app
