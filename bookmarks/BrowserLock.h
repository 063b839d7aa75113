#pragma once

#include <optional>
#include <string>

namespace vornakle {

enum class StoreKind { FirefoxPlaces, ChromiumBookmarks };

// The browser that has the profile of the store at path open, by the locks
// it holds there: Firefox a POSIX lock on the profile's ".parentlock"
// (its "lock" link outlives every quit and proves nothing alone), Chromium
// the "SingletonLock" link "HOST-PID" in its user-data folder, which names a
// live process of this host (a link left by a crash names a dead one; one
// of another host is taken as running, since it cannot be told). The
// browser's name for a message, or nothing.
std::optional<std::string> BrowserHolding(const std::string& path, StoreKind kind);

// Throws EBookmarkError (InUse) saying which browser to close when
// BrowserHolding names one.
void RefuseWhileBrowserRuns(const std::string& path, StoreKind kind);

}  // namespace vornakle
