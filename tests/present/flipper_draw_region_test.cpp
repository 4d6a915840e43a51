// Drawing into a part of the picture: only the region is cleared and merged, what lies outside
// it in the draw image stays readable, and a region that leaves the image is cut to it.
#include <gtest/gtest.h>

#include "present/flipper.h"
#include "tests/present/flipper_support.h"

namespace quovis {
namespace {

using test::DeepAt;
using test::MakeFlipper;

void Put(const DrawImage& img, int x, int y, uint32_t v) {
    img.pixels[(img.height - 1 - y) * img.rowStep + x] = v;
}

// Paints every pixel of the whole draw image white, whatever region was lent.
void PaintAll(const DrawImage& img) {
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) Put(img, x, y, 0xFFFFFFu);
}

TEST(FlipperDrawRegion, OnlyTheRegionIsMergedIntoTheCanvas) {
    struct Case {
        DrawRegion asked;
        DrawRegion used;  // the asked region cut to the 32 x 16 image
    };
    const Case cases[] = {
        {{4, 3, 10, 7}, {4, 3, 10, 7}},
        {{-5, -5, 3, 2}, {0, 0, 3, 2}},
        {{28, 12, 40, 30}, {28, 12, 32, 16}},
        {{0, 0, 32, 16}, {0, 0, 32, 16}},
        {{10, 10, 10, 12}, {}},  // empty
    };
    for (const Case& c : cases) {
        auto f = MakeFlipper(32, 16, 1);
        const DrawImage img = f->BeginDraw(c.asked);
        ASSERT_NE(img.pixels, nullptr);
        EXPECT_EQ(img.region.left, c.used.left);
        EXPECT_EQ(img.region.top, c.used.top);
        EXPECT_EQ(img.region.right, c.used.right);
        EXPECT_EQ(img.region.bottom, c.used.bottom);
        PaintAll(img);
        f->EndDraw();
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 32; ++x) {
                const bool inside = x >= c.used.left && x < c.used.right && y >= c.used.top &&
                                    y < c.used.bottom && x > 0;  // column 0 is never lit
                ASSERT_EQ(DeepAt(*f, x, y, 1), inside ? 255 << 8 : 0)
                    << "region " << c.asked.left << "," << c.asked.top << " pixel " << x << ","
                    << y;
            }
        }
    }
}

TEST(FlipperDrawRegion, ClearsOnlyTheRegionAndKeepsTheRestReadable) {
    auto f = MakeFlipper(32, 16, 1);
    DrawImage img = f->BeginDraw();
    Put(img, 2, 2, 0x0000C800u);    // outside the region drawn next
    Put(img, 12, 6, 0x0000C800u);   // inside it
    Put(img, 20, 14, 0x0000C800u);  // outside
    f->EndDraw();
    img = f->BeginDraw({10, 4, 16, 8});
    EXPECT_EQ(f->ReadPixel(12, 6), 0u);  // cleared for the new drawing
    EXPECT_EQ(f->ReadPixel(2, 2), 200u << 8);
    EXPECT_EQ(f->ReadPixel(20, 14), 200u << 8);
    Put(img, 11, 5, 0x00640000u);
    f->EndDraw();
    // The pixels kept from the first drawing are not merged a second time.
    EXPECT_EQ(DeepAt(*f, 2, 2, 1), 200 << 8);
    EXPECT_EQ(DeepAt(*f, 11, 5, 0), 100 << 8);
    EXPECT_EQ(f->ReadPixel(11, 5), 100u);
    // The whole image is cleared again by a drawing without a region.
    f->BeginDraw();
    EXPECT_EQ(f->ReadPixel(2, 2), 0u);
    EXPECT_EQ(f->ReadPixel(11, 5), 0u);
    f->EndDraw();
}

TEST(FlipperDrawRegion, InEightBitsTheRegionIsCutButNothingIsCleared) {
    auto f = MakeFlipper(32, 16, 1, false);
    f->AddPixel(5, 5, 100 << 8, 0, 0);
    const DrawImage img = f->BeginDraw({4, 4, 50, 8});
    EXPECT_EQ(img.pixels, f->Surface().shallow);
    EXPECT_EQ(img.region.right, 32);
    EXPECT_EQ(f->ReadPixel(5, 5), 100u);
    f->EndDraw();
}

}  // namespace
}  // namespace quovis
