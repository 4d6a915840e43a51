// What the analysis of one block of sound hands to the drive that steers the art. The
// analysis (AudioAnalysis) fills one of these per block of 512 frames; the drive (AudioDrive)
// reads it on the same thread, the capture thread, right after.
//
// Bands are half-octaves from the top of the spectrum down: band 0 holds the highest
// frequencies, band 13 the lowest.
#pragma once

#include <array>

namespace quovis {

constexpr int kAudioBands = 14;
using BandValues = std::array<float, kAudioBands>;

struct AudioBands {
    // The normalised band levels after the automatic gain (may be negative; the drive counts
    // negative levels as 0). While dreaming, the dream state's wandering values instead.
    BandValues level{};
    // Each band's rising or falling: a slow average of its fast level minus its slow level,
    // in dB. The beat detectors vote with these.
    BandValues trend{};
    // The spectrum's shape: each band's tilted level placed in the range of all bands
    // (0..1), smoothed. The colour drive reads it.
    BandValues shape{};
    // The dream state's own band values (0.1..1), meaningful while `dreaming`.
    BandValues dream{};
    // Loudness 0..1: the mean of the positive levels.
    float volume = 0.0f;
    // How widely the sound spreads over the bands (0..1; 0.5 when nothing stands above its
    // floor), for the spray's spread.
    float spread = 0.5f;
    bool dreaming = false;
    // The first block after a reset: smoothing starts at this block's values.
    bool first = false;
};

}  // namespace quovis
