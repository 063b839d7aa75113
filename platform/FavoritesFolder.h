#pragma once

#include <optional>
#include <string>

namespace vornakle {

// Where to look for the user's Favorites. Taken from the process by
// FromProcess(); tests fill it with temporary directories.
struct FavoritesEnvironment {
    std::string home;          // $HOME, or the password database's home
    std::string winePrefix;    // $WINEPREFIX, empty when unset
    std::string user;          // $USER, or the password database's name
    bool onWsl = false;        // running under Windows Subsystem for Linux
    std::string windowsUsers;  // the Windows "Users" directory seen from Linux

    static FavoritesEnvironment FromProcess();
};

// The places a Favorites folder can be, in the order they are tried:
// $HOME/Favorites; the default Wine prefix's user folder; on WSL, the
// Windows user's Favorites.
std::optional<std::string> FindFavoritesFolder(const FavoritesEnvironment& environment);

// The same for this process: the suggestion the folder dialog starts from.
std::optional<std::string> FindFavoritesFolder();

}  // namespace vornakle
