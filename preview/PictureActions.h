#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include "preview/PictureFacts.h"
#include "xls/StyleTypes.h"

class Form2;
class QAction;
class QPainter;
class QScrollBar;
class QWidget;

namespace platform {
class Dialogs;
}
namespace xls {
class Workbook;
}

namespace preview {

// What the Preview's picture offers beyond its buttons and scroll bars: keys (Ctrl+plus and
// Ctrl+= zoom in, Ctrl+minus zooms out through the buttons' handlers; the arrows, Page Up/Down
// and Home/End move the scroll bars as their own keys do), Ctrl+wheel zooming a step a notch, a
// context menu (Copy Picture, Save Picture As..., Print...; other commands can be added to it),
// tooltips over the table's rows, and the picture's accessible name and description.
class PictureActions : public QObject {
    Q_OBJECT
  public:
    PictureActions(Form2& form, platform::Dialogs& dialogs);

    // The context menu's actions in order; a separator is an action too. An action added here
    // shows in the menu and its shortcut works anywhere in the window.
    void addMenuAction(QAction* action);
    QAction* addMenuSeparator();
    const QList<QAction*>& menuActions() const { return menu_; }
    QAction* action(const QString& objectName) const;

    // The unscaled picture of the sheet as the window shows it at zoom 1.
    QImage picture() const;

    void copyPicture();
    void savePictureAs();
    void printPicture();
    // Writes the picture to `path` as PNG (the picture's pixels), SVG or PDF (painted again from
    // the workbook as lines, fills and text), chosen by the file's ending. Throws common::Failure.
    void savePicture(const QString& path);

    // The facts of the picture shown (empty when the workbook cannot be read or does not match
    // the picture).
    const PictureFacts& facts();
    // Sets the picture's accessible name and description: what it shows, its size and zoom,
    // and the table's facts row by row. Done by itself after each zoom and new picture.
    void describe();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAction* addKeys(const char* name, const QList<QKeySequence>& keys);
    void createActions();
    void scrollBy(QScrollBar* bar, int sliderAction);
    void zoomByWheel(int angleDelta);
    void showMenu(QWidget* from, const QPoint& pos);
    void showTip(QWidget* box, const QPoint& pos, const QPoint& globalPos);
    void describeLater();
    xls::Workbook workbook() const;
    // What the picture shown is of: a range, with or without the sheet's charts over it.
    struct Drawn {
        xls::CellRange range;
        bool withCharts = false;
    };
    Drawn drawnPart(const xls::Workbook& book) const;
    QSize drawnSize(const xls::Workbook& book) const;
    // Paints the picture again from the workbook with `painter` (coordinates in its pixels).
    void paintVector(QPainter& painter, const xls::Workbook& book) const;
    void tellFailure(const QString& text);

    Form2& form_;
    platform::Dialogs& dialogs_;
    QWidget* image_;     // the zoomed image box
    QWidget* viewport_;  // the box it moves in
    QScrollBar* hBar_;
    QScrollBar* vBar_;
    QList<QAction*> menu_;
    PictureFacts facts_;
    QString factsKey_;   // the workbook and picture the facts were read for
    int wheelRest_ = 0;  // a high-resolution wheel's turn short of a notch
    bool describePending_ = false;
};

}  // namespace preview
