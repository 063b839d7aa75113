#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vornakle {

enum class Browser { Firefox, Chromium, Chrome };

// The browser a command line names: "firefox", "chromium" or "chrome".
std::optional<Browser> BrowserNamed(std::string_view name);

// Where the user's files are: the home directory and the configuration
// directory ($XDG_CONFIG_HOME, else ~/.config).
struct UserFolders {
    std::string Home;
    std::string Config;
};
UserFolders UserFoldersFromEnvironment();

// The bookmarks file of the browser's default profile:
// - Firefox: the first of ~/.mozilla/firefox, mozilla/firefox in the
//   configuration directory, and the snap and flatpak places, that has a
//   profiles.ini; there the profile an [Install...]
//   section names as its Default, else the [Profile...] marked Default=1,
//   else the first profile; its places.sqlite.
// - Chromium and Chrome: the first of their configuration directories (the
//   usual one, then snap and flatpak) that exists; there the profile that
//   "Local State" names as last used, else "Default"; its Bookmarks file.
// Throws EBookmarkError (NotFound) saying what was looked for where.
std::string LocateBrowserBookmarks(Browser browser, const UserFolders& folders);

}  // namespace vornakle
