// AlignedFloats: one owned, zero-filled, 64-byte-aligned array of floats. The dot store and
// the engine's tables use it so that every array starts on a cache line, which the vector
// loops over dots rely on and which keeps two workers' bands from sharing a line at the start.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace quovis {

class AlignedFloats {
  public:
    static constexpr std::size_t kAlignment = 64;
    static constexpr std::size_t kFloatsPerLine = kAlignment / sizeof(float);

    AlignedFloats() = default;

    // Allocates count floats, zero-filled. False (and empty) when the memory is not there.
    bool Allocate(std::size_t count) {
        Reset();
        void* p =
            ::operator new[](count * sizeof(float), std::align_val_t(kAlignment), std::nothrow);
        if (p == nullptr) return false;
        std::memset(p, 0, count * sizeof(float));
        m_data.reset(static_cast<float*>(p));
        m_count = count;
        return true;
    }
    void Reset() {
        m_data.reset();
        m_count = 0;
    }

    float* Data() const { return m_data.get(); }
    std::size_t Count() const { return m_count; }
    explicit operator bool() const { return m_data != nullptr; }

    // count rounded up to a whole number of cache lines, so that arrays cut from one block
    // at this stride all start aligned.
    static constexpr std::size_t PaddedCount(std::size_t count) {
        return (count + kFloatsPerLine - 1) / kFloatsPerLine * kFloatsPerLine;
    }

  private:
    struct Free {
        void operator()(float* p) const { ::operator delete[](p, std::align_val_t(kAlignment)); }
    };
    std::unique_ptr<float[], Free> m_data;
    std::size_t m_count = 0;
};

}  // namespace quovis
