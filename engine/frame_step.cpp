// The frame step: one call advances the engine by one frame and leaves a new image in the
// canvas. Stages, in order:
//    1 disc kernels          7 style-parameter refresh     13 movers
//    2 start-up image        8 pattern phase (slides)      14 slide timer
//    3 housekeeping          9 titles and messages         15 music pause, spectrum
//    4 pacing (previews)    10 emission                    16 overlays, pacing (full screen)
//    5 begin the frame      11 motion and plot (bands)     17 done
//    6 per-frame constants  12 statistics
// The caller holds the engine lock for the whole call.
#include <algorithm>
#include <cmath>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

namespace {

// Signed difference of two wrapping millisecond clocks: positive when a is after b.
int32_t Since(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b);
}

}  // namespace

void CDrawWnd::SetFrameHooks(const FrameHooks& hooks) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_frame.m_hooks = hooks;
}

void CDrawWnd::SetSaverMode(bool on) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_bSaverMode = on ? 1 : 0;
}

void CDrawWnd::SetSlideshow(bool on) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_slides.m_bSlideshow = on ? 1 : 0;
}

void CDrawWnd::SetSlideTimes(double minSeconds, double maxSeconds) {
    if (!std::isfinite(minSeconds) || !std::isfinite(maxSeconds)) return;
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_slides.m_dSlideMinSeconds = std::max(0.0, std::min(minSeconds, maxSeconds));
    m_slides.m_dSlideMaxSeconds = std::max(0.0, std::max(minSeconds, maxSeconds));
}

void CDrawWnd::SetReflectSpin(double degreesPerFrame) {
    if (!std::isfinite(degreesPerFrame)) return;
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_reflect.m_dReflectSpin = degreesPerFrame;
}

void CDrawWnd::SetAutoSave(bool on) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_slides.m_bAutoSave = on ? 1 : 0;
}

void CDrawWnd::SetPendingNav(int direction) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    m_slides.m_nPendingNav = direction > 0 ? 1 : (direction < 0 ? -1 : 0);
}

void CDrawWnd::RunBandJob(CDrawWnd* engine, DotBand* band) {
    engine->MoveAndPlotBand(*band);
}

bool CDrawWnd::StepFrame() {
    if (!m_bReady || m_dots.m_nDots < 0) return false;
    const uint32_t now = m_clock.Milliseconds();

    // 1. Disc kernels, one row per frame while a round dot style waits for its table.
    BuildDiscKernels(m_look.m_nDotStyle, false);

    // 2. First frames: the start-up picture fades before the art begins.
    if (!StartUpDone(now)) return false;
    ++m_frame.m_nFrame;

    // 3. Housekeeping.
    Housekeeping();

    // 4. Previews are paced before they draw; full screen paces at the end.
    if (!m_bSaverMode && m_frame.m_hooks.pacer != nullptr &&
        !m_frame.m_hooks.pacer->ShouldDraw(*this)) {
        return false;
    }

    // 5. Begin the frame. With trails on nothing is cleared: last frame's fade remains.
    BeginCanvasFrame();

    // 6. Per-frame constants of motion and colour.
    PrepareMotionFrame();

    // 7. A restart asked for by a setter (a new dot count), then style parameters changed
    // since the last frame.
    if (m_bRestartPending) {
        StartPattern(RandomUniform() - 0.5, -1, -1, -1, false);
        m_bRestartPending = 0;
        PrepareMotionFrame();  // the restarted movers push this frame's dots
    }
    RefreshStyleParams();

    // 8. Slides.
    const bool animate = AdvancePatternPhase();

    if (animate) {
        // 9. Titles and messages made of dots. No dots are emitted while letters form or a
        // title stands, and the dots stand still while a title is on screen.
        const bool lettersBusy = StepLetters();

        // 10. Emission.
        if (!lettersBusy && m_style.m_bStartParked) EmitDots();
        // A letter drawn for the first time is seeded from the next frame on.
        if (m_text.m_nMessagePhase == kMessagePending) m_text.m_nMessagePhase = kMessageSeeding;
        if (m_text.m_nTitlePhase != kTitleIdle) {
            // The dots stand still, but full screen still paces the frame: the title would
            // otherwise be presented as fast as the machine allows.
            if (m_bSaverMode && m_frame.m_hooks.pacer != nullptr)
                (void)m_frame.m_hooks.pacer->ShouldDraw(*this);
            return true;
        }

        // 11. Motion and plot, in bands on the workers.
        RunMotionBands();

        // 12. Statistics.
        GatherBandStatistics();
    }

    // 13. Movers, after the dots have moved with this frame's field.
    UpdateMovers();

    // 14. Slide timer.
    CheckSlideTimer();

    // 15. Music.
    if (m_frame.m_hooks.audio != nullptr) {
        if (m_bSaverMode && m_slides.m_bSlideshow && m_frame.m_hooks.audio->MusicPaused(*this)) {
            RequestSlideChange();
        }
        m_frame.m_hooks.audio->DrawSpectrum(*this);
    }

    // 16. Overlays; full screen paces here (it may sleep; the frame is not skipped).
    if (m_text.m_clock.on && m_frame.m_hooks.overlay != nullptr)
        m_frame.m_hooks.overlay->PaintClockLayer(*this);
    if (m_bSaverMode && m_frame.m_hooks.pacer != nullptr)
        (void)m_frame.m_hooks.pacer->ShouldDraw(*this);
    return true;
}

// ============================================================================================
// Stages
// ============================================================================================

bool CDrawWnd::StartUpDone(uint32_t now) {
    if (m_frame.m_nFrame == 0) {
        // A short fade normally; a longer one when the saver starts over the desktop picture.
        m_frame.m_dwStartDeadline =
            now + (m_bSaverMode && m_frame.m_bKeepDesktopPicture ? 1700u : 100u);
        m_frame.m_nFrame = 1;
        if (m_frame.m_hooks.overlay != nullptr)
            (void)m_frame.m_hooks.overlay->ShowStartImage(*this, 1.0);
        return false;
    }
    if (m_frame.m_nFrame == 1) {
        m_text.m_dwTitleStart = now;
        if (Since(m_frame.m_dwStartDeadline, now) > 0) {
            if (m_frame.m_hooks.overlay != nullptr) {
                const double r =
                    static_cast<double>(Since(m_frame.m_dwStartDeadline, now)) / 1200.0;
                if (r > 0.0 && r < 1.0)
                    (void)m_frame.m_hooks.overlay->ShowStartImage(*this, std::pow(r, 1.33));
            }
            return false;
        }
        if (m_frame.m_hooks.overlay != nullptr)
            (void)m_frame.m_hooks.overlay->ShowStartImage(*this, 0.0);
        if (m_frame.m_hooks.pacer != nullptr) m_frame.m_hooks.pacer->ResetPacing(*this);
        m_slides.m_dwPatternStart = now;
    }
    return true;
}

void CDrawWnd::Housekeeping() {
    if (m_frame.m_nFrame % 120 == 0 && m_bSaverMode && m_frame.m_hooks.overlay != nullptr &&
        m_frame.m_hooks.overlay->WindowCovered(*this)) {
        m_frame.m_bCloseRequested = 1;
    }
    if (m_frame.m_nFrame % 15 == 0) {
        if (m_frame.m_nFrame % 60 == 0) {
            if (m_frame.m_hooks.pacer != nullptr) m_frame.m_hooks.pacer->SlowDownCheck(*this);
            // The wheel turns 5 degrees a second at 60 frames per second; a negative offset
            // (a mirrored wheel) keeps its sign.
            const float sign = m_motion.m_fHueOffset < 0.0f ? -1.0f : 1.0f;
            m_motion.m_fHueOffset =
                std::fmod(std::fabs(m_motion.m_fHueOffset) + 5.0f, 360.0f) * sign;
        }
        BuildHueTable(m_motion.m_fHueOffset, (m_frame.m_nFrame % 60) / 15 + 1);
    }
    if (m_reflect.m_dReflectSpin != 0.0 && m_reflect.m_nReflections != 0) {
        m_reflect.m_dReflectAngle += m_reflect.m_dReflectSpin * 3.1415926535 / 360.0;
        for (int i = 0; i < m_reflect.m_nReflections; ++i) {
            const double a =
                2.0 * 3.1415926535 * i / m_reflect.m_nReflections + m_reflect.m_dReflectAngle;
            m_reflect.m_fReflSin[i] = static_cast<float>(std::sin(a));
            m_reflect.m_fReflCos[i] = static_cast<float>(std::cos(a));
        }
    }
}

void CDrawWnd::BeginCanvasFrame() {
    if (m_pCanvas == nullptr) return;
    bool clear = !m_trails.m_bLeaveTrails;
    if (m_slides.m_bSlideshow && !m_slides.m_bSlideshowCanvasStarted) {
        // The very first slideshow frame keeps whatever the canvas holds.
        m_slides.m_bSlideshowCanvasStarted = 1;
        clear = false;
    }
    m_pCanvas->BeginFrame(clear);
}

void CDrawWnd::RefreshStyleParams() {
    if (!m_style.m_bStyleParamsChanged) return;
    const bool wasParked = m_style.m_bStartParked != 0;
    ApplyStyleParams();
    if (wasParked && !m_style.m_bStartParked) {
        // A style that stopped emitting needs its field now, or the canvas stays empty.
        bool anyParked = false;
        for (int i = 0; i < m_dots.m_nDots && !anyParked; ++i)
            anyParked = m_dots.m_pX[i] < 90000.0f;
        if (anyParked) {
            InitialPlacement(0.0);
            if (m_frame.m_hooks.pacer != nullptr) m_frame.m_hooks.pacer->ResetPacing(*this);
        }
    }
    m_style.m_bStyleParamsChanged = 0;
    m_style.m_nEmitCounter = 10000;  // emit at once
}

// Returns whether the dots move and draw this frame (Running and Dying do; Waiting and
// Switching do not).
bool CDrawWnd::AdvancePatternPhase() {
    const uint32_t now = m_clock.Milliseconds();
    switch (m_slides.m_nPatternPhase) {
        case kPhaseRunning:
            return true;
        case kPhaseDying:
            if (Since(now, m_slides.m_dwPhaseDeadline) > 0) {
                m_slides.m_nPatternPhase = kPhaseSwitching;
                break;
            }
            return true;
        case kPhaseWaiting:
            if (static_cast<uint32_t>(now - m_slides.m_dwPatternStart) >
                m_slides.m_dwSlideIntervalMs) {
                m_slides.m_dwPatternStart = now;
                m_slides.m_nPatternPhase = kPhaseSwitching;
                break;
            }
            return false;
        default:
            break;
    }
    if (m_slides.m_nPatternPhase == kPhaseSwitching) SwitchSlide(now);
    return false;
}

void CDrawWnd::SwitchSlide(uint32_t now) {
    // Without the slideshow the same pattern carries on after a short pause. The finished
    // slide is saved once, when the pause is over, not on every frame of it.
    if (!m_slides.m_bSlideshow && static_cast<uint32_t>(now - m_slides.m_dwPatternStart) <= 200u)
        return;
    if (m_bSaverMode && m_slides.m_bAutoSave && m_frame.m_hooks.snapshots != nullptr) {
        m_frame.m_hooks.snapshots->AutoSaveSnapshot(*this);
    }
    PickNextMessage();
    // A message between slides only when the user asked for messages; otherwise the
    // built-in one would appear for everyone.
    const int title = m_text.m_bMessagesOn ? kTitleDrawNext : kTitleIdle;
    if (m_slides.m_bSlideshow && title == kTitleIdle) {
        ChooseNextSlide(now);
    } else if (m_slides.m_bSlideshow) {
        // The message forms out of the finished slide's dots; the next slide is chosen when
        // the title ends.
        m_slides.m_nPatternPhase = kPhaseRunning;
        m_slides.m_dwPhaseDeadline = 0;
        m_slides.m_dwPatternStart = now;
    } else {
        RestoreSlideColours();
        m_slides.m_dwPatternStart = now;
        m_slides.m_nPatternPhase = kPhaseRunning;
        m_slides.m_dwPhaseDeadline = 0;
    }
    m_text.m_nTitlePhase = title;
    m_slides.m_slideStats = engine_areas::SlideStatistics{};
    m_slides.m_slideStats.startMs = now;
}

void CDrawWnd::ChooseNextSlide(uint32_t now) {
    bool changed = false;
    if (m_frame.m_hooks.selector != nullptr) {
        if (m_slides.m_nPendingNav != 0)
            changed = m_frame.m_hooks.selector->NavigateHistory(*this, m_slides.m_nPendingNav);
        if (!changed) changed = m_frame.m_hooks.selector->SelectNext(*this);
    }
    if (changed) {
        m_slides.m_bSlideDimmed = 0;  // the new settings brought their own colours
    } else {
        // Without a slideshow source the same pattern starts over, freshly seeded.
        RestoreSlideColours();
        ResetPattern(RandomUniform() - 0.5, false);
    }
    m_slides.m_nPendingNav = 0;
    m_text.m_dwTitleStart = now;
    m_slides.m_nPatternPhase = kPhaseRunning;
    m_slides.m_dwPhaseDeadline = 0;
    if (m_frame.m_hooks.pacer != nullptr) m_frame.m_hooks.pacer->ResetPacing(*this);
    m_slides.m_dwPatternStart = now;
}

void CDrawWnd::PickNextMessage() {
    if (m_text.m_nMessageCount <= 0) return;
    int idx = 0;
    if (m_text.m_nMessageCount > 1) {
        // A different message each time; earlier ones a little more often.
        for (int tries = 0; tries < 64; ++tries) {
            idx = static_cast<int>(std::pow(RandomUniform(), 1.25) * m_text.m_nMessageCount);
            if (idx != m_text.m_nMessageIndex) break;
        }
    } else {
        idx = static_cast<int>(std::pow(RandomUniform(), 1.4) * m_text.m_nMessageCount);
    }
    m_text.m_nMessageIndex = std::clamp(idx, 0, m_text.m_nMessageCount - 1);
}

void CDrawWnd::RequestSlideChange() {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    if (m_slides.m_nPatternPhase != kPhaseRunning) return;
    const uint32_t now = m_clock.Milliseconds();
    m_slides.m_dwPatternStart = now;
    EndSlide(now);
}

bool CDrawWnd::RequestSlideChange(int direction) {
    std::lock_guard<std::recursive_mutex> guard(m_csEngine);
    // Only the selector knows its history; without one there is nothing to go back to.
    if (direction < 0 &&
        (m_frame.m_hooks.selector == nullptr || !m_frame.m_hooks.selector->HasHistory(-1))) {
        return false;
    }
    SetPendingNav(direction);
    RequestSlideChange();
    return true;
}

void CDrawWnd::EndSlide(uint32_t now) {
    m_slides.m_nPatternPhase = kPhaseDying;
    m_slides.m_dwPhaseDeadline = now + 2000u;
    // The dots dim while they die.
    if (!m_slides.m_bSlideDimmed) {
        m_slides.m_dUndimmedBright = m_colour.m_dColourBright;
        m_slides.m_dUndimmedPastel = m_colour.m_dPastel;
        m_slides.m_bSlideDimmed = 1;
    }
    SetColourBright(0.005);
    SetPastels(std::min(m_colour.m_dPastel, 0.25), true);
    SetSlideDuration(m_slides.m_dSlideMinSeconds, m_slides.m_dSlideMaxSeconds);
}

void CDrawWnd::RestoreSlideColours() {
    if (!m_slides.m_bSlideDimmed) return;
    m_slides.m_bSlideDimmed = 0;
    // Brightness first: the pastel value's decay rates depend on it. The trails' shade was
    // never touched by the dimming, so it stays as it is.
    SetColourBright(m_slides.m_dUndimmedBright);
    SetPastels(m_slides.m_dUndimmedPastel, true);
}

void CDrawWnd::CheckSlideTimer() {
    if (m_slides.m_dwSlideIntervalMs == 0) return;
    const uint32_t now = m_clock.Milliseconds();
    if (static_cast<uint32_t>(now - m_slides.m_dwPatternStart) <= m_slides.m_dwSlideIntervalMs)
        return;
    m_slides.m_dwPatternStart = now;
    if (m_slides.m_nPatternPhase != kPhaseRunning) return;
    if (m_slides.m_bSlideshow) {
        EndSlide(now);
    } else if (m_text.m_bMessagesOn && m_text.m_nTitlePhase == kTitleIdle) {
        // Without the slideshow the pattern goes on, and each slide interval brings the
        // next message.
        PickNextMessage();
        m_text.m_nTitlePhase = kTitleDrawNext;
    }
}

// ============================================================================================
// Emission
// ============================================================================================

void CDrawWnd::EmitDots() {
    double rate = EmissionRate();
    if (!(rate > 0.0)) return;
    ++m_style.m_nEmitCounter;
    const int group = std::max(1, static_cast<int>(std::floor(m_style.m_nGroupSize + 0.5)));
    int repeats = 1;
    if (rate > 100.0) {
        const double over = (rate - 100.0) / 20.0;
        const int groupsPer16 = m_dots.m_nDots / group / 16;
        // At least one group: with few dots and large groups the count would round to none,
        // and a faster flow would emit nothing at all.
        repeats = std::max(1, static_cast<int>(std::floor(over * over * groupsPer16 + 0.999)));
        rate = 100.0;
    }
    double interval = std::pow((100.0 - rate) / 100.0, 3.0) * 2.0 * group + 1.0;
    if (m_style.m_nStyle == kStyleCircle) {
        const float spinFlow = m_style.m_fStyleParam[5];
        if (spinFlow == 0.0f || spinFlow >= 3.0f) interval = rate;
    }
    const int intervalFrames = std::max(1, static_cast<int>(std::floor(interval)));
    if (m_style.m_nEmitCounter < intervalFrames && !m_style.m_bEmitEveryFrame) return;
    m_style.m_nEmitCounter = 0;

    for (int r = 0; r < repeats; ++r) {
        if (m_dots.m_nDots < m_dots.m_nMaxDots) {
            // The population grows by one group; nothing is re-emitted meanwhile.
            m_dots.m_nDots = std::min(m_dots.m_nDots + group, m_dots.m_nMaxDots);
            continue;
        }
        if (m_dots.m_nDots <= 0) return;
        const int count = m_style.m_bEmitEveryFrame ? std::max(1, group / intervalFrames) : group;
        const int first = m_style.m_nEmitCursor % m_dots.m_nDots;
        const int last = first + count - 1;
        m_style.m_nEmitCursor = (last + 1) % m_dots.m_nDots;
        if (m_slides.m_nPatternPhase == kPhaseDying) {
            ParkRun(first, last);
        } else {
            Emit(first, last, static_cast<double>(intervalFrames) / group, intervalFrames);
            ColourNewDots(first, last);
            // A beat in the music sends one mover to the new dots; otherwise the movers of
            // the dots just re-emitted let go of them.
            if (m_motion.m_nMotion == kMotionRecursive && !AttachMoverOnBeat(first))
                DetachMoversIn(first, last);
        }
    }
}

void CDrawWnd::ParkRun(int first, int last) {
    if (IsParked(m_dots.m_pX[first % m_dots.m_nDots])) return;
    for (int i = first; i <= last; ++i) {
        const int d = i % m_dots.m_nDots;
        if (IsParked(m_dots.m_pX[d])) {
            // Every dot has died: the slide can end on the next frame.
            m_slides.m_dwPhaseDeadline = 1;
            return;
        }
        m_dots.m_pX[d] = kParked;
        m_dots.m_pY[d] = kParked;
    }
}

void CDrawWnd::DetachMoversIn(int first, int last) {
    const int span = last - first + 1;
    for (int k = 0; k < m_movers.m_nMovers; ++k) {
        const int dot = m_movers.m_moverDot[k];
        if (dot <= 0) continue;
        const int offset = ((dot - first) % m_dots.m_nDots + m_dots.m_nDots) % m_dots.m_nDots;
        if (offset < span) m_movers.m_moverDot[k] = -dot;
    }
}

bool CDrawWnd::AttachMoverOnBeat(int first) {
    if (m_drift.m_bAudioDriveAttached == 0 || m_movers.m_nMovers <= 0) return false;
    if (m_movers.m_bAttachBeat.exchange(0, std::memory_order_relaxed) == 0) return false;
    const int k = m_movers.m_nBeatMover % std::min(m_movers.m_nMovers, kMaxMovers);
    // Attached (not negated): the mover glides to the new dot instead of jumping onto it.
    m_movers.m_moverDot[k] = first;
    m_movers.m_nBeatMover = k + 1;
    return true;
}

// ============================================================================================
// Motion and statistics
// ============================================================================================

void CDrawWnd::RunMotionBands() {
    const int bands = std::max(1, m_nBands);
    const bool stripes = UseStripes();
    for (int b = 0; b < bands; ++b) {
        DotBand& band = m_bands[b];
        band.First = static_cast<int32_t>(static_cast<int64_t>(m_dots.m_nDots) * b / bands);
        band.Last =
            static_cast<int32_t>(static_cast<int64_t>(m_dots.m_nDots) * (b + 1) / bands) - 1;
        band.Next = band.First;
        band.SumX = 0.0f;
        band.SumY = 0.0f;
        band.Travel = 0.0;
        band.Count = 0;
        band.splatCount = 0;
        band.collect = stripes;
    }
    if (!stripes) {
        RunOnBands(&RunBandJob);
        return;
    }
    // Rounds of moving (each band fills its plot buffer) and plotting (each band's stripe),
    // until every band has moved all its dots.
    PrepareStripes(m_pCanvas->Surface().height);
    for (;;) {
        RunOnBands(&RunBandJob);
        RunOnBands(&ApplySplatsJob);
        bool done = true;
        for (int b = 0; b < bands; ++b) {
            m_bands[b].splatCount = 0;
            done = done && m_bands[b].Next > m_bands[b].Last;
        }
        if (done) return;
    }
}

bool CDrawWnd::UseStripes() const {
    if (m_splatStore == nullptr || m_pCanvas == nullptr) return false;
    const CanvasSurface& s = m_pCanvas->Surface();
    if (s.width <= 0 || s.height <= 0) return false;
    if (m_nBands >= kStripesFromBands) return true;
    // One worker: collecting first pays only when the vector kernel then draws the plots.
    return m_bVectorSplats && m_look.m_nDotStyle == kDotPoints && s.deep != nullptr;
}

void CDrawWnd::RunOnBands(void (*job)(CDrawWnd*, DotBand*)) {
    const int bands = std::max(1, m_nBands);
    if (m_pPool != nullptr && bands > 1) {
        m_pPool->RunOnAll(job, this, bands, m_bands.get());
    } else {
        for (int b = 0; b < bands; ++b) job(this, &m_bands[b]);
    }
}

void CDrawWnd::ApplySplatsJob(CDrawWnd* engine, DotBand* band) {
    // Band b draws stripe b; a canvas too short for a stripe per band has fewer stripes,
    // and the bands past them draw nothing (ApplySplatStripe ignores a stripe it lacks).
    engine->ApplySplatStripe(static_cast<int>(band - engine->m_bands.get()));
}

void CDrawWnd::GatherBandStatistics() {
    double sumX = 0.0, sumY = 0.0, travel = 0.0;
    int64_t count = 0;
    for (int b = 0; b < std::max(1, m_nBands); ++b) {
        sumX += m_bands[b].SumX;
        sumY += m_bands[b].SumY;
        travel += m_bands[b].Travel;
        count += m_bands[b].Count;
    }
    m_frame.m_nCentroidX = count > 0 ? static_cast<int32_t>(sumX / count) : 0;
    m_frame.m_nCentroidY = count > 0 ? static_cast<int32_t>(sumY / count) : 0;
    m_frame.m_dTravel = travel;
    m_frame.m_nMovedDots = static_cast<int32_t>(count);
}

}  // namespace quovis
