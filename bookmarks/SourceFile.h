#pragma once

#include <string>

namespace vornakle {

// Bookmark files are read whole; the largest collections browsers write are
// a few megabytes, so anything this large is no bookmark file.
inline constexpr std::size_t kMaxBookmarkFileBytes = 256 * 1024 * 1024;

// The bytes of a bookmark file. Throws EBookmarkError (Unreadable) when it
// cannot be opened or read or is far too large.
std::string ReadBookmarkFile(const std::string& path);

// At most the first count bytes of the file, to tell its format.
std::string ReadBookmarkFileStart(const std::string& path, std::size_t count);

}  // namespace vornakle
