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

TEST(TransitionPlanTest, StoredValuesChooseTheirTransition) {
    struct Case {
        int fadeType;
        TransitionKind kind;
        bool player;
    };
    const Case cases[] = {
        {0, TransitionKind::FadeIn, true},  {1, TransitionKind::Reveal, true},
        {2, TransitionKind::Flip, true},    {3, TransitionKind::None, false},
        {4, TransitionKind::Flip, true},    {-1, TransitionKind::Flip, true},
        {1000, TransitionKind::Flip, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fadeType);
        const TransitionPlan plan = PlanTransition(c.fadeType);
        EXPECT_EQ(plan.kind, c.kind);
        EXPECT_EQ(plan.HasPlayer(), c.player);
    }
}

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

TEST(TransitionPlanTest, ValuesOutsideTheTableShowPicturesAtOnce) {
    // A value with no step table shows each picture at once: one step, the final one.
    const Played at = Play(PlanTransition(17), false, 0);
    ASSERT_EQ(at.steps.size(), 1u);
    EXPECT_EQ(at.steps[0], PlanTransition(17).steps);
}

// ---- Schedule -------------------------------------------------------------------------------

TEST(TransitionScheduleTest, FastDrawingDrawsEveryStepInOrder) {
    for (int type : {0, 1, 2}) {
        SCOPED_TRACE(type);
        const TransitionPlan plan = PlanTransition(type);
        const Played played = Play(plan, false, 1);
        ASSERT_EQ(static_cast<int>(played.steps.size()), plan.steps);
        for (int i = 0; i < plan.steps; ++i) {
            EXPECT_EQ(played.steps[i], i + 1);
            EXPECT_EQ(played.previous[i], i);
        }
    }
}

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

TEST(TransitionScheduleTest, StopEndsTheTransitionAndStartBeginsAgain) {
    TransitionSchedule schedule(PlanTransition(0));
    schedule.Start(false, 0);
    ASSERT_TRUE(schedule.NextStep(0));
    ASSERT_TRUE(schedule.NextStep(40));
    schedule.Stop();
    EXPECT_FALSE(schedule.Playing());
    EXPECT_FALSE(schedule.NextStep(80));
    schedule.Start(false, 1000);
    ASSERT_TRUE(schedule.NextStep(1000));
    EXPECT_EQ(schedule.Step(), 1);
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

TEST(TransitionCropTest, WiderMonitorTakesAllColumnsAndABandAroundTheDots) {
    // A 1280 x 1024 canvas on a 1920 x 1080 monitor: 720 of the 1024 rows.
    struct Case {
        int centroidY;
        bool centred;
        double top;
    };
    const Case cases[] = {
        {512, false, 152.0},   // in the middle
        {400, false, 40.0},    // follows the dots
        {0, false, 1.0},       // kept a pixel inside at the top ...
        {-50, false, 1.0},     // ... also for a centroid off the canvas
        {1023, false, 303.0},  // ... and at the bottom
        {100, true, 152.0},    // symmetric patterns are centred whatever the dots do
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.centroidY);
        const CropRect r = FitCrop(1280, 1024, 1920, 1080, 700, c.centroidY, c.centred);
        EXPECT_DOUBLE_EQ(r.x, 0.0);
        EXPECT_DOUBLE_EQ(r.width, 1280.0);
        EXPECT_DOUBLE_EQ(r.height, 720.0);
        EXPECT_DOUBLE_EQ(r.y, c.top);
    }
}

TEST(TransitionCropTest, TallerMonitorTakesAllRowsAndColumnsAroundTheDots) {
    // A 1280 x 720 canvas on a 1024 x 768 monitor: 960 of the 1280 columns.
    struct Case {
        int centroidX;
        bool centred;
        double left;
    };
    const Case cases[] = {
        {640, false, 160.0},  {500, false, 20.0},   {3, false, 1.0},
        {1279, false, 319.0}, {5000, false, 319.0}, {1200, true, 160.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.centroidX);
        const CropRect r = FitCrop(1280, 720, 1024, 768, c.centroidX, 30, c.centred);
        EXPECT_DOUBLE_EQ(r.y, 0.0);
        EXPECT_DOUBLE_EQ(r.height, 720.0);
        EXPECT_DOUBLE_EQ(r.width, 960.0);
        EXPECT_DOUBLE_EQ(r.x, c.left);
    }
}

TEST(TransitionCropTest, SameShapeAndEmptySizes) {
    // The same shape leaves no room to move: the whole picture, wherever the dots are.
    for (int centroid : {0, 360, 719}) {
        const CropRect r = FitCrop(1280, 720, 1920, 1080, centroid, centroid, false);
        EXPECT_DOUBLE_EQ(r.x, 0.0);
        EXPECT_DOUBLE_EQ(r.y, 0.0);
        EXPECT_DOUBLE_EQ(r.width, 1280.0);
        EXPECT_DOUBLE_EQ(r.height, 720.0);
    }
    const CropRect none = FitCrop(0, 720, 1920, 1080, 0, 0, false);
    EXPECT_DOUBLE_EQ(none.width * none.height, 0.0);
    const CropRect noWindow = FitCrop(1280, 720, 1920, 0, 0, 0, false);
    EXPECT_DOUBLE_EQ(noWindow.width * noWindow.height, 0.0);
}

}  // namespace
}  // namespace quovis
