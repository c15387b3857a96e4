#pragma once

#include <filesystem>
#include <functional>
#include <string>

// Forked children for tests of what the system refuses or of a process that dies. POSIX only,
// except runUnprivileged, which runs `body` in place on Windows.
namespace velmora::test {

// Runs `body` in a forked child that is not root (a root test process drops to the nobody user
// first), so that refusals of permissions hold even where the tests run as root. Returns the
// child's exit status: `body`'s result, or 125 when the child could not run it.
int runUnprivileged(const std::function<int()>& body);

// Runs `body` in a forked child and returns the text it returned; "exception: ..." when it
// threw, "signal N" when a signal ended it.
std::string inChild(const std::function<std::string()>& body);

// The same, in a child that first drops to the nobody user when this process runs as root. The
// files the body touches must be reachable by that user.
std::string inUnprivilegedChild(const std::function<std::string()>& body);

// Gives `tree` and everything in it to the nobody user when this process runs as root, so that
// an unprivileged child may use it as its own; does nothing otherwise.
void handToUnprivilegedUser(const std::filesystem::path& tree);

}  // namespace velmora::test
