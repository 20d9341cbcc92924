#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

class Form2;
class QAction;

namespace platform {
class Dialogs;
}

namespace preview {

// The Preview picture's chart commands, for its context menu:
//   "Show Sheet With Chart" puts the picture of the sheet in the picture's place: the cells from
//     A1 to the far corner of the used range and of every chart, the charts drawn over them as
//     a spreadsheet program shows them. Zoom, scroll bars and dragging work on it as on the
//     other; it starts at zoom 1 in the top left corner.
//   "Show Used Range" puts back the picture the window was given (the used range), which stays
//     the one the window shows first after every build.
//   "Save Chart Picture As..." saves the sheet's first chart alone as PNG, SVG or PDF (by the
//     ending of the name chosen; PNG when it has none of these), after asking before it
//     replaces a file.
// Everything is drawn from the window's temporary workbook (Form2::mExcelFile), the sheet at the
// screen's logical DPI and pixel ratio as the used range is; what fails is told in a message box
// and changes nothing.
class ChartActions : public QObject {
    Q_OBJECT
  public:
    ChartActions(Form2& form, platform::Dialogs& dialogs);

    // The three commands in menu order, children of the window, named "ShowSheetWithChart",
    // "ShowUsedRange" and "SaveChartPictureAs".
    const QList<QAction*>& actions() const { return actions_; }

    void showSheetWithChart();
    void showUsedRange();
    void saveChartPictureAs();
    // Whether the picture shown is the sheet with its chart put there by showSheetWithChart.
    bool showingSheet() const;

  private:
    QImage shownPicture() const;
    void tell(const QString& text);

    Form2& form_;
    platform::Dialogs& dialogs_;
    QList<QAction*> actions_;
    QImage usedRange_;     // the picture the window was given, while the sheet is shown
    qint64 sheetKey_ = 0;  // the cache key of the sheet's picture put in its place
};

}  // namespace preview
