// Sound capture for the audio sync: the contract between a capture back-end and the analysis
// that consumes it, and the DC filter every back-end applies to what it records.
//
//   Open         connects to the recording source (by name, or the system's default when the
//                name is empty) in the fixed format below, without recording yet; false, with
//                a reason in LastError(), when there is no server, no such source or the
//                format is refused.
//   QueueBuffers makes the capture's ring of blocks ready to be filled (call it after Open).
//   Start        starts recording: from then on the consumer receives every block.
//   Close        stops recording and ends the capture thread; safe to call at any time.
//
// The consumer runs on the capture's own thread, never concurrently with itself, with blocks
// of exactly kCaptureBlockFrames interleaved stereo frames in recording order, already
// DC-filtered. Whatever it shares with other threads it must guard itself. It must not call
// Close (the thread cannot wait for itself to end).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quovis {

// The format the analysis expects: 44100 frames per second of 16-bit stereo, in blocks of
// 1024 frames (about 23 ms).
constexpr int kCaptureSampleRate = 44100;
constexpr int kCaptureChannels = 2;
constexpr int kCaptureBlockFrames = 1024;
constexpr int kCaptureBlockBytes = kCaptureBlockFrames * kCaptureChannels * 2;
// The blocks the capture may hold between the sound server and the consumer: about 93 ms.
constexpr int kCaptureMaxBuffers = 4;

using AudioConsumer = std::function<void(const int16_t* stereoFrames, int frames)>;

class AudioCapture {
  public:
    virtual ~AudioCapture() = default;

    virtual bool Open(AudioConsumer consumer, std::string_view sourceName) = 0;
    virtual bool QueueBuffers(int count) = 0;
    virtual bool Start() = 0;
    virtual bool Close() = 0;
    // Why the last Open failed, or why an open capture stopped delivering, for the log; empty
    // while all is well.
    virtual std::string LastError() const = 0;
};

// Removes (all but 0.4% of) the constant offset a sound card's input may carry, which would
// read as a loud lowest band, leaving everything above a few tens of hertz alone: per channel, w =
// x + a·w1 and y = b·w − c·w1, clamped to the 16-bit range.
class DcFilter {
  public:
    void Reset();
    // Filters interleaved stereo frames in place.
    void Apply(int16_t* stereoFrames, int frames);

  private:
    // The previous w of each channel.
    double m_previous[kCaptureChannels] = {};
};

}  // namespace quovis
