#pragma once

#include <string>
#include <vector>

#include "store/Scan.h"

namespace vornakle {

class TBookTree;

// One link of the collection as the checker reports it; all bytes as the
// file system and the shortcut hold them.
struct LinkRecord {
    std::string Folder;  // the directory path of the link's folder
    std::string Name;    // the file name without ".url"
    std::string Url;
    // The shortcut file could not be read; Url is empty.
    bool Unreadable = false;
};

// The links of a collection directory, and the folders the scan could not
// take in (ScanProblem::Kind::UnlistableFolder and TooDeep).
struct CollectionScan {
    std::vector<LinkRecord> Links;
    std::vector<ScanProblem> FolderProblems;
};

// Scans the collection at Directory as the desktop program does and returns
// its links, except that a shortcut that cannot be read is a link marked
// Unreadable rather than the end of the scan. Throws EFileError when
// Directory is no directory that can be read. Trailing separators of
// Directory are dropped (the scan wants none).
CollectionScan ScanCollectionLinks(std::string directory);

}  // namespace vornakle
