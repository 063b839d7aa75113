// Measures sequential link checks over TLS: N HEAD requests of https URLs
// through THttpClient against a loopback HTTPS server this program starts,
// and the same N URLs fetched by one curl process (curl --http1.0 -s -I),
// the yardstick; then the processor time the client takes while a server
// never answers its TLS handshake.
//
//   bench_https [--requests N] [--rounds N]
//
// The server closes after every reply and resumes no session, so both
// clients pay for a full handshake per URL. Both verify the server's
// certificate against the same test authority. Each side runs several
// rounds, alternating, and the best round counts.
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
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
#include "support/LoopbackServer.h"
#include "support/TestCertificates.h"

namespace vornakle::bench {
namespace {

constexpr int kDefaultRequests = 1000;
constexpr int kDefaultRounds = 3;
// Never reached on loopback; it keeps a broken run from hanging.
constexpr std::int32_t kRequestTimeOutMilliseconds = 10000;
constexpr std::int32_t kStallMilliseconds = 2000;

std::string UrlOf(std::uint16_t port, int index) {
    return "https://127.0.0.1:" + std::to_string(port) + "/links/page" + std::to_string(index) +
           ".html";
}

int Run(int argc, char** argv) {
    int requests = kDefaultRequests;
    int rounds = kDefaultRounds;
    if (!ReadCountOptions(argc, argv, {{"--requests", &requests}, {"--rounds", &rounds}},
                          "bench_https")) {
        return 2;
    }
    if (!CurlAvailable()) {
        return 1;
    }

    QCoreApplication application(argc, argv);
    const testing::TestAuthority authority;
    HeadServer server(std::chrono::milliseconds(0), authority.Issue({"127.0.0.1"}));
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("vornakle-bench-https-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string caFile = (folder / "authority.pem").string();
    std::ofstream(caFile) << authority.CertificatePem();

    THttpClient client;
    client.AllowHttps = true;
    client.TlsCaFile = caFile;
    client.TimeOut = kRequestTimeOutMilliseconds;
    const BestRounds best = CompareWithCurl(
        client, server, [&](int index) { return UrlOf(server.Port(), index); }, requests, rounds,
        "--cacert '" + caFile + "'");
    const double ours = best.ours;
    const double curl = best.curl;

    // A server that accepts the connection and never answers the client's
    // hello: the handshake waits until the time-out ends it.
    testing::LoopbackServer silent(testing::ServerScript().Hold());
    client.TimeOut = kStallMilliseconds;
    bool timedOut = false;
    const double cpuStart = ProcessCpuSeconds();
    const double wallSeconds = SecondsOf([&] {
        try {
            client.Head("https://127.0.0.1:" + std::to_string(silent.Port()) + "/");
        } catch (const ESockError& error) {
            timedOut = error.Kind() == SockFailure::TimedOut;
        }
    });
    const double cpuSeconds = ProcessCpuSeconds() - cpuStart;
    std::filesystem::remove_all(folder);

    std::printf("requests: %d\n", requests);
    std::printf("rounds: %d\n", rounds);
    std::printf("ours_seconds: %.4f\n", ours);
    std::printf("curl_seconds: %.4f\n", curl);
    std::printf("ours_microseconds_per_head: %.1f\n", ours / requests * 1e6);
    std::printf("curl_microseconds_per_head: %.1f\n", curl / requests * 1e6);
    std::printf("https_vs_curl_ratio: %.2f\n", ours / curl);
    std::printf("stall_wall_seconds: %.4f\n", wallSeconds);
    std::printf("stall_ended_by_time_out: %s\n", timedOut ? "yes" : "no");
    std::printf("idle_cpu_percent: %.2f\n", 100.0 * cpuSeconds / wallSeconds);
    return timedOut ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    return vornakle::bench::RunReporting("bench_https",
                                         [&] { return vornakle::bench::Run(argc, argv); });
}
