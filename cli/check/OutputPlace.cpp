#include "cli/check/OutputPlace.h"

#include <sys/stat.h>

#include <exception>

#include "bookmarks/BrowserProfiles.h"
#include "cli/check/ResultFormat.h"
#include "history/CheckHistory.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace vornakle {

namespace {

// A file as the file system knows it: its device and inode when it is
// there, else its folder's and its name.
struct FileIdentity {
    bool Present = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    std::string Name;

    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        return FileIdentity{true, status.st_dev, status.st_ino, std::string()};
    }
    const std::string folder = DirectoryWithSeparator(path);
    if (::stat(folder.empty() ? "." : folder.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{false, status.st_dev, status.st_ino, LastPathPart(path)};
}

// Whether the folder the output is or goes into lies in directory or below
// it: its real path walked up to the root, each step compared by identity.
bool InsideDirectory(const std::string& output, const FileIdentity& directory) {
    std::string real = RealPath(output);
    if (real.empty()) {
        real =
            RealPath(DirectoryWithSeparator(output).empty() ? "." : DirectoryWithSeparator(output));
    }
    while (!real.empty()) {
        const std::optional<FileIdentity> step = IdentityOf(real);
        if (step && step->Present && *step == directory) {
            return true;
        }
        const std::size_t slash = real.find_last_of(kPathSeparator);
        if (slash == std::string::npos || real == "/") {
            break;
        }
        real = slash == 0 ? "/" : real.substr(0, slash);
    }
    return false;
}

}  // namespace

std::optional<std::string> OutputOverInput(const std::string& output, const std::string& source,
                                           const std::string& history) {
    const std::optional<FileIdentity> target = IdentityOf(output);
    if (!target) {
        return std::nullopt;
    }
    const std::string shown = "--output " + DisplayUtf8(output);
    if (!history.empty() && IdentityOf(history) == target) {
        return shown + " is the history of checks, which the report would replace";
    }
    if (source.empty()) {
        return std::nullopt;
    }
    const std::optional<FileIdentity> from = IdentityOf(source);
    if (from == target) {
        return shown + " is the source, which the report would replace";
    }
    if (from && from->Present && DirectoryExists(source) && InsideDirectory(output, *from)) {
        return shown + " lies in the source " + DisplayUtf8(source) +
               ", whose files the report would replace or join";
    }
    return std::nullopt;
}

std::optional<std::string> OutputOverInput(const CheckCommand& command) {
    if (command.OutputFile.empty()) {
        return std::nullopt;
    }
    const std::string history = !command.KeepsHistory() ? std::string()
                                : command.History == CheckCommand::HistoryUse::File
                                    ? command.HistoryFile
                                    : DefaultHistoryPath();
    std::string source = command.Source;
    if (command.FromBrowser) {
        try {
            source = LocateBrowserBookmarks(*command.FromBrowser, UserFoldersFromEnvironment());
        } catch (const std::exception&) {
            // No bookmarks to replace: the run says so when it reads them.
        }
    }
    return OutputOverInput(command.OutputFile, source, history);
}

}  // namespace vornakle
