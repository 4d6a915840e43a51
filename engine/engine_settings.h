// EngineSettings lives with the preset field table that describes its members; this header
// stays for the engine code that has always included it, with the one rule of the settings
// that both a whole preset and a single live edit need.
#pragma once

#include "engine/preset_fields.h"

namespace quovis {

// The style's parameters as a preset gives them: the old start-colour codes read, then the
// values held to the style's ranges, or the style's defaults when the preset carries none.
// Fills `params` and returns their count.
int32_t ResolveStyleParams(int style, const EngineSettings& settings,
                           float params[kStyleParamSlots]);

}  // namespace quovis
