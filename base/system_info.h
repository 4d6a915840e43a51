// Facts about the machine that several layers need and that do not change while we run.
#pragma once

namespace quovis {

// Processors this process may run on (its affinity mask), at least 1.
int ProcessorCount();

}  // namespace quovis
