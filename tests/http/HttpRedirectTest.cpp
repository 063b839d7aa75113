// Redirections: where the next pass goes, when the repetition ends, and
// which cookies travel with it.

#include "http/ClassicRules.h"
#include "http/HttpClient.h"

#include "tests/http/HttpTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornakle::testing {
namespace {

std::string Redirect(int number, const std::string& location,
                     const std::string& extraLines = std::string()) {
    return "HTTP/1.0 " + std::to_string(number) + " Moved\r\nLocation: " + location + "\r\n" +
           extraLines + "Content-Length: 0\r\n\r\n";
}

// The first line of the request that connection number index received.
std::string RequestLineOf(const LoopbackServer& server, std::size_t index) {
    const std::string received = server.Received(index);
    return received.substr(0, received.find("\r\n"));
}

TEST(HttpRedirect, FullUrlIsRequestedExactlyWithItsHostLine) {
    LoopbackServer target(Answer(kEmptyOk));
    const std::string location = UrlOf(target, "/new/place.html", "localhost");
    LoopbackServer origin(Answer(Redirect(301, location)));
    TestClient client;
    client.Head(UrlOf(origin, "/old"));
    EXPECT_EQ(client.Last.Number, 200);
    EXPECT_EQ(client.CurrentPass().Url, location);
    ASSERT_TRUE(target.WaitForFinished(1));
    EXPECT_EQ(target.Received(0), "HEAD /new/place.html HTTP/1.0\r\nHost: localhost\r\n" +
                                      kAcceptLines + kContentTypeLine + "\r\n");
}

TEST(HttpRedirect, PathKeepsHostAndPortAndOnlyTheLastReplyFiresAnOutcome) {
    LoopbackServer server(
        std::vector<ServerScript>{Answer(Redirect(302, "/second?x=1")), Answer(kEmptyOk)});
    TestClient client;
    std::vector<std::string> events;
    client.OnRedirect = [&](bool&) { events.push_back("redirect"); };
    client.OnSuccess = [&](HttpMethod) { events.push_back("success"); };
    client.OnFailure = [&](HttpMethod) { events.push_back("failure"); };
    client.Head(UrlOf(server, "/first"));
    EXPECT_EQ(client.Last.Number, 200);
    EXPECT_EQ(events, (std::vector<std::string>{"redirect", "success"}));
    ASSERT_TRUE(server.WaitForFinished(2));
    EXPECT_EQ(RequestLineOf(server, 1), "HEAD /second?x=1 HTTP/1.0");
    EXPECT_NE(server.Received(1).find("\r\nHost: 127.0.0.1\r\n"), std::string::npos);
}

// A relative Location means a place relative to the URL of the reply that
// carried it (RFC 3986 section 5.2 under classic rules, the URL Standard
// under browser rules), on that reply's host and port; blanks around it
// are no part of it, and blanks inside are encoded in the line.
TEST(HttpRedirect, RelativeLocationIsResolvedAgainstTheUrlOfItsReply) {
    const struct {
        std::string location;
        std::string classic;
        std::string browser;
    } cases[] = {
        {"page.html", "/dir/page.html", "/dir/page.html"},
        {"sub/page", "/dir/sub/page", "/dir/sub/page"},
        {"../ok", "/ok", "/ok"},
        {"?q=1", "/dir/index.html?q=1", "/dir/index.html?q=1"},
        {"/root", "/root", "/root"},
        {"  /trimmed \t", "/trimmed", "/trimmed"},
        {"/a b", "/a%20b", "/a%20b"},
        {"\\back\\slash", "/dir/\\back\\slash", "/back/slash"},
        {"/a/./b/%2e%2E/c", "/a/b/%2e%2E/c", "/a/c"},
        {"../../../up?\"x\"", "/up?\"x\"", "/up?%22x%22"},
    };
    for (const auto& test : cases) {
        for (const RequestRules rules : {RequestRules::Classic, RequestRules::Browser}) {
            SCOPED_TRACE(test.location);
            LoopbackServer server(
                std::vector<ServerScript>{Answer(Redirect(302, test.location)), Answer(kEmptyOk)});
            TestClient client(rules);
            client.Head(UrlOf(server, "/dir/index.html"));
            EXPECT_EQ(client.Last.Number, 200);
            EXPECT_EQ(client.Last.RedirectEnd, RedirectOutcome::None);
            ASSERT_TRUE(server.WaitForFinished(2));
            EXPECT_EQ(RequestLineOf(server, 1), rules == RequestRules::Classic
                                                    ? "HEAD " + test.classic + " HTTP/1.0"
                                                    : "HEAD " + test.browser + " HTTP/1.1");
        }
    }
}

TEST(HttpRedirect, HandledRedirectEndsWithThatReplyAndItsBody) {
    LoopbackServer target(Answer(kEmptyOk));
    LoopbackServer origin(
        AnswerAndClose("HTTP/1.0 302 Found\r\nLocation: " + UrlOf(target) + "\r\n\r\nmoved"));
    TestClient client;
    int redirects = 0;
    client.OnRedirect = [&](bool& handled) {
        EXPECT_FALSE(handled);
        ++redirects;
        handled = true;
    };
    client.Get(UrlOf(origin));
    EXPECT_EQ(redirects, 1);
    EXPECT_EQ(client.Last.Number, 302);
    EXPECT_EQ(client.Last.Body, "moved");
    EXPECT_EQ(target.ConnectionsAccepted(), 0);
}

struct EndingCase {
    std::string reply;
    std::int16_t replyNumber;
    RedirectOutcome end;
};

TEST(HttpRedirect, RepliesThatDoNotRedirectEndTheTransaction) {
    const EndingCase cases[] = {
        {Redirect(299, "/elsewhere"), 299, RedirectOutcome::None},
        {Redirect(303, "/elsewhere"), 303, RedirectOutcome::None},
        {Redirect(307, "/elsewhere"), 307, RedirectOutcome::None},
        {Redirect(399, "/elsewhere"), 399, RedirectOutcome::None},
        // No Location: nothing to follow, and no "Empty URL" either; the
        // transaction says that it led nowhere.
        {"HTTP/1.0 302 Found\r\nContent-Length: 0\r\n\r\n", 302, RedirectOutcome::NoLocation},
        {"HTTP/1.0 301 Moved\r\nLocation:/p\r\nContent-Length: 0\r\n\r\n", 301,
         RedirectOutcome::NoLocation},
    };
    for (const EndingCase& test : cases) {
        SCOPED_TRACE(test.reply);
        LoopbackServer server(Answer(test.reply));
        TestClient client;
        const std::string url = UrlOf(server, "/start");
        client.Head(url);
        EXPECT_EQ(client.Last.Number, test.replyNumber);
        EXPECT_EQ(client.Last.RedirectEnd, test.end);
        EXPECT_EQ(server.ConnectionsAccepted(), 1);
        if (test.replyNumber > 302) {
            EXPECT_EQ(client.CurrentPass().Url, url);
        }
    }
}

TEST(HttpRedirect, StaleLocationOfAnEarlierReplyIsNeverFollowed) {
    LoopbackServer first(Answer("HTTP/1.0 200 OK\r\nLocation: /stale\r\n\r\n"));
    LoopbackServer second(Answer("HTTP/1.0 302 Found\r\nContent-Length: 0\r\n\r\n"));
    TestClient client;
    client.Head(UrlOf(first));
    EXPECT_EQ(client.Last.Location, "/stale");
    const std::string url = UrlOf(second, "/page");
    client.Head(url);
    EXPECT_EQ(client.Last.Number, 302);
    EXPECT_EQ(client.CurrentPass().Url, url);
    EXPECT_EQ(client.Last.Location, "");
    EXPECT_EQ(second.ConnectionsAccepted(), 1);
}

TEST(HttpRedirect, RedirectToTheSameUrlEndsAfterOnePassAsALoop) {
    // A path and a relative name, both naming the requested resource again.
    for (const std::string location : {"/same", "same"}) {
        SCOPED_TRACE(location);
        LoopbackServer server(Answer(Redirect(302, location)));
        TestClient client;
        client.Head(UrlOf(server, "/same"));
        EXPECT_EQ(client.Last.Number, 302);
        EXPECT_EQ(client.Last.RedirectEnd, RedirectOutcome::Loop);
        EXPECT_EQ(server.ConnectionsAccepted(), 1);
    }
}

TEST(HttpRedirect, UrlsThatRedirectToEachOtherEndAfterTheBound) {
    std::vector<ServerScript> scripts;
    for (int pass = 0; pass <= ClassicRules::kMaxRedirects + 2; ++pass) {
        scripts.push_back(Answer(Redirect(pass % 2 == 0 ? 301 : 302, pass % 2 == 0 ? "/b" : "/a")));
    }
    LoopbackServer server(std::move(scripts));
    TestClient client;
    client.Head(UrlOf(server, "/a"));
    ASSERT_TRUE(server.WaitForFinished(ClassicRules::kMaxRedirects + 1));
    EXPECT_EQ(server.ConnectionsAccepted(), ClassicRules::kMaxRedirects + 1);
    // The last reply's number: pass kMaxRedirects (counted from 0) is even.
    EXPECT_EQ(client.Last.Number, ClassicRules::kMaxRedirects % 2 == 0 ? 301 : 302);
    EXPECT_EQ(client.Last.RedirectEnd, RedirectOutcome::Loop);
}

TEST(HttpRedirect, ChainLongerThanTheBoundEndsAsTooMany) {
    std::vector<ServerScript> scripts;
    for (int pass = 0; pass <= ClassicRules::kMaxRedirects; ++pass) {
        scripts.push_back(Answer(Redirect(302, "/" + std::to_string(pass + 1))));
    }
    LoopbackServer server(std::move(scripts));
    TestClient client;
    client.Head(UrlOf(server, "/0"));
    EXPECT_EQ(server.ConnectionsAccepted(), ClassicRules::kMaxRedirects + 1);
    EXPECT_EQ(client.Last.Number, 302);
    EXPECT_EQ(client.Last.RedirectEnd, RedirectOutcome::TooMany);
}

TEST(HttpRedirect, RedirectToHttpsEndsWithItsRefusal) {
    LoopbackServer server(Answer(Redirect(301, "https://secure.example/")));
    TestClient client;
    try {
        client.Head(UrlOf(server));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "HTTP Secure Socket is not supported");
    }
    EXPECT_EQ(client.Last.Number, 301);
}

TEST(HttpRedirect, LocationWithALineBreakInsideAddsNoHeaderLine) {
    LoopbackServer server(
        std::vector<ServerScript>{Answer(Redirect(302, "/a\rX-Injected: 1")), Answer(kEmptyOk)});
    TestClient client;
    client.Head(UrlOf(server));
    ASSERT_TRUE(server.WaitForFinished(2));
    EXPECT_EQ(RequestLineOf(server, 1), "HEAD /a%0DX-Injected:%201 HTTP/1.0");
    EXPECT_EQ(server.Received(1).find("\nX-Injected"), std::string::npos);
}

TEST(HttpRedirect, CookieOfARedirectionGoesToItsHostInThisTransactionOnly) {
    LoopbackServer server(
        std::vector<ServerScript>{Answer(Redirect(302, "/next",
                                                  "Set-Cookie: session=abc; Path=/; HttpOnly\r\n"
                                                  "Set-Cookie: lang=de\r\n")),
                                  Answer(kEmptyOk), Answer(kEmptyOk)});
    TestClient client;
    client.Head(UrlOf(server, "/login"));
    EXPECT_EQ(client.Last.Number, 200);
    ASSERT_TRUE(server.WaitForFinished(2));
    // Only the name=value pairs (RFC 6265 section 4.2), in one line.
    EXPECT_NE(server.Received(1).find("\r\nCookie: session=abc; lang=de\r\n"), std::string::npos)
        << server.Received(1);

    // A later check of the same site does not send it.
    client.Head(UrlOf(server, "/other"));
    ASSERT_TRUE(server.WaitForFinished(3));
    EXPECT_EQ(server.Received(2).find("Cookie"), std::string::npos);
}

TEST(HttpRedirect, CookieOfARedirectionNeverGoesToAnotherHost) {
    LoopbackServer target(Answer(kEmptyOk));
    LoopbackServer origin(
        Answer(Redirect(302, UrlOf(target, "/", "localhost"), "Set-Cookie: session=abc\r\n")));
    TestClient client;
    client.Head(UrlOf(origin));
    EXPECT_EQ(client.Last.Number, 200);
    ASSERT_TRUE(target.WaitForFinished(1));
    EXPECT_EQ(target.Received(0).find("Cookie"), std::string::npos);
}

TEST(HttpRedirect, CookieOfARedirectionTakesThePlaceOfTheCallersForItsHostOnly) {
    LoopbackServer other(Answer(kEmptyOk));
    LoopbackServer server(std::vector<ServerScript>{
        Answer(Redirect(302, "/2", "Set-Cookie: server=1\r\n")),
        Answer(Redirect(302, UrlOf(other, "/", "localhost"))), Answer(kEmptyOk)});
    TestClient client;
    THeaderInfo info;
    info.Cookie = "caller=1";
    client.Send(RequestOf(UrlOf(server, "/1"), HttpMethod::Head, info));
    ASSERT_TRUE(server.WaitForFinished(2));
    ASSERT_TRUE(other.WaitForFinished(1));
    EXPECT_NE(server.Received(0).find("\r\nCookie: caller=1\r\n"), std::string::npos);
    EXPECT_NE(server.Received(1).find("\r\nCookie: server=1\r\n"), std::string::npos);
    EXPECT_NE(other.Received(0).find("\r\nCookie: caller=1\r\n"), std::string::npos);
}

TEST(HttpRedirect, AbortDuringTheRedirectHandlerStartsNoFurtherPass) {
    LoopbackServer server(std::vector<ServerScript>{Answer(Redirect(302, "/b")), Answer(kEmptyOk)});
    TestClient client;
    client.OnRedirect = [&](bool&) { client.Abort(); };
    try {
        client.Head(UrlOf(server, "/a"));
        ADD_FAILURE() << "no exception";
    } catch (const EAbortError& error) {
        EXPECT_EQ(error.Message(), "Request aborted");
    }
    EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

}  // namespace
}  // namespace vornakle::testing
