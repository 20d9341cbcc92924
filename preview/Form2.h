#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "preview/Viewport.h"

class QGroupBox;
class QPushButton;
class QScrollBar;
class QWheelEvent;
class PictureBox;

namespace platform {
class Dialogs;
}
namespace common {
class MousePointer;
}
namespace preview {
class PictureActions;
}

// The Preview window: shows the picture of the filled sheet in a zoomable, scrollable and
// draggable viewport, saves the result workbook where the user chooses, and goes back to the main
// window. It owns the temporary workbook named by mExcelFile from the moment the build hands it
// over, and deletes it on "< Back" and when it closes. Closing it ends the program.
class Form2 : public QWidget {
    Q_OBJECT
  public:
    // `mainWindow` is the window "< Back" shows again. Construction is the window's load.
    Form2(platform::Dialogs& dialogs, QWidget* mainWindow, QWidget* parent = nullptr);

    // Full path of the temporary workbook of the last build.
    QString mExcelFile;

    // Puts a newly captured picture into the image box at its natural size; the next activation
    // runs the viewport set-up for it (factor 1.0, scroll ranges for its size).
    void loadPicture(const QImage& picture);
    // loadPicture with a picture file; throws common::Failure when the file cannot be read.
    void loadPictureFile(const QString& path);

    void SetHScrollbarByPercent(QScrollBar* hScrollbar, std::int16_t percent);
    void SetVScrollbarByPercent(QScrollBar* vScrollbar, std::int16_t percent);

    // Event handlers, one per control event.
    void Form_Load();
    void Form_Activate();
    void Form_QueryUnload();
    void Form_Unload();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton6_Click();
    void PushButton8_Click();
    void HScroll1_Change();
    void VScroll1_Change();
    void Picture1_MouseDown(Qt::MouseButtons buttons, float x, float y);
    void Picture1_MouseMove(Qt::MouseButtons buttons, float x, float y);
    void Picture1_MouseUp(Qt::MouseButtons buttons, float x, float y);
    void Picture2_MouseWheel(const QWheelEvent& wheel);

    const preview::Viewport& viewport() const { return viewport_; }
    bool firstActivatePending() const { return mFirstActivate; }
    common::MousePointer& mousePointer() { return *pointer_; }
    // The picture's keys, context menu, tooltips and accessible text; commands may be added
    // to its menu.
    preview::PictureActions& pictureActions() { return *pictureActions_; }

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Shrinks the picture area where the window is larger than the screen's available area.
    void fitToScreen();
    void createControls();
    void placeControls();
    void setFonts();
    void connectHandlers();
    void watchPointer();

    void ZoomStep(bool zoomOut);
    void SetZoom(float factor);
    bool RedrawZoomed();  // true when the image box was redrawn
    void SetupScrollbars();
    static void copyWorkbook(const QString& source, const QString& target);

    // Picture box measures in twips.
    static double outerWidth(const QWidget* box);
    static double outerHeight(const QWidget* box);
    static double innerWidth(const PictureBox* box);
    static double innerHeight(const PictureBox* box);

    platform::Dialogs& dialogs_;
    QWidget* mainWindow_;
    common::MousePointer* pointer_ = nullptr;
    preview::PictureActions* pictureActions_ = nullptr;  // a child of the window
    preview::Viewport viewport_;
    bool mFirstActivate = false;

    PictureBox* Picture2 = nullptr;
    PictureBox* Picture1 = nullptr;
    PictureBox* Zoom_Ori = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton8 = nullptr;
    QPushButton* PushButton6 = nullptr;
};
