// TextWindow: the three lines of text that fade in and out over the art. It is the one owner
// of what the text window says and how visible it is; whoever has something to say writes
// lines here, and the window (or the part of the frame that stands in for it) only shows
// what OnFrame hands it.
//
// Two sets of lines:
//   titles  who made the pattern on screen (the name in curly quotes, the author, the place),
//           written when a slideshow applies a preset; shown with the slide's title envelope
//           (in from 0.5 s to 1.5 s, held, out from 8 s to 12 s).
//   info    the frame rate, a snapshot's confirmation, the start-up lines and audio status;
//           written with a fade value: 6 fades in over 100 frames, holds for about 400 and
//           fades out over 100; values up to 1 only fade out.
// While info lines are fading they are what shows; afterwards the titles come back if their
// envelope is still open. Keeping the two apart means an F11 press in the middle of a title
// never leaves the frame rate standing under the title's envelope, nor the title under the
// frame rate's.
//
// Threads: the lines and the fade value may be written from any thread (audio status comes
// from the capture thread); OnFrame and the view run on the frame thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace quovis {

struct TextColour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const TextColour&, const TextColour&) = default;
};

using TextLines = std::array<std::u16string, 3>;

// What a text window view is asked to show.
struct TextShown {
    TextLines lines;
    int alpha = 0;  // 0 hides the window, 255 is fully visible
    TextColour colour;
    uint32_t serial = 0;  // changes whenever the lines change
};

class TextWindowView {
  public:
    virtual ~TextWindowView() = default;
    // Called from OnFrame when the alpha, the colour or the lines changed.
    virtual void ShowText(const TextShown& shown) = 0;
};

class TextWindow {
  public:
    static constexpr TextColour kShownColour{240, 240, 220};
    static constexpr TextColour kHiddenColour{220, 220, 200};
    static constexpr int kLines = 3;

    explicit TextWindow(TextWindowView* view = nullptr) : m_view(view) {}
    // The view is not owned; null shows nothing. Set it before frames run.
    void SetView(TextWindowView* view);

    // Info lines, line 0..2 (2 is the lowest); other line numbers are ignored.
    void SetTextLine(int line, std::u16string_view text);
    // All three info lines at once, with the fade they show with.
    void ShowInfo(std::u16string_view line0, std::u16string_view line1, std::u16string_view line2,
                  double fade);
    void SetInfoFade(double fade);
    double InfoFade() const;
    // The slideshow's title lines for the pattern now showing.
    void SetTitleLines(std::u16string_view title, std::u16string_view author,
                       std::u16string_view location);
    // "Slideshow Titles": off keeps the titles hidden (info lines still show: the user asked
    // for them with a key, or needs to know that something failed).
    void SetShowTitles(bool on);

    // Once per frame put on the screen. msSinceTitle: time since the slide's title started,
    // negative when no slideshow runs. lettersActive: letters made of dots are on screen,
    // which the window must not cover.
    void OnFrame(double msSinceTitle, bool lettersActive);

    // What OnFrame decided last.
    TextShown Shown() const;

    // The alpha (0..1) an info fade value gives, and the title envelope at t ms.
    static double InfoFadeAlpha(double fade);
    static double TitleAlpha(double msSinceTitle);

  private:
    mutable std::mutex m_mutex;
    TextWindowView* m_view = nullptr;
    TextLines m_info;
    TextLines m_titles;
    double m_infoFade = 0.0;
    bool m_showTitles = true;
    uint32_t m_infoSerial = 1;
    uint32_t m_titleSerial = 1;
    TextShown m_shown;
    uint32_t m_shownSourceSerial = 0;
};

}  // namespace quovis
