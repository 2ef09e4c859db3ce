#pragma once
// Several processes started at the same moment, for tests of what two starts of a program at once do
// to shared files: each body runs in a child process of its own, and the children are let go
// together only once every one of them is ready to run.
//
// A child shares nothing with the test but the files: its body must not rely on threads the test
// started, and reports back only through its result.

#include <functional>
#include <vector>

namespace platform::testing {

// The bodies' results (0..255) in their order; -1 for a child that could not be started or did not
// end normally.
std::vector<int> runAtOnce(const std::vector<std::function<int()>>& bodies);
// The same for `count` processes running one body, each given its number (0, 1, ...).
std::vector<int> runAtOnce(int count, const std::function<int(int process)>& body);

}  // namespace platform::testing
