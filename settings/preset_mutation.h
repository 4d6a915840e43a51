// Evolution: small random changes to a preset, so that a favorite never looks exactly the
// same twice in the slideshow. The configuration window's "Evolve Settings Now" and the E key
// take the same step.
#pragma once

#include <functional>

#include "settings/preset_record.h"

namespace quovis {

// A uniform draw in [0, 1); the engine's generator in the saver, a fixed sequence in tests.
using UniformDraw = std::function<double()>;

// v moved at random by up to rate * (max - min) (at least about one unit), rounded and kept
// in min..max. The logarithmic form moves ln v over ln(max(min, 1))..ln max instead, for
// values whose useful changes are proportional (dot counts).
int PerturbValue(double v, double rate, double min, double max, bool logarithmic,
                 const UniformDraw& u);

// One evolution step of a valid record: motion, flow, reflections, colour, trails and the
// style's parameters each move a little or, rarely, flip.
void MutatePreset(PresetRecord& record, const UniformDraw& u);

}  // namespace quovis
