#include "platform/FavoritesFolder.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/Paths.h"

namespace vornakle {
namespace {

constexpr char kFavoritesName[] = "Favorites";
constexpr char kDefaultWinePrefix[] = ".wine";
constexpr char kWindowsUsersDirectory[] = "/mnt/c/Users";

// Profiles every Windows installation has that belong to no person.
constexpr const char* kSharedWindowsProfiles[] = {"All Users", "Default", "Default User", "Public"};

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsSharedWindowsProfile(const std::string& name) {
    for (const char* shared : kSharedWindowsProfiles) {
        if (name == shared) {
            return true;
        }
    }
    return false;
}

bool DetectWsl() {
    // WSL sets these for every process it starts; the interop entry stays
    // even where the variables were cleared.
    if (!Environment("WSL_DISTRO_NAME").empty() || !Environment("WSL_INTEROP").empty()) {
        return true;
    }
    struct stat status {};
    return ::stat("/proc/sys/fs/binfmt_misc/WSLInterop", &status) == 0;
}

// The Linux user name need not be the Windows one: take the profile of the
// same name when there is one, else the only personal profile that has
// Favorites. With several candidates there is no telling whose they are.
std::optional<std::string> FindWindowsFavorites(const FavoritesEnvironment& environment) {
    if (!environment.user.empty()) {
        std::string sameName =
            JoinPath(JoinPath(environment.windowsUsers, environment.user), kFavoritesName);
        if (IsDirectory(sameName)) {
            return sameName;
        }
    }
    DIR* directory = ::opendir(environment.windowsUsers.c_str());
    if (directory == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || IsSharedWindowsProfile(name)) {
            continue;
        }
        std::string favorites = JoinPath(JoinPath(environment.windowsUsers, name), kFavoritesName);
        if (IsDirectory(favorites)) {
            candidates.push_back(std::move(favorites));
        }
    }
    ::closedir(directory);
    if (candidates.size() == 1) {
        return candidates.front();
    }
    return std::nullopt;
}

}  // namespace

FavoritesEnvironment FavoritesEnvironment::FromProcess() {
    FavoritesEnvironment environment;
    environment.home = Environment("HOME");
    environment.winePrefix = Environment("WINEPREFIX");
    environment.user = Environment("USER");
    if (environment.home.empty() || environment.user.empty()) {
        if (const passwd* account = ::getpwuid(::getuid())) {
            if (environment.home.empty() && account->pw_dir != nullptr) {
                environment.home = account->pw_dir;
            }
            if (environment.user.empty() && account->pw_name != nullptr) {
                environment.user = account->pw_name;
            }
        }
    }
    environment.onWsl = DetectWsl();
    environment.windowsUsers = kWindowsUsersDirectory;
    return environment;
}

std::optional<std::string> FindFavoritesFolder(const FavoritesEnvironment& environment) {
    if (!environment.home.empty()) {
        std::string homeFavorites = JoinPath(environment.home, kFavoritesName);
        if (IsDirectory(homeFavorites)) {
            return homeFavorites;
        }
    }

    std::string prefix = environment.winePrefix;
    if (prefix.empty() && !environment.home.empty()) {
        prefix = JoinPath(environment.home, kDefaultWinePrefix);
    }
    if (!prefix.empty() && !environment.user.empty()) {
        std::string wineFavorites =
            JoinPath(JoinPath(JoinPath(JoinPath(prefix, "drive_c"), "users"), environment.user),
                     kFavoritesName);
        if (IsDirectory(wineFavorites)) {
            return wineFavorites;
        }
    }

    if (environment.onWsl && !environment.windowsUsers.empty()) {
        return FindWindowsFavorites(environment);
    }
    return std::nullopt;
}

std::optional<std::string> FindFavoritesFolder() {
    return FindFavoritesFolder(FavoritesEnvironment::FromProcess());
}

}  // namespace vornakle
