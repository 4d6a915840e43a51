// EngineSettings lives with the preset field table that describes its members; this header
// stays for the engine code that has always included it.
#pragma once

#include "engine/preset_fields.h"
