#pragma once

#include <string>
#include <vector>

namespace vornakle {

class TBookTree;

// One link of the collection as the checker reports it; all bytes as the
// file system and the shortcut hold them.
struct LinkRecord {
    std::string Folder;  // the directory path of the link's folder
    std::string Name;    // the file name without ".url"
    std::string Url;
};

// The links below Root in scan order: depth first, each folder's children in
// the order the scan added them, a sub-folder's links where the sub-folder
// stands among its siblings.
std::vector<LinkRecord> CollectLinks(const TBookTree& root);

// Scans the collection at Directory as the desktop program does and returns
// its links. Throws EFileError when Directory is no directory that can be
// read, and the scan's own EFileError for a shortcut that cannot be read.
// Trailing separators of Directory are dropped (the scan wants none).
std::vector<LinkRecord> ScanCollectionLinks(std::string directory);

}  // namespace vornakle
