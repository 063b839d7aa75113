#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/CheckSettings.h"
#include "check/LinkFilter.h"

namespace vornakle {

class CheckSession;
class LinkChanges;
class TBookTree;

// Checks links for the lists of both windows, always through the check
// session (no archived copies): under classic rules with one job, one
// link after another in the order given, each link checked even when another names the same
// address; under current rules many at once, leaving out the links the filter excludes (they keep
// what they had) and filing a link from the history where MaxAge lets it. Each result is filed on
// its node (status and verdict) and every list showing the node follows (LinkChanges); a check that
// was stopped leaves its link as it was. One check runs at a time, on the engine's workers; the
// caller waits for it in an event loop of its own, so busy mode, "&Cancel", the close box and a
// modal window opened meanwhile work as ever, and the time the user spends in such a window never
// counts against a server.
class LinkTester {
public:
    LinkTester(CheckSettings settings, LinkChanges& changes);
    ~LinkTester();
    LinkTester(const LinkTester&) = delete;
    LinkTester& operator=(const LinkTester&) = delete;

    // Checks the nodes' links and returns when every result is filed or the
    // check was stopped (Abort); filed runs after each result is filed on
    // its node. Does nothing while another check runs. Under current rules
    // the checks join the history of checks (KeepHistoryIn): one that
    // cannot be used throws Exception (a German message) before any request,
    // one that fails while written after every status is filed.
    void Test(const std::vector<TBookTree*>& nodes,
              const std::function<void(TBookTree*)>& filed = {});
    // A check is waiting for the network: its first request is under way.
    bool Running() const { return underWay_; }
    // Ends the check under way at once: every request ends now, no further
    // one starts, and Test returns.
    void Abort();

    const CheckSettings& Settings() const { return settings_; }
    // How long a check waits for a lookup, a connect or the next data.
    void SetTimeOut(int milliseconds) { settings_.TimeOutMilliseconds = milliseconds; }
    // The history of checks the checks under current rules join; empty: none.
    void KeepHistoryIn(std::string path) { historyPath_ = std::move(path); }
    // Under current rules: the links the checks leave out, and how old a
    // fine result of the history may be to be filed instead of a check
    // (its reason cached); none: every link is asked.
    void SetFilter(LinkFilter filter) { filter_ = std::move(filter); }
    void SetMaxAge(std::optional<std::chrono::seconds> maxAge) { maxAge_ = maxAge; }

private:
    CheckSettings settings_;
    LinkChanges& changes_;
    std::string historyPath_;
    LinkFilter filter_;
    std::optional<std::chrono::seconds> maxAge_;
    // The running check; null when none runs.
    CheckSession* session_ = nullptr;
    bool underWay_ = false;
};

}  // namespace vornakle
