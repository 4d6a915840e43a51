// The text window on a real X server: it floats over the saver without ever taking the
// keyboard, and where it is drawn into the frame instead, both outputs put it at its place
// with its fade. Both outputs also show the frame itself the right way up, inverted or not,
// at the window's own size and stretched.
#include <gtest/gtest.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "host/qt/saver_window.h"
#include "host/qt/text_view.h"

namespace quovis {
namespace {

using namespace std::chrono_literals;

bool HaveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}

// The executable shares one application; whichever test file comes first makes it.
QGuiApplication* App() {
    if (qGuiApp != nullptr) return qGuiApp;
    static int argc = 1;
    static char name[] = "text_window_test";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    return new QGuiApplication(argc, argv);
}

void Pump(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        QGuiApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(10ms);
    }
}

xcb_window_t InputFocus() {
    xcb_connection_t* c =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    const xcb_window_t focus = reply != nullptr ? reply->focus : 0;
    free(reply);
    return focus;
}

QImage GrabScreen(const QRect& area) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// Pixels clearly lit in the text colour (more than a dark background and the text's shadow).
int TextPixels(const QImage& image) {
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) lit += qGray(image.pixel(x, y)) > 120;
    }
    return lit;
}

TextShown Lines(int alpha) {
    TextShown shown;
    shown.lines = {u"\u201CInto The Light\u201D", u"Quovis", u"59.9 fps (gdi)"};
    shown.alpha = alpha;
    shown.colour = TextWindow::kShownColour;
    shown.serial = 1;
    return shown;
}

class Dark final : public QRasterWindow {
  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::black);
    }
};

class TextWindowOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveDisplay()) GTEST_SKIP() << "no X display";
        App();
        if (QGuiApplication::platformName() != u"xcb") GTEST_SKIP() << "not on X11";
    }
};

TEST_F(TextWindowOnX, TheTextWindowShowsOverTheSaverButNeverTakesTheKeyboard) {
    Dark saver;
    saver.setFlags(Qt::FramelessWindowHint);
    saver.setGeometry(QGuiApplication::primaryScreen()->geometry());
    saver.show();
    saver.requestActivate();
    for (int i = 0; i < 100 && InputFocus() != saver.winId(); ++i) Pump(20ms);
    ASSERT_EQ(InputFocus(), saver.winId()) << "the saver could not take the keyboard";

    TextOverlayWindow text(&saver);
    text.PlaceOn(saver.geometry());
    text.ShowText(Lines(255));
    Pump(400ms);
    EXPECT_TRUE(text.isVisible());
    EXPECT_EQ(InputFocus(), saver.winId()) << "showing the text moved the keyboard";
    EXPECT_EQ(QGuiApplication::focusWindow(), &saver);
    const QRect place = TextWindowPlace(saver.geometry());
    EXPECT_GT(TextPixels(GrabScreen(place)), 200) << "the lines are on screen";

    // Fading and new lines repaint it without any focus change either.
    for (int alpha : {128, 30, 255}) {
        text.ShowText(Lines(alpha));
        Pump(50ms);
        EXPECT_EQ(InputFocus(), saver.winId());
    }
    text.ShowText(Lines(0));
    Pump(200ms);
    EXPECT_FALSE(text.isVisible()) << "alpha 0 hides the window";
    EXPECT_EQ(TextPixels(GrabScreen(place)), 0);
}

TEST_F(TextWindowOnX, BothOutputsDrawTheTextIntoTheFrameAtItsPlace) {
    const std::vector<uint32_t> black(320 * 180, 0u);
    for (OutputPath path : {OutputPath::Raster, OutputPath::OpenGL}) {
        if (path == OutputPath::OpenGL && !OpenGlUsable()) continue;
        SaverWindow window(path, SaverWindowKind::Window, false, [](const SaverInputResult&) {});
        window.setGeometry(40, 40, 800, 450);
        window.show();
        Pump(300ms);
        ASSERT_TRUE(window.isExposed());

        QImage lines;
        const TextShown shown = Lines(255);
        PaintTextLines(lines, QSize(kTextWindowWidth, kTextWindowHeight), 1.0, shown.lines,
                       shown.colour);
        int full = 0;
        for (double alpha : {1.0, 0.25, 0.0}) {
            window.SetTextOverlay(lines, alpha);
            // A stretched frame is shown on every second call.
            window.Present(black.data(), 320, 180, false);
            window.Present(black.data(), 320, 180, false);
            Pump(150ms);
            const QImage frame = GrabScreen(window.geometry());
            const int inPlace = TextPixels(frame.copy(20, 450 - 120, kTextWindowWidth, 100));
            const int elsewhere = TextPixels(frame.copy(0, 0, 800, 450 - 120));
            const char* name = path == OutputPath::OpenGL ? "OpenGL" : "raster";
            EXPECT_EQ(elsewhere, 0) << name << ": text away from its place";
            if (alpha == 1.0) {
                full = inPlace;
                EXPECT_GT(full, 200) << name;
            } else if (alpha == 0.0) {
                EXPECT_EQ(inPlace, 0) << name << ": alpha 0 removes the text";
            } else {
                EXPECT_LT(inPlace, full / 2) << name << ": a faded text is dimmer";
            }
        }
    }
}

TEST_F(TextWindowOnX, BothOutputsShowTheFrameTheRightWayUp) {
    // The display image's rows run bottom-up: the first half in memory is the picture's
    // lower half. Red below, green above; inverted, cyan below and magenta above.
    constexpr int kW = 320, kH = 180;
    std::vector<uint32_t> frame(kW * kH, 0x0000FF00u);
    std::fill(frame.begin(), frame.begin() + kW * kH / 2, 0x00FF0000u);
    struct Case {
        OutputPath path;
        QSize window;  // the picture's own size, or stretched to twice it
        bool invert;
    };
    const Case cases[] = {
        {OutputPath::Raster, {kW, kH}, false},
        {OutputPath::Raster, {kW, kH}, true},
        {OutputPath::Raster, {2 * kW, 2 * kH}, false},
        {OutputPath::OpenGL, {kW, kH}, false},
        {OutputPath::OpenGL, {kW, kH}, true},
        {OutputPath::OpenGL, {2 * kW, 2 * kH}, false},
    };
    for (const Case& c : cases) {
        if (c.path == OutputPath::OpenGL && !OpenGlUsable()) continue;
        const char* name = c.path == OutputPath::OpenGL ? "OpenGL" : "raster";
        SCOPED_TRACE(::testing::Message()
                     << name << " " << c.window.width() << " invert " << c.invert);
        SaverWindow window(c.path, SaverWindowKind::Window, false, [](const SaverInputResult&) {});
        window.setGeometry(QRect(QPoint(40, 40), c.window));
        window.show();
        Pump(300ms);
        ASSERT_TRUE(window.isExposed());
        // A stretched frame is shown on every second call.
        window.Present(frame.data(), kW, kH, c.invert);
        window.Present(frame.data(), kW, kH, c.invert);
        Pump(150ms);
        const QImage shot = GrabScreen(window.geometry());
        const QRgb top = shot.pixel(shot.width() / 2, shot.height() / 4);
        const QRgb bottom = shot.pixel(shot.width() / 2, shot.height() * 3 / 4);
        EXPECT_EQ(top & 0xFFFFFFu, c.invert ? 0xFF00FFu : 0x00FF00u);
        EXPECT_EQ(bottom & 0xFFFFFFu, c.invert ? 0x00FFFFu : 0xFF0000u);
    }
}

}  // namespace
}  // namespace quovis
