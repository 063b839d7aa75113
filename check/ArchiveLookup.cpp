#include "check/ArchiveLookup.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>

#include "check/AddressParts.h"
#include "check/LinkCheck.h"
#include "http/HttpClient.h"
#include "http/UrlReference.h"
#include "http/UrlSplit.h"
#include "platform/UtcText.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

// Neither blanks nor control characters nor bytes above 127: a URL that
// could not add words or lines to a request or a file.
bool IsPrintableAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char character) { return character > ' ' && character < '\x7f'; });
}

// The archived reply's number, which the API gives as a string ("200");
// a number is read too.
std::optional<int> ArchivedStatus(const QJsonValue& value) {
    bool read = false;
    const int status = value.isDouble()   ? value.toInt(-1)
                       : value.isString() ? value.toString().toInt(&read)
                                          : -1;
    if (status < 0 || (value.isString() && !read)) {
        return std::nullopt;
    }
    return status;
}

ArchiveAnswer Failed(std::string detail) {
    return {ArchiveAnswer::Outcome::Failed, std::string(), std::move(detail)};
}

std::string_view EffectivePort(const AddressParts& parts) {
    return !parts.Port.empty()       ? std::string_view(parts.Port)
           : parts.Scheme == "https" ? std::string_view("443")
                                     : std::string_view("80");
}

// The service's path without its trailing slashes, below which the
// archive keeps its copies.
std::string BasePath(const AddressParts& service) {
    std::string path = service.Path;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// Whether copy (its scheme upgraded) lies on the service's origin: its
// scheme and port, its host or one below it, no user information.
bool OnServiceOrigin(const AddressParts& copy, const AddressParts& service) {
    const bool below = copy.Host.size() > service.Host.size() &&
                       copy.Host.compare(copy.Host.size() - service.Host.size(),
                                         service.Host.size(), service.Host) == 0 &&
                       copy.Host[copy.Host.size() - service.Host.size() - 1] == '.';
    return copy.UserInfo.empty() && copy.Scheme == service.Scheme &&
           (copy.Host == service.Host || below) && EffectivePort(copy) == EffectivePort(service);
}

// Whether copyUrl (no fragment) is the service's copy of url.
bool NamesAskedPage(const AddressParts& copy, const std::string& copyUrl,
                    const AddressParts& service, const std::string& url) {
    // "/web/20200101000000/http://example.com/page", the time perhaps with
    // a flag such as "id_": the original address follows it whole, its
    // query too, so it is read from the URL rather than from its parts.
    const std::string prefix = BasePath(service) + "/web/";
    const std::size_t pathStart = copyUrl.find_first_of("/?", copy.Scheme.size() + 3);
    const std::string pathAndQuery =
        pathStart == std::string::npos ? std::string() : copyUrl.substr(pathStart);
    if (pathAndQuery.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::size_t timeEnd = pathAndQuery.find('/', prefix.size());
    if (timeEnd == std::string::npos || timeEnd == prefix.size() ||
        pathAndQuery[prefix.size()] < '0' || pathAndQuery[prefix.size()] > '9') {
        return false;
    }
    const bool timeRead = std::all_of(
        pathAndQuery.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
        pathAndQuery.begin() + static_cast<std::ptrdiff_t>(timeEnd), [](char character) {
            return (character >= '0' && character <= '9') ||
                   (character >= 'a' && character <= 'z') || character == '_';
        });
    return timeRead && AddressKey(pathAndQuery.substr(timeEnd + 1)) == AddressKey(url);
}

}  // namespace

std::optional<std::string> ArchiveServiceProblem(const std::string& service) {
    const std::optional<AddressParts> parts = SplitAddress(service);
    if (!parts || !IsRequestableScheme(parts->Scheme, SecureScheme::Allowed)) {
        return "is no http or https address";
    }
    if (parts->Host.empty()) {
        return "names no host";
    }
    if (!parts->Query.empty() || service.find('#') != std::string::npos) {
        return "has a query or a fragment";
    }
    if (!IsPrintableAscii(service)) {
        return "holds blanks, control characters or bytes beyond ASCII";
    }
    return std::nullopt;
}

std::string ArchiveRequestUrl(const std::string& service, const std::string& url,
                              std::chrono::sys_seconds time) {
    std::string base = service;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    // The whole URL is one value of the query: its own "?", "&" and "="
    // encoded, bytes beyond ASCII too.
    const QByteArray page = QByteArray::fromStdString(WithoutFragment(url));
    return base + "/wayback/available?url=" + page.toPercentEncoding().toStdString() +
           "&timestamp=" + UtcText(time, "%Y%m%d%H%M%S");
}

ArchiveAnswer ParseArchiveReply(const std::string& body, const std::string& service,
                                const std::string& url) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return Failed("its reply is no JSON object" +
                      (error.error != QJsonParseError::NoError
                           ? " (" + error.errorString().toStdString() + ")"
                           : std::string()));
    }
    const QJsonValue snapshots = document.object().value("archived_snapshots");
    if (!snapshots.isObject()) {
        return Failed("its reply has no archived_snapshots");
    }
    const QJsonValue closest = snapshots.toObject().value("closest");
    if (closest.isUndefined() || closest.isNull()) {
        return {ArchiveAnswer::Outcome::NoSnapshot, std::string(), std::string()};
    }
    const QJsonObject snapshot = closest.toObject();
    const QJsonValue available = snapshot.value("available");
    const QJsonValue address = snapshot.value("url");
    const std::optional<int> status = ArchivedStatus(snapshot.value("status"));
    if (!closest.isObject() || !available.isBool() || !address.isString() || !status) {
        return Failed("its closest snapshot lacks available, url or status");
    }
    if (!available.toBool() || !IsSuccess(*status)) {
        return {ArchiveAnswer::Outcome::NoSnapshot, std::string(), std::string()};
    }
    std::string copy = WithoutFragment(address.toString().toStdString());
    std::optional<AddressParts> parts = SplitAddress(copy);
    if (!parts || !IsRequestableScheme(parts->Scheme, SecureScheme::Allowed) ||
        parts->Host.empty() || !IsPrintableAscii(copy)) {
        return Failed("its snapshot's url is no web address");
    }
    const std::optional<AddressParts> serviceParts = SplitAddress(service);
    if (!serviceParts) {
        return Failed("its snapshot is not on the archive's own origin");
    }
    if (parts->Scheme == "http" && serviceParts->Scheme == "https" && parts->Port != "80") {
        copy = "https" + copy.substr(copy.find(':'));
        parts->Scheme = "https";
    }
    // An archive that points elsewhere is not to be trusted with the next
    // link either; one whose copy is of another address (it keeps pages
    // under the address it took them from, which may differ in its scheme
    // or host) has none of this one.
    if (!OnServiceOrigin(*parts, *serviceParts)) {
        return Failed("its snapshot is not on the archive's own origin");
    }
    if (!NamesAskedPage(*parts, copy, *serviceParts, url)) {
        return {ArchiveAnswer::Outcome::NoSnapshot, std::string(),
                "its snapshot names another address than the one asked for"};
    }
    return {ArchiveAnswer::Outcome::Found, std::move(copy), std::string()};
}

ArchiveAnswer WithLinkFragment(ArchiveAnswer answer, const std::string& url) {
    const std::size_t hash = url.find('#');
    if (answer.Result == ArchiveAnswer::Outcome::Found && hash != std::string::npos) {
        answer.SnapshotUrl += url.substr(hash);
    }
    return answer;
}

ArchiveAnswer FailedLookUp(const CheckResult& failed) {
    return Failed(std::string(ReasonToken(failed.Reason)) +
                  (failed.Detail.empty() ? std::string() : ": " + failed.Detail));
}

std::unique_ptr<THttpClient> MakeArchiveClient(const CheckSettings& settings,
                                               const std::string& userAgent) {
    CheckSettings current = settings;
    current.Rules = CheckRules::Current;
    current.UserAgent = userAgent;
    return MakeCheckClient(current);
}

ArchiveAnswer LookUpSnapshot(THttpClient& client, const std::string& service,
                             const std::string& url, std::chrono::sys_seconds time,
                             std::int64_t deadlineMilliseconds) {
    // The reply is JSON, not a page the rot look would read: read whole
    // (within the client's own bound, above this one), so that a reply that
    // breaks off is a failure and never a cut one read as if it were all,
    // and one too long is told as such.
    static_assert(THttpClient::kMaxBodyBytes > kMaxArchiveReplyBytes);
    HttpReply reply;
    const CheckResult asked =
        GetPatiently(client, ArchiveRequestUrl(service, url, time), deadlineMilliseconds, reply);
    if (asked.Reason != FailureReason::None) {
        return FailedLookUp(asked);
    }
    if (!IsSuccess(reply.Number)) {
        return Failed("it answered " + std::to_string(reply.Number));
    }
    if (reply.Coding == BodyCoding::Unreadable) {
        return Failed("its reply's content coding could not be read");
    }
    if (reply.Body.size() > kMaxArchiveReplyBytes) {
        return Failed("its reply is too long for an availability reply (more than " +
                      std::to_string(kMaxArchiveReplyBytes / 1024) + " KiB)");
    }
    return ParseArchiveReply(reply.Body, service, url);
}

}  // namespace vornakle
