#pragma once

// The benchmark's side of the wire, written on plain POSIX sockets so that it
// shares nothing with the component it measures: the loopback server, and the
// blocking client loop that is the floor of any client. Kept apart from the
// component's translation unit because the system socket headers define
// macros with the names of WinSock's constants.

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace vornakle::bench {

// Upper bound of the server's life, whatever happens to the benchmark.
inline constexpr std::chrono::seconds kServerLifetime{300};

// The line a cycle sends and expects back, without its line end.
inline std::string CycleLine(int cycle) {
    return "GET /cycle/" + std::to_string(cycle) + " HTTP/1.0";
}

// A server on 127.0.0.1 with two ports, served by one thread: on the echo
// port every connection gets back each byte it sends; on the silent port
// connections are held open and never answered. The thread sleeps in poll
// while nothing happens, so it adds nothing to an idle figure, and it ends on
// Stop or when kServerLifetime has passed.
class EchoServer {
public:
    EchoServer();
    ~EchoServer();

    EchoServer(const EchoServer&) = delete;
    EchoServer& operator=(const EchoServer&) = delete;

    std::uint16_t EchoPort() const;
    std::uint16_t SilentPort() const;

    void Stop();

private:
    void Run();

    int wake_[2] = {-1, -1};
    int echo_ = -1;
    int silent_ = -1;
    std::thread thread_;
};

// Cycles of connect, send a line, read it back, close, with blocking calls;
// returns the number of wrong echoes. Throws when a call fails.
int PlainCycles(std::uint16_t port, int cycles);

}  // namespace vornakle::bench
