#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace velmora::test {

// Runs `body` in a forked child and returns the text it returned; "exception: ..." when it
// threw, "signal N" when a signal ended it. POSIX only.
std::string inChild(const std::function<std::string()>& body);

// The same, in a child that first drops to the nobody user when this process runs as root, so
// that a refusal of the system (a read-only file or folder) is tested even where tests run as
// root. The files the body touches must be reachable by that user.
std::string inUnprivilegedChild(const std::function<std::string()>& body);

// Gives `tree` and everything in it to the nobody user when this process runs as root, so that
// an unprivileged child may use it as its own; does nothing otherwise.
void handToUnprivilegedUser(const std::filesystem::path& tree);

}  // namespace velmora::test
