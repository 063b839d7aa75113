#include "check/RotCheck.h"

#include <algorithm>
#include <random>

#include "check/AddressParts.h"
#include "check/CheckDeadline.h"
#include "check/PageLandmarks.h"
#include "http/HttpClient.h"
#include "net/TransferSupport.h"
#include "platform/TextDecoding.h"

namespace vornakle {

namespace {

std::string LowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char character) {
        return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                    : character;
    });
    return text;
}

// The value of the reply's Content-Type line, in lower case; empty when
// there is none.
std::string ContentTypeOf(const std::string& header) {
    const std::string lower = LowerAscii(header);
    constexpr std::string_view kName = "\ncontent-type:";
    const std::size_t found = lower.find(kName);
    if (found == std::string::npos) {
        return std::string();
    }
    const std::size_t start = lower.find_first_not_of(" \t", found + kName.size());
    if (start == std::string::npos) {
        return std::string();
    }
    return lower.substr(start, lower.find_first_of("\r\n", start) - start);
}

// Error pages are HTML; an image, a PDF or a reply that says nothing of its
// type is not read.
bool IsHtml(const std::string& contentType) {
    return contentType.starts_with("text/html") || contentType.starts_with("application/xhtml+xml");
}

// A reply that announces an empty body has no page to read.
bool AnnouncesEmptyBody(const std::string& header) {
    const std::string lower = LowerAscii(header);
    constexpr std::string_view kName = "\ncontent-length:";
    const std::size_t found = lower.find(kName);
    if (found == std::string::npos) {
        return false;
    }
    const std::size_t start = lower.find_first_not_of(" \t", found + kName.size());
    return start != std::string::npos && lower[start] == '0' &&
           (start + 1 == lower.size() || lower[start + 1] < '0' || lower[start + 1] > '9');
}

// A page sent as UTF-8 without saying so is read as UTF-8; the parser would
// otherwise take its bytes for Latin-1.
std::string PageEncoding(const std::string& body, const std::string& contentType) {
    if (contentType.find("charset") == std::string::npos && IsValidUtf8(body)) {
        return "UTF-8";
    }
    return std::string();
}

std::optional<PageSample> ReadPage(THttpClient& client, const std::string& url) {
    const std::size_t previousLimit = client.BodyReadLimit;
    const bool previousHeaderOnly = client.HeaderOnly;
    client.BodyReadLimit = kRotPageBytes;
    client.HeaderOnly = false;
    ScopeExit restore([&client, previousLimit, previousHeaderOnly] {
        client.BodyReadLimit = previousLimit;
        client.HeaderOnly = previousHeaderOnly;
    });
    try {
        client.Get(url);
    } catch (...) {
        return std::nullopt;
    }
    if (client.RedirectEnd != THttpClient::RedirectOutcome::None || client.ReplyNumber <= 0) {
        return std::nullopt;
    }
    PageSample page;
    page.Status = client.ReplyNumber;
    page.Size = client.Body.size();
    page.Url = url;
    const PageLandmarks landmarks =
        ReadPageLandmarks(client.Body, PageEncoding(client.Body, ContentTypeOf(client.Header)));
    page.Title = landmarks.Title;
    page.Heading = landmarks.Heading;
    return page;
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

bool IsSuccess(std::int32_t status) {
    constexpr std::int32_t kFirstSuccess = 200;
    constexpr std::int32_t kFirstRedirect = 300;
    return status >= kFirstSuccess && status < kFirstRedirect;
}

void MarkSuspect(CheckResult& result, std::string reason) {
    result.Rot = RotClass::Suspect;
    result.RotReason = std::move(reason);
}

}  // namespace

std::optional<PageSample> MadeUpPages::SampleOf(const std::string& hostKey, const TFetch& fetch) {
    std::unique_lock lock(mutex_);
    const auto [entry, added] = entries_.try_emplace(hostKey);
    if (!added) {
        changed_.wait(lock, [&] { return entry->second.Done; });
        return entry->second.Sample;
    }
    ++fetched_;
    lock.unlock();
    std::optional<PageSample> sample;
    {
        // Whatever happens the waiting checks go on.
        ScopeExit publish([&] {
            const std::lock_guard relock(mutex_);
            entry->second.Sample = sample;
            entry->second.Done = true;
            changed_.notify_all();
        });
        sample = fetch();
    }
    return sample;
}

int MadeUpPages::Fetched() const {
    const std::lock_guard lock(mutex_);
    return fetched_;
}

void FindRot(THttpClient& client, const std::string& url, CheckResult& result,
             MadeUpPages& madeUpPages, std::int64_t deadlineMilliseconds) {
    if (result.Reason != FailureReason::None || !IsSuccess(result.Status)) {
        return;
    }
    auto [rot, reason] = RotOfHops(result.Hops);
    if (rot == RotClass::Suspect) {
        MarkSuspect(result, std::move(reason));
        return;
    }
    const bool moved = rot == RotClass::Moved;
    const ScopeExit settle([&result, moved] {
        if (moved && result.Rot == RotClass::None) {
            result.Rot = RotClass::Moved;
        }
    });
    if (!IsHtml(ContentTypeOf(client.Header)) || AnnouncesEmptyBody(client.Header)) {
        return;
    }

    const CheckDeadline deadline(client, deadlineMilliseconds);

    const std::string page = result.FinalUrl.empty() ? url : result.FinalUrl;
    const std::optional<PageSample> sample = ReadPage(client, page);
    if (!sample || !IsSuccess(sample->Status)) {
        return;
    }
    if (std::optional<std::string> error = ErrorPageSuspicion(*sample)) {
        MarkSuspect(result, std::move(*error));
        return;
    }
    if (!IsDeepLink(page)) {
        return;
    }
    const std::optional<PageSample> madeUp = madeUpPages.SampleOf(
        OriginKey(page), [&] { return ReadPage(client, MadeUpSibling(page, MadeUpToken())); });
    if (madeUp && SameAsMadeUp(*sample, *madeUp)) {
        MarkSuspect(result, std::string(kMadeUpSignal) + ": " + madeUp->Url);
    }
}

}  // namespace vornakle
