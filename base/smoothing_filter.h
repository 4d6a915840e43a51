// A first-order recursive low-pass filter with unity gain for constant input. The pacer uses
// several of them to follow frame rates and sleep times without jitter.
#pragma once

namespace quovis {

class SmoothingFilter {
  public:
    // x0: the value the filter starts settled at. fc: corner frequency as a fraction of the
    // update rate (0 < fc < 0.5).
    void Init(double x0, double fc);
    double Update(double x);

  private:
    double m_b0 = 1.0;
    double m_b1 = 0.0;
    double m_a1 = 0.0;
    double m_w = 0.0;
    double m_wPrev = 0.0;
};

}  // namespace quovis
