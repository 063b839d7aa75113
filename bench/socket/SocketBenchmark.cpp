// Measures the socket component against the floor of any TCP client, and what
// it costs while it waits.
//
//   bench_socket [--cycles N]
//
// (a) Short connections, as a link check makes them: connect, send a line,
// read the line back, disconnect; once through TTcpSocket and once through a
// plain loop of blocking POSIX calls, against the same loopback echo server.
// Both loops run several rounds in pairs; the ratio is the median of the
// pairs' ratios, which a build running beside the benchmark moves little.
// (b) A ReadLn on a server that never answers, ended by the component's own
// time-out: the processor time the whole process uses during the wait.
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "PlainSockets.h"
#include "common/BenchSupport.h"
#include "net/TcpSocket.h"

namespace vornakle::bench {
namespace {

constexpr int kDefaultCycles = 2000;
constexpr int kRounds = 9;
// The component's time-out during the cycles: never reached on loopback, it
// only keeps a broken run from hanging, and a link check always sets one.
constexpr int kCycleTimeOutMilliseconds = 10000;
constexpr int kIdleWaitMilliseconds = 2000;

// The cycles through the component; returns the number of wrong echoes.
int ComponentCycles(std::uint16_t port, int cycles) {
    TTcpSocket socket;
    socket.Host = "127.0.0.1";
    socket.Port = port;
    socket.TimeOut = kCycleTimeOutMilliseconds;
    int wrong = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const std::string line = CycleLine(cycle);
        socket.Connect();
        socket.Writeln(line);
        wrong += socket.ReadLn() == line + "\r\n" ? 0 : 1;
        socket.Disconnect();
    }
    return wrong;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Best(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

double MonotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one;
    file >> one;
    return one.empty() ? "unknown" : one;
}

int Run(int cycles) {
    EchoServer server;
    const std::string loadBefore = LoadAverage();

    // A round of each first, so that neither pays for warming up.
    int wrong = ComponentCycles(server.EchoPort(), std::min(cycles, 200)) +
                PlainCycles(server.EchoPort(), std::min(cycles, 200));
    // Rounds run in pairs, the two loops one right after the other and in
    // turns first, so that a build starting or ending beside the benchmark
    // weighs on both loops of a pair alike. The ratio is the median of the
    // pairs' ratios: one lucky or unlucky round cannot move it.
    std::vector<double> componentRounds;
    std::vector<double> plainRounds;
    std::vector<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
        const auto component = [&] {
            return SecondsOf([&] { wrong += ComponentCycles(server.EchoPort(), cycles); });
        };
        const auto plain = [&] {
            return SecondsOf([&] { wrong += PlainCycles(server.EchoPort(), cycles); });
        };
        double componentSeconds = 0;
        double plainSeconds = 0;
        if (round % 2 == 0) {
            componentSeconds = component();
            plainSeconds = plain();
        } else {
            plainSeconds = plain();
            componentSeconds = component();
        }
        componentRounds.push_back(componentSeconds);
        plainRounds.push_back(plainSeconds);
        ratios.push_back(componentSeconds / plainSeconds);
    }

    TTcpSocket idle;
    idle.Host = "127.0.0.1";
    idle.Port = server.SilentPort();
    idle.Connect();
    idle.TimeOut = kIdleWaitMilliseconds;
    bool timedOut = false;
    const double cpuStart = ProcessCpuSeconds();
    const double wallStart = MonotonicSeconds();
    try {
        idle.ReadLn();
    } catch (const EAbortError&) {
        timedOut = true;
    }
    const double wallSeconds = MonotonicSeconds() - wallStart;
    const double cpuSeconds = ProcessCpuSeconds() - cpuStart;
    idle.Disconnect();
    server.Stop();

    std::printf("cycles: %d\n", cycles);
    std::printf("rounds: %d\n", kRounds);
    std::printf("component_seconds_median: %.4f\n", Median(componentRounds));
    std::printf("plain_seconds_median: %.4f\n", Median(plainRounds));
    std::printf("component_seconds_best: %.4f\n", Best(componentRounds));
    std::printf("plain_seconds_best: %.4f\n", Best(plainRounds));
    std::printf("component_cycles_per_second: %.0f\n", cycles / Median(componentRounds));
    std::printf("plain_cycles_per_second: %.0f\n", cycles / Median(plainRounds));
    std::printf("cycle_ratio_min: %.3f\n", Best(ratios));
    std::printf("cycle_ratio_max: %.3f\n", *std::max_element(ratios.begin(), ratios.end()));
    std::printf("cycle_ratio: %.3f\n", Median(ratios));
    std::printf("wrong_echoes: %d\n", wrong);
    std::printf("idle_wall_seconds: %.4f\n", wallSeconds);
    std::printf("idle_cpu_seconds: %.4f\n", cpuSeconds);
    std::printf("idle_cpu_percent: %.2f\n", 100.0 * cpuSeconds / wallSeconds);
    std::printf("idle_ended_by_time_out: %s\n", timedOut ? "yes" : "no");
    std::printf("load_average_before: %s\n", loadBefore.c_str());
    std::printf("load_average_after: %s\n", LoadAverage().c_str());
    return wrong == 0 && timedOut ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    using namespace vornakle::bench;
    QCoreApplication application(argc, argv);
    try {
        int cycles = kDefaultCycles;
        for (int index = 1; index < argc; ++index) {
            const std::string argument = argv[index];
            if (argument == "--cycles" && index + 1 < argc) {
                cycles = std::atoi(argv[++index]);
            } else {
                std::cerr << "usage: bench_socket [--cycles N]\n";
                return 2;
            }
        }
        if (cycles <= 0) {
            std::cerr << "--cycles must be positive\n";
            return 2;
        }
        return Run(cycles);
    } catch (const std::exception& error) {
        std::cerr << "bench_socket: " << error.what() << "\n";
        return 1;
    }
}
