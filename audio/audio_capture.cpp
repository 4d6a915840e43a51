#include "audio/audio_capture.h"

#include <algorithm>

namespace quovis {

namespace {

// A pole just inside the unit circle and a zero a hair closer to 1: a constant offset is cut
// 250-fold (about -48 dB), the pole keeps the notch narrow (about 12 Hz wide at 44100 Hz), and
// the gain is close to 1 from a few tens of hertz up.
constexpr double kPole = 0.99820796566444;
constexpr double kGainNow = 0.99910754994081;
constexpr double kGainPrevious = 0.99910041572362;

}  // namespace

void DcFilter::Reset() {
    std::fill(std::begin(m_previous), std::end(m_previous), 0.0);
}

void DcFilter::Apply(int16_t* stereoFrames, int frames) {
    for (int channel = 0; channel < kCaptureChannels; ++channel) {
        double previous = m_previous[channel];
        int16_t* sample = stereoFrames + channel;
        for (int frame = 0; frame < frames; ++frame, sample += kCaptureChannels) {
            const double w = *sample + kPole * previous;
            const double y = kGainNow * w - kGainPrevious * previous;
            previous = w;
            *sample = static_cast<int16_t>(std::clamp(y, -32768.0, 32767.0));
        }
        m_previous[channel] = previous;
    }
}

}  // namespace quovis
