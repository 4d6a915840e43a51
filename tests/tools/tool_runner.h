// Runs quovis-tool as a separate process with its own configuration folder and collects
// what it printed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/settings/config_test_support.h"

namespace quovis {

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// `scratch` holds the captured output; XDG_CONFIG_HOME is `configHome` for the child.
inline ToolResult RunTool(const testing::TempDir& scratch, const std::string& configHome,
                          std::vector<std::string> args) {
    const std::string outPath = scratch / "stdout";
    const std::string errPath = scratch / "stderr";
    std::string tool = QUOVIS_TOOL_PATH;
    std::vector<char*> argv;
    argv.push_back(tool.data());
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ToolResult result;
    result.status = testing::RunInChild([&] {
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) {
            return 99;
        }
        execv(argv[0], argv.data());
        return 98;
    });
    result.out = Slurp(outPath);
    result.err = Slurp(errPath);
    return result;
}

}  // namespace quovis
