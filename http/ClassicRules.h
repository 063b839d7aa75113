#pragma once

#include "http/ClientRules.h"

namespace vornakle {

// The client's own rules: HTTP/1.0 requests with the component's header
// lines, one request per connection (RFC 1945), replies read strictly, 300
// to 302 followed for up to THttpClient::kMaxRedirects passes, the cookies of
// redirections kept for the rest of their transaction only, https refused
// through a proxy.
class ClassicRules : public ClientRules {
public:
    int MaxRedirects() const override;
    void SplitUrl(const THttpClient& client, std::string& url, std::string& host,
                  std::int32_t& port, std::string& path, std::string* userInfo) const override;
    std::string RedirectTarget(const THttpClient& client) const override;
    std::string RequestHost(const std::string& host) const override { return host; }
    void StartTransaction(THttpClient& client) override;
    void PreparePass(THttpClient& client, const std::string& userInfo) override;
    void ComposeRequest(THttpClient& client) const override;
    void ReadReplyHeader(THttpClient& client, std::string statusLine) override;
    bool FollowsRedirect(std::int16_t reply) const override;
    bool KeepsCookies(std::int16_t reply) const override;
    bool CookiesTellPassesApart() const override { return false; }
    bool FollowRedirection(THttpClient& client, const Redirection& redirection) const override;
};

}  // namespace vornakle
