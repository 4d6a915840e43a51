// BubbleSlider: the configuration window's slider, painted by us (a soft track and a round
// "bubble" thumb over the page's tint), with a QAbstractSlider underneath so that code,
// tests and accessibility tools treat it as an ordinary horizontal slider.
//
// Keyboard: Page Up / Page Down move by pageStep, End / Home go to the maximum / minimum, the
// arrow keys move by singleStep. Mouse: dragging the thumb tracks (valueChanged while moving,
// sliderReleased at the end); a press beside the thumb pages towards the press, repeating
// after 250 ms every 100 ms while the button is held. The wheel moves by singleStep.
#pragma once

#include <QAbstractSlider>

class QTimer;

namespace quovis {

class BubbleSlider : public QAbstractSlider {
    Q_OBJECT

  public:
    explicit BubbleSlider(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    QRectF ThumbRect() const;
    double ThumbRadius() const;
    int ValueAt(double x) const;
    void PageTowardsPress();

    QTimer* m_repeat = nullptr;
    double m_pressX = 0.0;
    double m_grabOffset = 0.0;
    bool m_dragging = false;
    int m_wheelRest = 0;  // eighths of a degree not yet turned into steps
};

}  // namespace quovis
