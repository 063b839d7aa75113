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

ArchiveAnswer ParseArchiveReply(const std::string& body, const std::string& service) {
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
    std::string url = address.toString().toStdString();
    const std::optional<AddressParts> parts = SplitAddress(url);
    if (!parts || !IsRequestableScheme(parts->Scheme, SecureScheme::Allowed) ||
        parts->Host.empty() || !IsPrintableAscii(url)) {
        return Failed("its snapshot's url is no web address");
    }
    const std::optional<AddressParts> serviceParts = SplitAddress(service);
    if (parts->Scheme == "http" && serviceParts && serviceParts->Scheme == "https") {
        url = "https" + url.substr(url.find(':'));
    }
    return {ArchiveAnswer::Outcome::Found, std::move(url), std::string()};
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
    std::unique_ptr<THttpClient> client = MakeCheckClient(current);
    // The reply is JSON, not a page the rot look would read.
    client->BodyWanted = nullptr;
    client->BodyReadLimit = kMaxArchiveReplyBytes;
    return client;
}

ArchiveAnswer LookUpSnapshot(THttpClient& client, const std::string& service,
                             const std::string& url, std::chrono::sys_seconds time,
                             std::int64_t deadlineMilliseconds) {
    const CheckResult asked =
        GetPatiently(client, ArchiveRequestUrl(service, url, time), deadlineMilliseconds);
    if (asked.Reason != FailureReason::None) {
        return FailedLookUp(asked);
    }
    if (!IsSuccess(client.ReplyNumber)) {
        return Failed("it answered " + std::to_string(client.ReplyNumber));
    }
    if (client.BodyDecoding == THttpClient::BodyCoding::Unreadable) {
        return Failed("its reply's content coding could not be read");
    }
    return ParseArchiveReply(client.Body, service);
}

}  // namespace vornakle
