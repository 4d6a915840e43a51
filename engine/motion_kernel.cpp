// The dot kernel: every frame each living dot is moved, pushed by the movers' field, damped,
// kept in by walls (or wrapped round), tinted and plotted. This is the hot loop of the whole
// program (up to 144008 dots x 32 movers x 4 images per frame), so:
//   - PrepareMotionFrame fixes everything that is the same for all dots once per frame, on
//     the frame thread, before the bands start: wall constants, mover weights, the movers as
//     padded field-source arrays, the image maps for wrapping, colour gains;
//   - MoveAndPlotBand then runs on every worker for its own band of dots. It reads only those
//     constants, writes only its dots and its band record, allocates nothing, makes no
//     virtual call and no transcendental call per dot; the field sum is vector code.
// A dot's result depends on nothing but its own values and the frame's constants, so any cut
// into bands gives the same positions and colours.
#include <algorithm>
#include <cmath>

#include "engine/draw_wnd.h"
#include "engine/field_sum.h"

namespace quovis {

namespace {

// A mover with no strength reaches nowhere. Its weight is capped so that weight * distance
// stays finite even for a dot sitting exactly on the mover (0 * infinity would be NaN).
constexpr double kMaxWeight = 1e20;

// Images of the movers for wrapping, by the dot's quadrant q = 2 * [lower half] + [right
// half]: the three nearest copies across the edges the dot is near, and the movers.
constexpr int kShiftX[4][4] = {{0, -1, 0, -1}, {0, 1, 0, 1}, {0, 0, -1, -1}, {0, 0, 1, 1}};
constexpr int kShiftY[4][4] = {{0, 0, -1, -1}, {0, 0, -1, -1}, {0, 1, 0, 1}, {0, 1, 0, 1}};
// With Moebius wrapping a copy across a vertical edge is mirrored top to bottom and one
// across a horizontal edge left to right.
constexpr int kMirrorX[4][4] = {{0, 0, 1, 1}, {0, 0, 1, 1}, {0, 1, 0, 1}, {0, 1, 0, 1}};
constexpr int kMirrorY[4][4] = {{0, 1, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}};

// The push of the two walls of one axis: each grows as the dot nears (or passes) the wall
// beyond the margin. 0 <= result + 1 <= 2.
inline float WallPush(float p, float margin, float size, float k1, float k2) {
    const float tl = p > -margin ? std::fabs(p + margin) * k1 : 0.0f;
    const float tr = p < size + margin ? std::fabs(p - (size + margin)) * k1 : 0.0f;
    return 1.0f / (tl * tl * tl * k2 + 1.0f) - 1.0f / (tr * tr * tr * k2 + 1.0f);
}

// Wrapping with period size - 1: a dot leaving at size re-enters at 1. True when it wrapped.
inline bool WrapDot(float& p, float size) {
    const float period = size - 1.0f;
    if (p > period) {
        p -= period;
    } else if (p < 0.0f) {
        p += period;
    } else {
        return false;
    }
    // Only a velocity of more than a canvas per frame gets here.
    if (p < 0.0f || p > period) p = std::fmod(std::fmod(p, period) + period, period);
    return true;
}

}  // namespace

// ---- Per frame, on the frame thread -------------------------------------------------------

void CDrawWnd::PrepareMotionFrame() {
    const double w = m_nWidth;
    const double h = m_nHeight;
    // The activity is at least 0.01 once set (0.1 from presets); before that it is 0, which
    // would make the walls infinitely far-reaching.
    const double activity = std::max(m_motion.m_dActivity, 0.01);
    m_motion.m_fWallK1 = static_cast<float>(1.0 / (std::pow(activity / 5.0, 1.4) * 5.0 * 35.0 *
                                                   std::max(m_motion.m_dConfineGain, 1e-6)));
    m_motion.m_fWallK2 =
        w > 0.0 ? static_cast<float>((3141598.0 / (w * w)) * 1000.0 / w * 0.7) : 0.0f;
    m_nCentreX = m_nWidth / 2;
    m_nCentreY = m_nHeight / 2;
    // Round confinement limits the distance it measures to just inside its circle.
    m_motion.m_fConfineCap2 = std::max(m_motion.m_fConfineR2 - 5.0f, 1.0f);

    // Mover weights: more movers (and the extra images of wrapping) each reach less, so the
    // field's overall strength stays about the same.
    const int movers = std::clamp(m_movers.m_nMovers, 0, static_cast<int32_t>(kMaxMovers));
    const int images =
        ((m_motion.m_nWrapActive & kWrapImages) != 0 && m_motion.m_nWrapFlags != 0) ? 2 : 1;
    const double q = (w * h / 1e6) * 15.0 / (2.0 * movers * images + 1.0);
    for (int k = 0; k < kMaxMovers; ++k) {
        double weight = 0.0;
        if (k < movers) {
            const double s = std::fabs(static_cast<double>(m_movers.m_moverStrength[k]));
            const double denom = m_motion.m_bExtraTwist ? std::pow(s, 2.6) * q * 3.0 : s * s * q;
            weight = denom > 1.0 / kMaxWeight ? 1.0 / denom : kMaxWeight;
        }
        m_movers.m_moverWeight[k] = static_cast<float>(weight);
    }

    ComputeColourGains();
    UpdatePointCap();
    m_motion.m_bCursorFrame =
        (m_strokes.m_bInteraction && m_strokes.m_fCursorX >= 0.0f && m_strokes.m_fCursorY >= 0.0f)
            ? 1
            : 0;
    if (m_dots.m_nDots > 0 && m_dots.m_pX) {
        m_frame.m_fTravelX0 = m_dots.m_pX[0];
        m_frame.m_fTravelY0 = m_dots.m_pY[0];
    }
    PrepareFieldSources();
}

void CDrawWnd::PrepareFieldSources() {
    const int movers = std::clamp(m_movers.m_nMovers, 0, static_cast<int32_t>(kMaxMovers));
    const float colourScale = m_motion.m_bFieldColor ? m_colour.m_fFieldColourScale : 0.0f;
    // Only the active movers: the sums read count entries, so slots beyond hold nothing
    // they could feel.
    for (int k = 0; k < movers; ++k) {
        m_movers.m_fieldX[k] = m_movers.m_moverX[k];
        m_movers.m_fieldY[k] = m_movers.m_moverY[k];
        m_movers.m_fieldFlowX[k] = m_movers.m_flowVX[k];
        m_movers.m_fieldFlowY[k] = m_movers.m_flowVY[k];
        m_movers.m_fieldWeight[k] = m_movers.m_moverWeight[k];
        m_movers.m_fieldR[k] = m_movers.m_moverR[k] * colourScale;
        m_movers.m_fieldG[k] = m_movers.m_moverG[k] * colourScale;
        m_movers.m_fieldB[k] = m_movers.m_moverB[k] * colourScale;
    }
    m_movers.m_nFieldCount = movers;

    const bool four = (m_motion.m_nWrapActive & kWrapImages) != 0;
    const bool mobius = (m_motion.m_nWrapActive & kWrapMobius) != 0;
    m_movers.m_nFieldImages = four ? 4 : 1;
    const float w = static_cast<float>(m_nWidth);
    const float h = static_cast<float>(m_nHeight);
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        for (int j = 0; j < 4; ++j) {
            // Image position = mover + (size - 2 * mover) * mirror + shift * size, written
            // as sign * mover + offset.
            const int mx = mobius ? kMirrorX[quadrant][j] : 0;
            const int my = mobius ? kMirrorY[quadrant][j] : 0;
            float* image = &m_movers.m_fieldImage[quadrant][4 * j];
            image[0] = 1.0f - 2.0f * mx;
            image[1] = static_cast<float>(mx + kShiftX[quadrant][j]) * w;
            image[2] = 1.0f - 2.0f * my;
            image[3] = static_cast<float>(my + kShiftY[quadrant][j]) * h;
        }
    }
}

FieldSources CDrawWnd::FrameFieldSources() const {
    FieldSources s;
    s.x = m_movers.m_fieldX;
    s.y = m_movers.m_fieldY;
    s.flowX = m_movers.m_fieldFlowX;
    s.flowY = m_movers.m_fieldFlowY;
    s.weight = m_movers.m_fieldWeight;
    s.colourR = m_movers.m_fieldR;
    s.colourG = m_movers.m_fieldG;
    s.colourB = m_movers.m_fieldB;
    s.count = m_movers.m_nFieldCount;
    return s;
}

FieldQuadrants CDrawWnd::FrameFieldQuadrants() const {
    // The frame's image maps, one set of four per quadrant of the canvas.
    FieldQuadrants q;
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        for (int j = 0; j < 4; ++j) {
            const float* m = &m_movers.m_fieldImage[quadrant][4 * j];
            q.maps[quadrant][j] = FieldImage{m[0], m[1], m[2], m[3]};
        }
    }
    q.halfW = 0.5f * static_cast<float>(m_nWidth);
    q.halfH = 0.5f * static_cast<float>(m_nHeight);
    return q;
}

// ---- Per band, on the workers -------------------------------------------------------------

void CDrawWnd::MoveAndPlotBand(DotBand& band) {
    double sumX = 0.0;
    double sumY = 0.0;
    double travel = 0.0;
    int32_t count = 0;

    // A band resumes where its previous round of this frame stopped.
    const int first = std::max(band.Next, std::max(band.First, 0));
    const int last =
        std::min(band.Last, std::min(m_dots.m_nDots, static_cast<int32_t>(kMaxDots)) - 1);
    const float w = static_cast<float>(m_nWidth);
    const float h = static_cast<float>(m_nHeight);
    // Without a canvas of at least 2 x 2 there is nowhere to move to (and no wrap period).
    const bool canMove = m_dots.m_pX != nullptr && m_nWidth >= 2 && m_nHeight >= 2;

    const FieldSources sources = FrameFieldSources();
    const FieldFalloff falloff = m_motion.m_bExtraTwist ? FieldFalloff::Cube : FieldFalloff::Square;
    const int imageCount = m_movers.m_nFieldImages;
    const FieldQuadrants quadrants = FrameFieldQuadrants();
    const bool fieldColour = m_motion.m_bFieldColor != 0;
    // One block's moved positions and pushes: the field sum runs over a whole block of dots
    // in vector lanes, then each dot of the block is finished on its own.
    alignas(64) float blockX[kFieldBlock], blockY[kFieldBlock];
    alignas(64) float pushX[kFieldBlock], pushY[kFieldBlock];
    alignas(64) float pushR[kFieldBlock], pushG[kFieldBlock], pushB[kFieldBlock];
    FieldBlock block;
    block.x = blockX;
    block.y = blockY;
    block.vx = pushX;
    block.vy = pushY;
    block.r = pushR;
    block.g = pushG;
    block.b = pushB;
    const float gravity = m_style.m_fGravity;
    const float forceX = m_style.m_fForceScaleX;
    const float dampX = m_motion.m_fDampX;
    const float dampY = m_motion.m_fDampY;
    const float k1 = m_motion.m_fWallK1;
    const float k2 = m_motion.m_fWallK2;
    const float marginX = m_motion.m_fMarginX;
    const float marginY = m_motion.m_fMarginY;
    const bool wrapping = m_motion.m_nWrapActive != 0;
    const bool mobius = (m_motion.m_nWrapActive & kWrapMobius) != 0;
    const bool round = !wrapping && m_motion.m_bRoundConfine;
    const bool wallsY = !wrapping || m_style.m_nStyle == kStyleFalls;
    const float halfW = 0.5f * w;
    const float halfH = 0.5f * h;
    const float confineR = m_motion.m_fConfineR;
    const float confineCap2 = m_motion.m_fConfineCap2;
    const float x0 = m_frame.m_fTravelX0;
    const float y0 = m_frame.m_fTravelY0;

    float* const px = m_dots.m_pX;
    float* const py = m_dots.m_pY;
    float* const pvx = m_dots.m_pVX;
    float* const pvy = m_dots.m_pVY;
    float* const pr = m_dots.m_pDotR;
    float* const pg = m_dots.m_pDotG;
    float* const pb = m_dots.m_pDotB;
    const float* const mobility = m_dots.m_pMobility;

    // With a plot buffer, a block starts only while the buffer has room for all its plots.
    DotBand* const collect = band.collect && band.splats != nullptr ? &band : nullptr;
    const int blockPlots = kFieldBlock * ImagesPerDot();
    int b0 = canMove ? first : last + 1;
    for (; b0 <= last; b0 += kFieldBlock) {
        if (collect != nullptr && band.splatCount > 0 &&
            band.splatCount + blockPlots > band.splatCapacity) {
            break;
        }
        const int n = std::min(kFieldBlock, last - b0 + 1);
        for (int t = 0; t < n; ++t) {
            blockX[t] = px[b0 + t] + pvx[b0 + t];
            blockY[t] = py[b0 + t] + pvy[b0 + t];
        }
        // Parked dots get a push too, which is never used; the padding lanes sit at 0.
        for (int t = n; t < PaddedBlockCount(n); ++t) blockX[t] = blockY[t] = 0.0f;
        block.count = n;
        SumPushBlock(sources, &quadrants, imageCount, falloff, fieldColour, block);

        for (int t = 0; t < n; ++t) {
            const int i = b0 + t;
            const float oldX = px[i];
            if (IsParked(oldX)) continue;  // parked: not moved, not drawn, not counted

            // 1. Move, count, fall.
            float vx = pvx[i];
            float vy = pvy[i];
            float x = blockX[t];
            float y = blockY[t];
            sumX += x;
            sumY += y;
            travel += std::fabs(x - x0) + std::fabs(y - y0);
            ++count;
            vy += gravity;

            // 2. The field's push, from the movers or their images round the edges.
            float c0 = pr[i];
            float c1 = pg[i];
            float c2 = pb[i];
            if (fieldColour) {
                c0 = std::clamp(c0 + pushR[t], -100.0f, 255.0f);
                c1 = std::clamp(c1 + pushG[t], -100.0f, 255.0f);
                c2 = std::clamp(c2 + pushB[t], -100.0f, 255.0f);
            }

            // 3. Damping; a dot's mobility scales it.
            const float mob = mobility[i];
            vx = (vx + pushX[t] * forceX) * dampX * mob;
            vy = (vy + pushY[t]) * dampY * mob;

            // 4. Confinement and edges.
            if (round) {
                const float dx = x - halfW;
                const float dy = y - halfH;
                float d2 = dx * dx + dy * dy;
                if (d2 > 100.0f) {
                    d2 = std::min(d2, confineCap2);
                    const float d = std::sqrt(d2);
                    const float beyond = std::fabs(d - confineR) * k1;
                    const float f = 3.0f / (d * (beyond * beyond * k2 + 1.0f));
                    vx -= dx * f;
                    vy -= dy * f;
                }
            } else {
                if (!wrapping) {
                    vx += WallPush(x, marginX, w, k1, k2);
                } else if (WrapDot(x, w) && mobius) {
                    y = h - y;
                    vy = -vy;
                }
                if (wallsY) {
                    vy += WallPush(y, marginY, h, k1, k2);
                } else if (WrapDot(y, h) && mobius) {
                    x = w - x;
                    vx = -vx;
                }
            }

            // 5. Colour: tint by the direction of motion, decay.
            UpdateDotColour(vx, vy,
                            (i == 0 && m_motion.m_bCursorFrame) ? m_colour.m_fCursorGain
                                                                : m_colour.m_fColourGain,
                            c0, c1, c2);

            // 6. Plot, with the reflection images.
            PlotDotImages(x, y, c0, c1, c2, vx, vy, false, collect);

            // 7. Store.
            px[i] = x;
            py[i] = y;
            pvx[i] = vx;
            pvy[i] = vy;
            pr[i] = c0;
            pg[i] = c1;
            pb[i] = c2;
        }
    }

    band.Next = b0;
    if (collect != nullptr) SortSplatsByStripe(band);
    band.SumX += static_cast<float>(sumX);
    band.SumY += static_cast<float>(sumY);
    band.Travel += travel;
    band.Count += count;
}

}  // namespace quovis
