#pragma once

#include <functional>

namespace vornakle::testing {

// Permission tests mean nothing to root, who may read anything. Runs body in
// a child process that has given up root (as "nobody") when the test runs as
// root, else in a child as it is, and returns the body's result (or -1 when
// the child failed to run it).
int RunUnprivileged(const std::function<int()>& body);

}  // namespace vornakle::testing
