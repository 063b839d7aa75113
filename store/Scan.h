#pragma once

#include <string>

#include "store/BookTree.h"

namespace vornakle {

// Fills the folder node Node from the directory Path (no trailing separator),
// depth first, in directory listing order: a child per sub-directory and per
// file whose name ends in ".url" (exactly so; "x.URL" is not a link). Links
// start as not tested.
//
// A link file that cannot be opened stops the scan with EFileError
// "Datei <path> kann nicht geöffnet werden"; what was added until then stays.
// A directory that cannot be listed gives an empty folder.
void ScanDirectory(const std::string& Path, TBookTree* Node);

// Folders nested deeper than this are shown empty rather than scanned: a
// pathological nest must not exhaust the stack.
inline constexpr int kMaxFolderDepth = 400;

}  // namespace vornakle
