#include "preview/Form2.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

#include "common/AccessibleRole.h"
#include "common/CursorFile.h"
#include "common/ErrorTrap.h"
#include "common/Failure.h"
#include "common/Main.h"
#include "common/MousePointer.h"
#include "platform/Dialogs.h"
#include "platform/PictureFile.h"
#include "platform/Twips.h"
#include "preview/ChartActions.h"
#include "preview/PictureActions.h"
#include "preview/PictureBox.h"
#include "xls/draw/BundledFonts.h"

namespace {

constexpr char kSaveTitle[] = "Save File";
constexpr char kSaveFilter[] = "Excel Files (*.xls)";

int px(double twips) { return platform::twipsToPixels(twips); }

// Places `widget` at a design position given in twips (left, top, width, height).
void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

QFont arialBold(double points) {
    QFont font = xls::draw::bundledFont(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

QPushButton* makeButton(const char* name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(true);  // Return presses the focused button, as Space does
    return button;
}

QScrollBar* makeScrollBar(const char* name, Qt::Orientation orientation, QWidget* parent) {
    auto* bar = new QScrollBar(orientation, parent);
    bar->setObjectName(name);
    const bool across = orientation == Qt::Horizontal;
    bar->setAccessibleName(across ? "Scroll the picture sideways"
                                  : "Scroll the picture up and down");
    bar->setAccessibleDescription(
        across ? "Moves the picture of the sheet left and right where it is wider than its area."
               : "Moves the picture of the sheet up and down where it is taller than its area.");
    bar->setRange(0, 0);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    return bar;
}

void applyBar(QScrollBar* bar, const preview::BarSetup& setup) {
    bar->setEnabled(setup.enabled);
    if (!setup.enabled) return;  // a disabled bar keeps its maximum and position
    bar->setMaximum(setup.maximum);
    bar->setSingleStep(setup.singleStep);
    bar->setPageStep(setup.pageStep);
    bar->setValue(0);
}

// Moves an enabled bar by a wheel turn; a disabled bar has nothing to scroll.
void wheelBar(QScrollBar* bar, int angleDelta) {
    if (!bar->isEnabled()) return;
    bar->setValue(bar->value() + preview::Viewport::wheelPositions(angleDelta,
                                                                   QApplication::wheelScrollLines(),
                                                                   bar->singleStep()));
}

// The picture scaled smoothly from its top-left `source` part to `size`, both in logical pixels;
// the result keeps the picture's device pixel ratio, with as many device pixels as that gives.
QImage scaledPicture(const QImage& picture, const QSize& source, const QSize& size) {
    if (picture.isNull() || size.isEmpty()) return QImage();
    const qreal ratio = picture.devicePixelRatio();
    const QSize device(qRound(size.width() * ratio), qRound(size.height() * ratio));
    const QRect part =
        QRect(QPoint(0, 0), QSize(qRound(source.width() * ratio), qRound(source.height() * ratio)))
            .intersected(picture.rect());
    const QImage from = part == picture.rect() ? picture : picture.copy(part);
    QImage scaled = from.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull())
        throw common::Failure(QString("The picture could not be scaled to %1 x %2 pixels.")
                                  .arg(size.width())
                                  .arg(size.height()));
    scaled.setDevicePixelRatio(ratio);
    return scaled;
}

}  // namespace

Form2::Form2(platform::Dialogs& dialogs, QWidget* mainWindow, QWidget* parent)
    : QWidget(parent),
      dialogs_(dialogs),
      mainWindow_(mainWindow),
      viewport_(platform::twipsPerPixel()) {
    common::setAccessibleRole(this, QAccessible::Window);
    // A fixed size: no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setObjectName("Form2");
    setWindowTitle("Preview");
    createControls();
    placeControls();
    setFonts();
    connectHandlers();
    watchPointer();
    pictureActions_ = new preview::PictureActions(*this, dialogs_);
    // The chart commands join the picture's context menu.
    const auto* chartActions = new preview::ChartActions(*this, dialogs_);  // a child of the window
    pictureActions_->addMenuSeparator();
    for (QAction* action : chartActions->actions()) pictureActions_->addMenuAction(action);
    Form_Load();
}

void Form2::createControls() {
    Picture2 = new PictureBox(this);
    Picture2->setObjectName("Picture2");
    common::setAccessibleRole(Picture2, QAccessible::Pane);
    Picture2->setAccessibleName("Picture area");
    Picture2->setAccessibleDescription(
        "The area the picture of the sheet is shown in: drag the picture, or use the scroll bars, "
        "to see the parts outside it.");
    Picture1 = new PictureBox(Picture2);
    Picture1->setObjectName("Picture1");
    common::setAccessibleRole(Picture1, QAccessible::Graphic);
    Zoom_Ori = new PictureBox(this);
    Zoom_Ori->setObjectName("Zoom_Ori");
    Zoom_Ori->hide();
    HScroll1 = makeScrollBar("HScroll1", Qt::Horizontal, this);
    VScroll1 = makeScrollBar("VScroll1", Qt::Vertical, this);
    Frame1 = new QGroupBox("Zoom:", this);
    Frame1->setObjectName("Frame1");
    Frame1->setAccessibleName("Zoom");
    Frame1->setAccessibleDescription(
        "Zoom In and Zoom Out make the picture larger or smaller in steps of a quarter, from a "
        "quarter of its size to four times its size.");
    PushButton1 = makeButton("PushButton1", "Zoom In", Frame1);
    PushButton2 = makeButton("PushButton2", "Zoom Out", Frame1);
    PushButton8 = makeButton("PushButton8", "< Back", this);
    PushButton6 = makeButton("PushButton6", "Save Results To Excel File", this);
}

// Design positions in twips. The picture boxes have no border, so a box's outer and inner sizes
// are the same and the image box's place is measured from the viewport's own corner.
void Form2::placeControls() {
    setFixedSize(px(9840), px(9390));
    place(Picture2, 120, 120, 9330, 7425);
    place(Picture1, 0, 0, 0, 0);
    place(Zoom_Ori, 10320, 480, 735, 375);
    place(VScroll1, 9450, 120, 255, 7425);
    place(HScroll1, 120, 7545, 9330, 255);
    place(Frame1, 120, 7860, 9600, 855);
    place(PushButton1, 240, 300, 4440, 405);
    place(PushButton2, 4800, 300, 4560, 405);
    place(PushButton8, 120, 8850, 4680, 405);
    place(PushButton6, 4920, 8850, 4800, 405);
}

void Form2::setFonts() {
    setFont(arialBold(9));
    for (QPushButton* button : {PushButton1, PushButton2, PushButton8, PushButton6})
        button->setFont(arialBold(11.25));
}

void Form2::connectHandlers() {
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form2::PushButton6_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form2::PushButton8_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form2::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &Form2::VScroll1_Change);
    Picture1->installEventFilter(this);
    Picture2->installEventFilter(this);  // the wheel also where the image leaves the viewport bare
}

void Form2::watchPointer() {
    pointer_ = new common::MousePointer(this);
    // A button ignores a move without a pressed button, and an ignored move would travel on to
    // the frame or window below and put the default pointer back.
    for (QPushButton* button : {PushButton1, PushButton2, PushButton8, PushButton6}) {
        button->setAttribute(Qt::WA_NoMousePropagation);
        pointer_->watchAsButton(button);
    }
    pointer_->watchAsBackground(this);
    pointer_->watchAsBackground(Frame1);
}

double Form2::outerWidth(const QWidget* box) { return platform::pixelsToTwips(box->width()); }
double Form2::outerHeight(const QWidget* box) { return platform::pixelsToTwips(box->height()); }
double Form2::innerWidth(const PictureBox* box) {
    return platform::pixelsToTwips(std::max(0, box->width() - 2 * box->borderWidth()));
}
double Form2::innerHeight(const PictureBox* box) {
    return platform::pixelsToTwips(std::max(0, box->height() - 2 * box->borderWidth()));
}

// ---- Loading and activation --------------------------------------------------------------------

void Form2::Form_Load() {
    common::ErrorTrap trap(dialogs_, "Form2.Form_Load");
    trap.step(100, [&] { common::Main::SetFormColors(this); });
    trap.step(104, [&] {
        setWindowIcon(mainWindow_ ? mainWindow_->windowIcon() : QApplication::windowIcon());
    });
    const QString cursorFile = common::Main::pathIn(common::Main::programFolder(), "HAND-M.CUR");
    if (trap.test(106, [&] { return common::Main::FileExists(cursorFile); }))
        trap.step(108, [&] { pointer_->setCustomCursor(common::loadCursorFile(cursorFile)); });
    trap.step(110, [&] { mFirstActivate = true; });
}

// The viewport set-up, for the first activation after loading and after each new picture. The
// picture boxes always keep what is drawn into them, and nothing is drawn with a pen, so the
// drawing mode needs no step of its own.
void Form2::Form_Activate() {
    common::ErrorTrap trap(dialogs_, "Form2.Form_Activate");
    const bool setUpDone = trap.test(100, [&] { return !mFirstActivate; });
    if (!setUpDone) {
        trap.step(106, [&] { Picture1->setAutoSize(true); });
        trap.step(110, [&] { common::Main::setBackgroundColor(Picture1, Qt::white); });
        trap.step(116, [&] { Zoom_Ori->hide(); });
        trap.step(118, [&] { Zoom_Ori->resize(Picture1->width(), Zoom_Ori->height()); });
        trap.step(120, [&] { Zoom_Ori->resize(Zoom_Ori->width(), Picture1->height()); });
        trap.step(122, [&] { Zoom_Ori->setPicture(Picture1->picture()); });
        // Factor 1.0 and the base and zoomed sizes from the unscaled box (lines 124 to 132).
        trap.step(124, [&] { viewport_.setBase(innerWidth(Zoom_Ori), innerHeight(Zoom_Ori)); });
        trap.step(134, [&] { RedrawZoomed(); });
        trap.step(136, [&] { SetupScrollbars(); });
    }
    trap.step(138, [&] { mFirstActivate = false; });
}

void Form2::loadPicture(const QImage& picture) {
    Picture1->setDrawnImage(QImage());
    Picture1->move(0, 0);
    Picture1->setPicture(picture);
    mFirstActivate = true;
    if (isVisible()) Form_Activate();
}

void Form2::loadPictureFile(const QString& path) {
    // The file holds the pixels the engine drew at the screen's pixel ratio; it does not keep
    // the ratio.
    QImage picture = platform::loadPictureFile(path);
    picture.setDevicePixelRatio(platform::pictureScale());
    if (picture.isNull()) {
        loadPicture(QImage());  // an earlier picture never passes for this one
        throw common::Failure(QString("The picture file \"%1\" could not be read.")
                                  .arg(QDir::toNativeSeparators(path)));
    }
    loadPicture(picture);
}

bool Form2::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) Form_Activate();
    return QWidget::event(event);
}

// Showing the window counts as its activation even where the window system does not make it the
// active window (offscreen, some window managers), so the set-up never waits for the focus.
void Form2::showEvent(QShowEvent* event) {
    fitToScreen();
    QWidget::showEvent(event);
    Form_Activate();
}

// A window larger than the screen's available area (the Preview at a scale factor of 2 on a
// 1080-pixel screen) is fitted to it, the one case where the window's size changes: the picture
// area gives up the difference, and everything below and beside it moves with its edge, so the
// buttons stay on the screen. The desktop's frame is counted where it is known, else a title bar
// as the style draws one.
void Form2::fitToScreen() {
    const QScreen* shownOn = screen();
    if (shownOn == nullptr) return;
    const QRect available = shownOn->availableGeometry();
    const QRect outer = frameGeometry(), inner = geometry();
    const QMargins frame =
        outer.size() != inner.size()
            ? QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                       outer.right() - inner.right(), outer.bottom() - inner.bottom())
            : QMargins(0, style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0);
    const int outerWidth = width() + frame.left() + frame.right();
    const int outerHeight = height() + frame.top() + frame.bottom();
    constexpr int kLeastPicture = 100;  // pixels each way the picture area keeps
    const int narrower = std::clamp(outerWidth - available.width(), 0,
                                    std::max(0, Picture2->width() - kLeastPicture));
    const int shorter = std::clamp(outerHeight - available.height(), 0,
                                   std::max(0, Picture2->height() - kLeastPicture));
    if (narrower == 0 && shorter == 0) return;
    Picture2->resize(Picture2->width() - narrower, Picture2->height() - shorter);
    VScroll1->setGeometry(VScroll1->x() - narrower, VScroll1->y(), VScroll1->width(),
                          VScroll1->height() - shorter);
    HScroll1->setGeometry(HScroll1->x(), HScroll1->y() - shorter, HScroll1->width() - narrower,
                          HScroll1->height());
    for (QWidget* below : {static_cast<QWidget*>(Frame1), static_cast<QWidget*>(PushButton8),
                           static_cast<QWidget*>(PushButton6)})
        below->move(below->x(), below->y() - shorter);
    setFixedSize(width() - narrower, height() - shorter);
    const int left =
        std::clamp(x(), available.left(),
                   std::max(available.left(), available.right() + 1 - (outerWidth - narrower)));
    const int top =
        std::clamp(y(), available.top(),
                   std::max(available.top(), available.bottom() + 1 - (outerHeight - shorter)));
    move(left, top);
    if (!mFirstActivate) SetupScrollbars();  // a set-up done: the bars follow the new viewport
}

// ---- Zoom --------------------------------------------------------------------------------------

void Form2::PushButton1_Click() {
    common::ErrorTrap trap(dialogs_, "Form2.PushButton1_Click");
    trap.step(100, [&] { ZoomStep(false); });
}

void Form2::PushButton2_Click() {
    common::ErrorTrap trap(dialogs_, "Form2.PushButton2_Click");
    trap.step(100, [&] { ZoomStep(true); });
}

void Form2::ZoomStep(bool zoomOut) { SetZoom(viewport_.zoomCandidate(zoomOut)); }

// After a redraw the bars get the ranges and steps of the new size, so that scrolling and the
// bar update after a drag reach the whole zoomed image.
void Form2::SetZoom(float factor) {
    if (!viewport_.SetZoom(factor)) return;
    if (RedrawZoomed()) SetupScrollbars();
}

bool Form2::RedrawZoomed() {
    if (!viewport_.RedrawZoomed()) return false;  // too large: the box keeps the previous zoom
    const QSize size(std::max(0, px(viewport_.mZoomWidth)), std::max(0, px(viewport_.mZoomHeight)));
    const QSize source(px(viewport_.mBaseWidth), px(viewport_.mBaseHeight));
    Picture1->clearPicture();
    Picture1->resize(size);
    Picture1->setDrawnImage(scaledPicture(Zoom_Ori->picture(), source, size));
    pointer_->set(common::MousePointer::Default);
    HScroll1->setValue(0);
    VScroll1->setValue(0);
    HScroll1->setEnabled(innerWidth(Picture2) < viewport_.mZoomWidth);
    VScroll1->setEnabled(innerHeight(Picture2) < viewport_.mZoomHeight);
    return true;
}

// ---- Scroll bars and dragging ------------------------------------------------------------------

void Form2::SetupScrollbars() {
    Picture1->move(0, 0);
    const double imageWidth = outerWidth(Picture1), imageHeight = outerHeight(Picture1);
    const double viewWidth = outerWidth(Picture2), viewHeight = outerHeight(Picture2);
    viewport_.SetupScrollbars(imageWidth, imageHeight, viewWidth, viewHeight);
    applyBar(HScroll1, preview::Viewport::setupBar(imageWidth, viewWidth));
    applyBar(VScroll1, preview::Viewport::setupBar(imageHeight, viewHeight));
}

void Form2::HScroll1_Change() {
    Picture1->move(px(viewport_.leftForPosition(HScroll1->value())), Picture1->y());
}

void Form2::VScroll1_Change() {
    Picture1->move(Picture1->x(), px(viewport_.topForPosition(VScroll1->value())));
}

void Form2::Picture1_MouseDown(Qt::MouseButtons, float x, float y) { viewport_.press(x, y); }

void Form2::Picture1_MouseMove(Qt::MouseButtons buttons, float x, float y) {
    if (buttons == Qt::NoButton) return;
    const preview::TwipsPoint box{float(platform::pixelsToTwips(Picture1->x())),
                                  float(platform::pixelsToTwips(Picture1->y()))};
    const preview::TwipsPoint next =
        viewport_.dragTo(box, x, y, innerWidth(Picture2), innerHeight(Picture2),
                         outerWidth(Picture1), outerHeight(Picture1));
    Picture1->move(px(next.left), px(next.top));
}

void Form2::Picture1_MouseUp(Qt::MouseButtons, float, float) {
    const double left = platform::pixelsToTwips(Picture1->x());
    const double top = platform::pixelsToTwips(Picture1->y());
    // The bars move to where the image was left, so their thumbs show the view.
    if (const auto position =
            viewport_.releasePosition(left, outerWidth(Picture1), outerWidth(Picture2),
                                      viewport_.mHStep, HScroll1->maximum()))
        HScroll1->setValue(*position);
    if (const auto position =
            viewport_.releasePosition(top, outerHeight(Picture1), outerHeight(Picture2),
                                      viewport_.mVStep, VScroll1->maximum()))
        VScroll1->setValue(*position);
}

void Form2::SetHScrollbarByPercent(QScrollBar* hScrollbar, std::int16_t percent) {
    if (!hScrollbar) return;
    const auto position = preview::Viewport::positionForPercent(percent, hScrollbar->maximum());
    if (position) hScrollbar->setValue(*position);
}

void Form2::SetVScrollbarByPercent(QScrollBar* vScrollbar, std::int16_t percent) {
    SetHScrollbarByPercent(vScrollbar, percent);  // the same rule for either orientation
}

// The wheel scrolls the picture a few sheet rows a notch; with Shift, or a sideways turn, it
// scrolls sideways.
void Form2::Picture2_MouseWheel(const QWheelEvent& wheel) {
    const QPoint turn = wheel.angleDelta();
    const bool sideways = (wheel.modifiers() & Qt::ShiftModifier) || turn.y() == 0;
    const int delta = sideways ? (turn.x() != 0 ? turn.x() : turn.y()) : turn.y();
    wheelBar(sideways ? HScroll1 : VScroll1, delta);
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Picture1 || watched == Picture2) && event->type() == QEvent::Wheel) {
        Picture2_MouseWheel(*static_cast<QWheelEvent*>(event));
        event->accept();
        return true;
    }
    if (watched == Picture1) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove ||
            type == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const float x = float(platform::pixelsToTwips(mouse->position().x()));
            const float y = float(platform::pixelsToTwips(mouse->position().y()));
            if (type == QEvent::MouseButtonPress)
                Picture1_MouseDown(mouse->buttons() | mouse->button(), x, y);
            else if (type == QEvent::MouseMove)
                Picture1_MouseMove(mouse->buttons(), x, y);
            else
                Picture1_MouseUp(mouse->button(), x, y);
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Saving, going back and closing ------------------------------------------------------------

void Form2::PushButton6_Click() {
    common::ErrorTrap trap(dialogs_, "Form2.PushButton6_Click");
    int answer = 0;  // neither Yes nor No
    QString fileName("");
    trap.step(112, [&] { fileName = dialogs_.saveFileName(kSaveTitle, kSaveFilter, QString("")); });
    if (trap.test(116, [&] { return !fileName.isEmpty(); })) {
        if (trap.test(118, [&] { return common::Main::FileExists(fileName); })) {
            trap.step(120, [&] {
                answer = dialogs_.messageBox("Are you sure you wish to overwrite " +
                                                 platform::messageExcerpt(fileName) + " ?",
                                             platform::kYesNo);
            });
            // The old file is not deleted first: the copy replaces it in one step, so a failed
            // copy leaves it as it was.
        } else {
            answer = platform::kAnswerYes;
        }
    }
    bool copied = true;
    if (trap.test(128, [&] { return answer == platform::kAnswerYes; }))
        copied = trap.step(130, [&] { copyWorkbook(mExcelFile, fileName); });
    if (copied) trap.step(132, [&] { dialogs_.messageBox("Done.", platform::kOkOnly); });
}

// A byte-for-byte copy through a temporary file in the target's folder that replaces the target
// in one step; on failure the target is untouched and no partial file is left. Only where the
// folder allows no new file while the target itself may be written (the user has agreed to
// replace it) is the target written in place, and a failure then is told with its name.
void Form2::copyWorkbook(const QString& source, const QString& target) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw common::Failure(QString("The workbook \"%1\" could not be read: %2.")
                                  .arg(QDir::toNativeSeparators(source), in.errorString()));
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw common::Failure(QString("The workbook \"%1\" could not be read: %2.")
                                  .arg(QDir::toNativeSeparators(source), in.errorString()));
    QSaveFile out(target);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        throw common::Failure(QString("The file \"%1\" could not be created: %2.")
                                  .arg(platform::messageExcerpt(QDir::toNativeSeparators(target)),
                                       out.errorString()));
    if (out.write(bytes) != bytes.size() || !out.commit())
        throw common::Failure(QString("The file \"%1\" could not be written: %2.")
                                  .arg(platform::messageExcerpt(QDir::toNativeSeparators(target)),
                                       out.errorString()));
}

void Form2::PushButton8_Click() {
    common::ErrorTrap trap(dialogs_, "Form2.PushButton8_Click");
    trap.step(102, [&] { common::Main::DeleteFileQuietly(mExcelFile); });
    trap.step(104, [&] {
        if (!mainWindow_) throw common::Failure("There is no main window to go back to.");
        mainWindow_->show();
    });
    trap.step(106, [&] { hide(); });
}

void Form2::Form_QueryUnload() {
    common::Main::DeleteFileQuietly(mExcelFile);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void Form2::Form_Unload() { QCoreApplication::exit(0); }

void Form2::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    event->accept();
    Form_Unload();
}
