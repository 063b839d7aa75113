// Finding the default profile's bookmarks in a home directory the test
// lays out.
#include <gtest/gtest.h>

#include <vector>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/BrowserProfiles.h"
#include "support/TempTree.h"

namespace vornakle {
namespace {

using testing::TempTree;

struct Case {
    const char* Name;
    Browser Kind;
    std::vector<std::pair<std::string, std::string>> Files;  // relative path, contents
    std::string Expected;  // relative to the home; empty: not found
};

const char kFirefox[] = ".mozilla/firefox/";

TEST(BrowserProfiles, TheDefaultProfilesBookmarksAreFound) {
    const std::vector<Case> cases = {
        {"an installation's default comes before Default=1",
         Browser::Firefox,
         {{std::string(kFirefox) + "profiles.ini",
           "[Profile1]\nName=old\nIsRelative=1\nPath=a.old\nDefault=1\n\n"
           "[Profile0]\nName=default-release\nIsRelative=1\nPath=b.default-release\n\n"
           "[Install4F96D1932A9F858E]\nDefault=b.default-release\nLocked=1\n\n"
           "[General]\nStartWithLastProfile=1\nVersion=2\n"},
          {std::string(kFirefox) + "a.old/places.sqlite", "x"},
          {std::string(kFirefox) + "b.default-release/places.sqlite", "x"}},
         std::string(kFirefox) + "b.default-release/places.sqlite"},
        {"Default=1 without installations, CR LF lines",
         Browser::Firefox,
         {{std::string(kFirefox) + "profiles.ini",
           "[Profile0]\r\nPath=a.first\r\n[Profile1]\r\nPath=b.chosen\r\nDefault=1\r\n"},
          {std::string(kFirefox) + "b.chosen/places.sqlite", "x"}},
         std::string(kFirefox) + "b.chosen/places.sqlite"},
        {"a new profile below the configuration directory",
         Browser::Firefox,
         {{"config/mozilla/firefox/profiles.ini",
           "[Install4F96D1932A9F858E]\nDefault=x.default-release\n\n"
           "[Profile0]\nPath=x.default-release\n"},
          {"config/mozilla/firefox/x.default-release/places.sqlite", "x"}},
         "config/mozilla/firefox/x.default-release/places.sqlite"},
        {"the snap's place",
         Browser::Firefox,
         {{"snap/firefox/common/.mozilla/firefox/profiles.ini", "[Profile0]\nPath=s.default\n"},
          {"snap/firefox/common/.mozilla/firefox/s.default/places.sqlite", "x"}},
         "snap/firefox/common/.mozilla/firefox/s.default/places.sqlite"},
        {"a profile without places.sqlite",
         Browser::Firefox,
         {{std::string(kFirefox) + "profiles.ini", "[Profile0]\nPath=empty\nDefault=1\n"}},
         ""},
        {"no Firefox at all", Browser::Firefox, {}, ""},
        {"Chromium's last used profile",
         Browser::Chromium,
         {{"config/chromium/Local State", R"({"profile": {"last_used": "Profile 1"}})"},
          {"config/chromium/Default/Bookmarks", "{}"},
          {"config/chromium/Profile 1/Bookmarks", "{}"}},
         "config/chromium/Profile 1/Bookmarks"},
        {"Chrome's Default when Local State names none",
         Browser::Chrome,
         {{"config/google-chrome/Local State", "not json"},
          {"config/google-chrome/Default/Bookmarks", "{}"}},
         "config/google-chrome/Default/Bookmarks"},
        {"Chromium as a flatpak",
         Browser::Chromium,
         {{".var/app/org.chromium.Chromium/config/chromium/Default/Bookmarks", "{}"}},
         ".var/app/org.chromium.Chromium/config/chromium/Default/Bookmarks"},
        {"a Chrome profile without bookmarks",
         Browser::Chrome,
         {{"config/google-chrome/Default/Preferences", "{}"}},
         ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.Name);
        TempTree home;
        for (const auto& [path, contents] : test.Files) {
            home.WriteFile(path, contents);
        }
        const UserFolders folders{home.Root(), home.Path("config")};
        if (test.Expected.empty()) {
            try {
                LocateBrowserBookmarks(test.Kind, folders);
                ADD_FAILURE() << "found";
            } catch (const EBookmarkError& error) {
                EXPECT_EQ(error.Why(), EBookmarkError::Reason::NotFound) << error.what();
            }
        } else {
            EXPECT_EQ(LocateBrowserBookmarks(test.Kind, folders), home.Path(test.Expected));
        }
    }
}

}  // namespace
}  // namespace vornakle
