#pragma once

#include "http/ClientRules.h"

namespace vornakle {

// The client's own rules: HTTP/1.0 requests with the component's header
// lines, one request per connection (RFC 1945), replies read strictly, 300
// to 302 followed for up to kMaxRedirects passes, the cookies of
// redirections kept for the rest of their transaction only, https refused
// through a proxy.
class ClassicRules : public ClientRules {
public:
    // Passes of one transaction beyond the first: two URLs that redirect to
    // each other, or a chain of redirections, end after this many with the
    // last reply's number (RFC 7231 section 6.4 asks clients to detect such
    // cycles).
    static constexpr int kMaxRedirects = 10;

    using ClientRules::ClientRules;

    int MaxRedirects() const override { return kMaxRedirects; }
    HttpPass SplitUrl(const std::string& url, const HttpPass& previous,
                      UrlSource source) const override;
    std::string RedirectTarget(const HttpPass& pass, const std::string& location) const override;
    bool StartTransaction() override { return true; }
    void PreparePass(HttpPass& pass) override;
    TExStringList ComposeRequest(const HttpRequest& request, const HttpPass& pass,
                                 const std::string& cookies) const override;
    ReplyHead ReadReplyHeader(TTcpSocket& socket, std::string statusLine,
                              HttpMethod method) const override;
    bool FollowsRedirect(std::int16_t reply) const override;
    bool KeepsCookies(std::int16_t reply) const override;
    bool CookiesTellPassesApart() const override { return false; }
    std::optional<RedirectOutcome> EndOfRedirection(const ReplyHead& reply,
                                                    const Redirection& redirection) const override;
};

}  // namespace vornakle
