// What the two launchers share: finding a program the way a user expects (beside the
// launcher first, so an unpacked or installed tree uses its own saver, then on PATH), and
// starting it without waiting. Plain POSIX, no Qt: the launchers stay tiny.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quovis::launch {

// The folder holding the running program (its real path, links followed); empty when the
// system cannot say.
std::string OwnFolder();

// The first executable regular file named `name` in `ownFolder`, then in the folders of
// `path` (a PATH value, ':'-separated; empty entries are skipped rather than read as the
// current folder, which a launcher started from a file manager does not control). Empty when
// there is none.
std::string FindProgram(std::string_view name, const std::string& ownFolder, std::string_view path);

// FindProgram with this process's own folder and $PATH.
std::string FindProgram(std::string_view name);

// Starts `program` with `args` (argv[0] is `argv0`), each handed over as it is: no shell
// reads them. The child gets a session of its own, so closing the terminal a launcher was
// typed into does not end the saver. Never waits. False when the program could not be
// started.
bool StartDetached(const std::string& program, std::string_view argv0,
                   const std::vector<std::string>& args);

// True when the launcher was asked for its own help: exactly one argument, "--help".
bool AskedForHelp(int argc, char** argv);

}  // namespace quovis::launch
