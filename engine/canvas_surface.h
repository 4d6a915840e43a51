// CanvasSurface: the pixels the engine plots into, as plain pointers and sizes, so that the
// per-dot path (thousands of AddPixel calls per band per frame) never goes through a virtual
// call. The presenter owns the buffers and refreshes the surface whenever it switches buffers;
// it does so only on the frame thread while no band runs.
//
// Pixel layouts (both with rows stored bottom-up: picture row y is memory row height - 1 - y):
//   deep     three 16-bit channels per pixel, in the engine's channel order (c0, c1, c2);
//   shallow  one 32-bit word per pixel, c0 << 16 | c1 << 8 | c2 (top byte unused): in memory
//            the bytes (blue, green, red, unused) of the display image, so c0 is red on
//            screen in both buffers and switching buffers never swaps colours.
// Amounts added are 8.8 fixed point: 256 is one display unit. Column 0 is never written.
//
// Bands add into the same canvas from several workers without a lock. Two bands that hit one
// pixel in the same instant may lose one of the two contributions; that is accepted (it is
// invisible), but the accesses go through relaxed atomics so the race is well defined.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quovis {

struct CanvasSurface {
    // The plot target: the deep buffer when it is set, else the shallow one.
    uint16_t* deep = nullptr;
    std::ptrdiff_t deepRowStep = 0;  // in uint16_t units
    uint32_t* shallow = nullptr;
    std::ptrdiff_t shallowRowStep = 0;  // in pixels
    // The 8-bit image ReadPixel looks at (what the last drawing operation produced).
    const uint32_t* readBack = nullptr;
    std::ptrdiff_t readBackRowStep = 0;  // in pixels
    int32_t width = 0;
    int32_t height = 0;
    // Picture rows a plot may write: rows outside [clipFirst, clipEnd) are left alone. A
    // worker that owns a stripe of the canvas plots through a surface clipped to it.
    int32_t clipFirst = 0;
    int32_t clipEnd = INT32_MAX;

    bool IsDeep() const { return deep != nullptr; }
};

constexpr int32_t kDeepMax = 65535;
constexpr int32_t kShallowMax = 255;

// Adds three amounts to one 16-bit pixel. A sum above 65535 is brought back into range by
// compressing all three channels together: the largest lands exactly on 65535 and the others
// keep their order and lose less than it does, so a bright spot stays white-hot instead of
// shifting hue. A negative amount darkens down to 0 and never wraps.
inline void AddDeepPixel(uint16_t* px, int32_t a0, int32_t a1, int32_t a2) {
    std::atomic_ref<uint16_t> r0(px[0]), r1(px[1]), r2(px[2]);
    int32_t v[3] = {r0.load(std::memory_order_relaxed) + a0,
                    r1.load(std::memory_order_relaxed) + a1,
                    r2.load(std::memory_order_relaxed) + a2};
    const int32_t m = std::max({v[0], v[1], v[2]});
    if (m > kDeepMax) {
        const float q = static_cast<float>(kDeepMax) / static_cast<float>(m);
        for (int32_t& c : v) {
            if (c >= m) {
                c = kDeepMax;
                continue;
            }
            const float t = static_cast<float>(c);
            const float scaled = t * (q + (1.0f - q) * (1.0f - t / static_cast<float>(m)));
            // For a channel far above the others' range (largest more than twice the top),
            // the compression curve peaks above 65535 for mid values; hold it at the top.
            c = std::min(static_cast<int32_t>(scaled), kDeepMax);
        }
    }
    r0.store(static_cast<uint16_t>(std::max(v[0], 0)), std::memory_order_relaxed);
    r1.store(static_cast<uint16_t>(std::max(v[1], 0)), std::memory_order_relaxed);
    r2.store(static_cast<uint16_t>(std::max(v[2], 0)), std::memory_order_relaxed);
}

// The 8-bit counterpart: amounts lose their fraction, and an overflow scales all three
// channels by 255 / largest.
inline void AddShallowPixel(uint32_t* px, int32_t a0, int32_t a1, int32_t a2) {
    std::atomic_ref<uint32_t> ref(*px);
    const uint32_t old = ref.load(std::memory_order_relaxed);
    // Amounts below one display unit are dropped (truncated toward zero for either sign).
    int32_t v[3] = {static_cast<int32_t>((old >> 16) & 0xFF) + a0 / 256,
                    static_cast<int32_t>((old >> 8) & 0xFF) + a1 / 256,
                    static_cast<int32_t>(old & 0xFF) + a2 / 256};
    const int32_t m = std::max({v[0], v[1], v[2]});
    if (m > kShallowMax) {
        for (int32_t& c : v) c = c * kShallowMax / m;
    }
    for (int32_t& c : v) c = std::max(c, 0);
    const uint32_t next = (old & 0xFF000000u) | (static_cast<uint32_t>(v[0]) << 16) |
                          (static_cast<uint32_t>(v[1]) << 8) | static_cast<uint32_t>(v[2]);
    ref.store(next, std::memory_order_relaxed);
}

// Adds amounts (8.8 fixed point) to the pixel at picture position (x, y). Outside
// 1 <= x < width, 0 <= y < height (or outside the clip rows) nothing happens.
inline void AddPixel(const CanvasSurface& s, int32_t x, int32_t y, int32_t a0, int32_t a1,
                     int32_t a2) {
    if (x < 1 || x >= s.width || y < 0 || y >= s.height || y < s.clipFirst || y >= s.clipEnd) {
        return;
    }
    const std::ptrdiff_t row = s.height - 1 - y;
    if (s.deep != nullptr) {
        AddDeepPixel(s.deep + row * s.deepRowStep + 3 * static_cast<std::ptrdiff_t>(x), a0, a1, a2);
    } else if (s.shallow != nullptr) {
        AddShallowPixel(s.shallow + row * s.shallowRowStep + x, a0, a1, a2);
    }
}

// The 8-bit pixel at (x, y) as c0 | c1 << 8 | c2 << 16; 0 outside the canvas.
inline uint32_t ReadPixel(const CanvasSurface& s, int32_t x, int32_t y) {
    if (s.readBack == nullptr || x < 0 || x >= s.width || y < 0 || y >= s.height) return 0;
    const uint32_t px = s.readBack[(s.height - 1 - y) * s.readBackRowStep + x];
    return (px >> 16 & 0xFFu) | (px & 0xFF00u) | (px & 0xFFu) << 16;
}

}  // namespace quovis
