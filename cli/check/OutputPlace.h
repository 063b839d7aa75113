#pragma once

#include <optional>
#include <string>

#include "cli/check/CheckOptions.h"

namespace vornakle {

// Why the results may not go to output (none: they may): it is the history
// of checks, the source, or a file in the source's directory tree, which
// the report would replace or join. Files are told apart by device and
// inode after every symbolic link, so no other spelling of a path and no
// link to it gets past; a file not there yet by its folder's and its own
// name. Empty history or source: none.
std::optional<std::string> OutputOverInput(const std::string& output, const std::string& source,
                                           const std::string& history);

// The same for the command's --output, history and source (a browser's by
// its bookmarks file); none without --output.
std::optional<std::string> OutputOverInput(const CheckCommand& command);

}  // namespace vornakle
