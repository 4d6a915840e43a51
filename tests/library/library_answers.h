// Library answers as a server writes them, for the client's tests.
#pragma once

#include <string>

#include "engine/vocabulary.h"
#include "settings/builtin_presets.h"
#include "settings/preset_record.h"

namespace quovis::test {

// The text (with texts) of the first built-in preset that is (or is not) drawing-style. A
// randomised preset (Motion -1) draws a new record at every read, so it is never taken.
inline std::u16string BuiltinText(bool drawingStyle) {
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        std::u16string_view rest = BuiltinPreset(i);
        NextPresetToken(rest);
        if (PresetTokenToInt(NextPresetToken(rest)) == -1) continue;
        PresetRecord r;
        if (ReadPresetString(BuiltinPreset(i), r) && (r.Style == kStyleDraw) == drawingStyle) {
            return std::u16string(BuiltinPreset(i));
        }
    }
    return {};
}

inline std::u16string Num(int n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

inline std::u16string ItemBlock(int id, const std::u16string& preset,
                                const std::u16string& extra = u"") {
    return u"<item><id>" + Num(id) + u"</id><title>Item " + Num(id) + u"</title><seq>" +
           Num(1000000 + id) + u"</seq><snatches>" + Num(id * 2) + u"</snatches><preset>" + preset +
           u"</preset>" + extra + u"</item>";
}

// A list answer of `count` items of the given preset, ids 1..count.
inline std::u16string ListAnswer(int count, const std::u16string& preset) {
    std::u16string answer = u"<status>OK</status>";
    for (int i = 1; i <= count; ++i) answer += ItemBlock(i, preset);
    return answer;
}

}  // namespace quovis::test
