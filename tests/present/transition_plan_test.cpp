// The transitions of the secondary monitors: the plans for each stored type, the step
// schedule under fast and slow drawing, what a fade and a reveal step draw, and the crop
// that fits a snapshot to a monitor of another shape.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "present/transition_plan.h"

namespace quovis {
namespace {

// ---- Plans ----------------------------------------------------------------------------------

// Every step a schedule draws, starting at time 0, when drawing one step takes drawMs.
struct Played {
    std::vector<int> steps;
    std::vector<int> previous;
    uint32_t endMs = 0;  // when the schedule said the transition was over
};
Played Play(const TransitionPlan& plan, bool immediate, int drawMs, uint32_t startMs = 0) {
    TransitionSchedule schedule(plan);
    uint32_t now = startMs;
    schedule.Start(immediate, now);
    Played played;
    while (schedule.NextStep(now)) {
        played.steps.push_back(schedule.Step());
        played.previous.push_back(schedule.PreviousStep());
        now += static_cast<uint32_t>(drawMs + schedule.PauseMs(drawMs));
        if (played.steps.size() > 10000) break;  // a schedule that never ends
    }
    EXPECT_FALSE(schedule.Playing());
    played.endMs = now - startMs;
    return played;
}

TEST(TransitionPlanTest, StoredValuesChooseTheirTransition) {
    struct Case {
        int fadeType;
        TransitionKind kind;
        size_t stepsDrawn;  // with fast drawing; 0: no player
    };
    const Case cases[] = {
        {0, TransitionKind::FadeIn, 96},
        {1, TransitionKind::Reveal, 256},
        {2, TransitionKind::Flip, 2},
        {3, TransitionKind::None, 0},
        // No step table: each picture at once, in one step.
        {4, TransitionKind::Flip, 1},
        {-1, TransitionKind::Flip, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fadeType);
        const TransitionPlan plan = PlanTransition(c.fadeType);
        EXPECT_EQ(plan.kind, c.kind);
        EXPECT_EQ(plan.HasPlayer(), c.stepsDrawn > 0);
        if (plan.HasPlayer()) {
            EXPECT_EQ(Play(plan, false, 1).steps.size(), c.stepsDrawn);
        }
    }
}

// ---- Schedule -------------------------------------------------------------------------------

TEST(TransitionScheduleTest, SlowDrawingSkipsStepsAndKeepsTheDuration) {
    for (int type : {0, 1}) {
        const TransitionPlan plan = PlanTransition(type);
        for (int drawMs : {100, 333, 1500}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << drawMs << " ms a step");
            // Start near the wrap of the millisecond clock: differences must survive it.
            const Played played = Play(plan, false, drawMs, 0xFFFFFF00u);
            EXPECT_LT(static_cast<int>(played.steps.size()), plan.steps);
            EXPECT_EQ(played.steps.front(), 1);
            EXPECT_EQ(played.steps.back(), plan.steps) << "the final step is always drawn";
            for (size_t i = 1; i < played.steps.size(); ++i) {
                EXPECT_GT(played.steps[i], played.steps[i - 1]);
                EXPECT_EQ(played.previous[i], played.steps[i - 1]);
            }
            // Steps were skipped rather than drawn late: the transition ends within a step of
            // its nominal duration.
            EXPECT_LE(played.endMs, static_cast<uint32_t>(plan.durationMs + 2 * drawMs));
        }
    }
}

TEST(TransitionScheduleTest, ImmediateStartDrawsOnlyTheWholeFinalStep) {
    for (int type : {0, 1, 2, 9}) {
        SCOPED_TRACE(type);
        const TransitionPlan plan = PlanTransition(type);
        const Played played = Play(plan, true, 1);
        ASSERT_EQ(played.steps.size(), 1u);
        EXPECT_EQ(played.steps[0], plan.steps);
        // A reveal's final step then covers every row, not just the last strip.
        const RowSpan rows = RevealRows(played.previous[0], played.steps[0], plan.steps, 768);
        EXPECT_EQ(rows.first, 0);
        EXPECT_EQ(rows.end, 768);
    }
}

// ---- What the steps draw --------------------------------------------------------------------

TEST(TransitionStepsTest, FadeShowsNothingForThreeStepsThenRisesToFull) {
    const int steps = PlanTransition(0).steps;
    for (int s = 1; s <= 3; ++s) EXPECT_EQ(FadeOpacity(s, steps), 0) << s;
    EXPECT_GT(FadeOpacity(4, steps), 0);
    EXPECT_LT(FadeOpacity(4, steps), 10);
    for (int s = 4; s < steps; ++s) {
        EXPECT_GT(FadeOpacity(s + 1, steps), FadeOpacity(s, steps)) << s;
        EXPECT_LT(FadeOpacity(s, steps), 255) << s;
    }
    EXPECT_EQ(FadeOpacity(steps, steps), 255);
    // Half way through the visible steps, about half opacity.
    EXPECT_NEAR(FadeOpacity(3 + (steps - 3) / 2, steps), 127, 2);
}

TEST(TransitionStepsTest, RevealStripsTileThePictureTopToBottom) {
    const TransitionPlan plan = PlanTransition(1);
    for (int drawMs : {1, 250}) {
        for (int height : {1, 100, 768, 1081}) {
            SCOPED_TRACE(testing::Message() << drawMs << " ms a step, " << height << " rows");
            const Played played = Play(plan, false, drawMs);
            int next = 0;
            int tallest = 0;
            for (size_t i = 0; i < played.steps.size(); ++i) {
                const RowSpan rows =
                    RevealRows(played.previous[i], played.steps[i], plan.steps, height);
                EXPECT_EQ(rows.first, next) << "step " << played.steps[i];
                EXPECT_GE(rows.end, rows.first);
                tallest = std::max(tallest, rows.end - rows.first);
                next = rows.end;
            }
            EXPECT_EQ(next, height);
            // Slow drawing skips steps, so a step covers the strips of the skipped ones.
            if (height >= 768) {
                if (drawMs > 1) {
                    EXPECT_GT(tallest, 2 * height / plan.steps + 1);
                } else {
                    EXPECT_LE(tallest, height / plan.steps + 1);
                }
            }
        }
    }
}

// ---- Crop -----------------------------------------------------------------------------------

TEST(TransitionCropTest, CropFollowsTheDotsInsideThePictureOrIsCentred) {
    struct Case {
        const char* what;
        int pictureWidth, pictureHeight, monitorWidth, monitorHeight;
        int centroidX, centroidY;
        bool centred;
        CropRect expected;
    };
    // 1280 x 1024 on 1920 x 1080: all columns, 720 rows. 1280 x 720 on 1024 x 768: all rows,
    // 960 columns. The centroid on the uncropped axis is far off: it must not matter.
    const Case cases[] = {
        {"wider, middle", 1280, 1024, 1920, 1080, -900, 512, false, {0, 152, 1280, 720}},
        {"wider, follows", 1280, 1024, 1920, 1080, 9000, 400, false, {0, 40, 1280, 720}},
        {"wider, top edge", 1280, 1024, 1920, 1080, 0, -50, false, {0, 1, 1280, 720}},
        {"wider, bottom edge", 1280, 1024, 1920, 1080, 0, 1023, false, {0, 303, 1280, 720}},
        {"wider, symmetric", 1280, 1024, 1920, 1080, 0, 100, true, {0, 152, 1280, 720}},
        {"taller, follows", 1280, 720, 1024, 768, 500, -900, false, {20, 0, 960, 720}},
        {"taller, left edge", 1280, 720, 1024, 768, 3, 9000, false, {1, 0, 960, 720}},
        {"taller, right edge", 1280, 720, 1024, 768, 5000, 0, false, {319, 0, 960, 720}},
        {"taller, symmetric", 1280, 720, 1024, 768, 1200, 0, true, {160, 0, 960, 720}},
        // The same shape leaves no room to move: the whole picture.
        {"same shape", 1280, 720, 1920, 1080, 1279, 719, false, {0, 0, 1280, 720}},
        {"no picture", 0, 720, 1920, 1080, 0, 0, false, {0, 0, 0, 0}},
        {"no window", 1280, 720, 1920, 0, 0, 0, false, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CropRect r = FitCrop(c.pictureWidth, c.pictureHeight, c.monitorWidth, c.monitorHeight,
                                   c.centroidX, c.centroidY, c.centred);
        EXPECT_DOUBLE_EQ(r.x, c.expected.x);
        EXPECT_DOUBLE_EQ(r.y, c.expected.y);
        EXPECT_DOUBLE_EQ(r.width, c.expected.width);
        EXPECT_DOUBLE_EQ(r.height, c.expected.height);
    }
}

}  // namespace
}  // namespace quovis
