#include "check/RotCheck.h"

#include <QElapsedTimer>

#include <algorithm>
#include <random>

#include "check/AccessRules.h"
#include "check/AddressParts.h"
#include "check/BotWalls.h"
#include "check/CheckDeadline.h"
#include "check/LinkCheck.h"
#include "check/PageLandmarks.h"
#include "check/SearchRedirect.h"
#include "http/BrowserRules.h"
#include "http/HttpClient.h"
#include "http/ReplyHeader.h"
#include "http/UrlReference.h"
#include "net/TransferSupport.h"
#include "platform/AsciiCase.h"
#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

// The value of the reply's Content-Type line, in lower case; empty when
// there is none.
std::string ContentTypeOf(const std::string& header) {
    return AsciiLowerCase(HeaderFieldValue(header, "Content-Type").value_or(std::string()));
}

// Error pages are HTML; an image, a PDF or a reply that says nothing of its
// type is not read.
bool IsHtml(const std::string& contentType) {
    return contentType.starts_with("text/html") || contentType.starts_with("application/xhtml+xml");
}

// A reply that announces an empty body has no page to read.
bool AnnouncesEmptyBody(const std::string& header) {
    const std::optional<std::string> length = HeaderFieldValue(header, "Content-Length");
    return length && !length->empty() && length->find_first_not_of('0') == std::string::npos;
}

// Whether the client's last reply is a 200 HTML page that shows nothing: no
// body, or blanks only. A 200 that names no type and brings nothing is an
// answer of a service (a beacon, a health check), not a page.
bool IsEmptyPage(const HttpReply& reply) {
    constexpr std::int32_t kOk = 200;
    return reply.Number == kOk && PageWorthReading(reply) &&
           (AnnouncesEmptyBody(reply.Header) ||
            reply.Body.find_first_not_of(" \t\r\n\f") == std::string::npos);
}

// A page sent as UTF-8 without saying so is read as UTF-8; the parser would
// otherwise take its bytes for Latin-1.
std::string PageEncoding(const std::string& body, const std::string& contentType) {
    if (contentType.find("charset") == std::string::npos && IsValidUtf8(body)) {
        return "UTF-8";
    }
    return std::string();
}

// The page of a reply, asked as url.
std::optional<PageSample> PageOfReply(const HttpReply& reply, const std::string& url) {
    // A body whose coding could not be undone is no page: a browser shows
    // an error there, and its bytes would be read as garbage.
    if (reply.RedirectEnd != RedirectOutcome::None || reply.Number <= 0 ||
        reply.Coding == BodyCoding::Unreadable) {
        return std::nullopt;
    }
    PageSample page;
    page.Status = reply.Number;
    page.Size = reply.Body.size();
    page.Url = url;
    page.FinalUrl = reply.Hops.empty() ? url : reply.Hops.back().Url;
    PageLandmarks landmarks =
        ReadPageLandmarks(reply.Body, PageEncoding(reply.Body, ContentTypeOf(reply.Header)));
    page.Title = std::move(landmarks.Title);
    page.Heading = std::move(landmarks.Heading);
    page.Text = std::move(landmarks.Text);
    page.Refresh = std::move(landmarks.Refresh);
    page.Script = std::move(landmarks.Script);
    return page;
}

// Reads the page at url, whatever its reply.
std::optional<PageSample> ReadPage(THttpClient& client, const std::string& url) {
    const HttpReply reply = client.Exchange({.Url = url, .BodyLimit = kRotPageBytes});
    if (reply.Failure) {
        return std::nullopt;
    }
    return PageOfReply(reply, url);
}

// A last path part no site has: random, so that no site can have made a page
// for it, and new in every run.
std::string MadeUpToken() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    constexpr int kDigits = 20;
    std::string token = "x";
    for (int index = 0; index < kDigits; ++index) {
        token += "0123456789abcdefghijklmnopqrstuvwxyz"[generator() % 36];
    }
    return token;
}

void MarkFound(CheckResult& result, Finding found, Clue clue) {
    result.Found = found;
    result.FoundBy = std::move(clue);
}

// A page of a challenge service stands in for the page asked for: the site
// keeps programs out, and nothing is known of the page. The check's own
// reply brought the page.
void LookForChallenge(const HttpReply& reply, CheckResult& result) {
    if (result.FinalUrl.empty()) {
        return;
    }
    // A wall a service's header line tells needs no page.
    const std::optional<PageSample> page =
        PageWorthReading(reply) ? PageOfReply(reply, result.FinalUrl) : std::nullopt;
    const std::string_view html = page ? std::string_view(reply.Body) : std::string_view();
    std::optional<Clue> clue =
        BotWallOfReply(result.Status.ReplyNumber(), reply.Header, page ? &*page : nullptr, html);
    if (!clue && page) {
        clue = ChallengeOfPage(page->Title, reply.Body);
    }
    if (clue) {
        result.Reason = FailureReason::None;
        result.Detail.clear();
        MarkFound(result, Finding::Blocked, std::move(*clue));
    }
}

// Whether a check's failure is one a person would see as well: its address
// is gone. A failure of the moment (a time-out, a broken connection) tells
// nothing about where a refresh leads.
bool IsLastingFailure(FailureReason reason) {
    switch (reason) {
        case FailureReason::Timeout:
        case FailureReason::Reset:
        case FailureReason::SocketError:
        case FailureReason::ConnectFailed:
        case FailureReason::Unreachable:
        case FailureReason::RateLimited:
        case FailureReason::Proxy:
        case FailureReason::Aborted:
        case FailureReason::Error:
            return false;
        default:
            return true;
    }
}

bool WasAsked(const std::vector<RequestHop>& hops, const std::string& url) {
    const std::string key = AddressKey(url);
    return std::any_of(hops.begin(), hops.end(),
                       [&key](const RequestHop& hop) { return AddressKey(hop.Url) == key; });
}

// Where a browser goes on its own from a 2xx reply, asked as pageUrl, and its page (when it was
// read): the reply's Refresh header, read as a refresh of the page is and taking its place as it
// comes first, else the page's refresh, else the address its only script sends to.
std::optional<std::string> NavigationTarget(const HttpReply& reply,
                                            const std::optional<PageSample>& page,
                                            const std::string& pageUrl) {
    if (const std::optional<std::string> header = HeaderFieldValue(reply.Header, "Refresh")) {
        if (std::optional<std::string> target = RefreshTarget(*header, pageUrl)) {
            return target;
        }
    }
    if (!page) {
        return std::nullopt;
    }
    if (std::optional<std::string> target = RefreshTarget(page->Refresh, page->FinalUrl)) {
        return target;
    }
    return ScriptTarget(page->Script, page->FinalUrl);
}

enum class RefreshOutcome { Followed, Ended };

// Follows a step a browser takes on its own to target, when there is one:
// the result becomes that of its target, with every hop, and reply its
// reply. Ended: the result is final (nothing to follow, or the target's
// check decided).
RefreshOutcome FollowRefresh(THttpClient& client, const std::optional<std::string>& target,
                             CheckResult& result, HttpReply& reply, const CheckSettings& settings,
                             std::int64_t remainingMilliseconds) {
    if (!target || !IsRequestableScheme(LinkScheme(*target), SecureScheme::Allowed) ||
        WasAsked(result.Hops, *target)) {
        return RefreshOutcome::Ended;
    }
    CheckResult next =
        CheckLink(client, *target, settings, remainingMilliseconds, HostBackOff(), &reply);
    if (next.Reason != FailureReason::None && !IsLastingFailure(next.Reason)) {
        return RefreshOutcome::Ended;
    }
    std::vector<RequestHop> hops = result.Hops;
    hops.insert(hops.end(), next.Hops.begin(), next.Hops.end());
    if (hops.size() > static_cast<std::size_t>(BrowserRules::kMaxRedirects) + 1) {
        next = CheckResult::Failed(FailureReason::TooManyRedirects,
                                   "more than " + std::to_string(BrowserRules::kMaxRedirects));
        next.FinalUrl = hops.back().Url;
    }
    next.Hops = std::move(hops);
    result = std::move(next);
    const bool alive = result.Reason == FailureReason::None && IsSuccess(result.Status) &&
                       result.Found == Finding::None;
    return alive ? RefreshOutcome::Followed : RefreshOutcome::Ended;
}

}  // namespace

bool PageWorthReading(const HttpReply& reply) {
    return (IsSuccess(reply.Number) || MayBeChallenge(reply.Number)) &&
           IsHtml(ContentTypeOf(reply.Header));
}

std::optional<PageSample> SitePages::SampleOf(const std::string& key, const TFetch& fetch) {
    return samples_.Get(key, fetch);
}

int SitePages::Fetched() const {
    return samples_.Fetched();
}

std::string SitePages::MadeUpKey(const std::string& url) {
    return "made-up " + MadeUpShape(url);
}

std::string SitePages::RootKey(const std::string& url) {
    return "root " + OriginKey(url);
}

void FindRot(THttpClient& client, const std::string& url, CheckResult& result, HttpReply& reply,
             SitePages& pages, const CheckSettings& settings, std::int64_t deadlineMilliseconds) {
    const bool answered =
        result.Reason == FailureReason::None || result.Reason == FailureReason::RateLimited;
    if (!answered || result.Found != Finding::None) {
        return;
    }
    if (MayBeChallenge(result.Status.ReplyNumber())) {
        LookForChallenge(reply, result);
        return;
    }
    if (result.Reason != FailureReason::None || !IsSuccess(result.Status)) {
        return;
    }

    const CheckDeadline deadline(client, deadlineMilliseconds);
    QElapsedTimer elapsed;
    elapsed.start();
    std::optional<PageSample> sample;
    bool empty = false;
    for (;;) {
        // The check's GET (and that of a refresh's target) read the page.
        empty = IsEmptyPage(reply);
        const std::string pageUrl = result.FinalUrl.empty() ? url : result.FinalUrl;
        if (PageWorthReading(reply) && !AnnouncesEmptyBody(reply.Header)) {
            sample = PageOfReply(reply, pageUrl);
        }
        if (sample && !IsSuccess(sample->Status)) {
            sample.reset();
            break;
        }
        const std::optional<std::string> target = NavigationTarget(reply, sample, pageUrl);
        if (!target) {
            break;
        }
        if (deadline.Expired()) {
            return;
        }
        const std::int64_t remaining =
            deadlineMilliseconds > 0
                ? std::max<std::int64_t>(1, deadlineMilliseconds - elapsed.elapsed())
                : 0;
        if (FollowRefresh(client, target, result, reply, settings, remaining) ==
            RefreshOutcome::Ended) {
            break;
        }
        sample.reset();
    }
    if (result.Reason != FailureReason::None || !IsSuccess(result.Status) ||
        result.Found != Finding::None) {
        return;
    }

    const std::string page = result.FinalUrl.empty() ? url : result.FinalUrl;
    LastPage lastPage = LastPage::ByAddress;
    if (sample && NeedsRootComparison(result.Hops)) {
        const std::optional<PageSample> root = pages.SampleOf(
            SitePages::RootKey(page), [&] { return ReadPage(client, RootOf(page)); });
        if (root && IsSuccess(root->Status) && SameAsRoot(*sample, *root)) {
            lastPage = LastPage::SameAsRoot;
        }
    }
    if (std::optional<Clue> search =
            SearchRedirectSuspicion(result.Hops, sample ? &*sample : nullptr)) {
        MarkFound(result, Finding::Suspect, std::move(*search));
        return;
    }
    auto [found, clue] = RotOfHops(result.Hops, lastPage);
    if (found == Finding::Suspect || found == Finding::Login) {
        MarkFound(result, found, std::move(clue));
        return;
    }
    // The page of a made-up address shaped like this one, asked once per
    // site and shape in a run: what the site serves for a page it lacks.
    const auto madeUpPage = [&]() -> std::optional<PageSample> {
        if (!IsDeepLink(page)) {
            return std::nullopt;
        }
        return pages.SampleOf(SitePages::MadeUpKey(page),
                              [&] { return ReadPage(client, MadeUpSibling(page, MadeUpToken())); });
    };
    std::optional<Clue> pageClue;
    if (sample) {
        pageClue = ParkedSuspicion(*sample);
        if (!pageClue) {
            pageClue = ErrorPageSuspicion(*sample);
        }
        if (!pageClue) {
            const std::optional<PageSample> madeUp = madeUpPage();
            if (madeUp) {
                pageClue = ErrorPageSuspicion(*sample, &*madeUp);
            }
            if (!pageClue && madeUp && SameAsMadeUp(*sample, *madeUp)) {
                pageClue = Clue{Signal::SameAsMadeUp, madeUp->Url};
            }
        }
    }
    if (!pageClue && empty) {
        if (const std::optional<PageSample> madeUp = madeUpPage()) {
            pageClue = EmptyPageSuspicion(*madeUp);
        }
    }
    if (pageClue) {
        MarkFound(result, Finding::Suspect, std::move(*pageClue));
        return;
    }
    if (found == Finding::Moved) {
        result.Found = Finding::Moved;
    }
}

}  // namespace vornakle
