// Sound capture through a PulseAudio server (PipeWire serves the same client interface).
//
// By default it listens to "what you hear": the monitor of the server's default output, and
// it follows that output when the user switches it (headphones, a Bluetooth speaker). A source
// chosen by name (a microphone or a line input) is used instead while it exists; while it is
// gone the capture listens to the default output's monitor and goes back when it returns.
//
// No microphone is ever taken unless chosen by name, least of all a Bluetooth headset's:
// recording from it switches the headset to its telephone profile, and the music the user
// listens to turns to low-quality mono. When the server moves the stream to a source nobody
// chose (its own source went away), the capture moves it back to a monitor.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "audio/audio_capture.h"

namespace quovis {

// One recording source as the server lists it.
struct CaptureSource {
    std::string name;
    // The output this source monitors; empty for a microphone or line input.
    std::string monitorOfSink;
};

// The server's own name for "the monitor of the default output", for when the server does not
// say which output is the default.
inline constexpr std::string_view kDefaultMonitorSource = "@DEFAULT_MONITOR@";

struct SourceChoice {
    // The source to record from; empty when there is none, and then `error` says why.
    std::string name;
    std::string error;
};

// Which source to record: `chosen` when it names a listed source (whatever it is); for an
// empty `chosen`, the monitor of `defaultSink`, or kDefaultMonitorSource when no listed source
// monitors it. Never a microphone the user did not name.
SourceChoice ChooseCaptureSource(std::span<const CaptureSource> sources,
                                 std::string_view defaultSink, std::string_view chosen);

class PulseCapture final : public AudioCapture {
  public:
    PulseCapture();
    ~PulseCapture() override;
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    bool Open(AudioConsumer consumer, std::string_view sourceName) override;
    bool QueueBuffers(int count) override;
    bool Start() override;
    bool Close() override;
    std::string LastError() const override;

    // The source being recorded now (it changes when the capture follows the default
    // output); empty when not open.
    std::string CurrentSource() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace quovis
