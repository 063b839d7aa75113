#pragma once

#include <cstdlib>
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

// The path less any trailing separators ("/" stays "/").
inline std::string WithoutTrailingSeparators(std::string_view path) {
    while (path.size() > 1 && path.back() == kPathSeparator) {
        path.remove_suffix(1);
    }
    return std::string(path);
}

// The last part of a path: what follows its last separator (empty when the
// path ends in one), or the whole path when it holds none.
inline std::string LastPathPart(std::string_view path) {
    const std::size_t separator = path.rfind(kPathSeparator);
    return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

// The path up to and including its last separator: its directory, ready to
// take another name.
inline std::string DirectoryWithSeparator(std::string_view path) {
    const std::size_t separator = path.rfind(kPathSeparator);
    return separator == std::string_view::npos ? std::string()
                                               : std::string(path.substr(0, separator + 1));
}

// A freedesktop.org base directory: the value of variable
// ("XDG_CONFIG_HOME") when it is an absolute path, since a relative one is
// to be ignored, else underHome (".config") in $HOME; empty when neither is
// set.
inline std::string BaseDirectory(const char* variable, std::string_view underHome) {
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == kPathSeparator) {
        return value;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return JoinPath(home, underHome);
    }
    return std::string();
}

}  // namespace vornakle
