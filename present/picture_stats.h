// Measures of a rendered picture that tell whether it is worth looking at: how bright it
// is, how much of it is lit, how much is burnt out white, how varied its brightness and its
// hues are, and a small thumbnail to tell two pictures apart. The picture tests judge every
// style and every built-in preset with them, and quovis-tool prints them for a contact sheet.
#pragma once

#include <array>
#include <string>

#include "present/flipper.h"

namespace quovis {

struct PictureStats {
    double meanLuma = 0.0;    // 0..255
    double litShare = 0.0;    // pixels brighter than a faint glow
    double whiteShare = 0.0;  // pixels with every channel near full
    double lumaSpread = 0.0;  // standard deviation of brightness over the lit pixels
    int hueBuckets = 0;       // of 12 hue sectors, those holding 2% of the coloured pixels

    std::string Describe() const;
};

// `inverted`: the picture has a white background (the art is measured as if it had not).
PictureStats MeasurePicture(const Picture& picture, bool inverted = false);

// The picture averaged down to 32x18 cells, each channel 0..255.
struct PictureThumbnail {
    static constexpr int kWidth = 32;
    static constexpr int kHeight = 18;
    std::array<float, kWidth * kHeight * 3> cells{};
};
PictureThumbnail MakeThumbnail(const Picture& picture);

// Mean absolute difference of two thumbnails per channel, 0..255: how far apart two
// pictures look at a glance.
double ThumbnailDistance(const PictureThumbnail& a, const PictureThumbnail& b);

}  // namespace quovis
