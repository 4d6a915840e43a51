// AudioAnalysis: turns each captured block of sound into the band values the drive steers the
// art with (AudioBands), and notices when nothing is heard.
//
// Per block (AnalyseBlock, on the capture thread):
//   1. the first 512 stereo frames are mixed to mono, windowed and transformed (RealFft);
//   2. every bin keeps a fast peak envelope, a slow envelope and a very slow average;
//   3. the bins are summed into 14 half-octave bands (band 0 the highest), giving each band a
//      fast and a slow level in dB and a trend (fast minus slow, smoothed);
//   4. the levels are normalised, (dB - 40) / 80, plus an automatic gain offset (the AGC)
//      that drops at once when the loudest band would pass 1 and creeps back up slowly;
//   5. the spectrum's shape (levels tilted towards the bass, placed in their range) and the
//      spread over the bands are derived;
//   6. silence: a volume below 0.05 for 20 s enters the dream state, in which slowly
//      wandering random values stand in for the levels until sound returns.
//
// Threads: AnalyseBlock, Selectivity, Patterns and BinAverage belong to the capture
// thread (or to whoever holds the object while capture is stopped). Volume, Agc, SetAgc,
// IsDreaming, TakeDreamEntered and SetSelectivity may be called from any thread; the values
// they share are single atomics, relaxed where each is read whole and needs to agree with
// nothing else. SetAgc is for a stored value before capture starts: a block running at the
// same time may overwrite it.
//
// Nothing allocates after construction.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

#include "audio/audio_bands.h"
#include "audio/real_fft.h"
#include "engine/random.h"

namespace quovis {

// The lines the text window shows when the dream state begins; the first line is empty.
inline constexpr std::u16string_view kNoAudioText = u"No Audio Present";
inline constexpr std::u16string_view kEnteringDreamText = u"Entering dream state...";

// ---- Stored long-run means --------------------------------------------------------------------

// The drive's long-run feature means, kept between runs as "Stat0".."Stat17" of section
// "Audio", and their limits: numbers 6 and 13 are centred on 0, the others on 0.5.
constexpr int kAudioStats = 18;
using AudioStats = std::array<float, kAudioStats>;

// 0.6 for every mean, 0 for number 6: the value to read when none is stored. Number 13's
// default lies above its limit, so it comes out of LimitAudioStats as 0.5, which is also
// where a new drive starts it.
AudioStats DefaultAudioStats();
// Stored means pulled into their limits (-0.5..0.5 for numbers 6 and 13, 0.25..0.75 for the
// others); a value that is not a number takes its default first.
AudioStats LimitAudioStats(const AudioStats& stored);
// A stored AGC pulled into the range the analysis itself keeps it in (-1..0.4); not a number
// gives 0, the default.
float LimitAudioAgc(float stored);

// ---- Selectivity patterns ---------------------------------------------------------------------

// Thirteen band-weight patterns P1..P13 (P1 at index 0) that the drive weights the band
// levels with. Each is a sum of raised-cosine bumps whose half-widths scale with the
// selectivity q: a larger q widens them.
constexpr int kSelectivityPatterns = 13;
using SelectivityPatterns = std::array<BandValues, kSelectivityPatterns>;
// q is limited to 0..100 (not a number gives the default, 3).
SelectivityPatterns BuildSelectivityPatterns(float q);

// ---- The analysis -----------------------------------------------------------------------------

class AudioAnalysis {
  public:
    static constexpr int kBlockFrames = RealFft::kSize;
    static constexpr int kBins = RealFft::kBins;
    static constexpr float kDefaultSelectivity = 3.0f;
    // A volume below this starts the silence clock; above it ends silence and dreaming.
    static constexpr float kQuietVolume = 0.05f;
    static constexpr uint32_t kDreamAfterMs = 20000;

    // seed: the dream state's random values; the same seed gives the same dreams.
    explicit AudioAnalysis(int32_t seed, float selectivity = kDefaultSelectivity);

    // Analyses the first 512 frames of `frames` interleaved 16-bit stereo frames and fills
    // `out`. nowMs is the program clock (only differences are used, so it may wrap). A block
    // of fewer than 512 frames (or none) is ignored: false, and neither `out` nor the object
    // changes.
    bool AnalyseBlock(const int16_t* stereo, int frames, uint32_t nowMs, AudioBands& out);

    // Loudness 0..1 of the last block: the mean of the positive normalised levels.
    float Volume() const { return m_volume.load(std::memory_order_relaxed); }

    // The automatic gain offset; SetAgc takes a stored value (limited, LimitAudioAgc).
    float Agc() const { return m_agc.load(std::memory_order_relaxed); }
    void SetAgc(float agc);

    bool IsDreaming() const { return m_dreamingShared.load(std::memory_order_relaxed); }
    // True once after the dream state was entered: the caller then shows the three lines
    // "", kNoAudioText, kEnteringDreamText.
    bool TakeDreamEntered() { return m_dreamEntered.exchange(false, std::memory_order_relaxed); }

    // Rebuilds the selectivity patterns from q and clears all smoothing state. Safe from any
    // thread: it takes effect at the start of the next analysed block, which is then a first
    // block again (AudioBands::first).
    void SetSelectivity(float q);
    // The selectivity the patterns were last built with.
    float Selectivity() const { return m_selectivity; }
    const SelectivityPatterns& Patterns() const { return m_patterns; }

    // The very slow per-bin average of the magnitudes, for a spectrum view.
    const std::array<float, kBins>& BinAverage() const { return m_binAverage; }

  private:
    void ResetSmoothing();
    void MixAndTransform(const int16_t* stereo);
    void FollowBins(bool first);
    void MeasureBands();
    void Normalise();
    void FollowShape();
    float Spread();
    void CheckSilence(uint32_t nowMs);
    void Dream();

    RealFft m_fft;
    BlockWindow m_window;
    std::array<int, kAudioBands> m_bandFirstBin{};
    std::array<int, kAudioBands> m_bandLastBin{};

    // Per-block work arrays.
    alignas(32) std::array<float, RealFft::kSize> m_samples{};
    alignas(32) std::array<float, kBins> m_re{};
    alignas(32) std::array<float, kBins> m_im{};
    alignas(32) std::array<float, kBins> m_magnitude{};

    // Smoothing state, cleared by ResetSmoothing.
    alignas(32) std::array<float, kBins> m_peak{};
    alignas(32) std::array<float, kBins> m_slow{};
    alignas(32) std::array<float, kBins> m_binAverage{};
    BandValues m_bandDb{};
    BandValues m_bandSlowDb{};
    BandValues m_bandTrend{};
    BandValues m_shape{};
    BandValues m_floorDb{};  // per band: follows its level down at once, up slowly
    bool m_firstBlock = true;

    BandValues m_level{};  // normalised levels of this block, AGC included

    bool m_quiet = false;
    bool m_dreaming = false;
    uint32_t m_quietSince = 0;
    BandValues m_dreamBand{};
    EngineRandom m_random;

    float m_selectivity = kDefaultSelectivity;
    SelectivityPatterns m_patterns{};

    // Shared with other threads.
    std::atomic<float> m_volume{0.0f};
    std::atomic<float> m_agc{0.0f};
    std::atomic<bool> m_dreamingShared{false};
    std::atomic<bool> m_dreamEntered{false};
    std::atomic<float> m_requestedSelectivity{kDefaultSelectivity};
    std::atomic<bool> m_selectivityRequested{false};
};

}  // namespace quovis
