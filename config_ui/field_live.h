// One preset field to a running engine: the field's live setter, with the table's scale and
// zero rule, so a slider moves the preview while it is dragged.
#pragma once

namespace quovis {

class CDrawWnd;
struct PresetField;
struct PresetRecord;

// Hands `field` of `record` to `engine` through the field's own setter (under the engine
// lock). Fields that need a new pattern (Motion, Style, Complexity) are set and the pattern
// restarted, keeping the dots. Returns false for a field the engine does not take (texts,
// Origin, the reserved fields).
bool ApplyFieldLive(CDrawWnd& engine, const PresetField& field, const PresetRecord& record);

}  // namespace quovis
