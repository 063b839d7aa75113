// Measures filling the link list with one large folder (every shortcut read
// again, as on a folder change) and sorting it, against reading the same files
// once; and how that time grows from 10 000 to 100 000 links.
//
//   bench_list [--small N] [--large N]
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/BenchSupport.h"
#include "report/LinkOrdering.h"
#include "store/Scan.h"
#include "store/widgets/BookTreeView.h"
#include "store/widgets/LinkItems.h"

namespace vornakle::bench {
namespace {

constexpr int kRounds = 3;

struct Folder {
    std::string path;
    std::vector<std::string> files;
};

Folder Generate(const std::string& root, const std::string& name, int links, Random& random) {
    Folder folder{root + "/" + name, {}};
    std::filesystem::create_directories(folder.path);
    for (int link = 0; link < links; ++link) {
        const std::string path = folder.path + "/" + random.Word(3, 10, true) + " " +
                                 random.Word(2, 9, false) + " - " + random.Word(4, 12, true) + " " +
                                 std::to_string(link) + ".url";
        std::ofstream(path, std::ios::binary) << ShortcutFile(RandomUrl(random));
        folder.files.push_back(path);
    }
    return folder;
}

// What a folder change does: empty the list, add an item per link (each file
// read again), sorted once at the end.
double FillAndSort(LinkItems& items, TBookTree* folder) {
    return SecondsOf([&] {
        items.Clear();
        LinkItems::FillScope fill(items);
        for (int index = 0; index < folder->Count(); ++index) {
            AddLinkItem(items, folder->Child(index));
        }
    });
}

int Run(int small, int large) {
    std::string root = (std::filesystem::temp_directory_path() / "vornakle-list-XXXXXX").string();
    if (::mkdtemp(root.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    Random random(4242);
    const Folder smallFolder = Generate(root, "small", small, random);
    const Folder largeFolder = Generate(root, "large", large, random);

    TBookTreePtr tree(new TBookTree);
    ScanDirectory(root, tree.get());
    TBookTree* largeNode = tree->Child(0);
    TBookTree* smallNode = tree->Child(1);

    int sortColumn = kSortColumnStart;
    int sortDirection = kSortDirectionStart;
    LinkItems items;
    KeepLinkItemsSorted(items, sortColumn, sortDirection);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&items);
    view.resize(700, 400);
    view.show();
    SortByColumn(items, LinkItems::kColumnName, sortColumn, sortDirection);

    double floorSeconds = 1e9;
    double smallSeconds = 1e9;
    double largeSeconds = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        floorSeconds = std::min(floorSeconds, ReadFilesOnce(largeFolder.files));
        smallSeconds = std::min(smallSeconds, FillAndSort(items, smallNode));
        largeSeconds = std::min(largeSeconds, FillAndSort(items, largeNode));
        QApplication::processEvents();
    }
    const int listed = items.Count();

    // Re-sorting by each column, as a header click does.
    double sortSeconds[LinkItems::kColumnCount] = {};
    for (int column : {LinkItems::kColumnUrl, LinkItems::kColumnStatus, LinkItems::kColumnName}) {
        sortSeconds[column] =
            SecondsOf([&] { SortByColumn(items, column, sortColumn, sortDirection); });
    }
    items.Clear();
    tree.reset();
    std::filesystem::remove_all(root);

    std::printf("links_small: %d\n", small);
    std::printf("links_large: %d\n", large);
    std::printf("items_listed: %d\n", listed);
    std::printf("read_once_large_seconds: %.4f\n", floorSeconds);
    std::printf("fill_sort_small_seconds: %.4f\n", smallSeconds);
    std::printf("fill_sort_large_seconds: %.4f\n", largeSeconds);
    std::printf("sort_by_url_seconds: %.4f\n", sortSeconds[LinkItems::kColumnUrl]);
    std::printf("sort_by_status_seconds: %.4f\n", sortSeconds[LinkItems::kColumnStatus]);
    std::printf("sort_by_name_seconds: %.4f\n", sortSeconds[LinkItems::kColumnName]);
    std::printf("fill_sort_100k_ratio: %.3f\n", largeSeconds / floorSeconds);
    std::printf("growth_10k_to_100k: %.3f\n", largeSeconds / smallSeconds);
    return listed == large ? 0 : 1;
}

}  // namespace
}  // namespace vornakle::bench

int main(int argc, char** argv) {
    using namespace vornakle::bench;
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    int small = 10000;
    int large = 100000;
    if (!ReadCountOptions(argc, argv, {{"--small", &small}, {"--large", &large}}, "bench_list")) {
        return 2;
    }
    return RunReporting("bench_list", [&] { return Run(small, large); });
}
