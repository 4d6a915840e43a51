// Pattern selection: which preset the engine shows next.
//
// With the slideshow off it is always the current settings. With the slideshow on the next
// pattern is drawn from the favorites the user ticked (and, when ticked, the current
// settings and the preset library's lists), never the same favorite twice in a row unless it
// is the only one, and then evolves by a random number of small mutation steps. Every
// pattern shown full screen goes on a back/forward history that the keyboard walks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/frame_hooks.h"
#include "settings/pattern_slot.h"
#include "settings/preset_apply.h"

namespace quovis {

class ConfigStore;

// The preset library's two lists, as the slideshow uses them. The library layer implements
// it; without one the library sources count as empty and drop out of the slideshow.
class SlideshowLibrary {
  public:
    enum class List { Newest, Popular };
    struct Item {
        std::u16string presetText;
        std::optional<std::u16string> drawing;
        int32_t id = -1;
        // What the saver's titles say about it ("FromWeb", "FromWebA", "FromWebL").
        std::u16string title;
        std::u16string author;
        std::u16string location;
    };
    virtual ~SlideshowLibrary() = default;
    // Number of items in the list, fetched on first use. Negative while the list has not
    // arrived yet (the draw picks another source this time); 0 when it is empty or cannot be
    // had (its sources leave the slideshow). Called from the frame step: never waits.
    virtual int ListSize(List list) = 0;
    // The item's preset; nullopt when its details are not known (yet) or cannot be fetched.
    // Never waits.
    virtual std::optional<Item> GetItem(List list, int index) = 0;
};

// Slideshow sources besides the favorites (bits of "RanCur").
inline constexpr int32_t kSourceCurrentSettings = 1;
inline constexpr int32_t kSourceLibraryNewest = 2;
inline constexpr int32_t kSourceLibraryPopular = 4;
inline constexpr int32_t kSourceLibraryRandom = 8;

class PatternSelection final : public PatternSelector {
  public:
    PatternSelection(ConfigStore& store, PresetApplyHost host = {},
                     SlideshowLibrary* library = nullptr);

    // Engine start: the slideshow switch, the evolution depth and the selection. seededNow:
    // the favorites were seeded at this start, so the first pick is "Into The Light".
    void ReadSettings(bool seededNow);

    // The frame step's slide change: chooses, evolves, applies and starts the next pattern.
    bool SelectNext(CDrawWnd& engine) override;
    // +1 forward, -1 back through the patterns shown; false when there is nowhere to go.
    bool NavigateHistory(CDrawWnd& engine, int direction) override;
    // Whether there is a pattern to go back (-1) or forward (+1) to. The engine asks it,
    // with its lock held, before it lets a key end the slide.
    bool HasHistory(int direction) const override;
    // Puts the last pattern shown on the back history (which -1) or the forward history.
    void PushHistory(int which);

    // What the last SelectNext showed: the preset's name, the favorite slot (-1 current
    // settings or default, -2..-4 library) and the number of evolution steps.
    struct Shown {
        std::u16string name;
        int source = -1;
        int mutations = 0;
    };
    const Shown& LastShown() const { return m_shown; }

    bool SlideshowOn() const { return m_slideshow; }
    // A preview shows the current settings whatever the slideshow switch says.
    void SwitchSlideshowOff() { m_slideshow = false; }
    int Deviations() const { return m_deviations; }
    int FavoriteCount() const { return m_favoriteCount; }
    int32_t SourceBits() const { return m_sourceBits; }
    std::size_t BackHistorySize() const { return m_back.size(); }
    std::size_t ForwardHistorySize() const { return m_forward.size(); }

  private:
    int DrawSource(CDrawWnd& engine);
    std::u16string CurrentSettingsText();
    bool ShowLibraryItem(CDrawWnd& engine, int source);
    void Apply(CDrawWnd& engine, const std::u16string& text, int mutations, int source);
    // "FromWeb", "FromWebA", "FromWebL": the library item shown, or empty for anything else.
    void SetLibraryTitles(std::u16string_view title, std::u16string_view author,
                          std::u16string_view location);
    void LoadDrawing(CDrawWnd& engine, const PresetRecord& record,
                     const std::optional<std::u16string>& known);

    ConfigStore& m_store;
    PresetApplyHost m_host;
    SlideshowLibrary* m_library;
    bool m_slideshow = true;
    int m_deviations = 18;
    int m_favoriteCount = 0;
    std::vector<uint8_t> m_selection;
    int32_t m_sourceBits = 0;
    int m_lastPick = -100;
    int m_repeatCount = 0;
    bool m_firstPick = false;
    std::vector<PatternSlot> m_back;
    std::vector<PatternSlot> m_forward;
    Shown m_shown;
};

// ---- A slide gone dull ----------------------------------------------------------------------

// Watches the picture of the running slide and says when it has been nearly black or washed
// out white for long enough that the slideshow should move on. An evolution can land a
// favorite on a motion that sweeps every dot out of sight or on a flow that keeps them in a
// faint smudge, and a few favorites fade to almost nothing on their own; the evolution cannot
// foresee that, so the picture itself is looked at. A dark picture that still shows its
// dots, or a white one with its dots on it, is left alone: only the mean brightness outside
// kLitPercent..kWashedOutPercent counts, and only once the slide has had time to build up.
class DullPictureWatch {
  public:
    static constexpr double kLitPercent = 2.0;
    static constexpr double kWashedOutPercent = 95.0;
    // A new pattern starts from an empty canvas: its first seconds never count.
    static constexpr double kSettleSeconds = 2.0;
    // How long a picture may stay dull before the slide ends; short dips are part of the art.
    static constexpr double kPatienceSeconds = 6.0;

    // A new slide began.
    void SlideStarted() {
        m_running = 0.0;
        m_dull = 0.0;
    }
    // One look at the running slide: the mean luma of the picture as displayed, in percent of
    // full scale, and the seconds since the last look. True when the slide should end now
    // (then the watch starts afresh, as for a new slide).
    bool Look(double meanLumaPercent, double seconds);

  private:
    double m_running = 0.0;
    double m_dull = 0.0;
};

// The mean luma (299 R + 587 G + 114 B) / 1000 of 0xRRGGBB pixels in percent of full scale,
// from every `step`-th pixel: a sample is plenty to tell a dull picture from a lit one.
double MeanLumaPercent(const uint32_t* pixels, std::size_t count, std::size_t step);

// ---- The slideshow page's selection --------------------------------------------------------

struct SlideshowSelection {
    std::vector<int> favoriteSlots;  // favorites in the slideshow
    int32_t sourceBits = 0;          // kSource... bits
};

// Stores the selection as the slideshow page leaves it; nothing selected means everything.
bool SaveSlideshowSelection(ConfigStore& store, int favoriteCount,
                            const SlideshowSelection& selected);
// What the slideshow page selects when it opens: the stored selection, or everything when
// nothing is stored or selected.
SlideshowSelection RestoreSlideshowSelection(ConfigStore& store, int favoriteCount);

}  // namespace quovis
