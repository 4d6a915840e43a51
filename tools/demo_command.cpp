#include <cstdio>

#include "tools/commands.h"

namespace quovis::tool {
int DemoCommand(int, char**) {
    std::fputs("quovis-tool: demo is not available yet\n", stderr);
    return 1;
}
}  // namespace quovis::tool
