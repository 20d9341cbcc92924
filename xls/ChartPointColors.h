#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xls/StyleTypes.h"

namespace xls {

// Fill colours for `count` new points of a series whose points so far have the colours `used`
// (in point order), none equal to a colour of `avoid` (the chart's backgrounds). Readers of
// BIFF8 charts take a fill from the palette index (LibreOffice does), so every colour is a
// palette entry, whose index then names it exactly: first those that continue a known automatic
// colour sequence that `used` starts (LibreOffice's default chart colours), then the palette
// from the chart fills (index 24) on, pale tints (every channel 0xC0 or more) last and white
// never, none repeating a colour of `used` or an earlier one. When the palette has no such colour
// left, the colours repeat from the first: those of `used` that are palette entries, then the
// new ones, in order.
std::vector<Rgb> nextPointColors(const std::vector<Rgb>& used, const std::vector<Rgb>& palette,
                                 size_t count, const std::vector<Rgb>& avoid = {});

// The palette index (8..63) of the entry of `palette` (entries 8..63) nearest to `color`.
uint16_t nearestPaletteIndex(const std::vector<Rgb>& palette, Rgb color);

// The fill colours of a series' new points with the palette index of each.
struct PointColors {
    std::vector<Rgb> used, palette, avoid;  // what they were asked with
    size_t asked = 0;         // colours asked for; `colors` holds fewer when there are no more
    std::vector<Rgb> colors;  // nextPointColors(used, palette, asked, avoid)
    std::vector<uint16_t> indexes;  // nearestPaletteIndex(palette, colors[k])
};

// nextPointColors(used, palette, count, avoid) with their palette indexes: at least the first
// `count` of them, all there are when there are fewer. The answer is the calling thread's and
// stays valid until the thread's next call.
//
// Saving the same list again asks for the same colours, and a longer list for more of them
// (whose first ones are the same), so the answers are remembered per thread, three ways; each
// gives what the plain computation gives, and none lives longer than its thread:
// - the last answer, returned again when asked with equal `used`, `palette` and `avoid` (all
//   three compared in full) for no more colours than it holds, or when it holds all there are;
// - the palette indexes the last series was given, in order, which the next series walks along
//   while it asks for the same colours: an index is taken when its colour is the one asked at
//   that place and the palette's key is that of the series remembered;
// - a table of colour -> palette index for any other colour, keyed by the colour and the
//   palette's key.
// The palette's key is a 64-bit FNV-1a hash of its colours (taken as 24-bit words), so two
// palettes could share a key only by a hash collision. With the fast paths off, every answer is
// computed afresh.
const PointColors& pointColors(const std::vector<Rgb>& used, const std::vector<Rgb>& palette,
                               size_t count, const std::vector<Rgb>& avoid);

}  // namespace xls
