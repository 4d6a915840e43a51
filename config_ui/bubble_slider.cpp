#include "config_ui/bubble_slider.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace quovis {

namespace {

// Paging beside the thumb: the first repeat waits a little longer, so a single click moves
// exactly one page.
constexpr int kFirstRepeatMs = 250;
constexpr int kRepeatMs = 100;

// The bubble stands this much above and below a standard slider, so it reads as a thumb
// one can grab even over a tinted page.
constexpr int kExtraHeight = 4;

// One notch of an ordinary mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;

// Room around the bubble for the focus ring.
constexpr double kRingRoom = 2.0;

}  // namespace

BubbleSlider::BubbleSlider(QWidget* parent) : QAbstractSlider(parent) {
    setOrientation(Qt::Horizontal);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setSingleStep(1);
    setPageStep(10);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_repeat = new QTimer(this);
    m_repeat->setSingleShot(false);
    connect(m_repeat, &QTimer::timeout, this, [this] {
        m_repeat->setInterval(kRepeatMs);
        PageTowardsPress();
    });
}

QSize BubbleSlider::sizeHint() const {
    // Start from what the style would give a plain horizontal slider, then add the bubble's
    // extra height.
    QStyleOptionSlider option;
    option.initFrom(this);
    option.orientation = Qt::Horizontal;
    option.minimum = minimum();
    option.maximum = maximum();
    const int thickness = style()->pixelMetric(QStyle::PM_SliderThickness, &option, this);
    QSize size = style()->sizeFromContents(QStyle::CT_Slider, &option, QSize(84, thickness), this);
    size.setHeight(std::max(size.height(), fontMetrics().height()) + kExtraHeight);
    return size;
}

QSize BubbleSlider::minimumSizeHint() const {
    const QSize hint = sizeHint();
    return {hint.height() * 2, hint.height()};
}

double BubbleSlider::ThumbRadius() const {
    return std::max(3.0, (height() - 2.0 * kRingRoom - 1.0) / 2.0);
}

QRectF BubbleSlider::ThumbRect() const {
    const double radius = ThumbRadius();
    const double margin = radius + kRingRoom;
    const double span = std::max(0.0, width() - 2.0 * margin);
    const int position =
        QStyle::sliderPositionFromValue(minimum(), maximum(), sliderPosition(),
                                        static_cast<int>(std::lround(span)), invertedAppearance());
    const double cx = margin + position;
    const double cy = height() / 2.0;
    return {cx - radius, cy - radius, 2.0 * radius, 2.0 * radius};
}

int BubbleSlider::ValueAt(double x) const {
    const double margin = ThumbRadius() + kRingRoom;
    const double span = std::max(0.0, width() - 2.0 * margin);
    const int along = static_cast<int>(std::lround(std::clamp(x - margin, 0.0, span)));
    return QStyle::sliderValueFromPosition(
        minimum(), maximum(), along, static_cast<int>(std::lround(span)), invertedAppearance());
}

void BubbleSlider::PageTowardsPress() {
    // Page towards the pressed point, but never past it: the thumb comes to rest under the
    // pointer, as with a scroll bar.
    const int target = ValueAt(m_pressX);
    const int current = value();
    int next = current;
    if (target > current) {
        next = std::min(target, current + pageStep());
    } else if (target < current) {
        next = std::max(target, current - pageStep());
    }
    if (next != current) setValue(next);
    if (next == target) m_repeat->stop();
}

void BubbleSlider::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);

    const QPalette& pal = palette();
    const double radius = ThumbRadius();
    const double cy = height() / 2.0;
    const QRectF thumb = ThumbRect();

    // Track: a soft groove, light enough to read over any tint, with the part left of the
    // thumb filled in the highlight colour so the value shows at a glance.
    const double trackHalf = std::max(2.0, radius * 0.32);
    const QRectF track(radius * 0.5, cy - trackHalf, width() - radius, 2.0 * trackHalf);
    QLinearGradient groove(track.topLeft(), track.bottomLeft());
    groove.setColorAt(0.0, QColor(0, 0, 0, 70));
    groove.setColorAt(1.0, QColor(255, 255, 255, 150));
    painter.setPen(QPen(QColor(0, 0, 0, 90), 1.0));
    painter.setBrush(groove);
    painter.drawRoundedRect(track, trackHalf, trackHalf);

    QRectF filled = track;
    if (invertedAppearance()) {
        filled.setLeft(thumb.center().x());
    } else {
        filled.setRight(thumb.center().x());
    }
    if (filled.width() > 0.0) {
        QColor fill = pal.color(QPalette::Highlight);
        fill.setAlpha(170);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(filled, trackHalf, trackHalf);
    }

    // The bubble: a sphere lit from the upper left, a little brighter under the pointer or
    // while held.
    QColor body = isEnabled() ? QColor(96, 150, 220) : QColor(150, 150, 150);
    if (isSliderDown()) {
        body = body.darker(115);
    } else if (underMouse()) {
        body = body.lighter(112);
    }
    const QRectF ball = thumb.adjusted(1.0, 1.0, -1.0, -1.0);
    // A faint shadow under the ball separates it from the track.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 60));
    painter.drawEllipse(ball.translated(0.0, 1.0));
    QRadialGradient sphere(ball.center(), ball.width() / 2.0,
                           ball.center() - QPointF(ball.width() * 0.18, ball.height() * 0.22));
    sphere.setColorAt(0.0, body.lighter(165));
    sphere.setColorAt(0.55, body);
    sphere.setColorAt(1.0, body.darker(150));
    painter.setBrush(sphere);
    painter.setPen(QPen(body.darker(190), 1.0));
    painter.drawEllipse(ball);

    // Gloss: a soft white crescent over the top half.
    const QRectF gloss(ball.left() + ball.width() * 0.2, ball.top() + ball.height() * 0.08,
                       ball.width() * 0.6, ball.height() * 0.42);
    QLinearGradient shine(gloss.topLeft(), gloss.bottomLeft());
    shine.setColorAt(0.0, QColor(255, 255, 255, 210));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shine);
    painter.drawEllipse(gloss);

    // Keyboard focus: a white ring with a dark edge around the bubble, which shows over
    // light and dark tints alike.
    if (hasFocus()) {
        const QRectF ring = thumb.adjusted(-1.0, -1.0, 1.0, 1.0);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 0, 0, 150), 3.0));
        painter.drawEllipse(ring);
        painter.setPen(QPen(QColor(255, 255, 255, 230), 1.5));
        painter.drawEllipse(ring);
    }
}

void BubbleSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || maximum() == minimum()) {
        event->ignore();
        return;
    }
    event->accept();
    const QPointF pos = event->position();
    const QRectF thumb = ThumbRect();
    const double radius = thumb.width() / 2.0;
    const QPointF offset = pos - thumb.center();
    if (offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius ||
        std::abs(offset.x()) <= radius) {
        // On the thumb (or straight above or below it): drag it.
        m_dragging = true;
        m_grabOffset = offset.x();
        setSliderDown(true);
        update();
        return;
    }
    m_pressX = pos.x();
    PageTowardsPress();
    if (value() != ValueAt(m_pressX)) {
        m_repeat->setInterval(kFirstRepeatMs);
        m_repeat->start();
    }
}

void BubbleSlider::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging) {
        event->accept();
        setSliderPosition(ValueAt(event->position().x() - m_grabOffset));
        return;
    }
    if (m_repeat->isActive()) {
        // Paging follows the pointer while the button stays down.
        m_pressX = event->position().x();
        event->accept();
        return;
    }
    event->ignore();
}

void BubbleSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    m_repeat->stop();
    if (m_dragging) {
        m_dragging = false;
        setSliderDown(false);  // emits sliderReleased; takes the position when not tracking
        update();
    }
}

void BubbleSlider::keyPressEvent(QKeyEvent* event) {
    // Arrows by singleStep, Page Up / Page Down by pageStep, Home / End to the ends; the base
    // class clamps to the range and reports the action.
    switch (event->key()) {
        case Qt::Key_Home:
            triggerAction(SliderToMinimum);
            event->accept();
            return;
        case Qt::Key_End:
            triggerAction(SliderToMaximum);
            event->accept();
            return;
        default:
            QAbstractSlider::keyPressEvent(event);
    }
}

void BubbleSlider::wheelEvent(QWheelEvent* event) {
    // One notch, one step: sliders here hold coarse ranges where the usual three lines per
    // notch would jump too far.
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : -angle.x();
    if (delta == 0) {
        event->ignore();
        return;
    }
    event->accept();
    m_wheelRest += delta;
    while (m_wheelRest >= kWheelNotch) {
        m_wheelRest -= kWheelNotch;
        triggerAction(invertedControls() ? SliderSingleStepSub : SliderSingleStepAdd);
    }
    while (m_wheelRest <= -kWheelNotch) {
        m_wheelRest += kWheelNotch;
        triggerAction(invertedControls() ? SliderSingleStepAdd : SliderSingleStepSub);
    }
}

}  // namespace quovis
