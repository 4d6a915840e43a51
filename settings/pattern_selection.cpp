#include "settings/pattern_selection.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "engine/draw_wnd.h"
#include "engine/style_table.h"
#include "settings/builtin_presets.h"
#include "settings/config_store.h"
#include "settings/config_values.h"
#include "settings/drawing_files.h"
#include "settings/favorites.h"
#include "settings/preset_mutation.h"
#include "settings/text_encoding.h"

namespace quovis {

namespace {

constexpr int kDrawTries = 3000;
// How often in a row the draw may hit the pattern just shown before it is accepted again
// (only then is a single selected favorite shown twice).
constexpr int kRepeatLimit = 10;
// Library lists that cannot be had, or items that cannot be fetched, cost a new draw; this
// many in one slide change and the slide falls back to the current settings.
constexpr int kRedraws = 64;
constexpr std::u16string_view kFirstPickName = u"Into The Light";

// A favorite's text when it holds a preset; nullopt when absent or removed.
std::optional<std::u16string> FavoriteText(ConfigStore& store, int slot) {
    std::optional<std::u16string> text = kFavoritesSlot.ReadStored(store, slot);
    PresetRecord record;
    if (!text || text->find(u',') == std::u16string::npos || !ReadPresetString(*text, record)) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

PatternSelection::PatternSelection(ConfigStore& store, PresetApplyHost host,
                                   SlideshowLibrary* library)
    : m_store(store), m_host(host), m_library(library) {}

void PatternSelection::ReadSettings(bool seededNow) {
    m_firstPick = seededNow;
    m_favoriteCount = CountFavorites(m_store);
    m_selection.assign(static_cast<std::size_t>(m_favoriteCount), 0);
    m_sourceBits = 0;
    const int32_t random = kConfigRandom.ReadOr(m_store, -1);
    if (random == -1) {
        // First run: the slideshow is on and shows every favorite.
        m_slideshow = true;
        std::fill(m_selection.begin(), m_selection.end(), 1);
        return;
    }
    m_deviations = kConfigDeviations.Read(m_store);
    m_slideshow = random != 0;
    if (!m_slideshow || m_favoriteCount == 0) return;
    if (std::optional<std::vector<uint8_t>> stored = kConfigRanArray.ReadStored(m_store)) {
        const std::size_t n = std::min(stored->size(), m_selection.size());
        std::copy_n(stored->begin(), n, m_selection.begin());
    }
    m_sourceBits = kConfigRanCur.Read(m_store);
    const bool any =
        std::any_of(m_selection.begin(), m_selection.end(), [](uint8_t b) { return b != 0; });
    if (!any && m_sourceBits == 0) std::fill(m_selection.begin(), m_selection.end(), 1);
}

int PatternSelection::DrawSource(CDrawWnd& engine) {
    int r = -1;
    bool accepted = false;
    for (int tries = 0; tries < kDrawTries && !accepted; ++tries) {
        r = static_cast<int>(engine.RandomUniform() * (m_favoriteCount + 4)) - 4;
        if (r < 0) {
            accepted = (m_sourceBits & (1 << (-r - 1))) != 0;
        } else if (static_cast<std::size_t>(r) < m_selection.size() &&
                   m_selection[static_cast<std::size_t>(r)] != 0) {
            if (r != m_lastPick) {
                m_repeatCount = 0;
                accepted = true;
            } else {
                accepted = ++m_repeatCount > kRepeatLimit;
            }
        }
    }
    if (!accepted) {
        const auto first =
            std::find_if(m_selection.begin(), m_selection.end(), [](uint8_t b) { return b != 0; });
        if (first != m_selection.end()) r = static_cast<int>(first - m_selection.begin());
    }
    m_lastPick = r;
    return r;
}

std::u16string PatternSelection::CurrentSettingsText() {
    const std::u16string settings = kConfigSettings.Read(m_store);
    return settings.empty() ? std::u16string(DefaultPresetString()) : settings;
}

void PatternSelection::LoadDrawing(CDrawWnd& engine, const PresetRecord& record,
                                   const std::optional<std::u16string>& known) {
    if (record.Style != kStyleDraw) return;
    std::optional<std::u16string> strokes = known;
    if (!strokes) strokes = ReadDrawing(m_store, record.Name);
    if (!strokes || strokes->empty()) return;
    engine.LoadStrokeList(*strokes);
    if (engine.IsSaverMode()) WriteDrawing(m_store, kLastPatternDrawing, &*strokes);
}

void PatternSelection::Apply(CDrawWnd& engine, const std::u16string& text, int mutations,
                             int source) {
    if (!ApplyPresetString(engine, text, m_host)) {
        // Not a preset after all (a damaged favorite): the default preset rather than
        // whatever the engine happened to hold.
        ApplyPresetString(engine, DefaultPresetString(), m_host);
    }
    PresetRecord record;
    ReadPresetString(engine.PresetText(), record);
    LoadDrawing(engine, record, std::nullopt);
    engine.StartPattern(engine.RandomUniform() - 0.5, -1, -1, -1, false);
    m_shown = Shown{record.Name, source, mutations};
}

bool PatternSelection::ShowLibraryItem(CDrawWnd& engine, int source) {
    const SlideshowLibrary::List list =
        source == -3 ? SlideshowLibrary::List::Popular : SlideshowLibrary::List::Newest;
    const int size = m_library != nullptr ? m_library->ListSize(list) : 0;
    if (size < 0) return false;  // still on its way: another source this time
    if (size == 0) {
        // An empty or unavailable list leaves the slideshow for the rest of the run.
        m_sourceBits &= list == SlideshowLibrary::List::Popular
                            ? ~kSourceLibraryPopular
                            : ~(kSourceLibraryNewest | kSourceLibraryRandom);
        return false;
    }
    int index = source == -4
                    ? static_cast<int>(static_cast<uint32_t>(engine.RandomInteger()) % size)
                    : static_cast<int>(std::pow(engine.RandomUniform(), 1.8) * size);
    index = std::clamp(index, 0, size - 1);
    std::optional<SlideshowLibrary::Item> item = m_library->GetItem(list, index);
    PresetRecord record;
    if (!item || !ReadPresetString(item->presetText, record)) return false;
    const bool saver = engine.IsSaverMode();
    if (saver) PushHistory(-1);
    if (!ApplyPresetString(engine, item->presetText, m_host)) return false;
    if (saver) {
        PatternSlot slot;
        ReadPresetString(engine.PresetText(), slot.record);
        slot.libraryId = item->id;
        slot.drawing = item->drawing;
        slot.SaveAsLastPattern(m_store);
        SetLibraryTitles(item->title, item->author, item->location);
    }
    if (record.Style == kStyleDraw && item->drawing) engine.LoadStrokeList(*item->drawing);
    engine.StartPattern(engine.RandomUniform() - 0.5, -1, -1, -1, false);
    m_shown = Shown{record.Name, source, 0};
    return true;
}

bool PatternSelection::SelectNext(CDrawWnd& engine) {
    std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
    engine.SetRateLimit(kConfigTargetFPS.Read(m_store));
    engine.SetDriftAllowed(kConfigDrift.Read(m_store) != 0);

    std::u16string text;
    int source = -1;
    bool firstPick = false;
    if (!m_slideshow) {
        text = CurrentSettingsText();
    } else {
        bool chosen = false;
        for (int attempt = 0; attempt < kRedraws && !chosen; ++attempt) {
            // Without a single favorite the draw has nothing to land on; the current
            // settings stand in rather than the slideshow drawing for ever.
            const std::optional<std::u16string> first = FavoriteText(m_store, 0);
            if (!kFavoritesSlot.ReadStored(m_store, 0)) break;
            int r = -100;
            if (m_firstPick) {
                for (int n = 0; n < m_favoriteCount; ++n) {
                    PresetRecord record;
                    if (LoadFavorite(m_store, n, record) && record.Valid != 0 &&
                        EqualIgnoringCase(record.Name, kFirstPickName)) {
                        r = n;
                        firstPick = true;
                        break;
                    }
                }
                if (engine.IsSaverMode()) m_firstPick = false;
            }
            if (r == -100) r = DrawSource(engine);
            source = r;
            if (r >= 0) {
                std::optional<std::u16string> slot = FavoriteText(m_store, r);
                if (!slot) slot = first;
                if (!slot) continue;  // neither the pick nor the first favorite holds a preset
                text = std::move(*slot);
                chosen = true;
            } else if (r == -1) {
                text = CurrentSettingsText();
                chosen = true;
            } else if (ShowLibraryItem(engine, r)) {
                return true;
            }
        }
        if (!chosen) {
            text = CurrentSettingsText();
            source = -1;
        }
    }

    // A randomised preset is drawn now, so that the history and the last pattern hold what
    // was really shown.
    std::u16string resolved;
    if (!ResolvePresetString(text, resolved)) resolved = std::u16string(DefaultPresetString());
    int mutations = 0;
    if (m_slideshow && m_deviations > 0 && !firstPick) {
        PresetRecord record;
        if (ReadPresetString(resolved, record)) {
            mutations =
                static_cast<int>(std::pow(engine.RandomUniform(), 0.66) * m_deviations + 1.0);
            const UniformDraw u = [&engine] { return engine.RandomUniform(); };
            for (int i = 0; i < mutations; ++i) MutatePreset(record, u);
            WritePresetString(record, true, resolved);
        }
    }
    if (engine.IsSaverMode()) {
        PushHistory(-1);
        kConfigLastPattern.Write(m_store, resolved);
        kConfigLastId.Write(m_store, -1);
        SetLibraryTitles({}, {}, {});
    }
    Apply(engine, resolved, mutations, source);
    return true;
}

void PatternSelection::SetLibraryTitles(std::u16string_view title, std::u16string_view author,
                                        std::u16string_view location) {
    // Written only when they change: most slides are not library items.
    if (kConfigFromWeb.Read(m_store) != title) kConfigFromWeb.Write(m_store, title);
    if (kConfigFromWebA.Read(m_store) != author) kConfigFromWebA.Write(m_store, author);
    if (kConfigFromWebL.Read(m_store) != location) kConfigFromWebL.Write(m_store, location);
}

void PatternSelection::PushHistory(int which) {
    PatternSlot slot;
    if (!slot.LoadLastPattern(m_store)) return;
    (which == -1 ? m_back : m_forward).push_back(std::move(slot));
}

bool PatternSelection::HasHistory(int direction) const {
    if (direction < 0) return !m_back.empty();
    if (direction > 0) return !m_forward.empty();
    return false;
}

bool PatternSelection::NavigateHistory(CDrawWnd& engine, int direction) {
    std::lock_guard<std::recursive_mutex> guard(engine.EngineLock());
    std::vector<PatternSlot>* from = nullptr;
    if (direction > 0 && !m_forward.empty()) {
        PushHistory(-1);
        from = &m_forward;
    } else if (direction < 0 && !m_back.empty()) {
        PushHistory(+1);
        from = &m_back;
    } else {
        return false;
    }
    PatternSlot slot = std::move(from->back());
    from->pop_back();
    slot.SaveAsLastPattern(m_store);
    if (engine.IsSaverMode()) SetLibraryTitles({}, {}, {});
    const std::u16string* text = slot.PresetText(true);
    if (text == nullptr || !ApplyPresetString(engine, *text, m_host)) return false;
    if (slot.drawing && slot.record.Style == kStyleDraw) engine.LoadStrokeList(*slot.drawing);
    engine.StartPattern(engine.RandomUniform() - 0.5, -1, -1, -1, false);
    m_shown = Shown{slot.record.Name, -1, 0};
    return true;
}

bool SaveSlideshowSelection(ConfigStore& store, int favoriteCount,
                            const SlideshowSelection& selected) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max(0, favoriteCount)), 0);
    int32_t bits = selected.sourceBits;
    if (selected.favoriteSlots.empty() && selected.sourceBits == 0) {
        std::fill(bytes.begin(), bytes.end(), 1);
        bits = kSourceCurrentSettings;
    }
    for (int slot : selected.favoriteSlots) {
        if (slot >= 0 && slot < favoriteCount) bytes[static_cast<std::size_t>(slot)] = 1;
    }
    return kConfigRanArray.Write(store, bytes) && kConfigRanCur.Write(store, bits);
}

SlideshowSelection RestoreSlideshowSelection(ConfigStore& store, int favoriteCount) {
    SlideshowSelection selection;
    const std::vector<uint8_t> bytes =
        kConfigRanArray.ReadStored(store).value_or(std::vector<uint8_t>{});
    selection.sourceBits = kConfigRanCur.Read(store);
    for (int slot = 0; slot < favoriteCount; ++slot) {
        if (static_cast<std::size_t>(slot) < bytes.size() &&
            bytes[static_cast<std::size_t>(slot)]) {
            selection.favoriteSlots.push_back(slot);
        }
    }
    if (selection.favoriteSlots.empty() && selection.sourceBits == 0) {
        for (int slot = 0; slot < favoriteCount; ++slot) selection.favoriteSlots.push_back(slot);
        selection.sourceBits = kSourceCurrentSettings | kSourceLibraryNewest |
                               kSourceLibraryPopular | kSourceLibraryRandom;
    }
    return selection;
}

bool DullPictureWatch::Look(double meanLumaPercent, double seconds) {
    m_running += seconds;
    if (m_running < kSettleSeconds) return false;
    const bool dull = !(meanLumaPercent >= kLitPercent && meanLumaPercent <= kWashedOutPercent);
    m_dull = dull ? m_dull + seconds : 0.0;
    if (m_dull < kPatienceSeconds) return false;
    SlideStarted();
    return true;
}

double MeanLumaPercent(const uint32_t* pixels, std::size_t count, std::size_t step) {
    step = std::max<std::size_t>(step, 1);
    uint64_t sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; i += step, ++n) {
        const uint32_t px = pixels[i];
        sum += 299u * ((px >> 16) & 255u) + 587u * ((px >> 8) & 255u) + 114u * (px & 255u);
    }
    if (n == 0) return 0.0;
    return static_cast<double>(sum) / (static_cast<double>(n) * 1000.0 * 255.0) * 100.0;
}

}  // namespace quovis
