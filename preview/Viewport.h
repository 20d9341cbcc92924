#pragma once

#include <cstdint>
#include <optional>

namespace preview {

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);
// roundHalfEven, then clamped into the 16-bit signed range (never overflows).
std::int16_t roundToInt16(double value);
// roundHalfEven, then clamped into the 32-bit signed range.
std::int32_t roundToInt32(double value);

// How one scroll bar is set up for an image box and its viewport (outer sizes in twips).
struct BarSetup {
    bool enabled = false;
    std::int16_t step = 0;  // twips one bar position moves the image: 0 (disabled), 1, 10 or more
    std::int16_t maximum = 0;  // meaningful only when enabled; the position is then reset to 0
    // Positions an arrow click moves (one sheet row) and a click in the trough moves (one
    // viewport); meaningful only when enabled.
    std::int32_t singleStep = 1;
    std::int32_t pageStep = 1;
};

// A position of the image box inside the viewport, in twips.
struct TwipsPoint {
    float left = 0;
    float top = 0;
};

// The picture area's arithmetic, in twips, free of widgets: the zoom factor, the unscaled and
// zoomed sizes, the scroll bar steps, the drag clamps and the percentages that bring the bars in
// line after a drag. The window applies what this computes to its picture boxes and bars.
class Viewport {
  public:
    static constexpr float kZoomStep = 0.25f;
    static constexpr float kMinZoom = 0.25f;
    static constexpr float kMaxZoom = 4.0f;
    // A zoomed image must stay below these sizes in screen pixels; beyond them the zoom goes
    // back to 1.0. (In twips the bound would be about a quarter of the screen: every picture of
    // a sheet would hit it at the first step.)
    static constexpr double kWidthLimitPixels = 4000;
    static constexpr double kHeightLimitPixels = 9000;
    // A difference up to this many twips scrolls one twip per bar position, more scrolls ten.
    static constexpr double kFineScrollLimit = 100;
    // An arrow click on a bar moves the image by one row of the sheet: 15 points, 20 pixels at
    // 96 dots per inch.
    static constexpr double kRowTwips = 300;
    // The wheel reports its turn in eighths of a degree; one notch is 15 degrees.
    static constexpr double kWheelNotch = 120;

    // `twipsPerPixel` is the screen's scale, which the zoom bound is measured in.
    explicit Viewport(double twipsPerPixel = 15.0) : twipsPerPixel_(twipsPerPixel) {}

    // Set-up for a new picture: the unscaled box's inner size (twips) gives the base size
    // (inner size minus 2, rounded), the factor becomes 1.0 and the zoomed size the base size.
    void setBase(double oriInnerWidth, double oriInnerHeight);

    // The factor one zoom step proposes: 0.25 less when zooming out, 0.25 more otherwise.
    float zoomCandidate(bool zoomOut) const {
        return zoomOut ? mZoom - kZoomStep : mZoom + kZoomStep;
    }

    // Takes `factor` when it lies in 0.25..4.0 and returns true (the caller then redraws);
    // otherwise changes nothing and returns false.
    bool SetZoom(float factor);

    // The redraw decision: computes the zoomed size for the current factor and returns true when
    // the image box is to be redrawn at mZoomWidth x mZoomHeight: when the factor is smaller than
    // the one the box shows (a smaller picture is always taken, however large), or when the size
    // stays below 4000 x 9000 screen pixels. Otherwise it returns false and nothing is to be
    // repainted: the factor goes back to 1.0 and the sizes to the base size when the unscaled
    // picture is within the bound; a picture beyond the bound at 1.0 keeps the factor the box
    // shows, so that the next "Zoom Out" steps down from there.
    bool RedrawZoomed();
    // The factor of the picture the image box shows: 1.0 after the set-up, then that of the last
    // redraw.
    float shownZoom() const { return shownZoom_; }

    // The set-up of both bars for the image box's and the viewport's outer sizes; remembers the
    // steps for the bar change handling.
    void SetupScrollbars(double imageOuterWidth, double imageOuterHeight, double viewOuterWidth,
                         double viewOuterHeight);
    // One bar's set-up for an image box outer size and the viewport's outer size.
    static BarSetup setupBar(double imageOuter, double viewOuter);

    // Bar positions a wheel turn of `angleDelta` eighths of a degree moves, at `lines` arrow
    // clicks of `singleStep` positions a notch: turning away from the user (positive) scrolls
    // back towards position 0. Any turn moves at least one position.
    static std::int32_t wheelPositions(int angleDelta, int lines, std::int32_t singleStep);

    // Where a bar position puts the image's left (top) edge: -(step x position), in 32 bits.
    static std::int32_t offsetForPosition(std::int32_t step, std::int32_t position);
    std::int32_t leftForPosition(std::int32_t position) const {
        return offsetForPosition(mHStep, position);
    }
    std::int32_t topForPosition(std::int32_t position) const {
        return offsetForPosition(mVStep, position);
    }

    // Drag to pan: the press remembers the pointer inside the image box; a movement with a button
    // held proposes the box's new place, clamped so that the image never leaves a gap at the
    // viewport's near edge nor pulls its far edge inside the viewport. On an axis where the image
    // is not larger than the viewport there is nothing to pan: it stays at 0.
    void press(float pointerX, float pointerY);
    TwipsPoint dragTo(TwipsPoint box, float pointerX, float pointerY, double viewInnerWidth,
                      double viewInnerHeight, double imageOuterWidth,
                      double imageOuterHeight) const;
    // One axis of dragTo: the near edge stays at or left of 0 and the far edge at or right of the
    // viewport's inner edge; when the image is not the larger one, every proposal goes to 0.
    static float clampAxis(float proposed, double viewInner, double imageOuter);

    // After a release: how far the image is scrolled, as a percentage of the scrollable
    // difference of outer sizes, rounded halves to even. A difference of 0 or less gives 0.
    static std::int16_t releasePercent(double offset, double imageOuter, double viewOuter);

    // The bar position for `percent` of `maximum` (halves to even), or nothing when the
    // percentage is negative or lands beyond the maximum.
    static std::optional<std::int16_t> positionForPercent(std::int16_t percent,
                                                          std::int32_t maximum);

    // After a release: the bar position that shows where the image was left, `offset` twips
    // from the viewport's edge, on a bar of `step` twips a position up to `maximum`. The
    // percentage's position (releasePercent, positionForPercent) when it puts the image less
    // than a screen pixel away from there; on a long bar, where one per cent spans many pixels,
    // the position nearest the offset. Nothing when the percentage's position is nothing.
    std::optional<std::int32_t> releasePosition(double offset, double imageOuter, double viewOuter,
                                                std::int16_t step, std::int32_t maximum) const;

    float mZoom = 1.0f;
    std::int32_t mBaseWidth = 0;
    std::int32_t mBaseHeight = 0;
    std::int32_t mZoomWidth = 0;
    std::int32_t mZoomHeight = 0;
    std::int16_t mHStep = 0;
    std::int16_t mVStep = 0;
    float mDragX = 0;
    float mDragY = 0;

  private:
    static std::int32_t baseFromInner(double inner);
    bool withinBound(std::int32_t width, std::int32_t height) const;
    static std::int32_t zoomed(float zoom, std::int32_t base);
    void resetToBase();

    double twipsPerPixel_;
    float shownZoom_ = 1.0f;
    double oriInnerWidth_ = 0;
    double oriInnerHeight_ = 0;
};

}  // namespace preview
