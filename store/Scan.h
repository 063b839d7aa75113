#pragma once

#include <string>
#include <vector>

#include "store/BookTree.h"

namespace vornakle {

// What the scan does at a link file it cannot read.
enum class UnreadableLinks {
    // Stops with EFileError "Datei <path> kann nicht geöffnet werden"; what
    // was added until then stays. The desktop program's rule.
    Stop,
    // Adds the link without a URL, notes it and goes on.
    Collect,
};

// A file or folder the scan could not take in.
struct ScanProblem {
    enum class Kind {
        UnreadableLink,    // a link file that could not be opened or read
        UnlistableFolder,  // shown as an empty folder
        TooDeep,           // nested deeper than kMaxFolderDepth, shown empty
    };
    Kind What;
    std::string Path;
};

// Fills the folder node Node from the directory Path (no trailing separator),
// depth first, in directory listing order: a child per sub-directory and per
// file whose name ends in ".url" (exactly so; "x.URL" is not a link). Links
// start as not tested. Returns the problems met, in scan order; a folder
// that cannot be listed, or lies too deep, gives an empty folder.
std::vector<ScanProblem> ScanDirectory(const std::string& Path, TBookTree* Node,
                                       UnreadableLinks unreadable = UnreadableLinks::Stop);

// Folders nested deeper than this are shown empty rather than scanned: a
// pathological nest must not exhaust the stack.
inline constexpr int kMaxFolderDepth = 400;

}  // namespace vornakle
