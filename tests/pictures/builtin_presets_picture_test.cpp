// Every built-in preset, rendered for a few seconds, must be worth looking at and must not
// be a near copy of another: a user flipping through the favorites should never wonder
// whether anything changed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "present/headless_renderer.h"
#include "present/picture_stats.h"
#include "settings/builtin_presets.h"
#include "settings/preset_apply.h"
#include "settings/preset_record.h"
#include "settings/text_encoding.h"

namespace quovis {
namespace {

struct Rendered {
    std::string name;
    PictureStats stats;
    PictureThumbnail thumbnail;
};

Rendered RenderBuiltin(int index) {
    Rendered out;
    out.name = Utf16ToUtf8(BuiltinPresetName(index));
    const std::u16string text(BuiltinPreset(index));
    PresetRecord record;
    EXPECT_TRUE(ReadPresetString(text, record)) << out.name;
    RenderOptions options;
    options.width = 320;
    options.height = 180;
    options.seed = 11;
    HeadlessRenderer renderer(
        options,
        [&text](CDrawWnd& engine) {
            if (!ApplyPresetString(engine, text)) return false;
            const std::u16string_view drawing = BuiltinDrawing(engine.PresetName());
            return drawing.empty() || engine.LoadStrokeList(drawing);
        },
        "the preset could not be applied");
    EXPECT_TRUE(renderer.Ok()) << out.name << ": " << renderer.Error();
    for (int f = 0; f < 240 && renderer.Ok(); ++f) {  // four seconds at 60 frames a second
        if (!renderer.RenderFrame()) {
            ADD_FAILURE() << out.name << " stopped at frame " << f;
            break;
        }
    }
    Picture picture;
    renderer.Snapshot(&picture);
    out.stats = MeasurePicture(picture, record.Invert != 0);
    out.thumbnail = MakeThumbnail(picture);
    return out;
}

TEST(BuiltinPresetPictures, EachIsWorthLookingAtAndNoneIsANearCopy) {
    std::vector<Rendered> all;
    for (int i = 0; i < kBuiltinPresetCount; ++i) {
        // A randomised preset shows something new every time; the style pictures cover it.
        if (IsRandomisedPreset(BuiltinPreset(i))) continue;
        all.push_back(RenderBuiltin(i));
        const Rendered& r = all.back();
        const std::string what = r.name + ": " + r.stats.Describe();
        EXPECT_GE(r.stats.meanLuma, 10.0) << what << " (too dark)";
        EXPECT_GE(r.stats.litShare, 0.05) << what << " (mostly empty)";
        EXPECT_LE(r.stats.whiteShare, 0.25) << what << " (burnt out white)";
        EXPECT_GT(r.stats.lumaSpread, 2.5) << what << " (flat)";
        EXPECT_GE(r.stats.hueBuckets, 1) << what << " (no colour at all)";
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            const double d = ThumbnailDistance(all[i].thumbnail, all[j].thumbnail);
            EXPECT_GE(d, 14.0) << all[i].name << " and " << all[j].name << " look alike";
        }
    }
}

}  // namespace
}  // namespace quovis
