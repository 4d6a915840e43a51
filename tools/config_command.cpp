#include <cstdio>

#include "tools/commands.h"

namespace quovis::tool {
int ConfigCommand(int, char**) {
    std::fputs("quovis-tool: config is not available yet\n", stderr);
    return 1;
}
}  // namespace quovis::tool
