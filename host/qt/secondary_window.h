// SecondaryWindow: a monitor the saver does not draw on, when the art runs on one monitor
// only. The window is black until its first still picture of the art, which comes 3 to 5
// seconds after it opens and appears at once; then every 12 to 13 seconds it takes a new one
// and brings it in with the configured transition ("Fade In", "Reveal", "Flip"). With "None
// (black)" it stays black and takes no pictures.
//
// Contract with the saver
//   Opening     OpenSecondaryWindow(screen, setup) on the GUI thread, after the main window
//               exists; the window is full screen on `screen`, on top, without a cursor, and
//               never takes the keyboard focus.
//   Pictures    On the GUI thread, from the window's own timers: setup.slideChanging() is
//               asked first (a picture is skipped while a slide change or a title is under
//               way); then setup.takeSnapshot fills a picture of the art, taking the engine
//               lock itself. The picture's storage is reused from one call to the next.
//   Drawing     A transition player thread of the window's own fits the picture to the
//               monitor and composes the steps; it only posts repaint requests, which the
//               saver's loop delivers when it processes events (every frame). The window
//               always draws through a QBackingStore (raster), whether the main window uses
//               OpenGL or not: a still picture every few seconds needs no GPU context.
//   Input       A pointer move over the window by the looser rule of secondary monitors, a
//               button or a key reaches setup.onInput as EndSaver or PointerStirred.
//   Closing     Destroying the window stops its player thread promptly.
#pragma once

#include <QtCore/QBasicTimer>
#include <QtGui/QWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>

#include "host/saver_input.h"
#include "present/flipper.h"

class QBackingStore;
class QScreen;

namespace quovis {

class ConfigStore;
class PresentedDrawWnd;
class TransitionPlayer;

struct SecondarySetup {
    // The stored "FadeType" value as it is (ReadTransitionType): 0 "Fade In", 1 "Reveal",
    // 2 "Flip", 3 "None (black)", anything else shows the pictures at once.
    int fadeType = 0;
    // Fills `picture` with the art as it is now (top-down 0xFFRRGGBB), the dots' centroid in
    // the picture's pixels, and whether the crop should be centred instead (symmetric
    // patterns, two or more reflections). False when there is no picture to take.
    std::function<bool(Picture& picture, int& centroidX, int& centroidY, bool& centred)>
        takeSnapshot;
    // True while a slide change or a title is in progress.
    std::function<bool()> slideChanging;
    std::function<void(const SaverInputResult&)> onInput;
};

// SecondarySetup's questions answered from the saver's engine; each takes the engine lock.
// The picture is the engine's display image (canvas size) and the centroid is in its pixels;
// the crop is centred for symmetric patterns and for two or more reflections, whose middle
// is the pattern's own.
bool TakeArtSnapshot(PresentedDrawWnd& engine, Picture& picture, int& centroidX, int& centroidY,
                     bool& centred);
// A slide change (any pattern phase but running) or letters made of dots (a title).
bool ArtChangingSlide(PresentedDrawWnd& engine);

// "FadeType" as stored: the configuration's own reading replaces unknown values by the
// default ("Fade In"), while a value outside the table is meant to show pictures at once.
int ReadTransitionType(ConfigStore& store);

class SecondaryWindow final : public QWindow {
  public:
    explicit SecondaryWindow(SecondarySetup setup);
    ~SecondaryWindow() override;

    // Takes a picture now and brings it in, as the refresh timer does (the first picture
    // appears at once). Nothing happens with "None (black)" or without a picture.
    void ShowNextPicture();
    bool HasPlayer() const { return m_player != nullptr; }

  protected:
    bool event(QEvent* event) override;
    void exposeEvent(QExposeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Paint();
    void StartRefresh(int baseMs, int spreadMs);
    void Deliver(const SaverInputResult& result);

    SecondarySetup m_setup;
    std::unique_ptr<QBackingStore> m_store;
    std::unique_ptr<TransitionPlayer> m_player;
    SecondaryPointer m_pointer;
    QBasicTimer m_refresh;
    std::minstd_rand m_random;
    Picture m_snapshot;  // the window thread's picture, handed to the player by swapping
    bool m_shownAny = false;
};

// Creates the window for a monitor and shows it full screen there.
std::unique_ptr<SecondaryWindow> OpenSecondaryWindow(QScreen* screen, SecondarySetup setup);

}  // namespace quovis
