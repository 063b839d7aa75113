#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace vornakle::bench {

// A listening TCP socket on the IPv4 address (host byte order) and port (0:
// any free one), for the benchmarks' servers; -1 when the address or port
// cannot be had. Non-blocking when asked, for servers that poll.
int ListenOnLoopback(std::uint32_t address, std::uint16_t port, bool nonBlocking = false);

// Listening sockets on every address (IPv4, host byte order), all on one
// port that was free on each, in the order given; the port goes to port.
// Throws when no port is free on all of them after several tries.
std::vector<int> ListenOnAddresses(const std::vector<std::uint32_t>& addresses, std::uint16_t& port,
                                   bool nonBlocking = false);

// The address of number index (from 0) in a run of loopback addresses that
// begins at 127.0.0.1, for sites of their own.
inline std::uint32_t LoopbackAddress(std::size_t index) {
    return 0x7F000001 + static_cast<std::uint32_t>(index);
}

// An epoll instance that reports each of descriptors (listeners, a wake
// event) as readable, level-triggered.
int EpollReading(const std::vector<int>& descriptors);

// Ends a server's thread that stops when its eventfd wake becomes readable:
// signals wake, joins thread, closes wake and listeners.
void StopServerThread(int wake, std::thread& thread, const std::vector<int>& listeners);

// The port a listening socket got.
std::uint16_t BoundPort(int descriptor);

}  // namespace vornakle::bench
