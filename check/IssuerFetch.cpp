#include "check/IssuerFetch.h"

#include "check/CheckDeadline.h"
#include "http/HttpClient.h"

namespace vornakle {

std::optional<std::string> FetchedIssuers::BodyOf(const std::string& url, const TFetch& fetch) {
    return bodies_.Get(url, fetch);
}

namespace {

constexpr std::int16_t kOk = 200;

// The fetching client of one check client, on that client's thread.
class IssuerClient {
public:
    IssuerClient(const CheckSettings& settings, std::shared_ptr<FetchedIssuers> issuers)
        : settings_(settings), issuers_(std::move(issuers)) {}

    std::optional<std::string> BodyOf(const std::string& url) {
        return issuers_->BodyOf(url, [&] { return Fetch(url); });
    }

private:
    std::optional<std::string> Fetch(const std::string& url) {
        try {
            if (client_ == nullptr) {
                client_ = Made();
            }
            const CheckDeadline deadline(*client_, settings_.TimeOutMilliseconds);
            // One byte past the bound tells a body over it.
            HttpReply reply = client_->Send({.Url = url, .BodyLimit = kMaxIssuerBytes + 1});
            if (reply.Number != kOk || reply.Body.size() > kMaxIssuerBytes) {
                return std::nullopt;
            }
            return std::move(reply.Body);
        } catch (const Exception&) {
            // No certificate: the chain stays as the server sent it.
            return std::nullopt;
        }
    }

    std::unique_ptr<THttpClient> Made() const {
        // Closed after each fetch: a worker keeps a descriptor for its
        // check's connection only.
        HttpClientSettings client;
        client.Rules = RequestRules::Browser;
        client.Reuse = ConnectionReuse::CloseEach;
        client.TimeOut = settings_.TimeOutMilliseconds;
        client.UserAgent = settings_.UserAgent;
        client.Proxies = settings_.Proxies ? *settings_.Proxies : ProxyRulesFromEnvironment();
        // The run's extra header lines stay with the sites checked: they
        // may carry credentials. An https address is not asked (AllowHttps
        // stays off): its own chain would need verifying, and authorities
        // name http ones (RFC 5280 section 4.2.2.1).
        return std::make_unique<THttpClient>(std::move(client));
    }

    CheckSettings settings_;
    std::shared_ptr<FetchedIssuers> issuers_;
    std::unique_ptr<THttpClient> client_;
};

}  // namespace

IssuerFetch IssuerFetchOf(const CheckSettings& settings, std::shared_ptr<FetchedIssuers> issuers) {
    auto client = std::make_shared<IssuerClient>(settings, std::move(issuers));
    return [client](const std::string& url) { return client->BodyOf(url); };
}

}  // namespace vornakle
