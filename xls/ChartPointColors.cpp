#include "xls/ChartPointColors.h"

#include <algorithm>
#include <cstring>

#include "xls/FastPaths.h"

namespace xls {

namespace {

// LibreOffice's automatic chart colours, in the order it gives them to points.
constexpr uint32_t kLibreOfficeColors[] = {0x004586, 0xFF420E, 0xFFD320, 0x579D1C,
                                           0x7E0021, 0x83CAFF, 0x314004, 0xAECF00,
                                           0x4B1F6F, 0xFF950E, 0xC5000B, 0x0084D1};

// The palette's entries are indexes 8..63; the chart fills' part of it starts at 24.
constexpr size_t kFirstPaletteIndex = 8, kFirstChartFill = 24;

Rgb rgbOf(uint32_t c) { return {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}; }

// A pastel so light (every channel at least 0xC0) that a slice in it reads as background.
bool pale(Rgb c) { return c.r >= 0xC0 && c.g >= 0xC0 && c.b >= 0xC0; }

uint32_t rgbKey(Rgb c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

// The key of a palette for the caches below: FNV-1a's step and constants over its colours,
// each taken as one 24-bit word.
uint64_t paletteKeyOf(const std::vector<Rgb>& palette) {
    uint64_t key = 0xCBF29CE484222325ull;
    for (Rgb c : palette) key = (key ^ rgbKey(c)) * 0x100000001B3ull;
    return key;
}

// A palette index given for a colour (0xRRGGBB + 1, so that 0 is no colour).
struct IndexOfColor {
    uint32_t color;
    uint16_t index;
};

// The palette indexes the last series of the thread was given, in the order it asked, and the
// key of its palette.
struct LastSeries {
    uint64_t paletteKey = 0;
    std::vector<IndexOfColor> answers;
};

LastSeries& lastSeries() {
    static thread_local LastSeries series;
    return series;
}

// colour and palette -> nearestPaletteIndex, per thread: 2048 sets of four ways, a set one
// cache line; a set's oldest way gives room to a new answer.
uint16_t nearestFromTable(const std::vector<Rgb>& palette, uint64_t paletteKey, Rgb c,
                          uint32_t color) {
    struct Way {
        uint64_t paletteKey = 0;
        uint32_t color = 0;  // 0: empty
        uint16_t index = 0;
    };
    struct alignas(64) Set {
        Way ways[4];
    };
    static thread_local std::vector<Set> table(2048);
    // Fibonacci hashing to the top 11 bits.
    Set& set = table[((paletteKey ^ color) * 0x9E3779B97F4A7C15ull) >> 53];
    for (const Way& w : set.ways)
        if (w.color == color && w.paletteKey == paletteKey) return w.index;
    std::memmove(&set.ways[1], &set.ways[0], 3 * sizeof(Way));
    set.ways[0] = {paletteKey, color, nearestPaletteIndex(palette, c)};
    return set.ways[0].index;
}

// nearestPaletteIndex for the colours of one series, asked in point order: the answers of the
// thread's last series when the colours come in the same order, the table for the others.
class SeriesNearestIndexes {
  public:
    explicit SeriesNearestIndexes(const std::vector<Rgb>& palette)
        : palette_(palette), paletteKey_(paletteKeyOf(palette)) {
        if (lastSeries().paletteKey != paletteKey_) lastSeries() = {paletteKey_, {}};
    }
    // The palette index of the series' next colour.
    uint16_t next(Rgb c) {
        if (!kFastPaths) return nearestPaletteIndex(palette_, c);
        // Memo: the answer the last series got at this place, for the same colour and (by
        // the constructor) the same palette key.
        const uint32_t color = rgbKey(c) + 1;
        std::vector<IndexOfColor>& answers = lastSeries().answers;
        if (next_ < answers.size() && answers[next_].color == color) return answers[next_++].index;
        const uint16_t index = nearestFromTable(palette_, paletteKey_, c, color);
        answers.resize(next_);
        answers.push_back({color, index});
        ++next_;
        return index;
    }

  private:
    const std::vector<Rgb>& palette_;
    const uint64_t paletteKey_;
    size_t next_ = 0;  // the place of the colour asked next
};

}  // namespace

std::vector<Rgb> nextPointColors(const std::vector<Rgb>& used, const std::vector<Rgb>& palette,
                                 size_t count, const std::vector<Rgb>& avoid) {
    std::vector<Rgb> out;
    // Colours in use, looked up by hash: a long series offers many candidates. An open-addressed
    // table of 0xRRGGBB + 1 (0: free), at most half full.
    size_t slots = 64;
    int bits = 6;
    for (; slots < 2 * (used.size() + avoid.size() + count + 64); ++bits) slots *= 2;
    std::vector<uint32_t> table(slots, 0);
    auto insert = [&](Rgb c) {
        const uint32_t key = rgbKey(c) + 1;
        // Fibonacci hashing: the product's top bits depend on every bit of the key.
        for (size_t at = uint32_t(key * 0x9E3779B1u) >> (32 - bits);; at = (at + 1) & (slots - 1)) {
            if (table[at] == key) return false;
            if (table[at] == 0) {
                table[at] = key;
                return true;
            }
        }
    };
    for (Rgb c : used) insert(c);
    for (Rgb c : avoid) insert(c);
    auto inPalette = [&](Rgb c) {
        return std::find(palette.begin(), palette.end(), c) != palette.end();
    };
    auto offer = [&](Rgb c) {
        if (out.size() >= count || !insert(c)) return;
        out.push_back(c);
    };
    const size_t known = std::size(kLibreOfficeColors);
    bool continues = !used.empty();
    for (size_t k = 0; k < used.size() && k < known; ++k)
        continues = continues && used[k] == rgbOf(kLibreOfficeColors[k]);
    if (continues)
        for (size_t k = used.size(); k < known; ++k)
            if (inPalette(rgbOf(kLibreOfficeColors[k]))) offer(rgbOf(kLibreOfficeColors[k]));
    // Palette entries 8..63: from the chart fills (24) on, then the rest; pale tints only when
    // the others are used up, white never.
    for (bool pastels : {false, true})
        for (size_t k = 0; k < palette.size(); ++k) {
            Rgb c = palette[(k + kFirstChartFill - kFirstPaletteIndex) % palette.size()];
            if (pale(c) == pastels && !(c == Rgb{0xFF, 0xFF, 0xFF})) offer(c);
        }
    if (out.size() >= count) return out;
    // The palette has no colour left: the colours repeat in the order the points have them
    // (those of `used` that are palette entries, then the new ones), so that a point's palette
    // index still names its colour in every reader.
    std::vector<Rgb> cycle;
    for (Rgb c : used)
        if (inPalette(c)) cycle.push_back(c);
    cycle.insert(cycle.end(), out.begin(), out.end());
    for (size_t k = 0; out.size() < count && !cycle.empty(); ++k)
        out.push_back(cycle[k % cycle.size()]);
    return out;
}

uint16_t nearestPaletteIndex(const std::vector<Rgb>& palette, Rgb color) {
    size_t best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i < palette.size(); ++i) {
        int dr = int(palette[i].r) - color.r, dg = int(palette[i].g) - color.g,
            db = int(palette[i].b) - color.b;
        int distance = dr * dr + dg * dg + db * db;  // at most 3 * 255^2
        best = distance < bestDistance ? i : best;
        bestDistance = distance < bestDistance ? distance : bestDistance;
    }
    return uint16_t(kFirstPaletteIndex + best);
}

const PointColors& pointColors(const std::vector<Rgb>& used, const std::vector<Rgb>& palette,
                               size_t count, const std::vector<Rgb>& avoid) {
    // Memo: the thread's last answer, when asked with the same key for no more colours than it
    // holds (or it holds all there are); the first colours of a longer list are the same.
    static thread_local PointColors memo;
    const bool same = memo.used == used && memo.palette == palette && memo.avoid == avoid;
    if (kFastPaths && same && (count <= memo.asked || memo.colors.size() < memo.asked)) return memo;
    memo.used = used;
    memo.palette = palette;
    memo.avoid = avoid;
    memo.asked = count;
    memo.colors = nextPointColors(used, palette, count, avoid);
    memo.indexes.clear();
    memo.indexes.reserve(memo.colors.size());
    SeriesNearestIndexes nearest(palette);
    for (Rgb c : memo.colors) memo.indexes.push_back(nearest.next(c));
    return memo;
}

}  // namespace xls
