// AudioDrive and MusicPause. Sections:
//   helpers          band weights, votes, the onset detector
//   attachment       the bases the features move around
//   the drive        levels, colour, beats, style parameters, motion, peak features, means
//   music pause
#include "audio/audio_drive.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <numbers>

#include "engine/draw_wnd.h"

namespace quovis {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNoInput = std::numeric_limits<double>::quiet_NaN();

// The long-run mean of each feature (AudioStats). 10 and 14 belong to no feature.
constexpr int kStatViscosity = 0;
constexpr int kStatActivity = 1;
constexpr int kStatInertia = 2;
constexpr int kStatPace = 3;
constexpr int kStatDotsPerGroup = 4;
constexpr int kStatFlowRate = 5;
constexpr int kStatEnergy = 6;
constexpr int kStatInfluence = 7;
constexpr int kStatSpinning = 8;
constexpr int kStatConfinement = 9;
constexpr int kStatStartColour = 11;
constexpr int kStatSpraySpread = 12;
constexpr int kStatMiddle = 13;  // the mean of the middle vote
constexpr int kStatStrobe = 15;
constexpr int kStatGlitterExp = 16;
constexpr int kStatGlitterAmount = 17;

// The fixed weights of the three votes (band 0 the highest frequencies).
constexpr BandValues kTrebleWeights = {1.0f, 1.0f,  0.4f, 0.3f, 0.4f, 0.3f, 0.15f,
                                       0.1f, 0.05f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
constexpr BandValues kMiddleWeights = {0.0f, 0.0f, 0.4f, 0.8f, 0.9f, 1.0f, 0.9f,
                                       0.4f, 0.1f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
constexpr BandValues kBassWeights = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.1f, 0.15f,
                                     0.3f, 0.4f, 0.6f, 0.7f, 1.0f, 1.0f, 1.0f};
// The spray's shape: high-middle bands narrow the spread of launch speeds, low-middle bands
// widen it.
constexpr BandValues kSprayWeights = {0.0f,  0.0f,  1.0f,  0.66f, 0.33f, 0.0f, -0.3f,
                                      -0.5f, -0.8f, -1.0f, 0.0f,  0.0f,  0.0f, 0.0f};

// The engine's limit of the stored viscosity: the feature's previous value is kept within it,
// so that one wild block cannot leave it at infinity for good.
constexpr double kViscosityMax = 40100.0;
// The slider form of the point magnitude is the stored form to this power.
constexpr double kPointMagnitudeRoot = 0.6180469715698392;

// Rising bands vote for, falling bands against: the weighted root mean square of the rising
// trends minus that of the falling ones.
double Vote(const BandValues& weights, const BandValues& trend) {
    double upWeight = 0.0, upSum = 0.0, downWeight = 0.0, downSum = 0.0;
    for (int b = 0; b < kAudioBands; ++b) {
        const double t = trend[b];
        if (t >= 0.0) {
            upWeight += weights[b];
            upSum += weights[b] * t * t;
        } else {
            downWeight += weights[b];
            downSum += weights[b] * t * t;
        }
    }
    const double up = upWeight > 0.0 ? std::sqrt(upSum / upWeight) : 0.0;
    const double down = downWeight > 0.0 ? std::sqrt(downSum / downWeight) : 0.0;
    return up - down;
}

bool AllFinite(const BandValues& values) {
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

bool AllFinite(const AudioBands& in) {
    return AllFinite(in.level) && AllFinite(in.trend) && AllFinite(in.shape) &&
           AllFinite(in.dream) && std::isfinite(in.volume) && std::isfinite(in.spread);
}

// q^(r * e): the features scale their bases by a power of a fixed ratio.
double Scale(double q, double r, double e) {
    return std::pow(q, r * e);
}

}  // namespace

// ============================================================================================
// Helpers
// ============================================================================================

float AudioDrive::OnsetDetector::Step(float vote, bool first) {
    if (first) {
        floor = vote;
        excess = 0.0f;
        onset = false;
        return 0.0f;
    }
    floor = std::min(floor, vote);
    const float e = vote - floor;
    if (!onset) {
        if (e > threshold) {
            onset = true;
            excess = e;
        }
        return 0.0f;
    }
    excess = std::max(excess, e);
    if (e >= threshold) return 0.0f;
    const float ended = excess;
    onset = false;
    excess = 0.0f;
    floor = vote;
    return ended;
}

double AudioDrive::Weighted(int pattern, const BandValues& levels) const {
    const BandValues& p = m_patterns[pattern - 1];
    double sum = 0.0, weights = 0.0;
    for (int b = 0; b < kAudioBands; ++b) {
        sum += p[b] * levels[b];
        weights += p[b];
    }
    return weights != 0.0 ? sum / weights : 0.0;
}

double AudioDrive::Centred(int stat, double x, double gain, double centre) {
    m_inputs[stat] = x;
    return x + gain * (centre - m_stats[stat]);
}

AudioDrive::AudioDrive() : m_stats(LimitAudioStats(DefaultAudioStats())) {
    m_inputs.fill(kNoInput);
}

void AudioDrive::SetSensitivity(float sensitivity) {
    if (!std::isfinite(sensitivity)) return;
    m_sensitivity.store(std::clamp(sensitivity, 0.0f, 2.0f), std::memory_order_relaxed);
}

BandValues AudioDrive::Levels() const {
    BandValues out;
    for (int b = 0; b < kAudioBands; ++b) out[b] = m_levelShared[b].load(std::memory_order_relaxed);
    return out;
}

BandValues AudioDrive::Envelopes() const {
    BandValues out;
    for (int b = 0; b < kAudioBands; ++b)
        out[b] = m_envelopeShared[b].load(std::memory_order_relaxed);
    return out;
}

// ============================================================================================
// Attachment
// ============================================================================================

void AudioDrive::Attach(CDrawWnd& engine) {
    std::lock_guard<std::recursive_mutex> lock(engine.EngineLock());
    m_engine = &engine;
    engine.EnableDrift(false);
    engine.SetAudioDriveAttached(true);
    RecordBases(engine);
    m_rebase.store(false, std::memory_order_relaxed);
}

void AudioDrive::Detach() {
    if (m_engine == nullptr) return;
    m_engine->SetAudioDriveAttached(false);
    m_engine = nullptr;
}

void AudioDrive::RecordBases(CDrawWnd& engine) {
    Bases& b = m_bases;
    b.viscosity = engine.ViscosityStored();
    b.activity = engine.Activity();
    b.pace = engine.Pace();
    b.confinement = engine.Confinement();
    b.glitterExp = engine.GlitterExp();
    b.glitterAmount = engine.GlitterAmount();
    b.glitter = engine.GlitterOn();
    b.influenceRange = engine.InfluenceRange();
    b.pointMagnitude = std::pow(std::max(0.0, engine.PointMagnitudeStored()), kPointMagnitudeRoot);
    b.pastel = engine.Pastels();
    b.brightness = engine.ColourBright();
    // The turbulence setting that gives the current inertia (SetTurbulence inverted); an
    // inertia of 1 would have none.
    const double inertia = std::clamp(engine.MoverInertia(), 0.0, 0.999999);
    b.turbulence = 1.0 + std::log(1.0 - inertia) / 8.0;
    m_viscosity = b.viscosity;
    m_paceFactor = 1.0;
    m_lastInfluence = -1.0;
    RecordStyle(engine);
}

void AudioDrive::RecordStyle(CDrawWnd& engine) {
    Bases& b = m_bases;
    b.style = engine.Style();
    b.roles.fill(RoleSlot{});
    if (const StyleInfo* style = GetStyle(b.style)) {
        const int count = std::min<int>(style->paramCount, kStyleParamSlots);
        for (int j = 0; j < count; ++j) {
            const StyleParamInfo& info = style->params[j];
            int role = info.role;
            // The second kinds of energy and spinning are driven as the first.
            if (role == kRoleEnergy2) role = kRoleEnergy;
            if (role == kRoleSpinningRate) role = kRoleSpinning;
            if (role <= kRoleNone || role >= kStyleRoleCount || b.roles[role].slot >= 0) continue;
            RoleSlot& slot = b.roles[role];
            slot.slot = j;
            slot.base = engine.StyleParam(j);
            slot.min = static_cast<float>(info.min);
            slot.max = static_cast<float>(info.max);
        }
    }
    // A start colour still in the old 0/1/2 encoding is driven around what it means.
    RoleSlot& colour = b.roles[kRoleStartColour];
    if (colour.slot >= 0 && colour.base >= 0.0f && colour.base <= 2.0f)
        colour.base = static_cast<float>(StartColourFromPreset(static_cast<int32_t>(colour.base)));
    m_flow = b.roles[kRoleFlowRate].base;
}

// ============================================================================================
// The drive
// ============================================================================================

void AudioDrive::Drive(const AudioBands& in) {
    if (!AllFinite(in)) return;
    const bool first = in.first || !m_started;
    m_started = true;
    FollowLevels(in, first);

    CDrawWnd* engine = m_engine;
    if (engine == nullptr) return;
    std::lock_guard<std::recursive_mutex> lock(engine->EngineLock());
    // A new preset, or at least a new style: the parameters with roles are other ones now.
    if (m_rebase.exchange(false, std::memory_order_relaxed))
        RecordBases(*engine);
    else if (engine->Style() != m_bases.style)
        RecordStyle(*engine);

    const double r = in.dreaming ? kDreamResponsiveness : Sensitivity();
    m_inputs.fill(kNoInput);
    DriveColour(*engine, in, first);
    const Votes votes = DriveBeats(*engine, in, r, first);
    DriveStyle(*engine, in, votes, r, first);
    DriveMotion(*engine, r);
    if (++m_peakBlocks >= 8) {
        DrivePeakFeatures(*engine, r);
        m_peaks.fill(0.0f);
        m_peakBlocks = 0;
    }
    FollowMeans(in.dreaming);
}

void AudioDrive::FollowLevels(const AudioBands& in, bool first) {
    double squares = 0.0;
    double top = in.level[0];
    for (int b = 0; b < kAudioBands; ++b) {
        const double n = in.level[b];
        squares += n * n;
        top = std::max(top, n);
        m_level[b] = std::max(in.level[b], 0.0f);
    }
    const double rms = std::sqrt(squares / kAudioBands);
    const double volume = std::clamp(static_cast<double>(in.volume), 0.0, 1.0);
    const double quiet = std::pow(1.0 - volume, 10.0);
    if (first) {
        m_longTermLevel = rms;
        m_peak = top;
        m_quietness = quiet;
    } else {
        m_longTermLevel = 0.99 * m_longTermLevel + 0.01 * rms;
        m_peak = 0.99 * m_peak + 0.01 * top;
        m_quietness = 0.981 * m_quietness + 0.019 * quiet;
    }
    // Loud music: envelopes and means follow a little faster; silence holds them.
    double c = 0.993 * (1.0 - m_quietness) + 0.989 * m_quietness;
    if (volume < 0.25) c += (1.0 - c) * std::pow((0.25 - volume) * 4.0, 0.2);
    m_coefficient = c;
    m_meanCoefficient = std::pow(c, 1.0 / 8.0);

    if (first) m_peakBlocks = 0;
    for (int b = 0; b < kAudioBands; ++b) {
        const float n = m_level[b];
        m_envelope[b] = first ? n : static_cast<float>(c * m_envelope[b] + (1.0 - c) * n);
        m_peaks[b] = first ? n : std::max(m_peaks[b], n);
        m_levelShared[b].store(n, std::memory_order_relaxed);
        m_envelopeShared[b].store(m_envelope[b], std::memory_order_relaxed);
    }
    m_peakShared.store(static_cast<float>(m_peak), std::memory_order_relaxed);
}

void AudioDrive::DriveColour(CDrawWnd& engine, const AudioBands& in, bool first) {
    // Pastel: how much of the spectrum stands high in its range. Brightness: how little of it
    // sits in one place (the strongest band, its neighbours counted half).
    double sum = 0.0;
    int strongest = 0;
    for (int b = 0; b < kAudioBands; ++b) {
        sum += in.shape[b];
        if (in.shape[b] > in.shape[strongest]) strongest = b;
    }
    double near = in.shape[strongest];
    if (strongest > 0) near += 0.5 * in.shape[strongest - 1];
    if (strongest + 1 < kAudioBands) near += 0.5 * in.shape[strongest + 1];
    const double concentration = sum > 0.0 ? near / sum : 0.0;
    m_shapeSum = first ? sum : 0.5 * m_shapeSum + 0.5 * sum;
    m_concentration = first ? concentration : 0.9 * m_concentration + 0.1 * concentration;

    const Bases& b = m_bases;
    engine.SetPastels(std::clamp((m_shapeSum / kAudioBands - 0.6) * 3.5 + b.pastel, 0.001, 1.15),
                      true);
    engine.SetColourBright(std::clamp((0.25 - m_concentration) * 5.0 + b.brightness, 0.001, 2.5));
    const double magnitude =
        std::min(1.0, std::pow(10.0, 2.0 * (m_peak - 0.3) - 1.0) * b.pointMagnitude);
    engine.SetPointMagnitudeStored(std::pow(std::max(0.0, magnitude), 1.35));
}

AudioDrive::Votes AudioDrive::DriveBeats(CDrawWnd& engine, const AudioBands& in, double r,
                                         bool first) {
    Votes votes;
    votes.bass = Vote(kBassWeights, in.trend);
    votes.treble = Vote(kTrebleWeights, in.trend);
    const double middle = Vote(kMiddleWeights, in.trend);
    m_middle = first ? middle : 0.5 * m_middle + 0.5 * middle;

    const float bass = m_bass.Step(static_cast<float>(votes.bass), first);
    if (bass > 0.0f) {
        engine.KickPatternAngle(bass * kPi * 0.9 * r);
        engine.FlagAttachBeat();
        engine.FlagWarpBeat();
        m_bassBeats.fetch_add(1, std::memory_order_relaxed);
    }
    const float treble = m_treble.Step(static_cast<float>(votes.treble), first);
    if (treble > 0.0f) {
        engine.KickPatternAngle(kPi);
        m_trebleBeat.store(true, std::memory_order_relaxed);
        m_trebleBeats.fetch_add(1, std::memory_order_relaxed);
    }
    return votes;
}

void AudioDrive::DriveStyle(CDrawWnd& engine, const AudioBands& in, const Votes& votes, double r,
                            bool first) {
    const auto& roles = m_bases.roles;
    const BandValues& n = m_level;

    // Flow rate: up slowly, down quickly, so that loud high bands pour the dots out.
    double y = Centred(kStatFlowRate, Weighted(2, n), 0.985, 0.5);
    if (const RoleSlot& s = roles[kRoleFlowRate]; s.slot >= 0) {
        const double target = s.base + (y - 0.5) * 3.223 * 0.33 * r * s.max;
        m_flow = target > m_flow ? 0.75 * m_flow + 0.25 * target : 0.05 * m_flow + 0.95 * target;
        m_flow = std::clamp(m_flow, static_cast<double>(s.min), static_cast<double>(s.max));
        engine.SetLiveStyleParam(s.slot, m_flow);
    }

    // Energy follows the bass vote. Limited to the parameter's range: a strong vote would
    // otherwise push it far past what the emitters expect.
    y = Centred(kStatEnergy, votes.bass, 0.985 * 0.95, 0.0);
    if (const RoleSlot& s = roles[kRoleEnergy]; s.slot >= 0) {
        const double v = s.base * Scale(2.0, r, 2.0 * 1.5721422 * y);
        engine.SetLiveStyleParam(
            s.slot, std::clamp(v, static_cast<double>(s.min), static_cast<double>(s.max)));
    }

    y = Centred(kStatDotsPerGroup, 4.0 * votes.treble, 0.8 * 0.985, 0.0);
    if (const RoleSlot& s = roles[kRoleDotsPerGroup]; s.slot >= 0) {
        const double v = std::pow(s.base, Scale(1.7, r, 2.0 * 0.5364053 * y));
        if (!std::isnan(v))
            engine.SetStyleParamValue(s.slot, std::round(std::clamp(v, 1.0, double{s.max})));
    }

    // Spinning, and with it the spray's shape.
    y = Centred(kStatSpinning, Weighted(7, n), 0.985, 0.53);
    double spray = 0.0;
    for (int b = 0; b < kAudioBands; ++b) spray += kSprayWeights[b] * n[b];
    if (in.dreaming)
        m_sprayShape = (in.dream[7] - 0.5) * 6.0;
    else
        m_sprayShape = first ? spray : 0.85 * m_sprayShape + 0.15 * spray;
    if (const RoleSlot& s = roles[kRoleSpinning]; s.slot >= 0) {
        const double v = std::trunc(s.base * Scale(2.3, r, (2.0 * y - 1.0) * 2.8855734));
        engine.SetStyleParamValue(s.slot, std::clamp(v, double{s.min}, double{s.max}));
        engine.SetSprayShape(Scale(22.0, r, -1.66 * m_sprayShape));
    }

    y = Centred(kStatStrobe, Weighted(13, n), 0.985, 0.5);
    if (const RoleSlot& s = roles[kRoleStrobePeriod]; s.slot >= 0) {
        const double v = std::trunc(s.base * Scale(3.0, r, (2.0 * y - 1.0) * 1.8));
        engine.SetStyleParamValue(s.slot, std::clamp(v, double{s.min}, double{s.max}));
    }

    y = Centred(kStatStartColour, Weighted(12, n) + 0.35 * (votes.bass - 0.2), 0.985, 0.5);
    if (const RoleSlot& s = roles[kRoleStartColour]; s.slot >= 0) {
        const double above =
            s.base - kStartColourBlack + 2.0 * 1.7791293 * (y - 0.5) * 100.0 * 1.1 * r;
        engine.SetStartColour(kStartColourBlack + std::clamp(above, 0.0, 100.0));
    }

    // Spray spread: a wide spectrum narrows the spray; a quiet low end opens it fully.
    y = Centred(kStatSpraySpread, in.spread, 0.4 * 0.985, 0.51);
    if (const RoleSlot& s = roles[kRoleSpraySpread]; s.slot >= 0) {
        double v = std::min(double{s.max}, s.base * Scale(4.9, r, -(2.0 * y - 1.0) * 2.1261699));
        const double low = Weighted(11, n);
        if (low < 0.5) v += (s.max - v) * std::pow((0.5 - low) * 2.0, 3.5);
        engine.SetStyleParamValue(s.slot, std::max(v, double{s.min}));
    }
}

void AudioDrive::DriveMotion(CDrawWnd& engine, double r) {
    const Bases& b = m_bases;
    const BandValues& n = m_level;
    const double meanMiddle = m_stats[kStatMiddle];
    // A middle vote above its mean thins the medium and livens the movers.
    const double tilt = 0.03 * r * (m_middle - meanMiddle);

    double y = Centred(kStatViscosity, Weighted(1, n), 0.985, 0.48) - tilt;
    double v = 0.4 * std::pow(b.viscosity, Scale(1.33, r, (2.0 * y - 1.0) * 3.7101698)) +
               0.6 * m_viscosity;
    m_viscosity = std::clamp(v, 1.0, kViscosityMax);
    engine.SetViscosityStored(m_viscosity);

    y = Centred(kStatActivity, Weighted(4, n), 0.985, 0.5) + tilt;
    engine.SetActivity(
        std::clamp(b.activity * Scale(2.0, r, (2.0 * y - 1.0) * 2.8908701), 0.01, 6.0));

    y = Centred(kStatConfinement, Weighted(8, n), 0.985, 0.5);
    engine.SetConfinement(
        std::clamp(b.confinement * Scale(2.2, r, (2.0 * y - 1.0) * 2.6217656), -2000.0, 2000.0));

    const bool glitter = b.glitter && engine.GlitterOn();
    y = Centred(kStatGlitterExp, Weighted(9, n), 0.985, 0.5);
    if (glitter)
        engine.SetGlitterExp(
            std::clamp(b.glitterExp / Scale(3.5, r, (2.0 * y - 1.0) * 2.5), 2.0, 10000.0));
    y = Centred(kStatGlitterAmount, Weighted(10, n), 0.985, 0.49);
    if (glitter)
        engine.SetGlitterAmount(
            std::clamp(b.glitterAmount * Scale(3.0, r, (2.0 * y - 1.0) * 1.8), 1.0, 1000.0));

    // Setting the influence range restarts the movers' speeds, so an unchanged value is not
    // set again.
    y = Centred(kStatInfluence, Weighted(3, n), 0.99, 0.5);
    v = std::trunc(
        std::min(100.0, b.influenceRange + 2.0 * 3.5007079 * (y - 0.5) * r * 100.0 * 0.25));
    if (v != m_lastInfluence) {
        engine.SetInfluenceRange(v);
        m_lastInfluence = v;
    }
}

void AudioDrive::DrivePeakFeatures(CDrawWnd& engine, double r) {
    const Bases& b = m_bases;
    double y = Centred(kStatInertia, Weighted(6, m_peaks), 0.985, 0.48);
    engine.SetTurbulence(std::min(1.0, b.turbulence * Scale(1.2, r, (2.0 * y - 1.0) * 2.8911499)));

    // Pace jumps up with the music and sinks back slowly.
    y = Centred(kStatPace, Weighted(5, m_peaks), 0.985, 0.52);
    const double f = Scale(2.0, r, (2.0 * y - 1.0) * 2.9789);
    m_paceFactor = f > m_paceFactor ? f : 0.8 * m_paceFactor + 0.2 * f;
    engine.SetPace(std::min(2.0, m_paceFactor * b.pace));
}

void AudioDrive::FollowMeans(bool dreaming) {
    // The dream state's values are no measure of the music the means stand for.
    if (dreaming) return;
    for (int i = 0; i < kAudioStats; ++i) {
        if (std::isnan(m_inputs[i])) continue;
        // The peak features run every 8th block, so their means take the per-block step.
        const double c = (i == kStatInertia || i == kStatPace) ? m_coefficient : m_meanCoefficient;
        m_stats[i] = static_cast<float>(c * m_stats[i] + (1.0 - c) * m_inputs[i]);
    }
    m_stats[kStatMiddle] = static_cast<float>(0.96 * m_stats[kStatMiddle] + 0.04 * m_middle);
}

// ============================================================================================
// Music pause
// ============================================================================================

bool MusicPause::Update(float volume, uint32_t nowMs) {
    switch (m_state) {
        case kListening:
            if (volume < kPauseBelow) {
                m_state = kPausing;
                m_pauseSince = nowMs;
            }
            return false;
        case kPausing:
            if (volume > kMusicAbove) {
                m_state = kListening;
                return false;
            }
            if (nowMs - m_pauseSince > kPauseMs) {
                m_state = kSlideChanged;
                return true;
            }
            return false;
        default:  // kSlideChanged: one change per pause
            if (volume > kMusicAbove) m_state = kListening;
            return false;
    }
}

}  // namespace quovis
