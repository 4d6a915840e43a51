// Large buffers on huge pages. The canvases are several megabytes that dots hit at random
// places, so with ordinary 4 KiB pages nearly every plot also misses the address
// translation cache (and under a hypervisor each such miss walks two page tables). Aligned
// to 2 MiB and marked for transparent huge pages, a 1920 x 1080 canvas needs six translation
// entries instead of three thousand.
#pragma once

#include <cstddef>

namespace quovis {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// The alignment for a buffer of `bytes`: a whole huge page for the large ones, else `small`.
constexpr std::size_t BufferAlignment(std::size_t bytes, std::size_t small) {
    return bytes >= kHugePageBytes ? kHugePageBytes : small;
}

// Asks the kernel to back [p, p + bytes) with huge pages where it can; call it before the
// memory is first touched. A kernel without them (or with them switched off) keeps the
// ordinary pages, which only costs speed.
void AdviseHugePages(void* p, std::size_t bytes);

}  // namespace quovis
