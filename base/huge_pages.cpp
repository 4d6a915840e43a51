#include "base/huge_pages.h"

#include <sys/mman.h>

namespace quovis {

void AdviseHugePages(void* p, std::size_t bytes) {
    if (p == nullptr || bytes < kHugePageBytes) return;
#ifdef MADV_HUGEPAGE
    // Only whole huge pages inside the buffer can be given; madvise wants a page-aligned
    // start, which an aligned large buffer has.
    const std::size_t whole = bytes / kHugePageBytes * kHugePageBytes;
    (void)madvise(p, whole, MADV_HUGEPAGE);
#endif
}

}  // namespace quovis
