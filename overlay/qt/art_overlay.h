// ArtOverlay: what is painted into the frame besides the dots, through the presenter's draw
// image: the letters of titles, messages and typed characters (the engine then seeds dots on
// their lit pixels), and the clock layer, an analog clock or the zodiac wheel, every frame.
//
// Index
//   LetterFont      the font of the letters, and its reader from the "Messages" section
//   WallTime        the local time the clock shows; LocalWallTime is the real one
//   ArtOverlay      the FrameOverlay; ShowStartImage and WindowCovered are left to the saver
//
// Drawing goes through PresentedDrawWnd::Flipper(): BeginDraw lends a bottom-up image which
// is painted through a vertically flipped transform, so the picture needs no scratch image
// and no copy. The clock layer asks only for its own square, so painting it every frame costs
// its size and not the canvas's.
//
// Per frame nothing of ours is allocated: the painter, the image wrapping the draw image,
// the letters' outline, the clock face and the zodiac glyphs are built when their input
// changes (text, canvas size, clock size) and reused. Everything runs on the frame thread
// under the engine lock, like the frame step that calls it; a QGuiApplication must exist.
#pragma once

#include <QBrush>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <functional>
#include <memory>
#include <string>

#include "engine/frame_hooks.h"
#include "present/flipper.h"
#include "settings/config_store.h"

namespace quovis {

class ClockPainter;

// ============================================================================================
// LetterFont
// ============================================================================================

struct LetterFont {
    std::u16string face = u"Arial";  // resolved by the font system (fontconfig) like any name
    bool bold = false;               // weight 700, else 400
    bool italic = false;
};

// "Font", "Bold" and "Italic" of the "Messages" section, each at its default when absent.
LetterFont ReadLetterFont(ConfigStore& store);

// The clock layer as stored ("Clock", "Style", "ClockX", "ClockY", "ClockSize"). Hand-edited
// values are kept on the canvas and at a size that can be drawn.
ClockLayer StoredClockLayer(ConfigStore& store);

// ============================================================================================
// WallTime
// ============================================================================================

// Local calendar time with milliseconds.
struct WallTime {
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};
using WallClock = std::function<WallTime()>;

WallTime LocalWallTime();

// ============================================================================================
// ArtOverlay
// ============================================================================================

class ArtOverlay : public FrameOverlay {
  public:
    explicit ArtOverlay(const LetterFont& font, WallClock clock = LocalWallTime);
    ~ArtOverlay() override;
    ArtOverlay(const ArtOverlay&) = delete;
    ArtOverlay& operator=(const ArtOverlay&) = delete;

    bool ShowStartImage(CDrawWnd& engine, double alpha) override;
    // Lines break at "\r" (backslash, r) and at a carriage return. A message is centred in
    // the canvas, a typed letter in its column (one of seven across the canvas); the font
    // shrinks by tenths until the block fits the margins or reaches 5 pixels. Without a
    // presenter of our own kind, or for an empty text, nothing is drawn.
    TextBlock DrawLetters(CDrawWnd& engine, std::u16string_view text, LetterMode mode,
                          int column) override;
    // The clock or the zodiac wheel at the layer's centre and size, and the engine's hourly
    // slide (ClockTick) with the seconds into the hour.
    void PaintClockLayer(CDrawWnd& engine) override;
    bool WindowCovered(CDrawWnd& engine) override;

  private:
    // The letters laid out for one text, mode, column and canvas size.
    struct LetterLayout {
        std::u16string text;
        LetterMode mode = LetterMode::Centred;
        int column = -1;
        int width = 0;
        int height = 0;
        TextBlock block;      // what DrawLetters returns
        QPainterPath glyphs;  // the outline of all lines, in canvas pixels
    };

    void LayOutLetters(std::u16string_view text, LetterMode mode, int column, int width,
                       int height);
    // Begins painting on the lent image with picture coordinates (rows from the top) and the
    // region as clip; false when the image is empty.
    bool BeginPainting(const DrawImage& image);

    QFont m_letterFont;
    double m_letterLineRatio = 0.0;  // line height / pixel size of the letter font
    WallClock m_wallClock;
    LetterLayout m_letters;
    std::unique_ptr<ClockPainter> m_clock;

    QBrush m_white{Qt::white};
    QImage m_target;  // wraps the presenter's draw image while its storage stays the same
    QPainter m_painter;
};

}  // namespace quovis
