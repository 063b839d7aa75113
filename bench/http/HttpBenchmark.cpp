// Measures sequential link checks: N HEAD requests through THttpClient
// against a loopback server this program starts, and the same N URLs
// fetched by one curl process (curl --http1.0 -s -I), the yardstick.
//
//   bench_http [--requests N] [--rounds N]
//
// Each side runs several rounds, alternating, and the best round counts, so
// that a moment of load on the machine colours neither figure.
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "common/BenchSupport.h"
#include "common/HeadServer.h"
#include "http/HttpClient.h"

namespace vornakle::bench {
namespace {

constexpr int kDefaultRequests = 2000;
constexpr int kDefaultRounds = 3;

std::string UrlOf(std::uint16_t port, int index) {
    return "http://127.0.0.1:" + std::to_string(port) + "/links/page" + std::to_string(index) +
           ".html";
}

int Run(int argc, char** argv) {
    int requests = kDefaultRequests;
    int rounds = kDefaultRounds;
    if (!ReadCountOptions(argc, argv, {{"--requests", &requests}, {"--rounds", &rounds}},
                          "bench_http")) {
        return 2;
    }
    if (!CurlAvailable()) {
        return 1;
    }

    QCoreApplication application(argc, argv);
    HeadServer server;
    THttpClient client;
    const BestRounds best = CompareWithCurl(
        client, server, [&](int index) { return UrlOf(server.Port(), index); }, requests, rounds);
    const double ours = best.ours;
    const double curl = best.curl;

    std::printf("requests: %d\n", requests);
    std::printf("rounds: %d\n", rounds);
    std::printf("ours_seconds: %.4f\n", ours);
    std::printf("curl_seconds: %.4f\n", curl);
    std::printf("ours_microseconds_per_head: %.1f\n", ours / requests * 1e6);
    std::printf("curl_microseconds_per_head: %.1f\n", curl / requests * 1e6);
    std::printf("head_per_second: %.0f\n", requests / ours);
    std::printf("vs_curl_ratio: %.2f\n", ours / curl);
    return 0;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    try {
        return vornakle::bench::Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "bench_http: " << error.what() << "\n";
        return 1;
    }
}
