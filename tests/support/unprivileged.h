#pragma once

#include <functional>

namespace velmora::test {

// Runs `body` in a forked child that is not root (a root test process drops to the nobody user
// first), so that refusals of permissions hold even where the tests run as root. Returns the
// child's exit status: `body`'s result, or 125 when the child could not run it.
int runUnprivileged(const std::function<int()>& body);

}  // namespace velmora::test
