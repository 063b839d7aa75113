#pragma once

#include <string>
#include <string_view>

namespace vornakle {

// The one place that knows how path parts are joined on this platform.
inline constexpr char kPathSeparator = '/';

// Parent + separator + name, the way every path below the collection's root is
// made.
inline std::string JoinPath(std::string_view parent, std::string_view name) {
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path.append(parent);
    path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

// A name that stays a name inside its directory: no separator would put it
// elsewhere, and no NUL, which no file system stores.
inline bool IsPlainFileName(std::string_view name) {
    return name.find(kPathSeparator) == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

}  // namespace vornakle
