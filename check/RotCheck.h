#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "check/CheckResult.h"
#include "check/CheckSettings.h"
#include "check/FetchedOnce.h"
#include "check/RotRules.h"

namespace vornakle {

class THttpClient;
struct HttpReply;

// Pages a site serves whatever link is checked: for a made-up address next
// to a deep link, and at its root. Each is asked once per key in a run
// (MadeUpKey: the site and the shape of the link, MadeUpShape; RootKey: the
// origin, scheme, host and port) and
// shared by the engine's workers: the first check that needs a page fetches
// it, later ones (on any thread) wait for it and reuse it.
class SitePages {
public:
    using TFetch = std::function<std::optional<PageSample>()>;

    // The sample under key; fetch runs when no check has asked for it yet.
    std::optional<PageSample> SampleOf(const std::string& key, const TFetch& fetch);
    // How many samples were fetched.
    int Fetched() const;

    static std::string MadeUpKey(const std::string& url);
    static std::string RootKey(const std::string& url);

private:
    FetchedOnce<PageSample> samples_;
};

// Whether a current check keeps the body of a reply whose header is in: a page the rot look reads,
// that is an HTML page of a 2xx reply or of a reply that may be a robot challenge (MayBeChallenge).
bool PageWorthReading(const HttpReply& reply);

// What a current check adds to a result by reading pages. A 403, 429 or 503
// that is a CDN's, bot manager's or firewall's wall (BotWallOfReply) or
// whose page is a robot challenge is Blocked. A 2xx HTML page (a reply that
// is not announced empty, read up to kRotPageBytes by a GET) whose refresh
// sends a browser on within kMaxRefreshSeconds is followed as a
// redirection, checked as settings say, and counted among the
// BrowserRules::kMaxRedirects. Then a 2xx result is Suspect with its signal when
// its redirections say so (RedirectSuspicion; whether the final page is the
// one the site's root serves is asked of the root, once per origin; its
// site's search, SearchRedirectSuspicion), Login when they end on a sign-in
// page that leads back to it, or its page offers its domain for sale, says
// it is an error page (ErrorPageSuspicion, error words beside others
// weighed against the made-up page), is what the site serves for a made-up
// address shaped like it, or is an empty HTML page where that address gets
// a 404; else Moved when it came through permanent redirections only.
// Anything that fails while looking leaves the result as it was: rot is a
// finding, never a failure. With a deadline above 0 the looking ends after
// that many milliseconds. Runs on the client's thread.
// reply is the check's last reply (CheckLink's lastReply); a refresh
// followed puts its target's there.
void FindRot(THttpClient& client, const std::string& url, CheckResult& result, HttpReply& reply,
             SitePages& pages, const CheckSettings& settings,
             std::int64_t deadlineMilliseconds = 0);

}  // namespace vornakle
