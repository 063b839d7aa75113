// Measures the start-up scan of a large collection against the floor of any
// scan (opening and reading every link file once), and the memory the tree
// holds per link beyond the bytes of its paths and URLs. Then the same for a
// browser's HTML bookmark file: its reader against reading the file once, and
// the converter turning one into a Favorites directory against writing as
// many small files.
//
//   bench_scan [--links N] [--folders N] [--html-links N] [--convert-links N] [--html-only]
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

#include "bookmarks/BookmarkSource.h"
#include "cli/convert/ConvertProgram.h"
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

// An HTML bookmark file as browsers export a large collection: topics with
// sub-folders of a few hundred links each.
std::string GenerateHtml(int links, const std::string& name) {
    const std::string path =
        (std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()) + ".html"))
            .string();
    std::ofstream html(path, std::ios::binary);
    Random random(20261210);
    html << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
            "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
            "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n";
    constexpr int kLinksPerFolder = 250;
    constexpr int kFoldersPerTopic = 40;
    for (int link = 0; link < links; ++link) {
        const int folder = link / kLinksPerFolder;
        if (link % kLinksPerFolder == 0) {
            if (folder > 0) {
                html << "        </DL><p>\n";
            }
            if (folder % kFoldersPerTopic == 0) {
                if (folder > 0) {
                    html << "    </DL><p>\n";
                }
                html << "    <DT><H3 ADD_DATE=\"1700000000\">" << random.Word(4, 10, true) << " "
                     << folder << "</H3>\n    <DL><p>\n";
            }
            html << "        <DT><H3 ADD_DATE=\"1700000000\">" << random.Word(3, 9, true) << " "
                 << folder << "</H3>\n        <DL><p>\n";
        }
        html << "            <DT><A HREF=\"" << RandomUrl(random) << "\" ADD_DATE=\"1700000000\">"
             << random.Word(3, 10, true) << " " << random.Word(2, 9, false) << " " << link
             << "</A>\n";
    }
    html << "        </DL><p>\n    </DL><p>\n</DL><p>\n";
    return path;
}

std::size_t NodeStringBytes(const BookmarkNode& node) {
    std::size_t bytes = node.Name.size() + node.Url.size();
    for (const BookmarkNode& child : node.Children) {
        bytes += NodeStringBytes(child);
    }
    return bytes;
}

// Child: reading the HTML file once, the floor of any reader.
int MeasureHtmlFloor(const std::string& path) {
    std::size_t bytes = 0;
    const double seconds = ReadFilesOnce({path}, &bytes);
    std::cout << seconds << " " << bytes << "\n";
    return 0;
}

// Child: the reader, with its memory.
int MeasureHtml(const std::string& path) {
    const std::int64_t emptyKilobytes = ProcessStatusKilobytes("VmRSS");
    BookmarkCollection collection;
    const double seconds = SecondsOf([&] { collection = ReadBookmarkSource(path); });
    const std::int64_t peakKilobytes = ProcessStatusKilobytes("VmHWM");
    std::cout << seconds << " " << CountEntries(collection.Root).Bookmarks << " "
              << (peakKilobytes - emptyKilobytes) * 1024 << " " << NodeStringBytes(collection.Root)
              << "\n";
    return 0;
}

// Child: the converter from an HTML file to a new Favorites directory.
int MeasureConvert(const std::string& path, const std::string& target) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    int exitCode = -1;
    const double seconds = SecondsOf([&] {
        exitCode = RunConvertProgram({path, target}, sink, sink);
    });
    std::fclose(sink);
    std::cout << seconds << " " << exitCode << "\n";
    return 0;
}

// Child: the floor of the converter, as many small files written in folders
// of the same size.
int MeasureWriteFloor(int links, const std::string& target) {
    Random random(20261210);
    std::vector<std::string> urls;
    for (int link = 0; link < links; ++link) {
        urls.push_back(RandomUrl(random));
    }
    const double seconds = SecondsOf([&] { WriteCollection(target, urls, 250); });
    std::cout << seconds << "\n";
    return 0;
}

void RunHtml(int links, int convertLinks) {
    const std::string html = GenerateHtml(links, "vornakle-scan-html-");
    RunSelf("--html-floor " + Quoted(html));  // warms the page cache
    double floorSeconds = 1e9;
    double readerSeconds = 1e9;
    std::int64_t peakBytes = 0;
    std::size_t stringBytes = 0;
    int read = 0;
    for (int round = 0; round < 3; ++round) {
        std::istringstream floor(RunSelf("--html-floor " + Quoted(html)));
        double seconds = 0;
        floor >> seconds;
        floorSeconds = std::min(floorSeconds, seconds);
        std::istringstream reader(RunSelf("--html " + Quoted(html)));
        std::int64_t peak = 0;
        reader >> seconds >> read >> peak >> stringBytes;
        readerSeconds = std::min(readerSeconds, seconds);
        peakBytes = round == 0 ? peak : std::min(peakBytes, peak);
    }
    const auto fileBytes = static_cast<double>(std::filesystem::file_size(html));
    std::filesystem::remove(html);
    std::printf("html_links: %d\n", links);
    std::printf("html_links_read: %d\n", read);
    std::printf("html_file_bytes: %.0f\n", fileBytes);
    std::printf("html_seconds: %.4f\n", readerSeconds);
    std::printf("html_read_once_seconds: %.4f\n", floorSeconds);
    std::printf("html_peak_bytes_above_empty: %lld\n", static_cast<long long>(peakBytes));
    std::printf("html_name_and_url_bytes: %zu\n", stringBytes);
    std::printf("html_bytes_per_link: %.1f\n",
                static_cast<double>(peakBytes - static_cast<std::int64_t>(stringBytes)) / links);

    const std::string source = GenerateHtml(convertLinks, "vornakle-convert-html-");
    const std::string target = source + ".Favorites";
    std::istringstream convert(RunSelf("--convert " + Quoted(source) + " " + Quoted(target)));
    double convertSeconds = 0;
    int exitCode = -1;
    convert >> convertSeconds >> exitCode;
    std::filesystem::remove_all(target);
    std::filesystem::remove(source);
    std::istringstream floor(
        RunSelf("--write-floor " + std::to_string(convertLinks) + " " + Quoted(target)));
    double writeSeconds = 0;
    floor >> writeSeconds;
    std::filesystem::remove_all(target);
    std::printf("convert_links: %d\n", convertLinks);
    std::printf("convert_exit: %d\n", exitCode);
    std::printf("convert_seconds: %.4f\n", convertSeconds);
    std::printf("write_files_seconds: %.4f\n", writeSeconds);
    std::printf("convert_ratio: %.3f\n", convertSeconds / writeSeconds);
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
        int htmlLinks = 1000000;
        int convertLinks = 100000;
        bool htmlOnly = false;
        for (int index = 1; index < argc; ++index) {
            const std::string argument = argv[index];
            const bool hasValue = index + 1 < argc;
            if (argument == "--floor" && hasValue) {
                return MeasureFloor(argv[index + 1]);
            } else if (argument == "--scan" && hasValue) {
                return MeasureScan(argv[index + 1]);
            } else if (argument == "--html-floor" && hasValue) {
                return MeasureHtmlFloor(argv[index + 1]);
            } else if (argument == "--html" && hasValue) {
                return MeasureHtml(argv[index + 1]);
            } else if (argument == "--convert" && index + 2 < argc) {
                return MeasureConvert(argv[index + 1], argv[index + 2]);
            } else if (argument == "--write-floor" && index + 2 < argc) {
                return MeasureWriteFloor(std::atoi(argv[index + 1]), argv[index + 2]);
            } else if (argument == "--html-links" && hasValue) {
                htmlLinks = std::atoi(argv[++index]);
            } else if (argument == "--convert-links" && hasValue) {
                convertLinks = std::atoi(argv[++index]);
            } else if (argument == "--html-only") {
                htmlOnly = true;
            } else if (argument == "--links" && hasValue) {
                links = std::atoi(argv[++index]);
            } else if (argument == "--folders" && hasValue) {
                folders = std::atoi(argv[++index]);
            } else {
                std::cerr << "usage: bench_scan [--links N] [--folders N] [--html-links N] "
                             "[--convert-links N] [--html-only]\n";
                return 2;
            }
        }
        if (links <= 0 || folders <= 0 || htmlLinks <= 0 || convertLinks <= 0) {
            std::cerr << "--links, --folders, --html-links and --convert-links must be positive\n";
            return 2;
        }
        const int scanned = htmlOnly ? 0 : Run(links, folders);
        RunHtml(htmlLinks, convertLinks);
        return scanned;
    } catch (const std::exception& error) {
        std::cerr << "bench_scan: " << error.what() << "\n";
        return 1;
    }
}
