#include "bookmarks/FavoritesDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

#include "bookmarks/BookmarkError.h"
#include "platform/ErrorMessages.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "store/BookTree.h"
#include "store/Scan.h"
#include "store/Shortcut.h"

namespace vornakle {

namespace {

constexpr char kSeparatorStandIn = '-';
constexpr char kSafeNamePrefix = '_';
// More entries of one name in one folder than this is no collection.
constexpr int kMaxNameAttempts = 100000;
constexpr char kTemporaryInfix[] = ".vornakle-";

[[noreturn]] void ThrowWriteError(const std::string& what, int error) {
    throw EBookmarkError(EBookmarkError::Reason::Unwritable, FailureMessage(what, error));
}

// The tree the scan built, less the links it could not read: a link without
// its address would be a changed bookmark, not the one the user has.
class TreeCopy {
public:
    TreeCopy(const std::set<std::string>& unreadable, std::vector<LeftOutPart>& leftOut)
        : unreadable_(unreadable), leftOut_(leftOut) {}

    BookmarkNode Folder(const TBookTree& folder) {
        BookmarkNode node = BookmarkNode::Folder(LastPathPart(folder.Path));
        for (int index = 0; index < folder.Count(); ++index) {
            const TBookTree* child = folder.Child(index);
            if (child->IsFolder()) {
                node.Children.push_back(Folder(*child));
            } else if (!unreadable_.contains(child->Path)) {
                std::optional<std::string> url = WholeUrl(*child);
                if (url) {
                    node.Children.push_back(BookmarkNode::Bookmark(
                        LinkNameOf(LastPathPart(child->Path)), std::move(*url)));
                }
            }
        }
        return node;
    }

private:
    // The scan reads no more of a URL than a link may have; a bookmark file
    // holds any, so a longer one is read again, whole.
    std::optional<std::string> WholeUrl(const TBookTree& link) {
        if (link.Text.size() <= kMaxUrlLength) {
            return link.Text;
        }
        try {
            return ShortcutUrlFromText(ReadShortcutText(link.Path));
        } catch (const EFileError&) {
            leftOut_.push_back({LeftOutPart::Kind::UnreadableLink, link.Path});
            return std::nullopt;
        }
    }

    const std::set<std::string>& unreadable_;
    std::vector<LeftOutPart>& leftOut_;
};

// Cuts at most to maxBytes without splitting a UTF-8 sequence; whether it
// cut.
bool CutName(std::string& name, std::size_t maxBytes) {
    if (name.size() <= maxBytes) {
        return false;
    }
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    name.resize(cut);
    return true;
}

// Writes one folder's entries into the existing directory path.
class FavoritesWriter {
public:
    WrittenCounts Counts;

    // location: the folder's path of names, for the list of renamed entries.
    void WriteFolder(const BookmarkNode& folder, const std::string& path,
                     const std::string& location) {
        std::map<std::string, int> nextAttempt;
        for (const BookmarkNode& child : folder.Children) {
            const EntryFileName name = FavoritesEntryName(child);
            if (name.MadeSafe) {
                Counts.Renamed.push_back(
                    {child.IsFolder(), location, child.Name, name.Name, name.Shortened});
            }
            if (child.IsFolder()) {
                const std::string directory = FreePath(path, name.Name, child, nextAttempt);
                try {
                    CreateDirectory(directory);
                } catch (const EFileError& error) {
                    throw EBookmarkError(EBookmarkError::Reason::Unwritable,
                                         "cannot create " + directory + ": " + error.Message());
                }
                ++Counts.Folders;
                WriteFolder(child, directory, AppendFolderName(location, child.Name));
            } else {
                const std::string file = FreePath(path, name.Name, child, nextAttempt);
                try {
                    CreateNewFile(file, NewShortcutText(ShortcutLineValue(child.Url)),
                                  FileSync::Batch);
                } catch (const EFileError& error) {
                    throw EBookmarkError(EBookmarkError::Reason::Unwritable, error.Message());
                }
                ++Counts.Bookmarks;
            }
        }
    }

private:
    // The first path for the entry that nothing on disk takes; the disk
    // decides, so names that differ in letter case alone get numbers where
    // the file system does not tell them apart.
    static std::string FreePath(const std::string& directory, const std::string& name,
                                const BookmarkNode& node, std::map<std::string, int>& nextAttempt) {
        const std::string fileName = node.IsFolder() ? name : LinkFileName(name);
        int& attempt = nextAttempt[fileName];
        for (attempt = std::max(attempt, 1); attempt <= kMaxNameAttempts; ++attempt) {
            const std::string path =
                JoinPath(directory, CollisionName(fileName, attempt, node.IsFolder()));
            if (!PathExists(path)) {
                return path;
            }
        }
        throw EBookmarkError(EBookmarkError::Reason::BadName,
                             "too many entries named \"" + name + "\" in " + directory);
    }
};

// A new directory beside target for the files until they are complete.
std::string MakeTemporarySibling(const std::string& target) {
    const std::string prefix = DirectoryWithSeparator(target) + "." + LastPathPart(target) +
                               kTemporaryInfix + std::to_string(::getpid()) + "-";
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string path = prefix + std::to_string(attempt);
        if (PathExists(path)) {
            continue;
        }
        try {
            CreateDirectory(path);
            return path;
        } catch (const EDirectoryExists&) {
            // Made by someone else since the look: the next name.
        } catch (const EFileError& error) {
            throw EBookmarkError(
                EBookmarkError::Reason::Unwritable,
                "cannot create a folder beside " + target + ": " + error.Message());
        }
    }
    ThrowWriteError("cannot create a folder beside " + target, EEXIST);
}

}  // namespace

BookmarkCollection ReadFavoritesDirectory(std::string directory) {
    directory = WithoutTrailingSeparators(directory);
    if (!DirectoryListing(directory).IsOpen()) {
        throw EBookmarkError(EBookmarkError::Reason::Unreadable,
                             directory + " cannot be read as a directory");
    }
    TBookTreePtr root(new TBookTree);
    BookmarkCollection collection;
    std::set<std::string> unreadable;
    for (ScanProblem& problem : ScanDirectory(directory, root.get(), UnreadableLinks::Collect)) {
        if (problem.What == ScanProblem::Kind::UnreadableLink) {
            unreadable.insert(problem.Path);
        }
        collection.LeftOut.push_back(LeftOutOf(std::move(problem)));
    }
    collection.Root = TreeCopy(unreadable, collection.LeftOut).Folder(*root);
    collection.Root.Name.clear();
    return collection;
}

EntryFileName FavoritesEntryName(const BookmarkNode& node) {
    const std::string& given = node.Name.empty() && !node.IsFolder() ? node.Url : node.Name;
    EntryFileName entry;
    std::string& name = entry.Name;
    name.reserve(given.size());
    for (const char character : given) {
        if (character == kPathSeparator) {
            name.push_back(kSeparatorStandIn);
        } else if (character == '\0') {
            continue;
        } else if (static_cast<unsigned char>(character) < 0x20 || character == 0x7f) {
            name.push_back(' ');
        } else {
            name.push_back(character);
        }
    }
    if (CutName(name, kMaxEntryNameBytes) && !node.Name.empty()) {
        entry.Shortened = true;
        entry.MadeSafe = true;
    }
    // No file can be called "", and no directory "." or ".."; a link's name
    // is followed by ".url", so "..." is the file "....url".
    if (name.empty() || (node.IsFolder() && (name == "." || name == ".."))) {
        name.insert(name.begin(), kSafeNamePrefix);
        entry.MadeSafe = true;
    }
    return entry;
}

WrittenCounts WriteFavoritesDirectory(const BookmarkNode& root, const std::string& target) {
    FavoritesWriter writer;
    std::string finalPath = WithoutTrailingSeparators(target);
    struct stat existing {};
    const bool exists = ::stat(finalPath.c_str(), &existing) == 0;
    if (exists) {
        const DirectoryListing listing(finalPath);
        if (!S_ISDIR(existing.st_mode) || !listing.IsOpen() || !listing.Entries().empty()) {
            throw EBookmarkError(EBookmarkError::Reason::TargetTaken,
                                 target + " exists and is not an empty directory");
        }
        // The empty directory is replaced where it really is, so that a
        // symbolic link naming it stays as it was.
        std::error_code error;
        finalPath = std::filesystem::canonical(finalPath, error).string();
        if (error) {
            ThrowWriteError("cannot resolve " + target, error.value());
        }
    } else if (PathExists(finalPath)) {
        throw EBookmarkError(EBookmarkError::Reason::TargetTaken,
                             target + " exists and is not an empty directory");
    }

    const std::string temporary = MakeTemporarySibling(finalPath);
    try {
        writer.WriteFolder(root, temporary, std::string());
        // One flush for all files before they appear under target's name: a
        // flush per file made a large collection take minutes.
        SyncFileSystemOf(temporary);
        if (exists) {
            // rename(2) replaces a directory only while it is empty, so
            // nothing that arrived there meanwhile can be lost.
            if (::chmod(temporary.c_str(), existing.st_mode & 07777) != 0 ||
                ::rename(temporary.c_str(), finalPath.c_str()) != 0) {
                if (errno == ENOTEMPTY || errno == EEXIST) {
                    throw EBookmarkError(EBookmarkError::Reason::TargetTaken,
                                         target + " is no longer empty");
                }
                ThrowWriteError("cannot write " + target, errno);
            }
        } else if (TryMovePath(temporary, finalPath) == MoveOutcome::TargetExists) {
            throw EBookmarkError(EBookmarkError::Reason::TargetTaken,
                                 target + " was created by someone else meanwhile");
        }
    } catch (const EFileError& error) {
        std::error_code ignored;
        std::filesystem::remove_all(temporary, ignored);
        throw EBookmarkError(EBookmarkError::Reason::Unwritable, error.Message());
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(temporary, ignored);
        throw;
    }
    return writer.Counts;
}

}  // namespace vornakle
