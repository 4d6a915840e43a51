// The windows of the monitors the saver does not draw on, on a desktop of two screens: Qt's
// offscreen platform with a screen layout file (a 1280 x 720 monitor and a 1024 x 768 one to
// its right). This executable runs apart from the other Qt tests, which use the X display.
//
// What the window shows is read back from the platform's own copy of the window (a screen
// grab), so these tests see what the monitor would.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "host/qt/secondary_window.h"
#include "present/headless_renderer.h"
#include "settings/builtin_presets.h"
#include "settings/preset_apply.h"

namespace quovis {
namespace {

class TwoScreenApp : public ::testing::Environment {
  public:
    void SetUp() override {
        char pattern[] = "/tmp/quovis-screens-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        const std::string layout = m_dir + "/screens.json";
        std::FILE* f = std::fopen(layout.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(R"({"screens":[
 {"name":"left","x":0,"y":0,"width":1280,"height":720,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1},
 {"name":"right","x":1280,"y":0,"width":1024,"height":768,"logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})",
                   f);
        std::fclose(f);
        setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + layout).c_str(), 1);
        m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
    }
    void TearDown() override {
        m_app.reset();
        std::remove((m_dir + "/screens.json").c_str());
        rmdir(m_dir.c_str());
    }

  private:
    std::string m_dir;
    int m_argc = 1;
    char m_name[24] = "host_qt_screens";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QGuiApplication> m_app;
};
[[maybe_unused]] ::testing::Environment* const kApp =
    ::testing::AddGlobalTestEnvironment(new TwoScreenApp);

constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kFirst = 0xFF2060C0u;
constexpr QRgb kSecond = 0xFFE0C040u;

// The art as a secondary window sees it: one colour all over, changed by the test.
struct FakeArt {
    QRgb colour = kFirst;
    int taken = 0;
    bool changing = false;

    SecondarySetup Setup(int fadeType) {
        SecondarySetup s;
        s.fadeType = fadeType;
        s.takeSnapshot = [this](Picture& p, int& cx, int& cy, bool& centred) {
            ++taken;
            p.width = 1280;
            p.height = 720;
            p.pixels.assign(1280u * 720u, colour);
            cx = 640;
            cy = 360;
            centred = false;
            return true;
        };
        s.slideChanging = [this] { return changing; };
        return s;
    }
};

QScreen* RightScreen() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return screens.size() == 2 ? screens[1] : nullptr;
}

QImage Grab(SecondaryWindow& w) {
    return w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Runs the event loop until `done` holds or a generous deadline passed (a guard against
// hanging, not a speed limit).
bool ProcessUntil(const std::function<bool()>& done, int deadlineMs = 30000) {
    QDeadlineTimer deadline(deadlineMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

bool IsOneOf(QRgb c, QRgb a, QRgb b) {
    return c == a || c == b;
}

class SecondaryWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(RightScreen(), nullptr) << "the layout file was not read"; }
};

TEST_F(SecondaryWindowTest, BlackUntilTheFirstPictureAppearsAtOnceSecondsLater) {
    FakeArt art;
    FakeArt busy;  // the art is always changing slides here: no picture is taken
    busy.changing = true;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<SecondaryWindow> w = OpenSecondaryWindow(RightScreen(), art.Setup(0));
    std::unique_ptr<SecondaryWindow> skipping = OpenSecondaryWindow(RightScreen(), busy.Setup(0));
    ASSERT_TRUE(ProcessUntil([&] { return w->isExposed(); }));
    EXPECT_EQ(w->geometry(), QRect(1280, 0, 1024, 768));
    EXPECT_TRUE(w->flags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(w->cursor().shape(), Qt::BlankCursor);

    // The first picture is on a fade, but replaces the black at once: nothing in between.
    bool onlyBlackOrPicture = true;
    const bool shown = ProcessUntil([&] {
        const QImage now = Grab(*w);
        const QRgb c = now.pixel(512, 384);
        if (!IsOneOf(c, kBlack, kFirst) || !IsOneOf(now.pixel(3, 3), kBlack, kFirst)) {
            onlyBlackOrPicture = false;
        }
        return c == kFirst && now.pixel(3, 3) == kFirst && now.pixel(1020, 764) == kFirst;
    });
    const qint64 appearedMs = clock.elapsed();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(onlyBlackOrPicture);
    EXPECT_GE(appearedMs, 3000);
    EXPECT_LT(appearedMs, 12000) << "the first picture waited for the later pictures' period";
    EXPECT_EQ(art.taken, 1);
    std::printf("first picture after %lld ms\n", static_cast<long long>(appearedMs));

    // The other window's timer fired meanwhile (3 to 5 s) and was skipped.
    ProcessUntil([&] { return clock.elapsed() > 5200; });
    EXPECT_EQ(busy.taken, 0);
    EXPECT_EQ(Grab(*skipping).pixel(512, 384), kBlack);
}

// What a change from one picture to the next looks like, sampled as it plays.
struct Seen {
    bool mixedColour = false;      // a colour that is neither picture (a fade)
    bool topNewBottomOld = false;  // a reveal half way
    bool topOldBottomNew = false;  // a wipe the wrong way
    bool ended = false;
};

Seen WatchChange(SecondaryWindow& w, FakeArt& art) {
    art.colour = kSecond;
    w.ShowNextPicture();
    Seen seen;
    seen.ended = ProcessUntil([&] {
        const QImage now = Grab(w);
        const QRgb top = now.pixel(512, 2);
        const QRgb middle = now.pixel(512, 384);
        const QRgb bottom = now.pixel(512, 765);
        for (QRgb c : {top, middle, bottom}) {
            if (!IsOneOf(c, kFirst, kSecond)) seen.mixedColour = true;
        }
        if (top == kSecond && bottom == kFirst) seen.topNewBottomOld = true;
        if (top == kFirst && bottom == kSecond) seen.topOldBottomNew = true;
        return top == kSecond && middle == kSecond && bottom == kSecond;
    });
    return seen;
}

TEST_F(SecondaryWindowTest, EachTransitionBringsTheNextPictureInItsOwnWay) {
    struct Case {
        const char* name;
        int fadeType;
        bool mixes;
        bool wipes;
    };
    const Case cases[] = {
        {"Flip", 2, false, false},
        {"outside the table: at once", 7, false, false},
        {"Fade In", 0, true, false},
        {"Reveal", 1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeArt art;
        std::unique_ptr<SecondaryWindow> w =
            OpenSecondaryWindow(RightScreen(), art.Setup(c.fadeType));
        ASSERT_TRUE(ProcessUntil([&] { return w->isExposed(); }));
        w->ShowNextPicture();
        ASSERT_TRUE(ProcessUntil([&] { return Grab(*w).pixel(512, 384) == kFirst; }));

        const Seen seen = WatchChange(*w, art);
        EXPECT_TRUE(seen.ended);
        EXPECT_EQ(seen.mixedColour, c.mixes);
        EXPECT_EQ(seen.topNewBottomOld, c.wipes);
        EXPECT_FALSE(seen.topOldBottomNew);

        // A window closed in the middle of a transition stops its player.
        art.colour = kFirst;
        w->ShowNextPicture();
        w.reset();
    }
}

TEST_F(SecondaryWindowTest, NoneStaysBlackAndTakesNoPictures) {
    FakeArt art;
    std::unique_ptr<SecondaryWindow> w = OpenSecondaryWindow(RightScreen(), art.Setup(3));
    ASSERT_TRUE(ProcessUntil([&] { return w->isExposed(); }));
    EXPECT_FALSE(w->HasPlayer());
    w->ShowNextPicture();
    QElapsedTimer clock;
    clock.start();
    ProcessUntil([&] { return clock.elapsed() > 300; });
    EXPECT_EQ(art.taken, 0);
    const QImage now = Grab(*w);
    EXPECT_EQ(now.pixel(512, 384), kBlack);
    EXPECT_EQ(now.pixel(1, 1), kBlack);
}

TEST_F(SecondaryWindowTest, PointerEndsTheSaverOnlyBeyondTheLooserRule) {
    FakeArt art;
    std::vector<SaverAction> actions;
    SecondarySetup setup = art.Setup(3);
    setup.onInput = [&actions](const SaverInputResult& r) { actions.push_back(r.action); };
    std::unique_ptr<SecondaryWindow> w = OpenSecondaryWindow(RightScreen(), std::move(setup));
    ASSERT_TRUE(ProcessUntil([&] { return w->isExposed(); }));
    const auto move = [&](int x, int y) {
        const QPointF local(x, y);
        QMouseEvent e(QEvent::MouseMove, local, local + QPointF(w->position()), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.get(), &e);
    };
    // The first moves only say where the pointer is, however far apart.
    move(100, 100);
    move(400, 300);
    move(10, 700);
    move(900, 20);
    move(500, 500);
    EXPECT_TRUE(actions.empty());
    move(510, 515);  // 25 px away: a stir
    move(510, 515);  // no move at all: nothing
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0], SaverAction::PointerStirred);
    move(520, 511);  // 31 px from where the pointer was: the end
    ASSERT_GE(actions.size(), 2u);
    EXPECT_EQ(actions[1], SaverAction::EndSaver);
}

TEST(SecondaryArtTest, SnapshotOfTheEngineWithItsCropCentre) {
    RenderOptions options;
    options.width = 320;
    options.height = 180;
    HeadlessRenderer r(options, EngineSettings{});
    ASSERT_TRUE(r.Ok()) << r.Error();
    for (int f = 0; f < 30; ++f) ASSERT_TRUE(r.RenderFrame());
    Picture expected;
    ASSERT_TRUE(r.Snapshot(&expected));
    PresentedDrawWnd& engine = r.Engine();
    EXPECT_FALSE(ArtChangingSlide(engine));

    struct Case {
        int reflections;
        bool symmetric;
        bool centred;
    };
    for (const Case& c : {Case{1, false, false}, Case{2, false, true}, Case{1, true, true}}) {
        SCOPED_TRACE(testing::Message()
                     << c.reflections << " reflections, symmetric " << c.symmetric);
        engine.SetReflections(c.reflections);
        engine.SetSymmetric(c.symmetric);
        Picture picture;
        int cx = -1;
        int cy = -1;
        bool centred = !c.centred;
        ASSERT_TRUE(TakeArtSnapshot(engine, picture, cx, cy, centred));
        EXPECT_EQ(picture.width, 320);
        EXPECT_EQ(picture.height, 180);
        EXPECT_EQ(picture.pixels, expected.pixels);
        EXPECT_EQ(cx, engine.CentroidX());
        EXPECT_EQ(cy, engine.CentroidY());
        EXPECT_EQ(centred, c.centred);
    }
}

// Not a check: renders docs/transition.png (a reveal of one real picture over another) when
// QUOVIS_TRANSITION_PICTURE names the file to write.
TEST_F(SecondaryWindowTest, DocumentationPicture) {
    const char* path = std::getenv("QUOVIS_TRANSITION_PICTURE");
    if (path == nullptr) GTEST_SKIP() << "set QUOVIS_TRANSITION_PICTURE to write the picture";
    const auto render = [](int preset, int seed) {
        RenderOptions options;
        options.width = 960;
        options.height = 540;
        options.seed = seed;
        const std::u16string text(BuiltinPreset(preset));
        HeadlessRenderer r(
            options, [&text](CDrawWnd& e) { return ApplyPresetString(e, text); }, "preset");
        Picture p;
        for (int f = 0; f < 240 && r.Ok(); ++f) r.RenderFrame();
        r.Snapshot(&p);
        return p;
    };
    Picture pictures[2] = {render(2, 5), render(14, 7)};
    int next = 0;
    SecondarySetup setup;
    setup.fadeType = 1;
    setup.takeSnapshot = [&](Picture& p, int& cx, int& cy, bool& centred) {
        p = pictures[next++ % 2];
        cx = p.width / 2;
        cy = p.height / 2;
        centred = true;
        return true;
    };
    std::unique_ptr<SecondaryWindow> w = OpenSecondaryWindow(RightScreen(), std::move(setup));
    ASSERT_TRUE(ProcessUntil([&] { return w->isExposed(); }));
    w->ShowNextPicture();
    QElapsedTimer clock;
    clock.start();
    ProcessUntil([&] { return clock.elapsed() > 500; });
    w->ShowNextPicture();
    clock.restart();
    ProcessUntil([&] { return clock.elapsed() > 2300; });
    ASSERT_TRUE(Grab(*w).scaledToWidth(600, Qt::SmoothTransformation).save(path, "PNG", 0));
}

}  // namespace
}  // namespace quovis
