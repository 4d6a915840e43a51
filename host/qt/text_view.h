// How the text window's lines reach the screen.
//
// TextOverlayWindow is the text window proper: a small frameless top-level window near the
// bottom-left corner of the saver's monitor, translucent (it fades), click-through, never
// focused, and kept above the saver. It needs a compositing window manager to be translucent;
// without one, an X server shows its transparent pixels as a black box.
//
// FrameTextView draws the same picture of the lines into the saver's own frame instead, at
// the same place, with the same fade. The saver uses it wherever a separate window cannot
// float translucently over the art: no compositor, Wayland (a program cannot place its own
// windows there), and a saver drawing into a window it was given (xscreensaver, a preview),
// where a window of its own would sit outside the host's control.
#pragma once

#include <QtCore/QRect>
#include <QtGui/QImage>
#include <QtGui/QWindow>

#include <memory>

#include "present/text_window.h"

class QBackingStore;

namespace quovis {

class SaverWindow;

// The text window's size and place on its monitor, in logical pixels.
inline constexpr int kTextWindowWidth = 648;
inline constexpr int kTextWindowHeight = 100;
QRect TextWindowPlace(const QRect& monitor);

// Paints the three lines into `image` (kept between calls; resized to `size` device pixels
// when it differs): transparent where there is no text, anti-aliased text in `colour`, in
// the serif face the window uses ("Times New Roman", or what the system has in its place),
// 0.3 of the height tall, one line every third of the height.
void PaintTextLines(QImage& image, const QSize& size, qreal devicePixelRatio,
                    const TextLines& lines, TextColour colour);

// Whether a compositing manager runs on this X11 screen, so translucent windows show as such.
bool CompositorRunning();

class TextOverlayWindow final : public QWindow, public TextWindowView {
  public:
    // owner: the saver window it belongs to (kept above it; may be null).
    explicit TextOverlayWindow(QWindow* owner);
    ~TextOverlayWindow() override;
    // Moves the window to its place on the monitor with these logical bounds.
    void PlaceOn(const QRect& monitor);
    void ShowText(const TextShown& shown) override;

  protected:
    void exposeEvent(QExposeEvent* event) override;

  private:
    void Repaint();

    std::unique_ptr<QBackingStore> m_store;
    QImage m_lines;
    uint32_t m_serial = 0;
    TextShown m_shown;
};

class FrameTextView final : public TextWindowView {
  public:
    explicit FrameTextView(SaverWindow& window) : m_window(window) {}
    void ShowText(const TextShown& shown) override;

  private:
    SaverWindow& m_window;
    QImage m_lines;
    uint32_t m_serial = 0;
};

}  // namespace quovis
