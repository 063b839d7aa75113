#include "DuplicateRound.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "common/BenchSupport.h"

namespace vornakle::bench {

namespace {

constexpr int kDuplicatePercent = 30;
constexpr int kAddresses = 64;
constexpr int kLinksPerFolder = 50;

std::string AddressOf(std::uint16_t port, int index) {
    return "http://127.0.0." + std::to_string(1 + index % kAddresses) + ":" + std::to_string(port) +
           "/article/" + std::to_string(index) + ".html";
}

// The same address spelt as bookmarks made elsewhere spell it.
std::string OtherSpelling(const std::string& url, int variant) {
    switch (variant % 3) {
        case 0:
            return "HTTP" + url.substr(4);
        case 1:
            return url + "#comments";
        default:
            return url + "#top";
    }
}

void WriteCollection(const std::filesystem::path& root, const std::vector<std::string>& urls) {
    for (std::size_t index = 0; index < urls.size(); ++index) {
        const std::filesystem::path folder =
            root / ("Folder " + std::to_string(index / kLinksPerFolder));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / ("Link " + std::to_string(index) + ".url"), std::ios::binary)
            << "[InternetShortcut]\r\nURL=" << urls[index] << "\r\n";
    }
}

double TimedRun(const std::string& command) {
    int status = 0;
    const double seconds = SecondsOf([&] { status = std::system(command.c_str()); });
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("failed (" + std::to_string(status) + "): " + command);
    }
    return seconds;
}

}  // namespace

void MeasureDuplicates(const DelayServer& server, const std::string& program, int links, int jobs,
                       const std::filesystem::path& work, std::ostream& out) {
    const int distinct = links - links * kDuplicatePercent / 100;
    Random random(20261209);
    std::vector<std::string> withRepeats;
    std::vector<std::string> withoutRepeats;
    for (int index = 0; index < distinct; ++index) {
        withoutRepeats.push_back(AddressOf(server.Port(), index));
    }
    withRepeats = withoutRepeats;
    // Repeats stand among the others, as in a collection sorted into folders.
    for (int index = distinct; index < links; ++index) {
        const int original = random.Below(distinct);
        const auto where = withRepeats.begin() + random.Below(static_cast<int>(withRepeats.size()));
        withRepeats.insert(
            where, OtherSpelling(withoutRepeats[static_cast<std::size_t>(original)], index));
    }
    WriteCollection(work / "WithRepeats", withRepeats);
    WriteCollection(work / "WithoutRepeats", withoutRepeats);

    const auto run = [&](const std::string& folder) {
        return TimedRun("'" + program + "' --rules current --no-history --jobs " +
                        std::to_string(jobs) + " --format csv '" + (work / folder).string() +
                        "' > /dev/null");
    };
    const long before = server.Served();
    const double repeatsSeconds = run("WithRepeats");
    const long requests = server.Served() - before;
    const double distinctSeconds = run("WithoutRepeats");
    out << "duplicate_links: " << links - distinct << " of " << links << "\n"
        << "distinct_addresses: " << distinct << "\n"
        << "requests_per_distinct_address: " << static_cast<double>(requests) / distinct << "\n"
        << "with_duplicates_seconds: " << repeatsSeconds << "\n"
        << "without_duplicates_seconds: " << distinctSeconds << "\n"
        << "duplicates_time_ratio: " << repeatsSeconds / distinctSeconds << "\n";
}

}  // namespace vornakle::bench
