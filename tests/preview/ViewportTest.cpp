// The viewport arithmetic in twips, without widgets.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "preview/Viewport.h"

using preview::BarSetup;
using preview::TwipsPoint;
using preview::Viewport;

namespace {

// One click of "Zoom In" ('+') or "Zoom Out" ('-') as the window runs it.
bool click(Viewport& v, char c) { return v.SetZoom(v.zoomCandidate(c == '-')) && v.RedrawZoomed(); }

// A viewport for an unscaled picture of width x height twips, on a screen of 15 twips a pixel
// (96 dots per inch) unless told.
Viewport withBase(std::int32_t width, std::int32_t height, double twipsPerPixel = 15) {
    Viewport v(twipsPerPixel);
    v.setBase(width + 2, height + 2);
    return v;
}

}  // namespace

TEST(PreviewViewportRounding, HalvesGoToTheEvenNeighbour) {
    struct Row {
        double in;
        double out;
    };
    const Row rows[] = {{0.5, 0},   {1.5, 2},   {2.5, 2},    {3.5, 4},    {-0.5, 0},
                        {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {11.5, 12}};
    for (const Row& r : rows) EXPECT_EQ(preview::roundHalfEven(r.in), r.out) << r.in;
}

TEST(PreviewViewportRounding, SixteenBitResultsSaturateInsteadOfOverflowing) {
    struct Row {
        double in;
        std::int16_t out;
    };
    const Row rows[] = {{32766.5, 32766},   {32767.5, 32767}, {1e12, 32767},
                        {-32768.5, -32768}, {-1e12, -32768},  {117.5, 118}};
    for (const Row& r : rows) EXPECT_EQ(preview::roundToInt16(r.in), r.out) << r.in;
}

TEST(PreviewViewportSetUp, BaseSizeIsInnerSizeLessTwoRoundedHalvesToEven) {
    struct Row {
        double inner;
        std::int32_t base;
    };
    const Row rows[] = {{3000, 2998}, {2.5, 0}, {3.5, 2}, {4.5, 2}, {17, 15}, {0, -2}};
    for (const Row& r : rows) {
        Viewport v;
        v.mZoom = 2.0f;
        v.setBase(r.inner, r.inner + 1);
        EXPECT_EQ(v.mZoom, 1.0f);
        EXPECT_EQ(v.mBaseWidth, r.base) << r.inner;
        EXPECT_EQ(v.mZoomWidth, r.base) << r.inner;
        EXPECT_EQ(v.mBaseHeight, preview::roundToInt32(r.inner + 1 - 2)) << r.inner;
        EXPECT_EQ(v.mZoomHeight, v.mBaseHeight);
    }
}

// The pictures of a sheet: six entries (256 x 340 pixels) and forty (256 x 1020 pixels).
TEST(PreviewViewportZoom, ClicksMoveByQuarterStepsWithinTheBounds) {
    struct Row {
        std::string clicks;
        std::int32_t height;
        float zoom;
    };
    const Row rows[] = {
        {"+", 5100, 1.25f},
        {"-", 5100, 0.75f},
        {"---", 5100, 0.25f},
        {"----", 5100, 0.25f},            // "Zoom Out" at 0.25 changes nothing
        {"++++++++++++", 5100, 4.0f},     // twelve steps reach 4.0
        {"+++++++++++++++", 5100, 4.0f},  // "Zoom In" at 4.0 changes nothing
        {"+-", 5100, 1.0f},
        {"---++++", 5100, 1.25f},
        {"++++++++++++------------", 5100, 1.0f},  // no drift
        {"-", 15300, 0.75f},
        {"---", 15300, 0.25f},
        {"++++++++++++", 15300, 4.0f},
    };
    for (const Row& r : rows) {
        Viewport v = withBase(3840, r.height);
        for (char c : r.clicks) click(v, c);
        EXPECT_EQ(v.mZoom, r.zoom) << r.clicks;
        EXPECT_EQ(v.mZoomWidth, static_cast<std::int32_t>(double(r.zoom) * 3840)) << r.clicks;
        EXPECT_EQ(v.mZoomHeight, static_cast<std::int32_t>(double(r.zoom) * r.height)) << r.clicks;
    }
}

TEST(PreviewViewportZoom, FactorsOutsideTheRangeAreIgnored) {
    const float rejected[] = {0.0f, 0.2499f, 4.0001f, 4.25f, -1.0f};
    for (float f : rejected) {
        Viewport v = withBase(100, 100);
        v.mZoom = 2.0f;
        EXPECT_FALSE(v.SetZoom(f)) << f;
        EXPECT_EQ(v.mZoom, 2.0f) << f;
    }
    Viewport v = withBase(100, 100);
    EXPECT_TRUE(v.SetZoom(0.25f));
    EXPECT_TRUE(v.SetZoom(4.0f));
}

TEST(PreviewViewportZoom, ZoomedSizeIsTheFlooredProduct) {
    Viewport v = withBase(2999, 1001);
    ASSERT_TRUE(click(v, '+'));
    EXPECT_EQ(v.mZoomWidth, 3748);   // 3748.75
    EXPECT_EQ(v.mZoomHeight, 1251);  // 1251.25
    ASSERT_TRUE(click(v, '-'));
    ASSERT_TRUE(click(v, '-'));
    EXPECT_EQ(v.mZoomWidth, 2249);  // 2249.25
    EXPECT_EQ(v.mZoomHeight, 750);  // 750.75
}

// The bound is 4000 x 9000 pixels of the screen: at 15 twips a pixel 60000 x 135000 twips.
TEST(PreviewViewportZoom, SizeBoundResetsTheFactorToOne) {
    struct Row {
        std::int32_t baseWidth, baseHeight;
        double twipsPerPixel;
        bool redrawn;
    };
    const Row rows[] = {
        {3840, 5100, 15, true},      // the six-entry picture grows
        {47999, 100, 15, true},      // 59998 twips: 3999.9 pixels wide
        {48000, 100, 15, false},     // exactly 4000 pixels wide
        {50000, 100, 15, false},     //
        {100, 107999, 15, true},     // 134998 twips: 8999.9 pixels tall
        {100, 108000, 15, false},    // exactly 9000 pixels tall
        {60000, 120000, 15, false},  // both
        {31999, 100, 10, true},      // at 144 dots per inch: 3999.9 pixels
        {32000, 100, 10, false},     // 4000 pixels
        {100, 72000, 10, false},     // 9000 pixels
    };
    for (const Row& r : rows) {
        Viewport v = withBase(r.baseWidth, r.baseHeight, r.twipsPerPixel);
        ASSERT_TRUE(v.SetZoom(v.zoomCandidate(false)));
        EXPECT_EQ(v.RedrawZoomed(), r.redrawn) << r.baseWidth << "x" << r.baseHeight;
        if (r.redrawn) {
            EXPECT_EQ(v.mZoom, 1.25f);
            continue;
        }
        EXPECT_EQ(v.mZoom, 1.0f);
        EXPECT_EQ(v.mBaseWidth, r.baseWidth);
        EXPECT_EQ(v.mBaseHeight, r.baseHeight);
        EXPECT_EQ(v.mZoomWidth, r.baseWidth);
        EXPECT_EQ(v.mZoomHeight, r.baseHeight);
        EXPECT_EQ(v.zoomCandidate(false), 1.25f);  // the next "Zoom In" tries 1.25 again
    }
}

TEST(PreviewViewportZoom, BoundHitHalfwayRestartsFromOne) {
    Viewport v = withBase(16000, 1000);
    for (int i = 0; i < 10; ++i) click(v, '+');
    ASSERT_EQ(v.mZoom, 3.5f);     // 3733 pixels wide
    EXPECT_FALSE(click(v, '+'));  // 4000 pixels: too wide
    EXPECT_EQ(v.mZoom, 1.0f);
    EXPECT_EQ(v.mZoomWidth, 16000);
    EXPECT_TRUE(click(v, '-'));
    EXPECT_EQ(v.mZoom, 0.75f);
}

// A picture beyond the bound at 1.0 (5,000 sheet rows: 1,500,000 twips, 100,000 pixels) zooms
// out step by step to 0.25, each step redrawn; a growing step beyond the bound is refused and
// keeps the factor shown, so "Zoom Out" goes on from there. Within the bound at 1.0 a refused
// growing step restarts from 1.0, and a step down from there is still smaller than the shown one.
TEST(PreviewViewportZoom, AStepThatMakesThePictureSmallerIsAlwaysTaken) {
    struct Row {
        std::int32_t baseWidth, baseHeight;
        std::string clicks;
        bool lastRedrawn;
        float zoom;
        float shown;
    };
    const Row rows[] = {
        {3840, 1500000, "-", true, 0.75f, 0.75f},
        {3840, 1500000, "--", true, 0.5f, 0.5f},
        {3840, 1500000, "---", true, 0.25f, 0.25f},
        {3840, 1500000, "----", false, 0.25f, 0.25f},  // 0.25 is the least factor
        {3840, 1500000, "+", false, 1.0f, 1.0f},
        {3840, 1500000, "-+", false, 0.75f, 0.75f},  // 1.0 is beyond the bound: stays at 0.75
        {3840, 1500000, "-+-", true, 0.5f, 0.5f},
        {3840, 1500000, "---+", false, 0.25f, 0.25f},
        {3840, 1500000, "---+-", false, 0.25f, 0.25f},
        {90000, 5100, "-", true, 0.75f, 0.75f},    // 6000 pixels wide at 1.0
        {90000, 5100, "---", true, 0.25f, 0.25f},  // 1500 pixels wide
        {16000, 1000, "++++++++++", true, 3.5f, 3.5f},
        {16000, 1000, "+++++++++++", false, 1.0f, 3.5f},  // 4000 pixels: restarts from 1.0
        {16000, 1000, "+++++++++++-", true, 0.75f, 0.75f},
        {16000, 1000, "++++++++++++", true, 1.25f, 1.25f},  // smaller than the 3.5 shown
    };
    for (const Row& r : rows) {
        Viewport v = withBase(r.baseWidth, r.baseHeight);
        bool redrawn = false;
        for (char c : r.clicks) redrawn = click(v, c);
        const std::string what =
            std::to_string(r.baseWidth) + "x" + std::to_string(r.baseHeight) + " " + r.clicks;
        EXPECT_EQ(redrawn, r.lastRedrawn) << what;
        EXPECT_EQ(v.mZoom, r.zoom) << what;
        EXPECT_EQ(v.shownZoom(), r.shown) << what;
        EXPECT_EQ(v.mZoomWidth, static_cast<std::int32_t>(double(r.zoom) * r.baseWidth)) << what;
        EXPECT_EQ(v.mZoomHeight, static_cast<std::int32_t>(double(r.zoom) * r.baseHeight)) << what;
    }
}

// An arrow click moves one sheet row (300 twips), a click in the trough one viewport.
TEST(PreviewViewportScrollbars, StepAndMaximumFollowTheDifferenceOfOuterSizes) {
    struct Row {
        double image, view;
        bool enabled;
        std::int16_t step, maximum;
        std::int32_t singleStep, pageStep;
    };
    const Row rows[] = {
        {9331, 9330, true, 1, 1, 300, 9330},
        {9380, 9330, true, 1, 50, 300, 9330},
        {9430, 9330, true, 1, 100, 300, 9330},
        {9431, 9330, true, 10, 10, 30, 933},  // 101
        {9435, 9330, true, 10, 10, 30, 933},  // 105: 10.5 to even
        {9445, 9330, true, 10, 12, 30, 933},  // 115: 11.5 to even
        {10500, 9330, true, 10, 117, 30, 933},
        {24000, 7425, true, 10, 1658, 30, 742},  // 742.5 to even
        {9330, 9330, false, 0, 0, 0, 0},         // not wider
        {3000, 9330, false, 0, 0, 0, 0},
        {9330 + 327670, 9330, true, 10, 32767, 30, 933},  // the largest range at ten a position
        {9330 + 360437, 9330, true, 11, 32767, 27, 848},  // beyond it: a larger step
    };
    for (const Row& r : rows) {
        const BarSetup bar = Viewport::setupBar(r.image, r.view);
        EXPECT_EQ(bar.enabled, r.enabled) << r.image;
        EXPECT_EQ(bar.step, r.step) << r.image;
        if (r.enabled) {
            EXPECT_EQ(bar.maximum, r.maximum) << r.image;
            EXPECT_EQ(bar.singleStep, r.singleStep) << r.image;
            EXPECT_EQ(bar.pageStep, r.pageStep) << r.image;
        }
    }
}

TEST(PreviewViewportScrollbars, WheelMovesSheetRowsANotchTowardsTheTurn) {
    struct Row {
        int angleDelta, lines;
        std::int32_t singleStep, positions;
    };
    const Row rows[] = {
        {-120, 3, 30, 90},  // one notch towards the user: three rows down
        {120, 3, 30, -90},  // away: back up
        {-240, 3, 30, 180}, {-120, 1, 30, 30}, {-120, 3, 300, 900},
        {-8, 3, 30, 6},  // a touchpad's fraction of a notch
        {-1, 3, 30, 1},  // the smallest turn still moves
        {1, 3, 30, -1},     {0, 3, 30, 0},     {-120, 0, 30, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Viewport::wheelPositions(r.angleDelta, r.lines, r.singleStep), r.positions)
            << r.angleDelta << " x " << r.lines << " x " << r.singleStep;
}

TEST(PreviewViewportScrollbars, HugeDifferencesTakeALargerStepWithoutOverflow) {
    const double differences[] = {327680, 1'000'000, 5'000'000, 60'000'000};
    for (double d : differences) {
        const BarSetup bar = Viewport::setupBar(9330 + d, 9330);
        ASSERT_TRUE(bar.enabled) << d;
        EXPECT_GT(bar.step, 10) << d;
        EXPECT_GT(bar.maximum, 0) << d;
        // The whole difference is reachable: the last position lands within one step of it.
        const double reach = double(bar.step) * bar.maximum;
        EXPECT_NEAR(reach, d, bar.step) << d;
        EXPECT_EQ(Viewport::offsetForPosition(bar.step, bar.maximum), -std::int32_t(reach)) << d;
    }
}

TEST(PreviewViewportScrollbars, SetupRemembersBothSteps) {
    Viewport v;
    v.SetupScrollbars(9400, 7000, 9330, 7425);
    EXPECT_EQ(v.mHStep, 1);
    EXPECT_EQ(v.mVStep, 0);
    EXPECT_EQ(v.leftForPosition(70), -70);
    EXPECT_EQ(v.topForPosition(5), 0);  // a disabled axis always goes back to 0
    v.SetupScrollbars(3000, 12000, 9330, 7425);
    EXPECT_EQ(v.mHStep, 0);
    EXPECT_EQ(v.mVStep, 10);
    EXPECT_EQ(v.topForPosition(458), -4580);
}

TEST(PreviewViewportScrollbars, BarPositionsMoveTheImageByStepTimesPosition) {
    struct Row {
        std::int32_t step, position, offset;
    };
    const Row rows[] = {{1, 0, 0},
                        {10, 0, 0},
                        {1, 100, -100},
                        {10, 117, -1170},
                        {0, 50, 0},
                        {10, 32767, -327670},
                        {32767, 32767, -1073676289}};
    for (const Row& r : rows)
        EXPECT_EQ(Viewport::offsetForPosition(r.step, r.position), r.offset)
            << r.step << " x " << r.position;
}

TEST(PreviewViewportDrag, ClampKeepsTheImageOverTheViewport) {
    struct Row {
        float proposed;
        double viewInner, imageOuter;
        float result;
    };
    const Row rows[] = {
        // image wider than the viewport: between -(difference) and 0
        {300, 9330, 10500, 0},
        {0, 9330, 10500, 0},
        {-500, 9330, 10500, -500},
        {-1170, 9330, 10500, -1170},
        {-2000, 9330, 10500, -1170},
        // image narrower or as wide: nothing to pan, it stays at 0
        {100, 9330, 3000, 0},
        {0, 9330, 3000, 0},
        {-20, 9330, 3000, 0},
        {-9000, 9330, 3000, 0},
        {-150, 9330, 9330, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Viewport::clampAxis(r.proposed, r.viewInner, r.imageOuter), r.result)
            << r.proposed << " in " << r.viewInner << " for " << r.imageOuter;
}

TEST(PreviewViewportDrag, DragFollowsThePointerFromThePressPosition) {
    struct Row {
        TwipsPoint box;
        float pressX, pressY, pointerX, pointerY;
        double imageWidth, imageHeight;
        TwipsPoint result;
    };
    const Row rows[] = {
        {{0, 0}, 100, 100, 400, 50, 10500, 9000, {0, -50}},       // right: stops at the left edge
        {{-1000, 0}, 500, 500, 0, 500, 10500, 9000, {-1170, 0}},  // left: right edge at inner
        {{-1000, -800}, 500, 500, 200, 300, 10500, 9000, {-1170, -1000}},  // up and left
        {{-300, -300}, 50, 60, 50, 60, 10500, 9000, {-300, -300}},         // no movement
        {{0, 0}, 500, 500, 350, 350, 3840, 5100, {0, 0}},                  // small: stays in place
        {{0, 0}, 500, 500, 650, 650, 3840, 5100, {0, 0}},                  // both ways
        {{0, -300}, 500, 500, 350, 350, 3840, 15300, {0, -450}},  // tall: pans up and down only
        {{0, 0}, 500, 500, 350, 350, 15300, 5100, {-150, 0}},     // wide: across only
    };
    for (const Row& r : rows) {
        Viewport v;
        v.press(r.pressX, r.pressY);
        const TwipsPoint p =
            v.dragTo(r.box, r.pointerX, r.pointerY, 9330, 7425, r.imageWidth, r.imageHeight);
        EXPECT_EQ(p.left, r.result.left) << r.imageWidth << " x " << r.imageHeight;
        EXPECT_EQ(p.top, r.result.top) << r.imageWidth << " x " << r.imageHeight;
    }
}

TEST(PreviewViewportRelease, PercentageOfTheScrollableDifference) {
    struct Row {
        double offset, imageOuter, viewOuter;
        std::int16_t percent;
    };
    const Row rows[] = {
        {0, 10500, 9330, 0},        {-1170, 10500, 9330, 100},
        {-585, 10500, 9330, 50},    {-146.25, 10500, 9330, 12},  // 12.5 to even
        {-438.75, 10500, 9330, 38},                              // 37.5 to even
        {-495, 10500, 9330, 42},    {-30, 9330, 9330, 0},  // no difference: no division by zero
        {6330, 3000, 9330, 0},                             // image smaller than the viewport
        {-1e9, 9331, 9330, 32767},                         // beyond 16 bits: saturates
    };
    for (const Row& r : rows)
        EXPECT_EQ(Viewport::releasePercent(r.offset, r.imageOuter, r.viewOuter), r.percent)
            << r.offset << " of " << r.imageOuter << " - " << r.viewOuter;
}

TEST(PreviewViewportRelease, PercentSetterPositions) {
    struct Row {
        std::int16_t percent;
        std::int32_t maximum;
        std::optional<std::int16_t> position;
    };
    const Row rows[] = {
        {100, 37, 37},
        {101, 37, std::nullopt},
        {-1, 37, std::nullopt},
        {50, 5, 2},
        {30, 5, 2},
        {70, 5, 4},  // 1.5 and 3.5 to even
        {0, 0, 0},
        {0, 117, 0},
        {42, 117, 49},
        {100, 32767, 32767},
        {32767, 0, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Viewport::positionForPercent(r.percent, r.maximum), r.position)
            << r.percent << "% of " << r.maximum;
}

// After a release the bar shows where the image was left: the percentage's position while it lands
// within a pixel (15 twips) of the image's place, else the position nearest that place.
TEST(PreviewViewportRelease, TheBarLandsWhereTheImageWasLeft) {
    struct Row {
        double offset, imageOuter, viewOuter;
        std::int16_t step;
        std::int32_t maximum;
        std::optional<std::int32_t> position;
    };
    const Row rows[] = {
        {-495, 10500, 9330, 10, 117, 49},           // 42 %: 490 twips, a third of a pixel off
        {-1170, 10500, 9330, 10, 117, 117},         // the far end
        {0, 10500, 9330, 10, 117, 0},               //
        {-40, 9400, 9330, 1, 70, 40},               // 57 %: 39.9
        {-14745, 457425, 7425, 14, 32143, 1053},    // 3 %: 964 positions, 1239 twips off
        {-449999, 457425, 7425, 14, 32143, 32143},  // beyond the far end: the maximum
        {-14745, 457425, 7425, 0, 32143, 964},      // a disabled bar: the percentage's
        {100, 3000, 9330, 0, 0, 0},                 // an image smaller than the viewport
    };
    for (const Row& r : rows) {
        Viewport v;
        EXPECT_EQ(v.releasePosition(r.offset, r.imageOuter, r.viewOuter, r.step, r.maximum),
                  r.position)
            << r.offset << " of " << r.imageOuter << " - " << r.viewOuter;
    }
}
