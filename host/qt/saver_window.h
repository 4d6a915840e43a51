// SaverWindow: one window the saver draws into, with the raster or the OpenGL output, and
// the translation of its keyboard and pointer events into the saver's input rules.
//
// The window is full screen (frameless, on top, no cursor), an ordinary window, or a child of
// a window the saver did not create (a screen-saver host's preview or an X11 window handed
// over by xscreensaver); a child follows its parent's size.
#pragma once

#include <QtGui/QWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "host/saver_input.h"

class QBackingStore;
class QImage;
class QOpenGLContext;
class QOpenGLShaderProgram;
class QOpenGLTexture;
class QScreen;

namespace quovis {

enum class OutputPath : uint8_t { Raster, OpenGL };

class SaverWindow final : public QWindow {
  public:
    // onInput receives every action the input rules produce.
    SaverWindow(OutputPath path, SaverWindowKind kind, bool capsLockOn,
                std::function<void(const SaverInputResult&)> onInput);
    ~SaverWindow() override;

    OutputPath Path() const { return m_path; }
    // Shows a frame: `pixels` is the display image (rows bottom-up, 0x??RRGGBB), stretched
    // to the window when the sizes differ. A stretched frame is shown on every second call
    // only, which halves the cost of the stretch and is not visible at these frame rates.
    void Present(const uint32_t* pixels, int width, int height, bool invert);
    // The desktop picture the saver starts over, dimmed to `alpha` (1: as it was, 0: black).
    void PresentStartImage(const QImage& desktop, double alpha);
    // False when the OpenGL path could not be set up (the caller falls back to raster).
    bool OutputReady() const { return m_ready; }
    // The window's size in device pixels (its logical size times the device pixel ratio).
    QSize DeviceSize() const;
    // Text drawn over every frame from now on, near the bottom-left corner (a premultiplied
    // picture of the text window's lines, device pixels), with this opacity; 0 removes it.
    // A window narrower than the text shows it smaller.
    void SetTextOverlay(const QImage& text, double alpha);

  protected:
    void exposeEvent(QExposeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    bool SetUpOpenGl();
    void SwitchToRaster();
    void PresentRaster(const uint32_t* pixels, int width, int height, bool invert);
    static void CopyFlipped(const uint32_t* pixels, int width, int height, QImage* target);
    void PresentOpenGl(const uint32_t* pixels, int width, int height, bool invert);
    void Deliver(const SaverInputResult& result);
    void DrawTextOverlayGl();

    OutputPath m_path;
    SaverInput m_input;
    std::function<void(const SaverInputResult&)> m_onInput;
    std::unique_ptr<QBackingStore> m_store;
    std::unique_ptr<QOpenGLContext> m_gl;
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    unsigned m_texture = 0;
    int m_textureWidth = 0;
    int m_textureHeight = 0;
    bool m_ready = true;
    bool m_stretchToggle = false;
    bool m_capsLockNow = false;
    std::unique_ptr<QImage> m_text;  // null: no text over the frame
    double m_textAlpha = 0.0;
    bool m_textChanged = false;
    std::unique_ptr<QOpenGLShaderProgram> m_textProgram;
    unsigned m_textTexture = 0;
};

// Full screen on one monitor through the window system's own full-screen state, so that the
// window manager keeps panels and other programs' windows beneath it.
void ShowFullScreenOn(QWindow& window, QScreen* screen);
// One window over several monitors (the whole desktop as one picture). The full-screen state
// covers a single monitor; on X11 the window is placed over all of them outside the window
// manager's control, as screen savers there do. Where a window cannot span monitors (Wayland)
// it is full screen on the first.
void ShowSpanning(QWindow& window, const QRect& area);
// Takes the keyboard and the pointer for the saver (X11), so that no key reaches the desktop
// beneath while it runs. True when both are held; may fail while another program holds a
// grab (an open menu), so the caller tries again.
bool GrabInput(QWindow& window);
// Puts the window back on top of its stacking layer when another window covered it.
void RaiseAgain(QWindow& window);

// The CapsLock state, where the window system tells it (X11); nullopt elsewhere.
std::optional<bool> CapsLockState();

// Whether this machine's OpenGL is at least version 2.0 (checked once with an offscreen
// context); the OpenGL path needs it.
bool OpenGlUsable();

}  // namespace quovis
