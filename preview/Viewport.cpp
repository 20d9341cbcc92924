#include "preview/Viewport.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace preview {

namespace {

template <class Int>
Int saturate(double value) {
    if (std::isnan(value)) return 0;
    const double low = double(std::numeric_limits<Int>::min());
    const double high = double(std::numeric_limits<Int>::max());
    return static_cast<Int>(std::clamp(value, low, high));
}

}  // namespace

double roundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction > 0.5) return lower + 1;
    if (fraction < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::int16_t roundToInt16(double value) { return saturate<std::int16_t>(roundHalfEven(value)); }

std::int32_t roundToInt32(double value) { return saturate<std::int32_t>(roundHalfEven(value)); }

std::int32_t Viewport::baseFromInner(double inner) { return roundToInt32(inner - 2); }

std::int32_t Viewport::zoomed(float zoom, std::int32_t base) {
    return saturate<std::int32_t>(std::floor(double(zoom) * double(base)));
}

void Viewport::setBase(double oriInnerWidth, double oriInnerHeight) {
    oriInnerWidth_ = oriInnerWidth;
    oriInnerHeight_ = oriInnerHeight;
    mZoom = 1.0f;
    shownZoom_ = 1.0f;
    mBaseWidth = baseFromInner(oriInnerWidth);
    mBaseHeight = baseFromInner(oriInnerHeight);
    mZoomWidth = zoomed(1.0f, mBaseWidth);
    mZoomHeight = zoomed(1.0f, mBaseHeight);
}

bool Viewport::SetZoom(float factor) {
    if (!(factor >= kMinZoom && factor <= kMaxZoom)) return false;
    mZoom = factor;
    return true;
}

void Viewport::resetToBase() {
    mZoom = 1.0f;
    mBaseWidth = baseFromInner(oriInnerWidth_);
    mBaseHeight = baseFromInner(oriInnerHeight_);
    mZoomWidth = mBaseWidth;
    mZoomHeight = mBaseHeight;
}

bool Viewport::withinBound(std::int32_t width, std::int32_t height) const {
    return width / twipsPerPixel_ < kWidthLimitPixels &&
           height / twipsPerPixel_ < kHeightLimitPixels;
}

bool Viewport::RedrawZoomed() {
    mZoomWidth = zoomed(mZoom, mBaseWidth);
    mZoomHeight = zoomed(mZoom, mBaseHeight);
    // The bound keeps a growing picture's memory in check; a smaller one needs less than the
    // box holds already.
    if (mZoom < shownZoom_ || withinBound(mZoomWidth, mZoomHeight)) {
        shownZoom_ = mZoom;
        return true;
    }
    resetToBase();
    if (!withinBound(mBaseWidth, mBaseHeight)) {
        mZoom = shownZoom_;
        mZoomWidth = zoomed(mZoom, mBaseWidth);
        mZoomHeight = zoomed(mZoom, mBaseHeight);
    }
    return false;
}

BarSetup Viewport::setupBar(double imageOuter, double viewOuter) {
    BarSetup bar;
    if (!(imageOuter > viewOuter)) return bar;  // not wider (taller): disabled, step 0
    const float d = float(imageOuter - viewOuter);
    const double limit = std::numeric_limits<std::int16_t>::max();
    bar.enabled = true;
    if (d <= kFineScrollLimit) {
        bar.step = 1;
    } else if (roundHalfEven(d / 10.0) <= limit) {
        bar.step = 10;
    } else {
        // So large that ten twips a position would overrun the bar's 16-bit range: take the
        // smallest step that lets the bar's maximum reach the whole difference.
        bar.step = saturate<std::int16_t>(std::ceil(double(d) / limit));
    }
    bar.maximum = roundToInt16(double(d) / bar.step);
    bar.singleStep = std::max<std::int32_t>(1, roundToInt32(kRowTwips / bar.step));
    bar.pageStep = std::max<std::int32_t>(1, roundToInt32(viewOuter / bar.step));
    return bar;
}

std::int32_t Viewport::wheelPositions(int angleDelta, int lines, std::int32_t singleStep) {
    if (angleDelta == 0 || lines <= 0 || singleStep <= 0) return 0;
    const double positions = -double(angleDelta) / kWheelNotch * lines * singleStep;
    const std::int32_t whole = roundToInt32(positions);
    if (whole != 0) return whole;
    return positions < 0 ? -1 : 1;
}

void Viewport::SetupScrollbars(double imageOuterWidth, double imageOuterHeight,
                               double viewOuterWidth, double viewOuterHeight) {
    mHStep = setupBar(imageOuterWidth, viewOuterWidth).step;
    mVStep = setupBar(imageOuterHeight, viewOuterHeight).step;
}

std::int32_t Viewport::offsetForPosition(std::int32_t step, std::int32_t position) {
    return saturate<std::int32_t>(-(double(step) * double(position)));
}

void Viewport::press(float pointerX, float pointerY) {
    mDragX = pointerX;
    mDragY = pointerY;
}

float Viewport::clampAxis(float proposed, double viewInner, double imageOuter) {
    const float farBound = float(viewInner - imageOuter);
    if (!(farBound < 0)) return 0;  // nothing to pan on this axis
    if (proposed > 0) return 0;
    if (farBound > proposed) return farBound;
    return proposed;
}

TwipsPoint Viewport::dragTo(TwipsPoint box, float pointerX, float pointerY, double viewInnerWidth,
                            double viewInnerHeight, double imageOuterWidth,
                            double imageOuterHeight) const {
    TwipsPoint next;
    next.left = clampAxis(box.left - mDragX + pointerX, viewInnerWidth, imageOuterWidth);
    next.top = clampAxis(box.top - mDragY + pointerY, viewInnerHeight, imageOuterHeight);
    return next;
}

std::int16_t Viewport::releasePercent(double offset, double imageOuter, double viewOuter) {
    const double difference = imageOuter - viewOuter;
    if (!(difference > 0)) return 0;
    return roundToInt16(std::fabs(offset) / difference * 100.0);
}

std::optional<std::int16_t> Viewport::positionForPercent(std::int16_t percent,
                                                         std::int32_t maximum) {
    if (percent < 0) return std::nullopt;
    const double p = percent / 100.0 * maximum;
    if (!(p <= maximum)) return std::nullopt;
    return roundToInt16(p);
}

std::optional<std::int32_t> Viewport::releasePosition(double offset, double imageOuter,
                                                      double viewOuter, std::int16_t step,
                                                      std::int32_t maximum) const {
    const std::optional<std::int16_t> byPercent =
        positionForPercent(releasePercent(offset, imageOuter, viewOuter), maximum);
    if (!byPercent || step <= 0) return byPercent;
    const double at = std::fabs(offset);
    if (std::fabs(double(step) * *byPercent - at) < twipsPerPixel_) return byPercent;
    return std::clamp<std::int32_t>(roundToInt32(at / step), 0, maximum);
}

}  // namespace preview
