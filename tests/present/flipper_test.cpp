// The presenter's images: attach, band count, tone curve, conversion to the display image,
// fuzziness, modes, frame start, drawing and snapshot pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "flipper_support.h"
#include "present/flipper.h"

namespace quovis {
namespace {

using test::DeepAt;
using test::DisplayAt;
using test::FillRandom;
using test::MakeFlipper;

std::vector<uint32_t> Display(const CFlipperGDI32& f) {
    return {f.DisplayPixels(),
            f.DisplayPixels() + static_cast<std::size_t>(f.Width()) * f.Height()};
}

// ---- Attach and bands ----------------------------------------------------------------------

TEST(FlipperBands, CountFollowsProcessorsAndCanvasSize) {
    // 1920 x 1080 is 20 bands' worth of pixels (21 made even).
    EXPECT_EQ(CFlipperBase::BandCountFor(64, 1920, 1080), 20);
    EXPECT_EQ(CFlipperBase::BandCountFor(8, 1920, 1080), 8);
    EXPECT_EQ(CFlipperBase::BandCountFor(2, 1920, 1080), 2);
    // A one-processor machine still gets two bands.
    EXPECT_EQ(CFlipperBase::BandCountFor(1, 1920, 1080), 2);
    EXPECT_EQ(CFlipperBase::BandCountFor(1, 100, 100), 2);
    // A small preview uses two, whatever the processors.
    EXPECT_EQ(CFlipperBase::BandCountFor(16, 200, 150), 2);
    // Three bands' worth is made even: 2.
    EXPECT_EQ(CFlipperBase::BandCountFor(16, 500, 500), 2);
    EXPECT_EQ(CFlipperBase::BandCountFor(16, 1000, 500), 6);
    EXPECT_EQ(CFlipperBase::BandCountFor(1000, 8000, 8000), 32);
}

TEST(FlipperAttach, RenderSizeIsRoundedAndAttachHappensOnce) {
    CFlipperGDI32 f;
    EXPECT_EQ(f.Attach(1023, 767), kFlipperOk);
    EXPECT_EQ(f.Width(), 1020);
    EXPECT_EQ(f.Height(), 766);
    EXPECT_EQ(f.WindowWidth(), 1020);
    EXPECT_EQ(f.Attach(640, 480), kFlipperAlreadyAttached);
    EXPECT_EQ(f.Width(), 1020);

    CFlipperGDI32 half;
    half.SetScaleReciprocal(2.0);
    EXPECT_EQ(half.Attach(1282, 722), kFlipperOk);  // window 1280 x 722 -> 640 x 361 -> even
    EXPECT_EQ(half.Width(), 640);
    EXPECT_EQ(half.Height(), 360);
}

TEST(FlipperAttach, SizesWithoutAnImageAreRefused) {
    for (auto [w, h] : {std::pair{0, 0}, {3, 100}, {100, 1}, {-8, 100}, {1 << 30, 100}}) {
        CFlipperGDI32 f;
        EXPECT_EQ(f.Attach(w, h), kFlipperBadSize) << w << "x" << h;
        EXPECT_FALSE(f.IsAttached());
        EXPECT_EQ(f.Surface().width, 0);
        f.FadeTrails();  // nothing to do, nothing to break
        f.ConvertToDisplay();
        EXPECT_EQ(f.BeginDraw().pixels, nullptr);
    }
    CFlipperGDI32 f;
    f.SetScaleReciprocal(std::numeric_limits<double>::quiet_NaN());  // ignored
    f.SetScaleReciprocal(0.0);                                       // ignored
    EXPECT_EQ(f.Attach(400, 300), kFlipperOk);
    EXPECT_EQ(f.Width(), 400);
}

TEST(FlipperAttach, TheSurfaceIsTheDeepCanvasWhenAskedForElseTheWorkImage) {
    auto deep = MakeFlipper(64, 32, 1, true);
    ASSERT_TRUE(deep);
    EXPECT_TRUE(deep->IsDeepActive());
    EXPECT_TRUE(deep->Surface().IsDeep());
    EXPECT_EQ(deep->Surface().width, 64);
    EXPECT_EQ(deep->Surface().height, 32);

    auto shallow = MakeFlipper(64, 32, 1, false);
    ASSERT_TRUE(shallow);
    EXPECT_FALSE(shallow->IsDeepActive());
    EXPECT_NE(shallow->Surface().shallow, nullptr);
    // Asking later builds the 16-bit canvases then.
    shallow->SetDeepCanvas(true);
    EXPECT_TRUE(shallow->IsDeepActive());
}

// ---- Tone ----------------------------------------------------------------------------------

TEST(FlipperTone, TheMiddlePairIsTheIdentityAndPresetZeroGivesTheHighByte) {
    auto f = MakeFlipper(64, 32, 1);
    ASSERT_TRUE(f->SetTone(8.0, 0.7));
    EXPECT_FALSE(f->ToneIsIdentity());
    for (double b : {1.0, -1.0}) {
        ASSERT_TRUE(f->SetTone(0.5, b));
        EXPECT_TRUE(f->ToneIsIdentity());
        for (int v = 0; v < 65536; ++v) ASSERT_EQ(f->ToneTable()[v], v >> 8) << "value " << v;
    }
    double a, b;
    ASSERT_TRUE(CFlipperBase::TonePreset(0, &a, &b));
    // Widths that end on a whole vector step, part of one, and less than one.
    for (int width : {64, 100, 4}) {
        auto g = MakeFlipper(width, 6, 1);
        g->SetTone(a, b);
        FillRandom(*g, 11);
        g->ConvertToDisplay();
        for (int y = 0; y < g->Height(); ++y) {
            for (int x = 0; x < g->Width(); ++x) {
                const uint32_t want = static_cast<uint32_t>(DeepAt(*g, x, y, 0) >> 8) << 16 |
                                      static_cast<uint32_t>(DeepAt(*g, x, y, 1) >> 8) << 8 |
                                      static_cast<uint32_t>(DeepAt(*g, x, y, 2) >> 8);
                ASSERT_EQ(DisplayAt(*g, x, y) & 0xFFFFFFu, want)
                    << "width " << width << " at " << x << "," << y;
            }
        }
    }
}

TEST(FlipperTone, GammaEndsAndMiddleGiveTheirPairs) {
    double a, b;
    CFlipperBase::ToneFromGamma(500, &a, &b);
    EXPECT_NEAR(a, 0.5, 1e-12);
    EXPECT_NEAR(b, 1.0, 1e-12);
    auto f = MakeFlipper(16, 8, 1);
    f->SetTone(8.0, 0.7);
    ASSERT_TRUE(f->SetTone(a, b));
    EXPECT_TRUE(f->ToneIsIdentity());
    EXPECT_EQ(f->ToneTable()[65280], 255);

    CFlipperBase::ToneFromGamma(0, &a, &b);
    EXPECT_NEAR(a, 0.3, 1e-12);
    EXPECT_NEAR(b, 2.0, 1e-12);
    CFlipperBase::ToneFromGamma(1000, &a, &b);
    EXPECT_NEAR(a, 10.0, 1e-12);
    EXPECT_NEAR(b, 0.6, 1e-12);
    CFlipperBase::ToneFromGamma(std::numeric_limits<double>::quiet_NaN(), &a, &b);
    EXPECT_NEAR(a, 0.5, 1e-12);
}

TEST(FlipperTone, EveryCurveRisesFromBlackToWhite) {
    auto f = MakeFlipper(16, 8, 1);
    std::vector<std::pair<double, double>> pairs;
    for (int p = 0; p < 3; ++p) {
        double a, b;
        ASSERT_TRUE(CFlipperBase::TonePreset(p, &a, &b));
        pairs.emplace_back(a, b);
    }
    for (int g = 0; g <= 1000; g += 100) {
        double a, b;
        CFlipperBase::ToneFromGamma(g, &a, &b);
        pairs.emplace_back(a, b);
    }
    for (auto [a, b] : pairs) {
        ASSERT_TRUE(f->SetTone(a, b));
        const uint8_t* t = f->ToneTable();
        EXPECT_EQ(t[0], 0) << a << "," << b;
        EXPECT_EQ(t[65535], 255) << a << "," << b;
        for (int v = 1; v < 65536; ++v) ASSERT_GE(t[v], t[v - 1]) << a << "," << b << " at " << v;
    }
    // Slope 2 at black lifts the shadows; slope 0.6 darkens them.
    f->SetTone(0.3, 2.0);
    EXPECT_GT(f->ToneTable()[8192], 8192 >> 8);
    f->SetTone(10.0, 0.6);
    EXPECT_LT(f->ToneTable()[8192], 8192 >> 8);
    EXPECT_FALSE(CFlipperBase::TonePreset(3, nullptr, nullptr));
}

TEST(FlipperTone, UnusablePairsLeaveTheCurveAlone) {
    auto f = MakeFlipper(16, 8, 1);
    ASSERT_TRUE(f->SetTone(8.0, 0.7));
    const std::vector<uint8_t> before(f->ToneTable(), f->ToneTable() + 65536);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(f->SetTone(0.0, 1.0));
    EXPECT_FALSE(f->SetTone(-2.0, 1.0));
    EXPECT_FALSE(f->SetTone(nan, 1.0));
    EXPECT_FALSE(f->SetTone(0.5, nan));
    EXPECT_FALSE(f->SetTone(std::numeric_limits<double>::infinity(), 1.0));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), f->ToneTable()));
}

// ---- Conversion ----------------------------------------------------------------------------

TEST(FlipperConvert, BandedConversionMatchesOneBandByteForByte) {
    struct Setup {
        bool deep;
        int fuzz;  // 0 = off
        int tone;  // preset
    };
    for (const Setup& s : {Setup{true, 0, 0}, Setup{true, 0, 1}, Setup{true, 60, 2},
                           Setup{false, 0, 0}, Setup{false, 0, 2}}) {
        std::vector<uint32_t> reference;
        for (int bands : {1, 2, 3, 7}) {
            auto f = MakeFlipper(130, 66, bands, s.deep);
            ASSERT_TRUE(f);
            ASSERT_EQ(f->BandCount(), bands);
            double a, b;
            CFlipperBase::TonePreset(s.tone, &a, &b);
            f->SetTone(a, b);
            f->SetFuzziness(s.fuzz > 0, s.fuzz, true);
            FillRandom(*f, 4242);
            for (int frame = 0; frame < 3; ++frame) f->ConvertToDisplay();
            const auto out = Display(*f);
            if (reference.empty()) {
                reference = out;
            } else {
                EXPECT_TRUE(out == reference) << "bands " << bands << " deep " << s.deep << " fuzz "
                                              << s.fuzz << " tone " << s.tone;
            }
        }
    }
}

TEST(FlipperConvert, TheFirstChannelShowsAsRedAndTheSpareByteIsKept) {
    for (bool deep : {true, false}) {
        auto f = MakeFlipper(16, 8, 1, deep);
        const_cast<uint32_t*>(f->DisplayPixels())[0] = 0x5A000000u;  // picture row 7, x 0
        f->AddPixel(3, 2, 200 * 256, 100 * 256, 50 * 256);
        f->ConvertToDisplay();
        EXPECT_EQ(DisplayAt(*f, 3, 2), 200u << 16 | 100u << 8 | 50u) << "deep " << deep;
        EXPECT_EQ(DisplayAt(*f, 0, 7), 0x5A000000u) << "deep " << deep;
    }
}

// ---- Fuzziness -----------------------------------------------------------------------------

TEST(FlipperFuzz, DivisorRunsFromGentleToStrong) {
    auto f = MakeFlipper(16, 8, 1);
    f->SetFuzziness(true, 1, true);
    EXPECT_EQ(f->FuzzDivisor(), 1020);
    f->SetFuzziness(true, 50, true);
    EXPECT_EQ(f->FuzzDivisor(), 290);
    f->SetFuzziness(true, 100, true);
    EXPECT_EQ(f->FuzzDivisor(), 40);
    f->SetFuzziness(true, 500, true);  // limited to 100
    EXPECT_EQ(f->FuzzDivisor(), 40);
    f->SetFuzziness(false, 50, true);
    EXPECT_EQ(f->FuzzDivisor(), 0);
}

TEST(FlipperFuzz, ALitPixelSpreadsEvenlyAndKeepsItsLight) {
    auto f = MakeFlipper(32, 16, 2);
    f->SetFuzziness(true, 100, true);
    f->AddPixel(10, 8, 40000, 8000, 0);
    const uint16_t* before = f->Surface().deep;
    f->ConvertToDisplay();
    EXPECT_NE(f->Surface().deep, before);  // the canvases swapped
    const int middle = DeepAt(*f, 10, 8, 0);
    const int side = DeepAt(*f, 11, 8, 0);
    EXPECT_LT(middle, 40000);
    EXPECT_GT(side, 0);
    EXPECT_EQ(DeepAt(*f, 9, 8, 0), side);
    EXPECT_EQ(DeepAt(*f, 10, 7, 0), side);
    EXPECT_EQ(DeepAt(*f, 10, 9, 0), side);
    EXPECT_EQ(DeepAt(*f, 11, 9, 0), 0);  // diagonals are not neighbours
    EXPECT_NEAR(middle + 4 * side, 40000, 5);
    // Stronger fuzziness moves more light out of the pixel.
    auto gentle = MakeFlipper(32, 16, 2);
    gentle->SetFuzziness(true, 1, true);
    gentle->AddPixel(10, 8, 40000, 8000, 0);
    gentle->ConvertToDisplay();
    EXPECT_GT(DeepAt(*gentle, 10, 8, 0), middle);
    // Without fuzziness nothing moves.
    auto still = MakeFlipper(32, 16, 2);
    still->AddPixel(10, 8, 40000, 8000, 0);
    still->ConvertToDisplay();
    EXPECT_EQ(DeepAt(*still, 11, 8, 0), 0);
    EXPECT_EQ(DeepAt(*still, 10, 8, 0), 40000);
}

TEST(FlipperFuzz, FullPixelsNeverOverflow) {
    auto f = MakeFlipper(32, 16, 1);
    f->SetFuzziness(true, 37, true);
    for (int y = 0; y < 16; ++y)
        for (int x = 1; x < 32; ++x) f->AddPixel(x, y, 65535, 65535, 65535);
    f->ConvertToDisplay();
    // Inside, a full pixel among full pixels stays full (no wrap to a small value).
    EXPECT_GE(DeepAt(*f, 10, 8, 0), 65530);
    EXPECT_EQ(DisplayAt(*f, 10, 8) & 0xFFFFFFu, 0xFFFFFFu);
}

// ---- Modes ---------------------------------------------------------------------------------

TEST(FlipperModes, DitheredTrailsAndQuickDirtyDrawInEightBitsWithoutChangingThePicture) {
    auto f = MakeFlipper(64, 32, 2);
    FillRandom(*f, 99);
    f->ConvertToDisplay();
    const auto before = Display(*f);

    f->SetTrails(50, true, -1.0);
    EXPECT_FALSE(f->IsDeepActive());
    EXPECT_FALSE(f->Surface().IsDeep());
    f->ConvertToDisplay();
    EXPECT_TRUE(Display(*f) == before);

    f->SetTrails(50, false, -1.0);
    EXPECT_TRUE(f->IsDeepActive());
    f->ConvertToDisplay();
    EXPECT_TRUE(Display(*f) == before);

    f->SetQuickDirty(true);
    EXPECT_FALSE(f->IsDeepActive());
    f->ConvertToDisplay();
    EXPECT_TRUE(Display(*f) == before);
    f->SetQuickDirty(false);
    EXPECT_TRUE(f->IsDeepActive());

    // Dither without trails changes nothing; turning the 16-bit canvas off does.
    f->SetTrails(-1, true, -1.0);
    EXPECT_TRUE(f->IsDeepActive());
    f->SetDeepCanvas(false);
    EXPECT_FALSE(f->IsDeepActive());
}

// ---- Frame start ---------------------------------------------------------------------------

TEST(FlipperFrame, ClearingWipesEveryImage) {
    for (bool deep : {true, false}) {
        auto f = MakeFlipper(64, 32, 2, deep);
        FillRandom(*f, 5);
        f->ConvertToDisplay();
        f->BeginFrame(false);
        EXPECT_NE(f->ReadPixel(5, 5) | DisplayAt(*f, 5, 5), 0u);
        f->BeginFrame(true);
        f->ConvertToDisplay();
        for (uint32_t px : Display(*f)) ASSERT_EQ(px & 0xFFFFFFu, 0u) << "deep " << deep;
    }
}

TEST(FlipperFrame, ARequestedClearWaitsForTheNextFrameOnLargeCanvasesOnly) {
    for (int width : {400, 396}) {
        auto f = MakeFlipper(width, 20, 2);
        f->AddPixel(5, 5, 30000, 0, 0);
        f->RequestClear();
        EXPECT_EQ(DeepAt(*f, 5, 5, 0), 30000);  // nothing happens until the frame starts
        f->BeginFrame(false);
        EXPECT_EQ(DeepAt(*f, 5, 5, 0), width >= 400 ? 0 : 30000) << "width " << width;
    }
}

// ---- Drawing -------------------------------------------------------------------------------

TEST(FlipperDraw, MergingADrawingSaturatesLikeTheDots) {
    auto f = MakeFlipper(32, 16, 1);
    auto reference = MakeFlipper(32, 16, 1);
    for (auto* g : {f.get(), reference.get()}) {
        g->AddPixel(4, 3, 65000, 30000, 0);
        g->AddPixel(6, 3, 100, 200, 300);
    }
    DrawImage img = f->BeginDraw();
    ASSERT_NE(img.pixels, nullptr);
    for (int i = 0; i < img.width * img.height; ++i) ASSERT_EQ(img.pixels[i], 0u);
    auto put = [&](int x, int y, uint32_t v) {
        img.pixels[(img.height - 1 - y) * img.rowStep + x] = v;
    };
    put(4, 3, 0xFFFFFFu);    // white over a bright pixel
    put(6, 3, 0x102030u);    // a colour over a dim one
    put(0, 5, 0xFFFFFFu);    // column 0 stays dark
    put(8, 8, 0xFF000000u);  // black with a spare byte set is still black
    f->EndDraw();
    reference->AddPixel(4, 3, 255 << 8, 255 << 8, 255 << 8);
    reference->AddPixel(6, 3, 0x10 << 8, 0x20 << 8, 0x30 << 8);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(DeepAt(*f, x, y, ch), DeepAt(*reference, x, y, ch)) << x << "," << y;
    EXPECT_EQ(DeepAt(*f, 4, 3, 0), 65535);
    // What was drawn can be read back (the dot letters find their pixels this way).
    EXPECT_EQ(f->ReadPixel(6, 3), 0x10u | 0x20u << 8 | 0x30u << 16);
    EXPECT_EQ(f->ReadPixel(7, 3), 0u);
    // A second EndDraw merges nothing more.
    f->EndDraw();
    EXPECT_EQ(DeepAt(*f, 6, 3, 0), DeepAt(*reference, 6, 3, 0));
}

TEST(FlipperDraw, InEightBitsTheDrawingGoesStraightIntoTheCanvas) {
    auto f = MakeFlipper(32, 16, 1, false);
    DrawImage img = f->BeginDraw();
    ASSERT_EQ(img.pixels, f->Surface().shallow);
    img.pixels[(img.height - 1 - 2) * img.rowStep + 9] = 0x00C80000u;  // red at (9, 2)
    f->EndDraw();
    EXPECT_EQ(f->ReadPixel(9, 2), 200u);
    f->ConvertToDisplay();
    EXPECT_EQ(DisplayAt(*f, 9, 2) & 0xFFFFFFu, 0xC80000u);
}

// ---- Snapshot ------------------------------------------------------------------------------

TEST(FlipperSnapshot, PictureIsTopDownAndInvertedOnRequest) {
    auto f = MakeFlipper(16, 8, 1);
    Picture pic;
    f->AddPixel(3, 0, 255 << 8, 0, 0);  // top row, red
    f->AddPixel(5, 7, 0, 0, 128 << 8);  // bottom row, blue
    f->ConvertToDisplay();
    ASSERT_TRUE(f->SnapshotPicture(&pic));
    ASSERT_EQ(pic.width, 16);
    ASSERT_EQ(pic.height, 8);
    EXPECT_EQ(pic.pixels[0 * 16 + 3], 0xFFFF0000u);
    EXPECT_EQ(pic.pixels[7 * 16 + 5], 0xFF000080u);
    EXPECT_EQ(pic.pixels[0], 0xFF000000u);

    f->SetInvert(true);
    ASSERT_TRUE(f->SnapshotPicture(&pic));
    EXPECT_EQ(pic.pixels[0 * 16 + 3], 0xFF00FFFFu);
    EXPECT_EQ(pic.pixels[0], 0xFFFFFFFFu);
    // The display image itself is not inverted; the output shows it inverted.
    EXPECT_EQ(DisplayAt(*f, 3, 0) & 0xFFFFFFu, 0xFF0000u);

    CFlipperGDI32 unattached;
    EXPECT_FALSE(unattached.SnapshotPicture(&pic));
    EXPECT_FALSE(f->SnapshotPicture(nullptr));
}

// Canvas-sized buffers start on a huge-page boundary (so the kernel can back them with huge
// pages), small ones on a cache line; both come zero-filled and are freed with the alignment
// they were made with (the sanitizer builds catch a mismatch).
TEST(FlipperBuffers, LargeBuffersAreHugePageAlignedAndZeroed) {
    AlignedArray<uint16_t> canvas;
    ASSERT_TRUE(canvas.Allocate(std::size_t{1920} * 1080 * 3));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(canvas.Data()) % kHugePageBytes, 0u);
    EXPECT_EQ(canvas.Data()[0], 0);
    EXPECT_EQ(canvas.Data()[canvas.Count() - 1], 0);
    AlignedArray<uint32_t> small;
    ASSERT_TRUE(small.Allocate(100));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(small.Data()) % 64, 0u);
    // Re-allocating swaps one alignment for the other without leaking or mismatching.
    ASSERT_TRUE(canvas.Allocate(10));
    ASSERT_TRUE(small.Allocate(std::size_t{1} << 20));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(small.Data()) % kHugePageBytes, 0u);
}

}  // namespace
}  // namespace quovis
