// Trail fade: the multipliers, the fade of the 16-bit canvas, the shaded fade tables, the
// dithered 8-bit fade, and the fade done while converting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "flipper_support.h"
#include "present/flipper.h"

namespace quovis {
namespace {

using test::DeepAt;
using test::FillRandom;
using test::MakeFlipper;

TEST(FlipperTrails, MultipliersForTheShortestAndLongestTrails) {
    auto f = MakeFlipper(16, 8, 1);
    EXPECT_FALSE(f->TrailsOn());
    // Worked by hand from the trail rule: L = 1 keeps about 54 % per frame, L = 100 about
    // 99.7 %; the 8-bit multiplier keeps more without dither.
    f->SetTrails(1, false, -1.0);
    EXPECT_TRUE(f->TrailsOn());
    EXPECT_EQ(f->Fade16(), 35333u);
    EXPECT_EQ(f->Fade8(), 138);
    EXPECT_EQ(f->SkipRange(), 1);
    f->SetTrails(1, true, -1.0);
    EXPECT_EQ(f->Fade8(), 52);
    EXPECT_EQ(f->SkipRange(), 2);
    f->SetTrails(100, false, -1.0);
    EXPECT_EQ(f->Fade16(), 65319u);
    EXPECT_EQ(f->Fade8(), 255);
    f->SetTrails(100, true, -1.0);
    EXPECT_EQ(f->SkipRange(), 22);
    // Lengths outside 1..100 are limited; -1 switches trails off.
    f->SetTrails(1000, false, -1.0);
    EXPECT_EQ(f->Fade16(), 65319u);
    f->SetTrails(0, false, -1.0);
    EXPECT_EQ(f->Fade16(), 35333u);
    f->SetTrails(-1, false, -1.0);
    EXPECT_FALSE(f->TrailsOn());
}

TEST(FlipperTrails, OneFadeMultipliesByTheFadeFactor) {
    auto f = MakeFlipper(64, 8, 2);
    f->SetTrails(30, false, -1.0);
    const double factor = f->Fade16() / 65535.0;
    for (int x = 1; x < 64; ++x) f->AddPixel(x, 3, x * 1000 + 7, x * 17, 65535 - x * 900);
    f->FadeTrails();
    for (int x = 1; x < 64; ++x) {
        const int before[3] = {x * 1000 + 7, x * 17, 65535 - x * 900};
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_NEAR(DeepAt(*f, x, 3, ch), std::floor(before[ch] * factor), 1.0)
                << "x " << x << " channel " << ch;
        }
    }
}

// A fully lit pixel must fade every frame and reach black, for every trail length and path.
void ExpectFadesToBlack(CFlipperGDI32& f, int maxFrames, bool strict, const char* what) {
    f.AddPixel(7, 4, 65535, 30000, 1);
    auto value = [&](int ch) {
        return f.IsDeepActive() ? DeepAt(f, 7, 4, ch)
                                : static_cast<int>(f.ReadPixel(7, 4) >> (8 * ch) & 0xFF);
    };
    int previous[3] = {value(0), value(1), value(2)};
    int frames = 0;
    while (previous[0] + previous[1] + previous[2] > 0) {
        ASSERT_LT(++frames, maxFrames) << what << ": still lit";
        f.FadeTrails();
        for (int ch = 0; ch < 3; ++ch) {
            const int v = value(ch);
            if (strict && previous[ch] > 0) {
                ASSERT_LT(v, previous[ch]) << what << " channel " << ch << " frame " << frames;
            } else {
                ASSERT_LE(v, previous[ch]) << what << " channel " << ch << " frame " << frames;
            }
            previous[ch] = v;
        }
    }
}

TEST(FlipperTrails, LitPixelsFadeSteadilyToBlack) {
    for (int length : {1, 30, 100}) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        auto deep = MakeFlipper(16, 8, 2);
        deep->SetTrails(length, false, -1.0);
        ExpectFadesToBlack(*deep, 5000, true, "16-bit");

        auto shaded = MakeFlipper(16, 8, 2);
        shaded->SetTrails(length, false, 0.97);
        ExpectFadesToBlack(*shaded, 5000, true, "16-bit shaded");

        auto quick = MakeFlipper(16, 8, 2);
        quick->SetQuickDirty(true);
        quick->SetTrails(length, false, -1.0);
        ExpectFadesToBlack(*quick, 5000, true, "8-bit");

        auto dithered = MakeFlipper(16, 8, 2);
        dithered->SetTrails(length, true, -1.0);
        ASSERT_FALSE(dithered->IsDeepActive());
        ExpectFadesToBlack(*dithered, 50000, false, "8-bit dithered");
    }
}

TEST(FlipperTrails, WithoutTrailsNothingFades) {
    auto f = MakeFlipper(16, 8, 1);
    f->AddPixel(3, 3, 1000, 2000, 3000);
    f->FadeTrails();
    EXPECT_EQ(DeepAt(*f, 3, 3, 2), 3000);
    f->SetTrails(20, false, -1.0);
    f->SetTrails(-1, false, -1.0);
    f->FadeTrails();
    EXPECT_EQ(DeepAt(*f, 3, 3, 2), 3000);
}

TEST(FlipperTrails, ShadeDimsBrightTrailsMoreThanFaintOnes) {
    auto plain = MakeFlipper(16, 8, 1);
    auto shaded = MakeFlipper(16, 8, 1);
    plain->SetTrails(60, false, -1.0);
    shaded->SetTrails(60, false, 0.97);
    // A shade of 0 or less (or not a number) keeps the one the canvas has.
    shaded->SetTrails(60, false, 0.0);
    shaded->SetTrails(60, false, std::nan(""));
    EXPECT_EQ(shaded->Shade(), 0.97);
    for (auto* f : {plain.get(), shaded.get()}) {
        f->AddPixel(2, 2, 65000, 0, 0);
        f->AddPixel(3, 2, 300, 0, 0);
        f->FadeTrails();
    }
    const double brightRatio = DeepAt(*shaded, 2, 2, 0) / double(DeepAt(*plain, 2, 2, 0));
    const double faintRatio = DeepAt(*shaded, 3, 2, 0) / double(DeepAt(*plain, 3, 2, 0));
    EXPECT_LT(brightRatio, 0.98);
    EXPECT_GT(brightRatio, 0.96);
    EXPECT_GT(faintRatio, brightRatio);
}

TEST(FlipperTrails, DitheredFadeTouchesAShareOfThePixelsEachFrame) {
    auto f = MakeFlipper(200, 120, 1);
    f->SetTrails(100, true, -1.0);  // skips of 0..21 pixels: about one pixel in 11.5
    for (int y = 0; y < 120; ++y)
        for (int x = 1; x < 200; ++x) f->AddPixel(x, y, 200 << 8, 200 << 8, 200 << 8);
    f->FadeTrails();
    int faded = 0, total = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 1; x < 200; ++x) {
            ++total;
            faded += (f->ReadPixel(x, y) & 0xFF) < 200;
        }
    }
    const double share = double(faded) / total;
    EXPECT_GT(share, 0.05);
    EXPECT_LT(share, 0.13);
}

TEST(FlipperTrails, TheDitheredFadeUsesItsOwnRandomNumbers) {
    std::srand(12345);
    const int first = std::rand();
    std::srand(12345);
    auto f = MakeFlipper(200, 120, 1);
    f->SetTrails(100, true, 0.95);  // also builds the noisy fade tables
    f->AddPixel(5, 5, 200 << 8, 200 << 8, 200 << 8);
    for (int i = 0; i < 10; ++i) f->FadeTrails();
    EXPECT_EQ(std::rand(), first);
}

TEST(FlipperTrails, BandsFadeAlikeAndMatchOneBand) {
    for (double shade : {1.0, 0.97}) {
        auto one = MakeFlipper(130, 66, 1);
        auto many = MakeFlipper(130, 66, 5);
        for (auto* f : {one.get(), many.get()}) {
            test::FillRandom(*f, 31337);
            f->SetTrails(45, false, shade);
            for (int i = 0; i < 4; ++i) f->FadeTrails();
        }
        for (int y = 0; y < 66; ++y)
            for (int x = 0; x < 130; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(DeepAt(*one, x, y, ch), DeepAt(*many, x, y, ch))
                        << x << "," << y << " shade " << shade;
    }
}

// ---- The fade done while converting -------------------------------------------------------

// What a presenter holds after a frame: the display and the image the dots go into.
std::vector<uint32_t> Images(const CFlipperGDI32& f) {
    std::vector<uint32_t> out(f.DisplayPixels(), f.DisplayPixels() + f.Width() * f.Height());
    const CanvasSurface& s = f.Surface();
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            if (s.deep != nullptr) {
                for (int ch = 0; ch < 3; ++ch) out.push_back(DeepAt(f, x, y, ch));
            } else {
                out.push_back(s.shallow[(s.height - 1 - y) * s.shallowRowStep + x]);
            }
        }
    }
    return out;
}

struct FoldCase {
    std::string name;
    int width;
    int bands;
    bool deep;
    bool fuzz;
    double shade;  // below 1 the fade goes through the shaded tables
    bool tone;     // a tone curve instead of the identity
    bool dither;
};

TEST(FlipperTrails, FadingWhileConvertingGivesTheSameFramesAsFadingAfter) {
    const FoldCase cases[] = {
        {"16-bit", 100, 1, true, false, 1.0, false, false},
        {"16-bit, two bands", 100, 2, true, false, 1.0, false, false},
        {"16-bit with fuzziness", 36, 2, true, true, 1.0, false, false},
        {"16-bit with shaded trails", 100, 1, true, false, 0.8, false, false},
        {"16-bit through a tone curve", 36, 1, true, false, 1.0, true, false},
        {"8-bit", 100, 2, false, false, 1.0, true, false},
        {"8-bit dithered", 100, 1, false, false, 1.0, false, true},
    };
    for (const FoldCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CFlipperGDI32> after, during;
        for (auto* f : {&after, &during}) {
            *f = MakeFlipper(c.width, 10, c.bands, c.deep);
            ASSERT_TRUE(*f);
            (*f)->SetTrails(40, c.dither, c.shade);
            (*f)->SetFuzziness(c.fuzz, 60, true);
            if (c.tone) (*f)->SetTone(8.0, 0.7);
        }
        ASSERT_EQ(during->IsDeepActive(), c.deep);
        for (int frame = 0; frame < 4; ++frame) {
            FillRandom(*after, 7 + frame, 20000);
            FillRandom(*during, 7 + frame, 20000);
            after->ConvertToDisplay();
            after->FadeTrails();
            during->FadeWithNextConversion();
            during->ConvertToDisplay();
            during->FadeTrails();
            ASSERT_EQ(Images(*during), Images(*after)) << "frame " << frame;
        }
    }
}

TEST(FlipperTrails, AnAnnouncedFadeHappensOnceWhateverComesBetween) {
    enum Step { kAnnounce, kConvert, kFade };
    struct Case {
        std::string name;
        std::vector<Step> steps;
        int fades;
    };
    const Case cases[] = {
        {"announced, not converted", {kAnnounce, kFade}, 1},
        {"converted twice", {kAnnounce, kConvert, kConvert, kFade}, 1},
        {"converted without announcing", {kConvert, kConvert}, 0},
        {"two frames", {kAnnounce, kConvert, kFade, kAnnounce, kConvert, kFade}, 2},
        {"announced then plain", {kAnnounce, kConvert, kFade, kConvert, kFade}, 2},
        {"announcement dropped by a fade", {kAnnounce, kFade, kConvert, kConvert}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = MakeFlipper(40, 8, 1);
        auto reference = MakeFlipper(40, 8, 1);
        for (auto* g : {f.get(), reference.get()}) {
            g->SetTrails(20, false, -1.0);
            FillRandom(*g, 3, 30000);
        }
        for (Step s : c.steps) {
            if (s == kAnnounce) f->FadeWithNextConversion();
            if (s == kConvert) f->ConvertToDisplay();
            if (s == kFade) f->FadeTrails();
        }
        for (int i = 0; i < c.fades; ++i) reference->FadeTrails();
        f->ConvertToDisplay();
        reference->ConvertToDisplay();
        EXPECT_EQ(Images(*f), Images(*reference));
    }
}

}  // namespace
}  // namespace quovis
