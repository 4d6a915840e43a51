#include "present/picture_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

namespace quovis {

std::string PictureStats::Describe() const {
    std::ostringstream s;
    s << "mean " << meanLuma << ", lit " << litShare << ", white " << whiteShare << ", spread "
      << lumaSpread << ", hues " << hueBuckets;
    return s.str();
}

PictureStats MeasurePicture(const Picture& picture, bool inverted) {
    PictureStats s;
    std::array<int, 12> hues{};
    int coloured = 0, lit = 0, white = 0;
    double sum = 0.0, litSum = 0.0, litSq = 0.0;
    const uint32_t flip = inverted ? 0x00FFFFFFu : 0u;
    for (uint32_t px : picture.pixels) {
        px ^= flip;
        const int r = (px >> 16) & 255, g = (px >> 8) & 255, b = px & 255;
        const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
        sum += luma;
        if (luma > 12.0) {
            ++lit;
            litSum += luma;
            litSq += luma * luma;
        }
        if (r > 250 && g > 250 && b > 250) ++white;
        const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
        if (hi > 24 && hi - lo > 0.2 * hi) {
            double h;
            const double d = hi - lo;
            if (hi == r)
                h = std::fmod((g - b) / d + 6.0, 6.0);
            else if (hi == g)
                h = (b - r) / d + 2.0;
            else
                h = (r - g) / d + 4.0;
            ++hues[static_cast<std::size_t>(static_cast<int>(h * 2.0) % 12)];
            ++coloured;
        }
    }
    const double n = std::max<double>(1.0, static_cast<double>(picture.pixels.size()));
    s.meanLuma = sum / n;
    s.litShare = lit / n;
    s.whiteShare = white / n;
    if (lit > 1) {
        const double mean = litSum / lit;
        s.lumaSpread = std::sqrt(std::max(0.0, litSq / lit - mean * mean));
    }
    for (int c : hues) s.hueBuckets += coloured > 0 && c >= 0.02 * coloured;
    return s;
}

PictureThumbnail MakeThumbnail(const Picture& picture) {
    PictureThumbnail t;
    constexpr int W = PictureThumbnail::kWidth, H = PictureThumbnail::kHeight;
    std::array<int, W * H> counts{};
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() < static_cast<std::size_t>(picture.width) * picture.height) {
        return t;
    }
    for (int y = 0; y < picture.height; ++y) {
        const int ty = y * H / picture.height;
        for (int x = 0; x < picture.width; ++x) {
            const int cell = ty * W + x * W / picture.width;
            const uint32_t px = picture.pixels[static_cast<std::size_t>(y) * picture.width + x];
            float* c = &t.cells[static_cast<std::size_t>(cell) * 3];
            c[0] += static_cast<float>((px >> 16) & 255);
            c[1] += static_cast<float>((px >> 8) & 255);
            c[2] += static_cast<float>(px & 255);
            ++counts[static_cast<std::size_t>(cell)];
        }
    }
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const float n = static_cast<float>(std::max(1, counts[i]));
        for (std::size_t k = 0; k < 3; ++k) t.cells[i * 3 + k] /= n;
    }
    return t;
}

double ThumbnailDistance(const PictureThumbnail& a, const PictureThumbnail& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.cells.size(); ++i) sum += std::fabs(a.cells[i] - b.cells[i]);
    return sum / static_cast<double>(a.cells.size());
}

}  // namespace quovis
