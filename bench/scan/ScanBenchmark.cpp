// Measures the start-up scan of a large collection against the floor of any
// scan (opening and reading every link file once), and the memory the tree
// holds per link beyond the bytes of its paths and URLs.
//
//   bench_scan [--links N] [--folders N]
//
// The measurements run in fresh processes of this program, so neither the
// generator's memory nor its page-cache work colours them.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/BenchSupport.h"
#include "store/BookTree.h"
#include "store/Scan.h"

namespace vornakle::bench {
namespace {

constexpr int kRounds = 5;

struct Collection {
    std::string root;
    std::string listFile;  // every link file's path, one a line
    int links = 0;
    int folders = 0;
};

Collection Generate(int links, int folders) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vornakle-scan-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    Collection collection{pattern, pattern + ".list", links, folders};
    std::ofstream list(collection.listFile);
    Random random(20261209);

    // A two-level hierarchy, as collections usually are: a few dozen topics,
    // each with its sub-topics.
    const int topics = std::max(1, folders / 100);
    std::vector<std::string> folderPaths;
    for (int topic = 0; topic < topics && static_cast<int>(folderPaths.size()) < folders; ++topic) {
        const std::string topicPath =
            collection.root + "/" + random.Word(4, 10, true) + " " + std::to_string(topic);
        folderPaths.push_back(topicPath);
    }
    for (int index = 0; static_cast<int>(folderPaths.size()) < folders; ++index) {
        folderPaths.push_back(folderPaths[static_cast<std::size_t>(index % topics)] + "/" +
                              random.Word(3, 9, true) + " " + random.Word(3, 9, false) + " " +
                              std::to_string(index));
    }
    for (const std::string& folder : folderPaths) {
        std::filesystem::create_directories(folder);
    }
    for (int link = 0; link < links; ++link) {
        const std::string& folder = folderPaths[static_cast<std::size_t>(link % folders)];
        const std::string name = random.Word(3, 10, true) + " " + random.Word(2, 9, false) + " - " +
                                 random.Word(4, 12, true) + " " + std::to_string(link);
        const std::string path = folder + "/" + name + ".url";
        std::ofstream(path, std::ios::binary) << ShortcutFile(RandomUrl(random));
        list << path << '\n';
    }
    return collection;
}

// Child: the floor, a plain loop that opens and reads every file once.
int MeasureFloor(const std::string& listFile) {
    std::vector<std::string> paths;
    std::ifstream list(listFile);
    for (std::string line; std::getline(list, line);) {
        paths.push_back(line);
    }
    std::size_t bytes = 0;
    const double seconds = ReadFilesOnce(paths, &bytes);
    std::cout << seconds << " " << bytes << "\n";
    return 0;
}

std::size_t StringBytes(const TBookTree* node) {
    std::size_t bytes = node->Path.size() + node->Text.size();
    for (TTree* child : node->Children) {
        bytes += StringBytes(static_cast<const TBookTree*>(child));
    }
    return bytes;
}

// Child: the scan itself, with its memory.
int MeasureScan(const std::string& root) {
    const std::int64_t emptyKilobytes = ProcessStatusKilobytes("VmRSS");
    TBookTreePtr tree(new TBookTree);
    tree->Text = "Favoriten";
    int count = 0;
    const double seconds = SecondsOf([&] {
        ScanDirectory(root, tree.get());
        count = tree->CountAll();
    });
    const std::int64_t peakKilobytes = ProcessStatusKilobytes("VmHWM");
    std::cout << seconds << " " << count << " " << (peakKilobytes - emptyKilobytes) * 1024 << " "
              << StringBytes(tree.get()) << "\n";
    return 0;
}

int Run(int links, int folders) {
    const Collection collection = Generate(links, folders);
    RunSelf("--floor " + collection.listFile);  // warms the page cache for both

    double floorSeconds = 1e9;
    double scanSeconds = 1e9;
    std::int64_t peakBytes = 0;
    std::size_t stringBytes = 0;
    int nodes = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::istringstream floor(RunSelf("--floor " + collection.listFile));
        double seconds = 0;
        floor >> seconds;
        floorSeconds = std::min(floorSeconds, seconds);

        std::istringstream scan(RunSelf("--scan '" + collection.root + "'"));
        std::int64_t peak = 0;
        scan >> seconds >> nodes >> peak >> stringBytes;
        scanSeconds = std::min(scanSeconds, seconds);
        peakBytes = round == 0 ? peak : std::min(peakBytes, peak);
    }
    std::filesystem::remove_all(collection.root);
    std::filesystem::remove(collection.listFile);

    const double bytesPerLink =
        static_cast<double>(peakBytes - static_cast<std::int64_t>(stringBytes)) / links;
    std::printf("links: %d\n", links);
    std::printf("folders: %d\n", folders);
    std::printf("nodes_counted: %d\n", nodes);
    std::printf("scan_seconds: %.4f\n", scanSeconds);
    std::printf("floor_seconds: %.4f\n", floorSeconds);
    std::printf("scan_ratio: %.3f\n", scanSeconds / floorSeconds);
    std::printf("peak_bytes_above_empty: %lld\n", static_cast<long long>(peakBytes));
    std::printf("path_and_url_bytes: %zu\n", stringBytes);
    std::printf("bytes_per_link: %.1f\n", bytesPerLink);
    return nodes == links + folders ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    using namespace vornakle::bench;
    try {
        int links = 100000;
        int folders = 5000;
        for (int index = 1; index < argc; ++index) {
            const std::string argument = argv[index];
            const bool hasValue = index + 1 < argc;
            if (argument == "--floor" && hasValue) {
                return MeasureFloor(argv[index + 1]);
            } else if (argument == "--scan" && hasValue) {
                return MeasureScan(argv[index + 1]);
            } else if (argument == "--links" && hasValue) {
                links = std::atoi(argv[++index]);
            } else if (argument == "--folders" && hasValue) {
                folders = std::atoi(argv[++index]);
            } else {
                std::cerr << "usage: bench_scan [--links N] [--folders N]\n";
                return 2;
            }
        }
        if (links <= 0 || folders <= 0) {
            std::cerr << "--links and --folders must be positive\n";
            return 2;
        }
        return Run(links, folders);
    } catch (const std::exception& error) {
        std::cerr << "bench_scan: " << error.what() << "\n";
        return 1;
    }
}
