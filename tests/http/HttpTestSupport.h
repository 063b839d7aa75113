#pragma once

// Helpers of the HTTP client tests: scripted answers and URLs of the
// loopback servers.

#include "http/HttpClient.h"
#include "support/LoopbackServer.h"

#include <chrono>
#include <string>

namespace vornakle::testing {

// Long enough never to end a test that works; short enough that a client
// which waits for nothing fails instead of hanging.
constexpr std::int32_t kSafetyTimeOut = 10000;

// Reads the whole request header, answers reply, then records whatever else
// arrives until the client closes (so the request is recorded whole).
inline ServerScript Answer(std::string reply) {
    return ServerScript().ReadUntil("\r\n\r\n").Send(std::move(reply)).Hold();
}

// Reads the request header, answers reply and closes: the end of the body.
inline ServerScript AnswerAndClose(std::string reply) {
    return ServerScript().ReadUntil("\r\n\r\n").Send(std::move(reply));
}

inline std::string UrlOf(const LoopbackServer& server, const std::string& path = "/",
                         const std::string& host = "127.0.0.1") {
    return "http://" + host + ":" + std::to_string(server.Port()) + path;
}

// The request header a scripted server answered with: up to and including
// its empty line.
inline std::string RequestHeaderOf(const LoopbackServer& server, std::size_t connection = 0) {
    const std::string received = server.Received(connection);
    const std::size_t end = received.find("\r\n\r\n");
    return end == std::string::npos ? received : received.substr(0, end + 4);
}

// The default request lines that follow the Host line.
inline const std::string kAcceptLines =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
inline const std::string kContentTypeLine = "Content-type: application/x-www-form-urlencoded\r\n";

inline const std::string kEmptyOk = "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n";

// Settings of a test's client: its waits bounded by kSafetyTimeOut.
inline HttpClientSettings TestSettings(RequestRules rules = RequestRules::Classic,
                                       ConnectionReuse reuse = ConnectionReuse::CloseEach) {
    HttpClientSettings settings;
    settings.Rules = rules;
    settings.Reuse = reuse;
    settings.TimeOut = kSafetyTimeOut;
    return settings;
}

// A request of url with these header values.
inline HttpRequest RequestOf(const std::string& url, HttpMethod method = HttpMethod::Head,
                             const THeaderInfo& info = {}) {
    HttpRequest request;
    request.Method = method;
    request.Url = url;
    request.Info = info;
    return request;
}

// A client whose waits are bounded by kSafetyTimeOut, and that keeps its
// last reply for the test to look at.
class TestClient : public THttpClient {
public:
    explicit TestClient(RequestRules rules = RequestRules::Classic,
                        ConnectionReuse reuse = ConnectionReuse::CloseEach)
        : THttpClient(TestSettings(rules, reuse)) {}
    explicit TestClient(const HttpClientSettings& settings) : THttpClient(settings) {}

    HttpReply Send(const HttpRequest& request) {
        Last = Exchange(request);
        if (Last.Failure) {
            std::rethrow_exception(Last.Failure);
        }
        return Last;
    }
    HttpReply Head(const std::string& url) { return Send(RequestOf(url, HttpMethod::Head)); }
    HttpReply Get(const std::string& url) { return Send(RequestOf(url, HttpMethod::Get)); }

    HttpReply Last;
};

}  // namespace vornakle::testing
