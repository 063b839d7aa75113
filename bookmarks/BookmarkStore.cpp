#include "bookmarks/BookmarkEdits.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <tuple>

#include "bookmarks/BookmarkError.h"
#include "bookmarks/BrowserLock.h"
#include "bookmarks/SourceFile.h"
#include "bookmarks/StoreEditing.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/UtcText.h"

namespace vornakle {

namespace {

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
// Backups named alike in one second get a number; a hundred is more than
// any run makes.
constexpr int kMaxBackupAttempts = 100;

// A bookmark as the comparison sees it: its folder, its name, its address.
using Entry = std::tuple<std::string, std::string, std::string>;

void Flatten(const BookmarkNode& folder, const std::string& path, std::vector<Entry>& entries) {
    for (const BookmarkNode& child : folder.Children) {
        if (child.IsFolder()) {
            Flatten(child, AppendFolderName(path, child.Name), entries);
        } else {
            entries.emplace_back(path, child.Name, child.Url);
        }
    }
}

}  // namespace

void FolderOfEachBookmark(const BookmarkNode& folder, const std::string& path,
                          std::vector<std::pair<std::string, std::string>>& identityFolders) {
    for (const BookmarkNode& child : folder.Children) {
        if (child.IsFolder()) {
            FolderOfEachBookmark(child, AppendFolderName(path, child.Name), identityFolders);
        } else {
            identityFolders.emplace_back(child.Identity, path);
        }
    }
}

std::string BackupBeside(const std::string& path, const std::string& contents) {
    struct stat status {};
    const mode_t mode = ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 0600;
    const std::string stem =
        path + ".before-vornakle-" +
        UtcText(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()),
                "%Y%m%d-%H%M%S");
    for (int attempt = 1; attempt <= kMaxBackupAttempts; ++attempt) {
        const std::string backup = attempt == 1 ? stem : stem + "-" + std::to_string(attempt);
        if (::access(backup.c_str(), F_OK) == 0 || errno != ENOENT) {
            continue;
        }
        try {
            CreateNewFile(backup, contents);
        } catch (const EFileError& error) {
            throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                                 "no backup of " + path +
                                     " could be made, so nothing was "
                                     "changed: " +
                                     error.Message());
        }
        ::chmod(backup.c_str(), mode);
        return backup;
    }
    throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                         "no free name for a backup beside " + path + "; nothing was changed");
}

std::string DifferenceFromExpected(const BookmarkCollection& before,
                                   const BookmarkCollection& after,
                                   const std::vector<BookmarkEdit>& edits,
                                   const std::vector<EditResult>& results) {
    std::vector<Entry> old;
    Flatten(before.Root, std::string(), old);
    std::vector<Entry> now;
    Flatten(after.Root, std::string(), now);
    // Which entries of before the edits name, by their identity.
    std::vector<std::pair<std::string, std::string>> identityFolders;
    FolderOfEachBookmark(before.Root, std::string(), identityFolders);
    std::vector<Entry> expected;
    std::vector<std::size_t> editOf(old.size(), edits.size());
    for (std::size_t edit = 0; edit < edits.size(); ++edit) {
        if (results.at(edit).Outcome != EditOutcome::Applied) {
            continue;
        }
        for (std::size_t index = 0; index < identityFolders.size(); ++index) {
            if (identityFolders[index].first == edits[edit].Identity &&
                std::get<2>(old[index]) == edits[edit].OldUrl) {
                editOf[index] = edit;
            }
        }
    }
    for (std::size_t index = 0; index < old.size(); ++index) {
        Entry entry = old[index];
        if (editOf[index] < edits.size()) {
            const BookmarkEdit& edit = edits[editOf[index]];
            if (!edit.NewUrl.empty()) {
                std::get<2>(entry) = edit.NewUrl;
            }
            if (edit.SetAside) {
                std::get<0>(entry) = results[editOf[index]].NewFolder;
            }
        }
        expected.push_back(std::move(entry));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(now.begin(), now.end());
    if (expected == now) {
        return std::string();
    }
    const auto [missing, extra] =
        std::mismatch(expected.begin(), expected.end(), now.begin(), now.end());
    if (missing != expected.end()) {
        return "the bookmark \"" + std::get<1>(*missing) + "\" (" + std::get<2>(*missing) +
               ") in \"" + std::get<0>(*missing) + "\" is not there as expected";
    }
    return "the bookmark \"" + std::get<1>(*extra) + "\" (" + std::get<2>(*extra) + ") in \"" +
           std::get<0>(*extra) + "\" is there unexpectedly";
}

namespace {

enum class FileKind { Places, Chromium, Html };

FileKind KindOf(const std::string& path) {
    if (ReadBookmarkFileStart(path, kSqliteMagic.size()) == kSqliteMagic) {
        return FileKind::Places;
    }
    const std::string start = ReadBookmarkFileStart(path, 4096);
    const std::size_t first = start.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return first != std::string::npos && start[first] == '{' ? FileKind::Chromium : FileKind::Html;
}

}  // namespace

void RefuseWhileBrowserRuns(const std::string& path) {
    switch (KindOf(path)) {
        case FileKind::Places:
            RefuseWhileBrowserRuns(path, StoreKind::FirefoxPlaces);
            break;
        case FileKind::Chromium:
            RefuseWhileBrowserRuns(path, StoreKind::ChromiumBookmarks);
            break;
        case FileKind::Html:
            break;
    }
}

StoreEditRun EditBookmarkStore(const std::string& path, const std::vector<BookmarkEdit>& edits,
                               const std::string& asideFolder) {
    RefuseWhileBrowserRuns(path);
    switch (KindOf(path)) {
        case FileKind::Places:
            return EditFirefoxPlaces(path, edits, asideFolder);
        case FileKind::Chromium:
            return EditChromiumBookmarks(path, edits, asideFolder);
        case FileKind::Html:
            break;
    }
    return EditHtmlBookmarks(path, edits, asideFolder);
}

}  // namespace vornakle
