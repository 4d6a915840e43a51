// AudioDrive: lets the analysed music steer one engine. MusicPause: notices a pause in the
// music, at which a running slideshow moves to the next slide.
//
// Per block (Drive, on the capture thread, right after the analysis filled an AudioBands):
//   1. levels: an overall level, a peak tracker and, from the loudness, the coefficient of
//      the slow envelopes and of the long-run means (which hold still in silence);
//   2. colour: the spectrum's shape sets the pastel value and the brightness, the peak
//      tracker the point magnitude;
//   3. beats: votes of the rising and falling bands feed two onset detectors. A bass onset
//      turns the pattern by its strength, sends the next "Recursive" mover to the newest
//      dots and makes a "Warp" mover jump; a treble onset turns the pattern by half a turn;
//   4. features: each band-weighted level (or vote), measured against its own long-run
//      mean, moves one motion setting, colour setting or style parameter around the value it
//      had when the drive was attached. Style parameters are moved only when the style has
//      one with that role; mover inertia and pace follow the band peaks of every 8 blocks;
//   5. the long-run means follow the inputs, except while the analysis is dreaming.
//
// Threads. Drive, Attach, Detach, SetPatterns, SetStatistics and Statistics belong to the
// capture thread, or to whoever holds the object while capture is stopped. SetSensitivity,
// Rebase and the spectrum-view readers (Levels, PeakLevel) and the beat readers may be called
// from any thread: what they share is a relaxed atomic each. Drive takes the engine lock
// once per block for everything it reads from and writes to the engine, so the frame thread
// never sees half of a block's changes. The engine must outlive the attachment.
//
// Nothing allocates after construction.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/audio_analysis.h"
#include "audio/audio_bands.h"
#include "engine/style_table.h"

namespace quovis {

class CDrawWnd;

class AudioDrive {
  public:
    static constexpr float kDefaultSensitivity = 0.8f;
    // The responsiveness while the analysis dreams: its wandering values move the art gently.
    static constexpr float kDreamResponsiveness = 0.15f;

    AudioDrive();
    AudioDrive(const AudioDrive&) = delete;
    AudioDrive& operator=(const AudioDrive&) = delete;

    // Records the engine's current values as the bases the drive steers around, marks the
    // engine as driven by audio and stops its drift (both would move the same settings).
    void Attach(CDrawWnd& engine);
    // Unmarks the engine; later blocks only keep the levels for a spectrum view.
    void Detach();
    bool IsAttached() const { return m_engine != nullptr; }
    // The next block records the bases again from the engine's current values: call it after
    // a new preset was applied. Safe from any thread. A change of style is noticed without
    // it (the style parameters' roles change with it).
    void Rebase() { m_rebase.store(true, std::memory_order_relaxed); }

    // "AudioSyncSensitivity" / 1000: the responsiveness r; limited to 0..2, not a number is
    // ignored. Safe from any thread.
    void SetSensitivity(float sensitivity);
    float Sensitivity() const { return m_sensitivity.load(std::memory_order_relaxed); }

    // The selectivity patterns P1..P13 the features weight the bands with; set them again
    // whenever the selectivity changes. Until they are set, every weighted level is 0.
    void SetPatterns(const SelectivityPatterns& patterns) { m_patterns = patterns; }

    // The long-run means, kept between runs as "Stat0".."Stat17". Stored values are limited
    // (LimitAudioStats) on the way in.
    void SetStatistics(const AudioStats& stored) { m_stats = LimitAudioStats(stored); }
    const AudioStats& Statistics() const { return m_stats; }

    // Steers the attached engine with one analysed block. A block holding a value that is not
    // a finite number is ignored as a whole: it would stay in every mean for good.
    void Drive(const AudioBands& bands);

    // For a spectrum view (any thread): the last block's band levels (0 and up), their slow
    // envelopes (which hold still in silence) and the peak tracker of the loudest band.
    BandValues Levels() const;
    BandValues Envelopes() const;
    float PeakLevel() const { return m_peakShared.load(std::memory_order_relaxed); }
    // The slow average of the overall level, for diagnostics (capture thread).
    double LongTermLevel() const { return m_longTermLevel; }
    // Onsets each detector has completed since construction (any thread).
    uint32_t BassBeats() const { return m_bassBeats.load(std::memory_order_relaxed); }
    uint32_t TrebleBeats() const { return m_trebleBeats.load(std::memory_order_relaxed); }
    // The treble detector's flag: set by each completed onset, cleared by taking it.
    bool TakeTrebleBeat() { return m_trebleBeat.exchange(false, std::memory_order_relaxed); }

  private:
    // A detector of onsets in one vote: the floor follows the vote down at once; a vote more
    // than `threshold` above the floor starts an onset, and the onset ends when the vote falls
    // back to within `threshold` of the floor, which then restarts from the vote.
    struct OnsetDetector {
        float threshold = 0.0f;
        float floor = 0.0f;
        float excess = 0.0f;  // the largest excess of the onset in progress
        bool onset = false;
        // The excess of an onset that ended with this vote, else 0.
        float Step(float vote, bool first);
    };
    // A style parameter the drive moves: its slot (-1 when the style has none with that role),
    // its value when recorded, and its range.
    struct RoleSlot {
        int slot = -1;
        float base = 0.0f;
        float min = 0.0f;
        float max = 0.0f;
    };
    // The values the features move around, read from the engine when attached.
    struct Bases {
        double viscosity = 1.0;
        double activity = 0.0;
        double pace = 0.0;
        double confinement = 0.0;
        double glitterExp = 2.0;
        double glitterAmount = 0.0;
        bool glitter = false;
        double influenceRange = 0.0;
        double pointMagnitude = 0.0;  // in the slider's form
        double pastel = 0.0;
        double brightness = 0.0;
        double turbulence = 1.0;  // the mover inertia as the turbulence setting gives it
        int style = -1;
        std::array<RoleSlot, kStyleRoleCount> roles{};
    };

    // The votes of the bass and treble bands, which some style parameters follow.
    struct Votes {
        double bass = 0.0;
        double treble = 0.0;
    };

    void RecordBases(CDrawWnd& engine);
    void RecordStyle(CDrawWnd& engine);
    void FollowLevels(const AudioBands& in, bool first);
    void DriveColour(CDrawWnd& engine, const AudioBands& in, bool first);
    Votes DriveBeats(CDrawWnd& engine, const AudioBands& in, double r, bool first);
    void DriveStyle(CDrawWnd& engine, const AudioBands& in, const Votes& votes, double r,
                    bool first);
    void DriveMotion(CDrawWnd& engine, double r);
    void DrivePeakFeatures(CDrawWnd& engine, double r);
    void FollowMeans(bool dreaming);
    // w(P): the band levels weighted with pattern P (1..13); 0 for an all-zero pattern.
    double Weighted(int pattern, const BandValues& levels) const;
    // The centred value of a feature: its input plus gain times how far its mean lies from
    // the centre. The input is kept for the mean's update at the end of the block.
    double Centred(int stat, double x, double gain, double centre);

    CDrawWnd* m_engine = nullptr;
    Bases m_bases;
    SelectivityPatterns m_patterns{};
    AudioStats m_stats;

    bool m_started = false;  // a block has been driven since construction
    BandValues m_level{};    // this block's levels, negatives as 0
    BandValues m_envelope{};
    BandValues m_peaks{};  // each band's largest level since the last peak features
    int m_peakBlocks = 0;
    double m_longTermLevel = 0.0;
    double m_peak = 0.0;
    double m_quietness = 0.0;
    double m_coefficient = 0.993;      // c: the envelopes and the every-8th-block means
    double m_meanCoefficient = 0.993;  // c^(1/8): the other means
    double m_shapeSum = 0.0;
    double m_concentration = 0.0;
    double m_middle = 0.0;  // the smoothed middle vote
    double m_sprayShape = 0.0;
    double m_flow = 0.0;       // the flow rate as it approaches its target
    double m_viscosity = 1.0;  // the viscosity feature's previous value
    double m_paceFactor = 1.0;
    double m_lastInfluence = -1.0;  // what the influence range was last set to
    OnsetDetector m_bass{0.6f};
    OnsetDetector m_treble{0.5f};
    // Inputs of this block's features, for the means; NaN where a feature did not run.
    std::array<double, kAudioStats> m_inputs{};

    std::atomic<float> m_sensitivity{kDefaultSensitivity};
    std::atomic<bool> m_rebase{false};
    std::array<std::atomic<float>, kAudioBands> m_levelShared{};
    std::array<std::atomic<float>, kAudioBands> m_envelopeShared{};
    std::atomic<float> m_peakShared{0.0f};
    std::atomic<uint32_t> m_bassBeats{0};
    std::atomic<uint32_t> m_trebleBeats{0};
    std::atomic<bool> m_trebleBeat{false};
};

// The pause watch of a running slideshow, fed the volume and the program clock every frame:
// a volume below 0.1 starts a pause; a volume above 0.2 ends it; a pause that lasts more than
// 1500 ms changes the slide once, and the next pause needs the music back above 0.2 first.
class MusicPause {
  public:
    static constexpr int kListening = 0;
    static constexpr int kPausing = 1;
    static constexpr int kSlideChanged = 2;
    static constexpr float kPauseBelow = 0.1f;
    static constexpr float kMusicAbove = 0.2f;
    static constexpr uint32_t kPauseMs = 1500;

    // True when the slide should change now. nowMs may wrap: only differences are used.
    bool Update(float volume, uint32_t nowMs);
    int State() const { return m_state; }

  private:
    int m_state = kListening;
    uint32_t m_pauseSince = 0;
};

}  // namespace quovis
