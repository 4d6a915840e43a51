// Feeds arbitrary UTF-16 text to the stroke list reader. Whatever the text, the engine must
// end up with a bounded list of points inside the window, write it out as a well-formed
// list, and read its own text back to exactly the same list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/elapsed_time.h"
#include "engine/draw_wnd.h"

namespace {

class StillClock final : public quovis::EngineClock {
  public:
    uint32_t Milliseconds() override { return 1000; }
    uint32_t TickCount() override { return 2000; }
};

quovis::CDrawWnd& Engine() {
    static StillClock clock;
    static quovis::CDrawWnd engine(clock, [] {
        quovis::EngineOptions o;
        o.workerCount = 1;
        return o;
    }());
    return engine;
}

// Reads "n," and then 2n numbers each followed by a comma, every number a point coordinate
// inside the window (1/100000 units, 100..99900). False for anything else.
bool WellFormedList(const std::u16string& text, long& count) {
    std::size_t pos = 0;
    const auto number = [&](long& value) {
        const std::size_t start = pos;
        value = 0;
        while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
            value = value * 10 + (text[pos] - u'0');
            if (value > 1000000) return false;
            ++pos;
        }
        if (pos == start || pos >= text.size() || text[pos] != u',') return false;
        ++pos;
        return true;
    };
    if (!number(count) || count > quovis::CDrawWnd::kMaxStrokePoints) return false;
    for (long i = 0; i < 2 * count; ++i) {
        long v = 0;
        if (!number(v) || v < 100 || v > 99900) return false;
    }
    return pos == text.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * sizeof(char16_t));

    quovis::CDrawWnd& engine = Engine();
    engine.LoadStrokeList(text);
    const std::u16string written = engine.StrokeListText();
    long count = 0;
    if (!WellFormedList(written, count)) std::abort();

    // The engine's own text is complete and reads back to itself.
    if (!engine.LoadStrokeList(written)) std::abort();
    if (engine.StrokeListText() != written) std::abort();
    return 0;
}
