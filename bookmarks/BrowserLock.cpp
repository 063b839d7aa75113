#include "bookmarks/BrowserLock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>

#include "bookmarks/BookmarkError.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace vornakle {

namespace {

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string LinkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

bool ProcessLives(const std::string& digits) {
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

bool FirefoxHolds(const std::string& profile) {
    const UniqueFd lock(::open(JoinPath(profile, ".parentlock").c_str(), O_RDONLY | O_CLOEXEC));
    if (lock.IsValid()) {
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        return ::fcntl(lock.Get(), F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    }
    // Without the lock file only the link can tell: "IP:+PID" of a live
    // process.
    const std::string target = LinkTarget(JoinPath(profile, "lock"));
    const std::size_t plus = target.rfind('+');
    return plus != std::string::npos && ProcessLives(target.substr(plus + 1));
}

bool ChromiumHolds(const std::string& userData) {
    const std::string target = LinkTarget(JoinPath(userData, "SingletonLock"));
    const std::size_t dash = target.rfind('-');
    if (dash == std::string::npos) {
        return false;
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || target.substr(0, dash) != host) {
        return true;
    }
    return ProcessLives(target.substr(dash + 1));
}

}  // namespace

std::optional<std::string> BrowserHolding(const std::string& path, StoreKind kind) {
    const std::string folder = ParentOf(path);
    switch (kind) {
        case StoreKind::FirefoxPlaces:
            if (FirefoxHolds(folder)) {
                return std::string("Firefox");
            }
            break;
        case StoreKind::ChromiumBookmarks:
            // The profile's folder, then the user-data folder above it.
            if (ChromiumHolds(folder) || ChromiumHolds(ParentOf(folder))) {
                return std::string("Chromium (or Chrome)");
            }
            break;
    }
    return std::nullopt;
}

void RefuseWhileBrowserRuns(const std::string& path, StoreKind kind) {
    if (const std::optional<std::string> browser = BrowserHolding(path, kind)) {
        throw EBookmarkError(EBookmarkError::Reason::InUse,
                             *browser + " has the profile of " + path +
                                 " open and would undo or lose the changes; close " + *browser +
                                 " and run again (nothing was changed)");
    }
}

}  // namespace vornakle
