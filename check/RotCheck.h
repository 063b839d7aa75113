#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "check/CheckResult.h"
#include "check/RotRules.h"

namespace vornakle {

class THttpClient;

// The page each origin (OriginKey: scheme, host, port) serves for a made-up
// address, asked once per origin in a run and shared by the engine's workers: the first check that
// needs a host's sample fetches it, later ones (on any thread) wait for it and reuse it.
class MadeUpPages {
public:
    using TFetch = std::function<std::optional<PageSample>()>;

    // The sample of origin; fetch runs when no check has asked for it yet.
    std::optional<PageSample> SampleOf(const std::string& origin, const TFetch& fetch);
    // How many samples were fetched.
    int Fetched() const;

private:
    struct Entry {
        bool Done = false;
        std::optional<PageSample> Sample;
    };
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Entry> entries_;
    int fetched_ = 0;
};

// What a current check adds to a 2xx result whose reply number alone says
// nothing more: RotClass::Suspect with its signal when its redirections
// ended on the front page or a sign-in page of a deep link's site, or when
// its page (an HTML reply that is not announced empty, read up to
// kRotPageBytes by a GET) says it is an
// error page or is what the site serves for a made-up address next to it;
// else RotClass::Moved when it came through permanent redirections only.
// Anything that fails while looking leaves the result as it was: rot is a
// finding, never a failure. With a deadline above 0 the looking ends after
// that many milliseconds. Runs on the client's thread.
void FindRot(THttpClient& client, const std::string& url, CheckResult& result,
             MadeUpPages& madeUpPages, std::int64_t deadlineMilliseconds = 0);

}  // namespace vornakle
