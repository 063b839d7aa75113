#pragma once

// A Firefox places database made row by row through SQLite, with the tables
// and roots Firefox creates, for tests of everything that reads one.

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>

namespace vornakle::testing {

class PlacesDatabase {
public:
    // The rows of the roots Firefox makes in every profile.
    static constexpr std::int64_t kRoot = 1;
    static constexpr std::int64_t kMenu = 2;
    static constexpr std::int64_t kToolbar = 3;
    static constexpr std::int64_t kTags = 4;
    static constexpr std::int64_t kUnfiled = 5;
    static constexpr std::int64_t kMobile = 6;

    // Creates the database at path; journalMode as SQLite's pragma names it.
    explicit PlacesDatabase(const std::string& path, const std::string& journalMode = "delete");
    ~PlacesDatabase();
    PlacesDatabase(const PlacesDatabase&) = delete;
    PlacesDatabase& operator=(const PlacesDatabase&) = delete;

    // Each appends at the end of its parent; the new row's id.
    std::int64_t Folder(std::int64_t parent, const std::string& title);
    std::int64_t Bookmark(std::int64_t parent, const std::string& title, const std::string& url,
                          const std::string& pageTitle = "");
    void Separator(std::int64_t parent);
    // Tags url, which is bookmarked elsewhere, as Firefox does: a folder
    // for the tag below the tags root and a row in it pointing at the place.
    void Tag(const std::string& tag, const std::string& url);

    // Runs statements; fails the test on an error.
    void Execute(const std::string& sql);
    sqlite3* Handle() const { return database_; }

private:
    std::int64_t Insert(int type, std::int64_t parent, const std::string& title,
                        const std::string& guid, std::int64_t place);
    std::int64_t Place(const std::string& url, const std::string& title);

    sqlite3* database_ = nullptr;
    std::map<std::int64_t, int> nextPosition_;
    std::map<std::string, std::int64_t> tagFolders_;
};

}  // namespace vornakle::testing
