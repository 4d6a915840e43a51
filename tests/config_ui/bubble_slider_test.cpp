// The bubble slider: keys, paging beside the thumb, dragging and the wheel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include "config_ui/bubble_slider.h"

namespace quovis {
namespace {

class BubbleSliderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        slider.setRange(0, 100);
        slider.setSingleStep(1);
        slider.setPageStep(10);
        slider.resize(220, slider.sizeHint().height());
    }

    void Mouse(QEvent::Type type, double x, Qt::MouseButtons held) {
        const QPointF pos(x, slider.height() / 2.0);
        QMouseEvent event(type, pos, slider.mapToGlobal(pos), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(&slider, &event);
    }
    void Press(double x) { Mouse(QEvent::MouseButtonPress, x, Qt::LeftButton); }
    void Move(double x) { Mouse(QEvent::MouseMove, x, Qt::LeftButton); }
    void Release(double x) { Mouse(QEvent::MouseButtonRelease, x, Qt::NoButton); }
    void Wheel(int delta) {
        const QPointF pos(slider.width() / 2.0, slider.height() / 2.0);
        QWheelEvent event(pos, slider.mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&slider, &event);
    }
    // The thumb's centre at the minimum: it sits at the left end of the control.
    double LeftEndThumb() const { return slider.height() / 2.0; }

    BubbleSlider slider;
};

struct KeyCase {
    int start;
    Qt::Key key;
    int expected;
};

TEST_F(BubbleSliderTest, KeysMoveByTheirStepsWithinTheRange) {
    const KeyCase cases[] = {
        {50, Qt::Key_PageUp, 60}, {50, Qt::Key_PageDown, 40}, {95, Qt::Key_PageUp, 100},
        {4, Qt::Key_PageDown, 0}, {37, Qt::Key_Home, 0},      {37, Qt::Key_End, 100},
        {50, Qt::Key_Right, 51},  {50, Qt::Key_Left, 49},     {50, Qt::Key_Up, 51},
        {50, Qt::Key_Down, 49},   {100, Qt::Key_Right, 100},  {0, Qt::Key_Left, 0},
    };
    for (const KeyCase& c : cases) {
        slider.setValue(c.start);
        QTest::keyClick(&slider, c.key);
        EXPECT_EQ(slider.value(), c.expected) << "key " << c.key << " from " << c.start;
    }
}

TEST_F(BubbleSliderTest, AClickBesideTheThumbPagesTowardsIt) {
    struct ClickCase {
        int start;
        double x;  // fraction of the width
        int expected;
    };
    const ClickCase cases[] = {{50, 0.98, 60}, {50, 0.02, 40}, {0, 0.9, 10}, {100, 0.1, 90}};
    for (const ClickCase& c : cases) {
        slider.setValue(c.start);
        Press(c.x * slider.width());
        Release(c.x * slider.width());
        EXPECT_EQ(slider.value(), c.expected) << "from " << c.start << " at " << c.x;
    }
}

TEST_F(BubbleSliderTest, HoldingBesideTheThumbRepeatsUntilTheThumbArrives) {
    slider.setValue(0);
    const double x = slider.width() * 0.7;
    Press(x);
    EXPECT_EQ(slider.value(), 10);
    QTest::qWait(100);  // the first repeat waits longer than the later ones
    EXPECT_EQ(slider.value(), 10);
    QTest::qWait(1200);
    const int reached = slider.value();
    EXPECT_GT(reached, 30);
    EXPECT_LT(reached, 100);  // stopped at the press, not at the end
    QTest::qWait(300);
    EXPECT_EQ(slider.value(), reached);
    Release(x);
    // The thumb is now under the pointer: a press there grabs it instead of paging.
    Press(x);
    Release(x);
    EXPECT_EQ(slider.value(), reached);
}

TEST_F(BubbleSliderTest, DraggingTheThumbTracks) {
    for (const bool tracking : {true, false}) {
        slider.setValue(0);
        slider.setTracking(tracking);
        QSignalSpy pressed(&slider, &QAbstractSlider::sliderPressed);
        QSignalSpy moved(&slider, &QAbstractSlider::sliderMoved);
        QSignalSpy changed(&slider, &QAbstractSlider::valueChanged);
        QSignalSpy released(&slider, &QAbstractSlider::sliderReleased);
        Press(LeftEndThumb());
        EXPECT_EQ(pressed.count(), 1);
        EXPECT_TRUE(slider.isSliderDown());
        Move(LeftEndThumb() + slider.width() * 0.25);
        Move(LeftEndThumb() + slider.width() * 0.5);
        EXPECT_EQ(moved.count(), 2);
        EXPECT_EQ(changed.count(), tracking ? 2 : 0) << "tracking " << tracking;
        Release(LeftEndThumb() + slider.width() * 0.5);
        EXPECT_EQ(released.count(), 1);
        EXPECT_FALSE(slider.isSliderDown());
        EXPECT_GT(slider.value(), 40);
        EXPECT_LT(slider.value(), 60);
        EXPECT_GE(changed.count(), 1);
    }
}

TEST_F(BubbleSliderTest, TheWheelMovesOneStepANotch) {
    slider.setValue(50);
    Wheel(120);
    EXPECT_EQ(slider.value(), 51);
    Wheel(-240);
    EXPECT_EQ(slider.value(), 49);
    Wheel(60);  // half a notch: nothing yet
    EXPECT_EQ(slider.value(), 49);
    Wheel(60);
    EXPECT_EQ(slider.value(), 50);
}

TEST_F(BubbleSliderTest, IsASliderAFewPixelsTallerThanTheStandardOne) {
    QSlider standard(Qt::Horizontal);
    EXPECT_GE(slider.sizeHint().height(), standard.sizeHint().height() + 4);
    EXPECT_EQ(slider.orientation(), Qt::Horizontal);
    EXPECT_EQ(slider.focusPolicy(), Qt::StrongFocus);
}

}  // namespace
}  // namespace quovis
