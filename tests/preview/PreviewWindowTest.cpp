// The Preview window's controls and its viewport on real widgets (offscreen).
#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <cmath>
#include <string>

#include "PreviewFixture.h"
#include "common/MousePointer.h"
#include "platform/Twips.h"
#include "preview/PictureBox.h"

namespace {

class PreviewWindow : public PreviewFixture {
  protected:
    void SetUp() override {
        PreviewFixture::SetUp();
        // The expected pixel sizes below are worked out at 15 twips to the pixel.
        ASSERT_DOUBLE_EQ(platform::twipsPerPixel(), 15.0);
        findControls();
    }

    void freshWindow() {
        newWindow();
        findControls();
    }

    void findControls() {
        picture1 = control<PictureBox>("Picture1");
        zoomOri = control<PictureBox>("Zoom_Ori");
        hScroll = control<QScrollBar>("HScroll1");
        vScroll = control<QScrollBar>("VScroll1");
        ASSERT_TRUE(picture1 && zoomOri && hScroll && vScroll);
    }

    void clickAll(const std::string& clicks) {
        for (char c : clicks)
            control<QPushButton>(c == '+' ? "PushButton1" : "PushButton2")->click();
    }

    PictureBox* picture1 = nullptr;
    PictureBox* zoomOri = nullptr;
    QScrollBar* hScroll = nullptr;
    QScrollBar* vScroll = nullptr;
};

int greyish(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int g = qGreen(image.pixel(x, y));
            if (g > 0 && g < 255) ++count;
        }
    return count;
}

}  // namespace

TEST_F(PreviewWindow, ControlsSitAtTheirDesignPlaces) {
    struct Row {
        const char* name;
        const char* parent;
        QRect twips;
        const char* text;
    };
    const Row rows[] = {
        {"Picture2", "Form2", {120, 120, 9330, 7425}, nullptr},
        {"Picture1", "Picture2", {0, 0, 0, 0}, nullptr},
        {"Zoom_Ori", "Form2", {10320, 480, 735, 375}, nullptr},
        {"VScroll1", "Form2", {9450, 120, 255, 7425}, nullptr},
        {"HScroll1", "Form2", {120, 7545, 9330, 255}, nullptr},
        {"Frame1", "Form2", {120, 7860, 9600, 855}, "Zoom:"},
        {"PushButton1", "Frame1", {240, 300, 4440, 405}, "Zoom In"},
        {"PushButton2", "Frame1", {4800, 300, 4560, 405}, "Zoom Out"},
        {"PushButton8", "Form2", {120, 8850, 4680, 405}, "< Back"},
        {"PushButton6", "Form2", {4920, 8850, 4800, 405}, "Save Results To Excel File"},
    };
    for (const Row& r : rows) {
        QWidget* w = control<QWidget>(r.name);
        ASSERT_NE(w, nullptr) << r.name;
        EXPECT_EQ(w->parentWidget()->objectName(), r.parent) << r.name;
        EXPECT_EQ(w->geometry(),
                  twipsRect(r.twips.x(), r.twips.y(), r.twips.width(), r.twips.height()))
            << r.name;
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            EXPECT_EQ(button->text(), r.text) << r.name;
            // Arial, drawn with the bundled Liberation Sans.
            EXPECT_EQ(QFontInfo(button->font()).family(), "Liberation Sans");
            EXPECT_TRUE(button->font().bold());
            EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 11.25);
        }
        if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            EXPECT_EQ(frame->title(), r.text);
        }
    }
}

TEST_F(PreviewWindow, WindowHasItsCaptionFixedClientAreaAndFont) {
    EXPECT_EQ(form->objectName(), "Form2");
    EXPECT_EQ(form->windowTitle(), "Preview");
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->minimumSize(), QSize(px(9840), px(9390)));
    EXPECT_EQ(form->maximumSize(), QSize(px(9840), px(9390)));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
    // Arial, drawn with the bundled Liberation Sans.
    EXPECT_EQ(QFontInfo(form->font()).family(), "Liberation Sans");
    EXPECT_TRUE(form->font().bold());
    EXPECT_DOUBLE_EQ(form->font().pointSizeF(), 9.0);
    EXPECT_TRUE(zoomOri->isHidden());
    EXPECT_TRUE(form->firstActivatePending());
    for (QScrollBar* bar : {hScroll, vScroll}) {
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->singleStep(), 1);
        EXPECT_EQ(bar->pageStep(), 1);
    }
    EXPECT_EQ(hScroll->orientation(), Qt::Horizontal);
    EXPECT_EQ(vScroll->orientation(), Qt::Vertical);
    // What a screen reader says of the bars and the zoom frame.
    for (QWidget* named : {static_cast<QWidget*>(hScroll), static_cast<QWidget*>(vScroll),
                           control<QWidget>("Frame1")}) {
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(named);
        ASSERT_NE(spoken, nullptr);
        EXPECT_FALSE(spoken->text(QAccessible::Name).isEmpty()) << named->objectName().toStdString();
        EXPECT_FALSE(spoken->text(QAccessible::Description).isEmpty())
            << named->objectName().toStdString();
    }
    EXPECT_NE(hScroll->accessibleName(), vScroll->accessibleName());
    EXPECT_EQ(control<QWidget>("Frame1")->accessibleName(), "Zoom");
}

TEST_F(PreviewWindow, PointerFollowsButtonsAndBackground) {
    struct Row {
        const char* over;
        int pointer;
    };
    const Row rows[] = {{"PushButton1", 99}, {"Frame1", 0}, {"PushButton2", 99}, {"Form2", 0},
                        {"PushButton8", 99}, {"Form2", 0},  {"PushButton6", 99}, {"Frame1", 0}};
    for (const Row& r : rows) {
        QWidget* w = std::string(r.over) == "Form2" ? form.get() : control<QWidget>(r.over);
        mouse(w, QEvent::MouseMove, QPoint(2, 2), Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(form->mousePointer().value(), r.pointer) << r.over;
    }
}

TEST_F(PreviewWindow, FreshWindowShowsThePictureAtFactorOne) {
    const QImage picture = patternPicture(200, 150);
    showWith(picture);
    EXPECT_FALSE(form->firstActivatePending());
    EXPECT_EQ(form->viewport().mZoom, 1.0f);
    EXPECT_EQ(form->viewport().mBaseWidth, 2998);
    EXPECT_EQ(form->viewport().mBaseHeight, 2248);
    EXPECT_EQ(picture1->geometry(), QRect(0, 0, 200, 150));
    EXPECT_EQ(picture1->drawnImage(), picture);
    EXPECT_EQ(zoomOri->picture(), picture);
    EXPECT_TRUE(zoomOri->isHidden());
    EXPECT_FALSE(hScroll->isEnabled());
    EXPECT_FALSE(vScroll->isEnabled());
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(PreviewWindow, ActivationRunsTheSetUpOnce) {
    form->loadPicture(patternPicture(200, 150));
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
    EXPECT_FALSE(form->firstActivatePending());
    EXPECT_EQ(picture1->size(), QSize(200, 150));
    clickAll("--");
    form->hide();
    form->show();
    QCoreApplication::sendEvent(form.get(), &activate);
    EXPECT_EQ(form->viewport().mZoom, 0.5f);  // no new picture: the zoom stays
    EXPECT_EQ(picture1->size(), QSize(100, 75));
}

// Return on a focused button presses it, as Space does (and as the desktop the program comes
// from has it); Enter on the keypad too.
TEST_F(PreviewWindow, ReturnPressesTheFocusedButton) {
    showWith(patternPicture(250, 150));
    for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        auto* zoomIn = control<QPushButton>("PushButton1");
        const float before = form->viewport().mZoom;
        zoomIn->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(zoomIn, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(zoomIn, &release);
        EXPECT_EQ(form->viewport().mZoom, before + 0.25f) << key;
    }
}

// On a screen whose available area is smaller than the window (the Preview at a scale factor of
// 2 on 1920 x 1080, or at 1.25 on 1366 x 768; CTest runs this under Xvfb so), the picture area
// shrinks and every button stays on the screen; where the window fits, it keeps its designed
// size.
TEST_F(PreviewWindow, TheWindowFitsTheScreensAvailableArea) {
    showWith(patternPicture(700, 900));
    QCoreApplication::processEvents();
    const QRect available = form->screen()->availableGeometry();
    const QSize designed(px(9840), px(9390));
    const bool fits = designed.height() + form->style()->pixelMetric(QStyle::PM_TitleBarHeight) <=
                          available.height() &&
                      designed.width() <= available.width();
    if (fits) {
        EXPECT_EQ(form->size(), designed);
        EXPECT_EQ(control<QWidget>("Picture2")->size(), QSize(px(9330), px(7425)));
    } else {
        EXPECT_LT(form->height(), designed.height());
        EXPECT_LE(form->frameGeometry().height(), available.height());
    }
    EXPECT_TRUE(available.contains(form->frameGeometry()))
        << "window " << form->frameGeometry().x() << "," << form->frameGeometry().y() << " "
        << form->frameGeometry().width() << "x" << form->frameGeometry().height();
    for (const char* name : {"PushButton1", "PushButton2", "PushButton8", "PushButton6"}) {
        const auto* button = control<QPushButton>(name);
        const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
        EXPECT_TRUE(available.contains(onScreen)) << name;
        EXPECT_TRUE(
            form->rect().contains(QRect(button->mapTo(form.get(), QPoint(0, 0)), button->size())))
            << name;
    }
    // The viewport's bars reach the whole picture in the area it has.
    const int viewHeight = control<QWidget>("Picture2")->height();
    EXPECT_EQ(vScroll->y() + vScroll->height(), control<QWidget>("Picture2")->y() + viewHeight);
    vScroll->setValue(vScroll->maximum());
    EXPECT_NEAR(picture1->y() + picture1->height(), viewHeight, 1);
}

TEST_F(PreviewWindow, ZoomButtonsStepTheFactorAndResizeTheImage) {
    struct Row {
        std::string clicks;
        float zoom;
        QSize box;
    };
    // Base 2998 x 2248 twips, 200 x 150 pixels.
    const Row rows[] = {
        {"+", 1.25f, {250, 187}},   {"++", 1.5f, {300, 225}},  {"++++++++++++", 4.0f, {799, 599}},
        {"++-", 1.25f, {250, 187}}, {"-", 0.75f, {150, 112}},  {"--", 0.5f, {100, 75}},
        {"---", 0.25f, {50, 37}},   {"----", 0.25f, {50, 37}}, {"---+++", 1.0f, {200, 150}},
    };
    for (const Row& r : rows) {
        freshWindow();
        showWith(patternPicture(200, 150));
        clickAll(r.clicks);
        EXPECT_EQ(form->viewport().mZoom, r.zoom) << r.clicks;
        EXPECT_EQ(picture1->size(), r.box) << r.clicks;
        EXPECT_EQ(picture1->drawnImage().size(), r.box) << r.clicks;
        EXPECT_TRUE(picture1->picture().isNull()) << r.clicks;
        EXPECT_EQ(picture1->pos(), QPoint(0, 0)) << r.clicks;
        EXPECT_TRUE(dialogs.shown().isEmpty()) << r.clicks;
    }
}

TEST_F(PreviewWindow, EveryZoomScalesSmoothlyFromTheUnscaledPicture) {
    const QImage picture = patternPicture(200, 150);
    showWith(picture);
    clickAll("+");
    EXPECT_GT(greyish(picture1->drawnImage()), 1000);  // blended, not nearest-pixel
    clickAll("----+++");
    EXPECT_EQ(form->viewport().mZoom, 1.0f);
    EXPECT_EQ(picture1->drawnImage(), picture);  // no detail lost on the way
    EXPECT_EQ(zoomOri->picture(), picture);
}

TEST_F(PreviewWindow, PictureBeyondTheBoundStaysAtItsNaturalSize) {
    const QImage picture = patternPicture(4100, 150);  // 4000 pixels wide or more at 1.0
    showWith(picture);
    EXPECT_EQ(form->viewport().mZoom, 1.0f);
    EXPECT_EQ(picture1->picture(), picture);
    EXPECT_EQ(picture1->size(), QSize(4100, 150));
    clickAll("+");
    EXPECT_EQ(form->viewport().mZoom, 1.0f);
    EXPECT_EQ(picture1->size(), QSize(4100, 150));
    clickAll("-");  // from 1.0 again: 0.75 fits
    EXPECT_EQ(form->viewport().mZoom, 0.75f);
    EXPECT_EQ(picture1->size(), QSize(3075, 112));
}

TEST_F(PreviewWindow, ScrollBarsMoveTheImageByTheirSteps) {
    showWith(patternPicture(700, 600));  // 10500 x 9000 twips against 9330 x 7425
    ASSERT_TRUE(hScroll->isEnabled());
    ASSERT_TRUE(vScroll->isEnabled());
    EXPECT_EQ(hScroll->maximum(), 117);  // 1170 twips in steps of 10
    EXPECT_EQ(vScroll->maximum(), 158);  // 1575: 157.5 to even
    struct Row {
        QScrollBar* bar;
        int position;
        QPoint box;
    };
    const Row rows[] = {{hScroll, 50, {-33, 0}},     {hScroll, 117, {-78, 0}},
                        {vScroll, 158, {-78, -105}}, {hScroll, 0, {0, -105}},
                        {vScroll, 1, {0, -1}},       {vScroll, 0, {0, 0}}};
    for (const Row& r : rows) {
        r.bar->setValue(r.position);
        EXPECT_EQ(picture1->pos(), r.box) << r.position;
        EXPECT_EQ(picture1->size(), QSize(700, 600));
    }
}

// An arrow click moves the image one sheet row (20 pixels), a click in the trough one viewport,
// a notch of the wheel over the picture as many rows as the desktop's wheel lines; with Shift the
// wheel scrolls sideways.
TEST_F(PreviewWindow, BarsMoveBySheetRowsAndViewportsAndFollowTheWheel) {
    struct Row {
        const char* what;
        QScrollBar::SliderAction action;  // on the vertical bar, or SliderNoAction for the wheel
        int wheelDelta;
        Qt::KeyboardModifiers modifiers;
        QPoint box;
    };
    const Row rows[] = {
        {"arrow down", QScrollBar::SliderSingleStepAdd, 0, {}, {0, -20}},
        {"trough below", QScrollBar::SliderPageStepAdd, 0, {}, {0, -495}},  // 7420 twips
        {"wheel towards the user", QScrollBar::SliderNoAction, -120, {}, {0, -60}},
        {"wheel away at the top", QScrollBar::SliderNoAction, 120, {}, {0, 0}},
        {"wheel with Shift", QScrollBar::SliderNoAction, -120, Qt::ShiftModifier, {-60, 0}},
    };
    QApplication::setWheelScrollLines(3);
    for (const Row& r : rows) {
        freshWindow();
        showWith(patternPicture(1400, 1600));  // 21000 x 24000 twips
        ASSERT_EQ(vScroll->singleStep(), 30);
        ASSERT_EQ(vScroll->pageStep(), 742);
        ASSERT_EQ(hScroll->pageStep(), 933);
        if (r.action != QScrollBar::SliderNoAction) {
            vScroll->triggerAction(r.action);
        } else {
            // Over the image box, and over the viewport where the image leaves it uncovered.
            QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, r.wheelDelta),
                              Qt::NoButton, r.modifiers, Qt::NoScrollPhase, false);
            QApplication::sendEvent(picture1, &wheel);
        }
        EXPECT_EQ(picture1->pos(), r.box) << r.what;
    }
}

TEST_F(PreviewWindow, WheelOverTheViewportScrollsOnlyEnabledBars) {
    QApplication::setWheelScrollLines(3);
    showWith(patternPicture(200, 1600));  // narrower than the viewport, taller
    auto* picture2 = control<PictureBox>("Picture2");
    ASSERT_FALSE(hScroll->isEnabled());
    QWheelEvent down(QPointF(400, 5), QPointF(400, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(picture2, &down);
    EXPECT_EQ(picture1->pos(), QPoint(0, -60));
    QWheelEvent sideways(QPointF(400, 5), QPointF(400, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::ShiftModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(picture2, &sideways);
    EXPECT_EQ(picture1->pos(), QPoint(0, -60));
}

TEST_F(PreviewWindow, DragPansWithinTheViewportAndReleaseSnapsTheBars) {
    struct Row {
        const char* what;
        QPoint press, moveTo;
        Qt::MouseButtons held;
        QPoint dragged;
        int hPosition, vPosition;
        QPoint released;
    };
    const Row rows[] = {
        {"right and down", {100, 100}, {150, 120}, Qt::LeftButton, {0, 0}, 0, 0, {0, 0}},
        {"far left and up",
         {100, 100},
         {-300, -300},
         Qt::LeftButton,
         {-78, -105},
         117,
         158,
         {-78, -105}},
        {"part way", {100, 100}, {67, 100}, Qt::RightButton, {-33, 0}, 49, 0, {-33, 0}},
        {"no button held", {100, 100}, {0, 0}, Qt::NoButton, {0, 0}, 0, 0, {0, 0}},
    };
    for (const Row& r : rows) {
        freshWindow();
        showWith(patternPicture(700, 600));
        mouse(picture1, QEvent::MouseButtonPress, r.press, Qt::LeftButton, Qt::LeftButton);
        mouse(picture1, QEvent::MouseMove, r.moveTo, Qt::NoButton, r.held);
        EXPECT_EQ(picture1->pos(), r.dragged) << r.what;
        mouse(picture1, QEvent::MouseButtonRelease, r.moveTo, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(hScroll->value(), r.hPosition) << r.what;
        EXPECT_EQ(vScroll->value(), r.vPosition) << r.what;
        EXPECT_EQ(picture1->pos(), r.released) << r.what;
    }
}

TEST_F(PreviewWindow, ClickWithoutMovementStillBringsTheBarsInLine) {
    showWith(patternPicture(700, 600));
    hScroll->setValue(50);  // 500 twips: -33 pixels, which is 495 twips
    ASSERT_EQ(picture1->x(), -33);
    mouse(picture1, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(picture1, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(hScroll->value(), 49);  // 42 % of 117
    EXPECT_EQ(picture1->x(), -33);
}

TEST_F(PreviewWindow, SmallImageDraggedStaysInPlace) {
    showWith(patternPicture(200, 150));
    mouse(picture1, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
    mouse(picture1, QEvent::MouseMove, {40, 40}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(picture1->pos(), QPoint(0, 0));
    mouse(picture1, QEvent::MouseMove, {60, 60}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(picture1->pos(), QPoint(0, 0));
    mouse(picture1, QEvent::MouseButtonRelease, {40, 60}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(hScroll->value(), 0);
    EXPECT_EQ(vScroll->value(), 0);
    EXPECT_TRUE(dialogs.shown().isEmpty());
}

TEST_F(PreviewWindow, NewPictureGetsItsOwnSetUp) {
    showWith(patternPicture(250, 150));
    clickAll("--");
    ASSERT_EQ(form->viewport().mZoom, 0.5f);
    control<QPushButton>("PushButton8")->click();
    ASSERT_FALSE(form->isVisible());

    const QImage next = patternPicture(700, 600);
    showWith(next);
    EXPECT_EQ(form->viewport().mZoom, 1.0f);
    EXPECT_EQ(form->viewport().mBaseWidth, 10498);
    EXPECT_EQ(picture1->geometry(), QRect(0, 0, 700, 600));
    EXPECT_TRUE(picture1->picture().isNull());  // redrawn at 1.0 into the drawing surface
    EXPECT_EQ(picture1->drawnImage(), next);
    EXPECT_EQ(zoomOri->picture(), next);
    EXPECT_TRUE(hScroll->isEnabled());
    EXPECT_EQ(hScroll->maximum(), 117);
    EXPECT_EQ(vScroll->maximum(), 158);
    EXPECT_EQ(form->viewport().mHStep, 10);

    control<QPushButton>("PushButton8")->click();
    showWith(patternPicture(100, 80));
    EXPECT_EQ(picture1->geometry(), QRect(0, 0, 100, 80));
    EXPECT_FALSE(hScroll->isEnabled());
    EXPECT_EQ(form->viewport().mHStep, 0);
}

TEST_F(PreviewWindow, PercentSettersOnTheBars) {
    struct Row {
        int maximum, before, percent, after;
    };
    const Row rows[] = {{37, 5, 100, 37}, {37, 5, 101, 5}, {37, 5, -1, 5},
                        {5, 0, 50, 2},    {117, 3, 0, 0},  {117, 0, 42, 49}};
    for (const Row& r : rows) {
        for (QScrollBar* bar : {hScroll, vScroll}) {
            bar->setMaximum(r.maximum);
            bar->setValue(r.before);
            if (bar == hScroll)
                form->SetHScrollbarByPercent(bar, std::int16_t(r.percent));
            else
                form->SetVScrollbarByPercent(bar, std::int16_t(r.percent));
            EXPECT_EQ(bar->value(), r.after) << r.percent << "% of " << r.maximum;
        }
    }
}

TEST_F(PreviewWindow, MissingPictureFileIsReportedToTheCaller) {
    EXPECT_THROW(form->loadPictureFile(tempDir() + "/temp.bmp"), std::exception);
    const QString bmp = tempDir() + "/temp.bmp";
    const QImage picture = patternPicture(40, 30);
    ASSERT_TRUE(picture.save(bmp, "BMP"));
    form->loadPictureFile(bmp);
    form->show();
    EXPECT_EQ(zoomOri->picture().size(), QSize(40, 30));
    EXPECT_EQ(zoomOri->picture().pixel(3, 4), picture.pixel(3, 4));
}
