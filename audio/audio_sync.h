// AudioSync: music steering one engine. It owns the analysis and the drive and is fed blocks
// of sound by whoever has them: the live capture on its own thread, or a renderer reading a
// song from a file in step with its frames. To the frame step it is the engine's audio hook:
// a pause in the music ends a slideshow's slide, and F9's bars show the bands in the frame.
//
// Threads: OnBlock belongs to the feeding thread (one at a time). The setters may be called
// from any thread. MusicPaused and DrawSpectrum run on the frame thread under the engine
// lock. Statistics and Agc are for saving once the feeding has stopped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "audio/audio_analysis.h"
#include "audio/audio_drive.h"
#include "engine/frame_hooks.h"

namespace quovis {

class TextWindow;

struct AudioSyncSettings {
    float sensitivity = 0.6f;  // "AudioSyncSensitivity" / 1000
    float selectivity = 3.0f;  // "AudioSyncQ" / 100
    AudioStats stats = DefaultAudioStats();
    float agc = 0.0f;
    int32_t seed = 1;  // the dream state's random values
};

class AudioSync final : public FrameAudio {
  public:
    // engine: driven from now on, and until destruction. text: where "No Audio Present" goes
    // (may be null). nowMs: the program clock the music pause is timed with.
    AudioSync(CDrawWnd& engine, const AudioSyncSettings& settings, TextWindow* text,
              std::function<uint32_t()> nowMs);
    ~AudioSync() override;
    AudioSync(const AudioSync&) = delete;
    AudioSync& operator=(const AudioSync&) = delete;

    // One captured block: analysed, and the engine steered by it. A block of fewer than 512
    // frames is ignored.
    void OnBlock(const int16_t* stereo, int frames, uint32_t nowMs);

    void SetSensitivity(float sensitivity) { m_drive.SetSensitivity(sensitivity); }
    void SetSelectivity(float q);
    // A new preset is on: the drive steers around its values from the next block.
    void Rebase() { m_drive.Rebase(); }
    // F9: the bands as bars at the bottom of the frame.
    void ToggleBars() { m_bars.store(!m_bars.load(std::memory_order_relaxed)); }

    float Volume() const { return m_analysis.Volume(); }
    BandValues Levels() const { return m_drive.Levels(); }
    uint32_t BassBeats() const { return m_drive.BassBeats(); }
    bool IsDreaming() const { return m_analysis.IsDreaming(); }
    // For saving as "Stat%d" and "AGC" of "Audio".
    AudioStats Statistics() const { return m_drive.Statistics(); }
    float Agc() const { return m_analysis.Agc(); }

    // Paints the band levels as 14 bars side by side into a picture of 0xFFRRGGBB words
    // (rows `stride` words apart, top-down; negative for a bottom-up picture): each bar in its
    // band's colour up to its level, and with `backdrop` the rest in a deep blue.
    void PaintSpectrum(uint32_t* pixels, int width, int height, std::ptrdiff_t stride,
                       bool backdrop = true) const;

    bool MusicPaused(CDrawWnd& engine) override;
    void DrawSpectrum(CDrawWnd& engine) override;

  private:
    CDrawWnd& m_engine;
    TextWindow* m_text;
    std::function<uint32_t()> m_nowMs;
    AudioAnalysis m_analysis;
    AudioDrive m_drive;
    MusicPause m_pause;
    AudioBands m_bands;
    std::atomic<bool> m_bars{false};
    float m_patternsFor = -1.0f;  // the selectivity the drive's patterns were built with
};

}  // namespace quovis
