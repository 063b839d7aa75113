#pragma once

#include <cstdint>

namespace vornakle::bench {

// A listening TCP socket on the IPv4 address (host byte order) and port (0:
// any free one), for the benchmarks' servers; -1 when the address or port
// cannot be had. Non-blocking when asked, for servers that poll.
int ListenOnLoopback(std::uint32_t address, std::uint16_t port, bool nonBlocking = false);

// The port a listening socket got.
std::uint16_t BoundPort(int descriptor);

}  // namespace vornakle::bench
