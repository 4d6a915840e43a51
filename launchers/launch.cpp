#include "launchers/launch.h"

#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace quovis::launch {

namespace {

bool IsExecutableFile(const std::string& file) {
    struct stat info {};
    return stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(file.c_str(), X_OK) == 0;
}

std::string Join(std::string_view folder, std::string_view name) {
    std::string file(folder);
    if (!file.empty() && file.back() != '/') file += '/';
    file += name;
    return file;
}

}  // namespace

std::string OwnFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    std::string self(buffer, static_cast<size_t>(length));
    const size_t slash = self.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : self.substr(0, slash);
}

std::string FindProgram(std::string_view name, const std::string& ownFolder,
                        std::string_view path) {
    if (name.empty() || name.find('/') != std::string_view::npos) return {};
    if (!ownFolder.empty()) {
        std::string beside = Join(ownFolder, name);
        if (IsExecutableFile(beside)) return beside;
    }
    while (!path.empty()) {
        const size_t colon = path.find(':');
        const std::string_view folder = path.substr(0, colon);
        path = colon == std::string_view::npos ? std::string_view() : path.substr(colon + 1);
        if (folder.empty()) continue;
        std::string candidate = Join(folder, name);
        if (IsExecutableFile(candidate)) return candidate;
    }
    return {};
}

std::string FindProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    return FindProgram(name, OwnFolder(), path != nullptr ? path : "");
}

bool StartDetached(const std::string& program, std::string_view argv0,
                   const std::vector<std::string>& args) {
    std::string first(argv0);
    std::vector<std::string> copies(args);
    std::vector<char*> argv;
    argv.reserve(copies.size() + 2);
    argv.push_back(first.data());
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int error =
        posix_spawn(&child, program.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    // The child is not waited for: once the launcher exits, init adopts and reaps it.
    return error == 0;
}

bool AskedForHelp(int argc, char** argv) {
    return argc == 2 && std::strcmp(argv[1], "--help") == 0;
}

}  // namespace quovis::launch
