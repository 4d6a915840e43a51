#include "settings/preset_apply.h"

#include "present/text_window.h"

#include <mutex>

#include "engine/draw_wnd.h"
#include "settings/config_values.h"
#include "settings/preset_record.h"

namespace quovis {

namespace {

// Number of comma-separated fields after the name.
int FieldsAfterName(std::u16string_view text) {
    int fields = 0;
    std::u16string_view rest = text;
    NextPresetToken(rest);
    while (!rest.empty()) {
        NextPresetToken(rest);
        ++fields;
    }
    return fields;
}

}  // namespace

PresetCredits PresetCreditsFor(std::u16string_view name, std::u16string_view author,
                               std::u16string_view location, ConfigStore* config) {
    PresetCredits credits;
    if (name == u"*") {
        credits.title = u"\u201CCurrent Settings\u201D";
        if (config != nullptr) {
            credits.author = kConfigAuthor.Read(*config);
            credits.location = kConfigLocation.Read(*config);
        }
        return credits;
    }
    credits.title = u"\u201C";
    credits.title.append(name);
    credits.title.append(u"\u201D");
    if (author.empty()) {
        credits.author = u"Unknown Artist";
    } else if (author != u"-") {
        credits.author.assign(author);
    }
    if (location != u"-") credits.location.assign(location);
    return credits;
}

bool ApplyPresetString(CDrawWnd& engine, std::u16string_view text, const PresetApplyHost& host) {
    // A randomised preset draws its record now; the engine keeps the resolved text, so a
    // snapshot or the history shows what was really on screen.
    std::u16string resolved;
    if (!ResolvePresetString(text, resolved)) return false;
    PresetRecord record;
    if (!ReadPresetString(resolved, record)) return false;
    const EngineSettings settings = ToEngineSettings(record, FieldsAfterName(resolved));

    std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
    engine.SetPresetIdentity(record.Name, resolved);
    engine.ApplySettings(settings);
    if (host.text != nullptr) {
        const PresetCredits credits =
            PresetCreditsFor(record.Name, record.Author, record.Location, host.config);
        host.text->SetTitleLines(credits.title, credits.author, credits.location);
    }
    return true;
}

}  // namespace quovis
