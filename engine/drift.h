// Drift: a running pattern wanders slowly. Every 100 ms up to 20 parameters take one step of
// a bounded, self-centring random walk around the values they had when drift was switched
// on, so a pattern keeps changing without ever turning into another one.
//
// Slots (each keeps its own walk state):
//   0 point magnitude   1 pastels        2 colour brightness   3 energy (live copy)
//   4 flow rate (live copy)   5 new dots per group   6 spinning   7 strobe period
//   8 spray spread      9 viscosity     10 activity           11 start colour
//  12 confinement      13 influence range   14 turbulence     15 pace
//  16, 17 glitter amount and exponent (only while glitter is on)
//  18 horizontal ratio 19 vertical ratio
// The style slots run only when the current style has a parameter with that role. Energy
// and flow rate are written to the live copies, which the emitters blend in when they next
// read the parameter; the others are written to the parameter itself.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"

namespace quovis {

constexpr int kDriftSlots = 22;
constexpr uint32_t kDriftIntervalMs = 100;
// Each new value keeps this share of the previous offset: the walk is smooth, not jittery.
constexpr double kDriftSmoothing = 0.98;

// One step of a slot's walk; u is a uniform draw in (-1, 1) and offset the slot's state.
//   range <= 0: additive walk of width R = -range. The value stays within
//     [base - R(hi - lo), base + R(hi - lo)] and within [lo, hi].
//   range > 0: multiplicative walk; the value is base * exp(offset), |offset| <= range,
//     limited to [lo, hi].
// In both a pull proportional to the offset squared draws the walk back towards the base.
// A base outside [lo, hi] (or not a number) is first brought into it, so the bounds can
// never cross.
double DriftWalk(double& offset, double u, double base, double range, double step, double smoothing,
                 double lo, double hi);

struct CDrawWnd::DriftState {
    uint32_t lastStep = 0;  // millisecond clock of the last step
    bool running = false;
    bool captured = false;  // bases taken since drift was switched on
    int32_t style = -1;     // the style whose parameters the role table below describes

    // The engine's values when drift was switched on, by slot (style slots use roleBase).
    double base[kDriftSlots] = {};
    // Glitter was on at capture: only then may its amount and exponent drift.
    bool glitter = false;

    // For each role code, the style parameter with that role (-1 none) and its value when
    // captured.
    int32_t roleParam[kStyleRoleCount] = {};
    float roleBase[kStyleRoleCount] = {};

    double offset[kDriftSlots] = {};
    // The walks start narrow and widen over the first few seconds, so switching drift on
    // never makes the picture jump.
    double multRange = 0.0;
    double addRange = 0.0;
};

}  // namespace quovis
