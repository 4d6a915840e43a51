// Temporary folders and child processes for the configuration store tests. The store is
// shared between processes, so its promises are tested with real ones: fork() for code of
// this executable, fork()+exec() for quovis-tool.
//
// A child must never use a database connection its parent had open before the fork (SQLite
// forbids it), so tests open parent-side stores only after their children are done.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quovis::testing {

// Sets an environment variable for a test and puts back what was there when it ends.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class TempDir {
  public:
    TempDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                              "/quovis-config-test-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    // Where a store lives for XDG_CONFIG_HOME = Path().
    std::string DatabasePath() const { return m_path + "/Ferrowick Software/registry.db"; }

    // Files in the store's folder whose names contain `part`.
    std::vector<std::string> FilesContaining(const std::string& part) const {
        std::vector<std::string> found;
        std::error_code ec;
        for (const auto& entry :
             std::filesystem::directory_iterator(m_path + "/Ferrowick Software", ec)) {
            const std::string name = entry.path().filename().string();
            if (name.find(part) != std::string::npos) found.push_back(name);
        }
        return found;
    }

  private:
    std::string m_path;
};

// Starts `body` in a child process whose exit status is body's result.
inline pid_t StartChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

// The child's exit status, or minus the signal that ended it.
inline int WaitChild(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1000;
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return WEXITSTATUS(status);
}

inline int RunInChild(const std::function<int()>& body) {
    return WaitChild(StartChild(body));
}

}  // namespace quovis::testing
