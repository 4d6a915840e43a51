#include <cstdio>

#include "tools/commands.h"

namespace quovis::tool {

int RenderCommand(int, char**) {
    std::fputs("quovis-tool render: this build has no image writer (built without Qt)\n", stderr);
    return 1;
}

int ScreenshotCommand(int, char**) {
    std::fputs("quovis-tool screenshot: this build has no display support (built without Qt)\n",
               stderr);
    return 1;
}

}  // namespace quovis::tool
