#include "bookmarks/BrowserProfiles.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/SourceFile.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TrimBlanks.h"
#include "store/Shortcut.h"

namespace vornakle {

namespace {

constexpr char kProfilesIni[] = "profiles.ini";
constexpr char kPlacesFile[] = "places.sqlite";
constexpr char kLocalState[] = "Local State";
constexpr char kBookmarksFile[] = "Bookmarks";
constexpr char kDefaultChromiumProfile[] = "Default";

// An ini file's sections in file order, each with its keys.
using IniSection = std::map<std::string, std::string>;
using IniFile = std::vector<std::pair<std::string, IniSection>>;

IniFile ParseIni(const std::string& text) {
    IniFile file;
    for (const std::string& rawLine : SplitShortcutLines(text)) {
        const std::string line = TrimBlanks(rawLine);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            file.emplace_back(line.substr(1, line.size() - 2), IniSection());
        } else if (const std::size_t equals = line.find('=');
                   equals != std::string::npos && !file.empty()) {
            file.back().second[TrimBlanks(line.substr(0, equals))] =
                TrimBlanks(line.substr(equals + 1));
        }
    }
    return file;
}

std::string Value(const IniSection& section, const std::string& key) {
    const auto found = section.find(key);
    return found == section.end() ? std::string() : found->second;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string ProfileDirectory(const std::string& iniFolder, const std::string& path,
                             bool isRelative) {
    return isRelative && !StartsWith(path, "/") ? JoinPath(iniFolder, path) : path;
}

// The default profile's directory per profiles.ini; empty when it names none.
std::string FirefoxProfile(const std::string& iniFolder, const IniFile& ini) {
    std::vector<const IniSection*> profiles;
    for (const auto& [name, section] : ini) {
        if (StartsWith(name, "Profile") && !Value(section, "Path").empty()) {
            profiles.push_back(&section);
        }
    }
    const auto isRelative = [](const IniSection& section) {
        return Value(section, "IsRelative") != "0";
    };
    // An installation's own default is what that Firefox opens.
    for (const auto& [name, section] : ini) {
        const std::string path = Value(section, "Default");
        if (StartsWith(name, "Install") && !path.empty()) {
            for (const IniSection* profile : profiles) {
                if (Value(*profile, "Path") == path) {
                    return ProfileDirectory(iniFolder, path, isRelative(*profile));
                }
            }
            return ProfileDirectory(iniFolder, path, true);
        }
    }
    for (const IniSection* profile : profiles) {
        if (Value(*profile, "Default") == "1") {
            return ProfileDirectory(iniFolder, Value(*profile, "Path"), isRelative(*profile));
        }
    }
    if (!profiles.empty()) {
        return ProfileDirectory(iniFolder, Value(*profiles.front(), "Path"),
                                isRelative(*profiles.front()));
    }
    return std::string();
}

[[noreturn]] void ThrowNotFound(const std::string& message) {
    throw EBookmarkError(EBookmarkError::Reason::NotFound, message);
}

std::string LocateFirefox(const UserFolders& folders) {
    // Firefox keeps using ~/.mozilla where it has been; a profile made anew
    // goes below the configuration directory.
    const std::vector<std::string> places = {
        JoinPath(folders.Home, ".mozilla/firefox"),
        JoinPath(folders.Config, "mozilla/firefox"),
        JoinPath(folders.Home, "snap/firefox/common/.mozilla/firefox"),
        JoinPath(folders.Home, ".var/app/org.mozilla.firefox/.mozilla/firefox"),
    };
    std::string looked;
    for (const std::string& folder : places) {
        const std::string iniPath = JoinPath(folder, kProfilesIni);
        looked += (looked.empty() ? "" : ", ") + iniPath;
        if (!PathExists(iniPath)) {
            continue;
        }
        const std::string profile = FirefoxProfile(folder, ParseIni(ReadBookmarkFile(iniPath)));
        if (profile.empty()) {
            ThrowNotFound(iniPath + " names no profile");
        }
        const std::string database = JoinPath(profile, kPlacesFile);
        if (!PathExists(database)) {
            ThrowNotFound("the default Firefox profile has no bookmarks: " + database +
                          " does not exist");
        }
        return database;
    }
    ThrowNotFound("no Firefox profiles found (looked for " + looked + ")");
}

std::string LastUsedProfile(const std::string& configFolder) {
    const std::string statePath = JoinPath(configFolder, kLocalState);
    if (PathExists(statePath)) {
        try {
            const std::string text = ReadBookmarkFile(statePath);
            const QJsonDocument state = QJsonDocument::fromJson(
                QByteArray(text.data(), static_cast<qsizetype>(text.size())));
            const std::string lastUsed = state.object()
                                             .value("profile")
                                             .toObject()
                                             .value("last_used")
                                             .toString()
                                             .toStdString();
            if (!lastUsed.empty() && lastUsed != "." && lastUsed != ".." &&
                IsPlainFileName(lastUsed) &&
                PathExists(JoinPath(JoinPath(configFolder, lastUsed), kBookmarksFile))) {
                return lastUsed;
            }
        } catch (const EBookmarkError&) {
            // An unreadable "Local State" only costs the choice of profile.
        }
    }
    return kDefaultChromiumProfile;
}

std::string LocateChromium(Browser browser, const UserFolders& folders) {
    const bool chrome = browser == Browser::Chrome;
    const std::vector<std::string> places =
        chrome
            ? std::vector<std::string>{JoinPath(folders.Config, "google-chrome"),
                                       JoinPath(folders.Home,
                                                ".var/app/com.google.Chrome/config/google-chrome")}
            : std::vector<std::string>{
                  JoinPath(folders.Config, "chromium"),
                  JoinPath(folders.Home, "snap/chromium/common/chromium"),
                  JoinPath(folders.Home, ".var/app/org.chromium.Chromium/config/chromium")};
    const std::string browserName = chrome ? "Chrome" : "Chromium";
    std::string looked;
    for (const std::string& folder : places) {
        looked += (looked.empty() ? "" : ", ") + folder;
        if (!DirectoryListing(folder).IsOpen()) {
            continue;
        }
        const std::string bookmarks =
            JoinPath(JoinPath(folder, LastUsedProfile(folder)), kBookmarksFile);
        if (!PathExists(bookmarks)) {
            ThrowNotFound("the " + browserName + " profile has no bookmarks: " + bookmarks +
                          " does not exist");
        }
        return bookmarks;
    }
    ThrowNotFound("no " + browserName + " settings found (looked in " + looked + ")");
}

}  // namespace

std::optional<Browser> BrowserNamed(std::string_view name) {
    if (name == "firefox") {
        return Browser::Firefox;
    }
    if (name == "chromium") {
        return Browser::Chromium;
    }
    if (name == "chrome") {
        return Browser::Chrome;
    }
    return std::nullopt;
}

UserFolders UserFoldersFromEnvironment() {
    UserFolders folders;
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') {
        folders.Home = home;
    } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
        folders.Home = user->pw_dir;
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // freedesktop.org's base directories ignore a relative value.
    folders.Config = config && config[0] == kPathSeparator ? std::string(config)
                                                           : JoinPath(folders.Home, ".config");
    return folders;
}

std::string LocateBrowserBookmarks(Browser browser, const UserFolders& folders) {
    return browser == Browser::Firefox ? LocateFirefox(folders) : LocateChromium(browser, folders);
}

}  // namespace vornakle
