// How THttpClient reads a reply: the status line, the header lines it acts
// on, where header and body go and what ends them.

#include "http/ChunkedBody.h"
#include "http/HttpClient.h"

#include "support/ContentCodings.h"
#include "tests/http/HttpTestSupport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

struct StatusCase {
    std::string statusLine;
    std::int16_t replyNumber;
    // Read as browsers read it (browser rules); -1: an interim reply, after
    // which a browser waits for the final one.
    std::int16_t browserNumber;
};

TEST(HttpReply, StatusLineGivesTheReplyNumber) {
    const StatusCase cases[] = {
        {"HTTP/1.0 404 Not Found\r\n", 404, 404},
        {"HTTP/1.1 200 OK\n", 200, 200},
        {"HTTP/1.0 200 \r\n", 200, 200},
        // The line end is glued to the number: no number, except to a
        // browser, which needs no reason phrase nor a blank behind it.
        {"HTTP/1.0 200\r\n", 0, 200},
        {"HTTP/1.1 204No Content\r\n", 0, 204},
        {"HTTP/1.1\t302 Found\r\n", 0, 302},
        {"HTTP/1.0 2O0 OK\r\n", 0, 0},
        {"HTTP/1.0 OK 200\r\n", 0, 0},
        {"HTTP/1.0  200 OK\r\n", 0, 200},
        {"HTTP/1.0 +301 Moved\r\n", 301, 0},
        // Outside 100 to 999 there is no reply number at all: neither a
        // "2" (status 2 would mean "OK by hand") nor one that would wrap
        // at 16 bits (65736 to 200).
        {"HTTP/1.0 -5 Odd\r\n", 0, 0},
        {"HTTP/1.0 2 OK\r\n", 0, 0},
        {"HTTP/1.0 099 Low\r\n", 0, 0},
        {"HTTP/1.0 100 Continue\r\n", 100, -1},
        {"HTTP/1.0 999 High\r\n", 999, 999},
        {"HTTP/1.0 1000 High\r\n", 0, 0},
        {"HTTP/1.0 65736 X\r\n", 0, 0},
        {"HTTP/1.0 70000 Wrapped\r\n", 0, 0},
        {"HTTP/1.0 4294967496 Huge\r\n", 0, 0},
        {"garbage\r\n", 0, 0},
    };
    for (const StatusCase& test : cases) {
        for (const bool browser : {false, test.browserNumber >= 0}) {
            SCOPED_TRACE(test.statusLine + (browser ? " (browser)" : ""));
            LoopbackServer server(Answer(test.statusLine + "\r\n"));
            TestClient client(browser ? RequestRules::Browser : RequestRules::Classic);
            const HttpReply reply = client.Head(UrlOf(server));
            EXPECT_EQ(reply.Number, browser ? test.browserNumber : test.replyNumber);
            EXPECT_EQ(reply.Header, test.statusLine + "\r\n");
        }
    }
}

struct FieldCase {
    std::string line;
    std::string cookie;
    std::string location;
    std::int32_t bytesTotal;
    // Read as browsers read it (browser rules): any blanks around the value,
    // none needed, folded lines joined.
    std::string browserCookie;
    std::string browserLocation;
    std::int32_t browserBytesTotal;
};

TEST(HttpReply, SetCookieLocationAndContentLengthLines) {
    const FieldCase cases[] = {
        {"Set-Cookie: a=1; Path=/\r\n", "a=1; Path=/", "", 0, "a=1; Path=/", "", 0},
        {"SET-COOKIE: a=1\n", "a=1", "", 0, "a=1", "", 0},
        // The value starts after exactly one blank: a second one is its own.
        {"set-cookie:  a=1\r\n", " a=1", "", 0, "a=1", "", 0},
        {"Set-Cookie:\r\n", "", "", 0, "", "", 0},
        {"Set-Cookie: \r\n", "", "", 0, "", "", 0},
        {"Location: http://x.example/y\r\n", "", "http://x.example/y", 0, "", "http://x.example/y",
         0},
        {"location: /p\n", "", "/p", 0, "", "/p", 0},
        // Blanks around a Location are no part of it.
        {"Location:   /ok \t\r\n", "", "/ok", 0, "", "/ok", 0},
        // Without the blank the line is kept but not acted on.
        {"Location:/p\r\n", "", "", 0, "", "/p", 0},
        {"Location :/p\r\n", "", "", 0, "", "/p", 0},
        {"Location:\r\n /folded\r\n\tpart\r\n", "", "", 0, "", "/folded part", 0},
        {"Set-Cookie:a=1\r\n", "", "", 0, "a=1", "", 0},
        {"Content-Length: 1234\r\n", "", "", 1234, "", "", 1234},
        {"content-length:   x56\r\n", "", "", 56, "", "", 56},
        {"Content-Length: 99999999999\r\n", "", "", 2147483647, "", "", 2147483647},
        {"Content-Length: none\r\n", "", "", 0, "", "", 0},
        {"Content-Length:1234\r\n", "", "", 0, "", "", 1234},
        {"X-Location: /p\r\n", "", "", 0, "", "", 0},
    };
    for (const FieldCase& test : cases) {
        for (const bool browser : {false, true}) {
            SCOPED_TRACE(test.line + (browser ? " (browser)" : ""));
            LoopbackServer server(Answer("HTTP/1.0 200 OK\r\n" + test.line + "\r\n"));
            TestClient client(browser ? RequestRules::Browser : RequestRules::Classic);
            const HttpReply reply = client.Head(UrlOf(server));
            EXPECT_EQ(reply.Cookie, browser ? test.browserCookie : test.cookie);
            EXPECT_EQ(reply.Location, browser ? test.browserLocation : test.location);
            EXPECT_EQ(client.BytesTotal, browser ? test.browserBytesTotal : test.bytesTotal);
            EXPECT_EQ(reply.Header, "HTTP/1.0 200 OK\r\n" + test.line + "\r\n");
        }
    }
}

TEST(HttpReply, RetryAfterIsSecondsOrAnHttpDate) {
    // 1994-11-06 08:49:37 UTC.
    constexpr std::int64_t kNow = 784111777;
    const std::pair<std::string, std::optional<std::int64_t>> cases[] = {
        {"120", 120},
        {" 0 ", 0},
        {"Sun, 06 Nov 1994 08:50:07 GMT", 30},
        {"Sun, 06 Nov 1994 08:49:00 GMT", 0},
        {"Sun, 06 Nov 1994 08:50:07 CET", std::nullopt},
        {"Sun, 06 Foo 1994 08:50:07 GMT", std::nullopt},
        {"-5", std::nullopt},
        {"1.5", std::nullopt},
        {"", std::nullopt},
        {"99999999999999999999", 2147483647},
    };
    for (const auto& [value, seconds] : cases) {
        EXPECT_EQ(RetryAfterSeconds(value, kNow), seconds) << value;
    }
}

TEST(HttpReply, ChunkedBodiesAreJoinedOnlyWhenWhole) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"4\r\nWiki\r\n6;ext=1\r\npedia \r\nD \r\nin\r\n\r\nchunks.\r\n0\r\nX-T: 1\r\n\r\n",
         "Wikipedia in\r\n\r\nchunks."},
        {"2\nab\n0\n\n", "ab"},
        {"0\r\n\r\n", ""},
        {"{\"a\":1}", std::nullopt},
        {"5\r\nab\r\n", std::nullopt},
        {"2\r\nabc\r\n0\r\n", std::nullopt},
        {"2\r\nab\r\n", std::nullopt},
        {"fffffffffffffffffffff\r\nab\r\n0\r\n", std::nullopt},
        {"-2\r\nab\r\n0\r\n", std::nullopt},
    };
    for (const auto& [body, data] : cases) {
        ChunkedBody chunks;
        std::string joined;
        for (std::string_view rest = body;
             !rest.empty() && chunks.Status() == ChunkedBody::State::Reading;) {
            std::string_view piece;
            rest = chunks.Take(rest, piece);
            joined += piece;
        }
        EXPECT_EQ(
            chunks.Status() == ChunkedBody::State::Ended ? std::optional(joined) : std::nullopt,
            data)
            << body;
    }
}

// Browser rules ask for content codings and read a coded body decoded,
// within the bound (a bomb stops there); classic rules keep what comes.
TEST(HttpReply, CodedBodiesAreReadDecodedUnderBrowserRulesOnly) {
    const std::string page = "<title>Page not found</title>" + std::string(3000, 'p');
    const std::string zeros(16 << 20, '\0');
    constexpr std::size_t kBound = 256 * 1024;
    const struct {
        std::string codings;
        std::string body;
        std::optional<std::string> decoded;  // none: unreadable
    } cases[] = {
        {"gzip", Gzipped(page), page},
        {"X-Gzip", Gzipped(page), page},
        {"gzip", Gzipped("ab") + Gzipped("cd"), "abcd"},
        {"gzip", Gzipped(page + page + page) + Gzipped("cd"), page + page + page + "cd"},
        {"deflate", Deflated(page, 15), page},
        {"deflate", Deflated(page, -15), page},
        {"br", Brotli(page), page},
        {"zstd", Zstd(page), page},
        {"gzip, br", Brotli(Gzipped(page)), page},
        {"identity", page, page},
        {"gzip", Gzipped(zeros), zeros.substr(0, kBound)},
        {"gzip,br", Brotli(Gzipped(zeros)), zeros.substr(0, kBound)},
        {"gzip", page, std::nullopt},
        {"zstd", Gzipped(page), std::nullopt},
        {"x-foo", Gzipped(page), std::nullopt},
        {"gzip, gzip, gzip, gzip, gzip", page, std::nullopt},
    };
    for (const auto& test : cases) {
        for (const int way : {0, 1, 2}) {
            const bool browser = way > 0;
            const bool chunked = way == 2;
            SCOPED_TRACE(test.codings + " " + std::to_string(test.body.size()) + " way " +
                         std::to_string(way));
            std::string framed = "Content-Length: " + std::to_string(test.body.size()) + "\r\n\r\n";
            if (chunked) {
                framed = "Transfer-Encoding: chunked\r\n\r\n";
                for (std::size_t start = 0; start < test.body.size(); start += 1000) {
                    const std::string piece = test.body.substr(start, 1000);
                    framed += QByteArray::number(static_cast<int>(piece.size()), 16).toStdString() +
                              "\r\n" + piece + "\r\n";
                }
                framed += "0\r\n\r\n";
            } else {
                framed += test.body;
            }
            LoopbackServer server(AnswerAndClose(
                "HTTP/1.1 200 OK\r\nContent-Encoding: " + test.codings + "\r\n" + framed));
            TestClient client(browser ? RequestRules::Browser : RequestRules::Classic);
            HttpRequest get = RequestOf(UrlOf(server), HttpMethod::Get);
            get.BodyLimit = kBound;
            const HttpReply reply = client.Send(get);
            const std::string request = RequestHeaderOf(server);
            EXPECT_EQ(request.find("\r\nAccept-Encoding: gzip, deflate, br, zstd\r\n") !=
                          std::string::npos,
                      browser);
            if (!browser) {
                EXPECT_TRUE(reply.Body == test.body.substr(0, kBound));
                continue;
            }
            const std::optional<std::string> decoded =
                reply.Coding == BodyCoding::Unreadable ? std::nullopt : std::optional(reply.Body);
            EXPECT_TRUE(decoded == test.decoded) << (decoded ? decoded->size() : 0);
        }
    }
}

TEST(HttpReply, LongHeaderValuesAreKeptWhole) {
    const std::string location = "http://x.example/" + std::string(1000, 'l');
    const std::string cookie = "token=" + std::string(1000, 'c');
    LoopbackServer server(Answer("HTTP/1.0 200 OK\r\nLocation: " + location +
                                 "\r\nSet-Cookie: " + cookie + "\r\n\r\n"));
    TestClient client;
    const HttpReply reply = client.Head(UrlOf(server));
    EXPECT_EQ(reply.Location, location);
    EXPECT_EQ(reply.Cookie, cookie);
}

TEST(HttpReply, GetKeepsHeaderAndBodyAsReceived) {
    const std::string header = "HTTP/1.0 200 OK\r\nServer: test\nX: y\r\n\r\n";
    const std::string body = std::string("line\r\n\0binary", 13);
    LoopbackServer server(AnswerAndClose(header + body));
    TestClient client;
    int packets = 0;
    client.OnPacketRecvd = [&](QObject*) { ++packets; };
    const HttpReply reply = client.Get(UrlOf(server));
    EXPECT_EQ(reply.Header, header);
    EXPECT_EQ(reply.Body, body);
    EXPECT_EQ(client.BytesRecvd, static_cast<std::int32_t>(body.size()));
    EXPECT_GE(packets, 1);
}

// Where a body ends, and whether its connection then carries the next
// request: at its length or its chunked coding's end (RFC 9112 section 6.3)
// without waiting for a close, which only a server that keeps the
// connection open would leave out (HTTP/1.1, or 1.0 with keep-alive); a
// short rest of a body not kept is read past.
TEST(HttpReply, BodyEndsWhereItsFramingSaysAndLeavesTheConnectionFitOrNot) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const struct {
        std::string reply;
        std::string body;
        bool kept;
        // 0: the whole body; SIZE_MAX: the header only.
        std::size_t readLimit = 0;
        // The server closes after the reply, the only end of some bodies.
        bool closes = false;
        bool malformed = false;  // an EMalformedReply
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello and more", "hello", false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello", true},
        {"HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nhi", "hi", true},
        {"HTTP/1.1 200 OK\r\nConnection: Keep-Alive, close\r\nContent-Length: 2\r\n\r\nhi", "hi",
         false},
        {chunked + "5\r\nhello\r\n6;name=\"v\"\r\n world\r\n0\r\n\r\n", "hello world", true},
        {chunked + "5\nhello\n0\nX-Trailer: 1\n\n", "hello", true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello"
         "\r\n0\r\n\r\n",
         "hello", false},
        {chunked + "2\r\nhi\r\n0\r\n\r\nHTTP/1.1 200 OK", "hi", false},
        {chunked + "2\r\nhi\r\nzz\r\n", "hi", false},
        {chunked + "2\r\nhi\r\n1000000000000000000\r\n", "hi", false},
        {chunked + "2\r\nhi\r\n0\r\n" + std::string(70000, 't') + "\r\n\r\n", "hi", false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n2\r\nhi", "2\r\nhi", false, 0,
         true},
        {"HTTP/1.1 200 OK\r\n\r\nto the close", "to the close", false, 0, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nhello world", "hello", true, 5},
        {chunked + "b\r\nhello world\r\n0\r\n\r\n", "", true, SIZE_MAX},
        {"HTTP/1.1 200 OK\r\nContent-Length: 70000\r\n\r\n" + std::string(70000, 'x'), "", false,
         SIZE_MAX},
        // Lengths alike frame a body, others none (an error where it has one).
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 5, 05\r\n\r\nhello", "hello",
         true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 7\r\n\r\nhello, w", "", false, 0,
         false, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello", "", false, 0, false, true},
        {"HTTP/1.1 204 None\r\nContent-Length: 5\r\nContent-Length: 7\r\n\r\n", "", false},
        // An error reply leaves room for one nobody asked for.
        {"HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", "gone", false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.reply.substr(0, 120));
        LoopbackServer server(test.closes ? AnswerAndClose(test.reply) : Answer(test.reply));
        TestClient client(RequestRules::Browser, ConnectionReuse::Keep);
        HttpRequest request = RequestOf(UrlOf(server), HttpMethod::Get);
        // SIZE_MAX: no body is wanted at all.
        if (test.readLimit == SIZE_MAX) {
            request.BodyWanted = [](const HttpReply&) { return false; };
        } else {
            request.BodyLimit = test.readLimit;
        }
        if (test.malformed) {
            EXPECT_THROW(client.Send(request), EMalformedReply);
        } else {
            EXPECT_EQ(client.Send(request).Body, test.body);
        }
        EXPECT_EQ(client.KeptConnection().has_value(), test.kept);
    }
}

TEST(HttpReply, BodyWithoutALengthEndsWhenTheServerCloses) {
    LoopbackServer server(ServerScript()
                              .ReadUntil("\r\n\r\n")
                              .Send("HTTP/1.0 200 OK\r\n\r\nfirst ")
                              .Pause(50ms)
                              .Send("second")
                              .Close());
    TestClient client;
    EXPECT_EQ(client.Get(UrlOf(server)).Body, "first second");
}

TEST(HttpReply, HeadDoesNotWaitForABodyTheServerNeverSends) {
    // The length describes the resource, not this reply (RFC 1945 section
    // 8.2), and the server leaves the connection open.
    LoopbackServer server(Answer("HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n"));
    TestClient client;
    QElapsedTimer clock;
    clock.start();
    const HttpReply reply = client.Head(UrlOf(server));
    EXPECT_LT(clock.elapsed(), kSafetyTimeOut);
    EXPECT_EQ(reply.Number, 200);
    EXPECT_EQ(client.BytesTotal, 5000);
    EXPECT_EQ(reply.Body, "");
}

TEST(HttpReply, NoContentAndNotModifiedRepliesHaveNoBody) {
    for (const std::string status : {"204 No Content", "304 Not Modified"}) {
        SCOPED_TRACE(status);
        LoopbackServer server(Answer("HTTP/1.0 " + status + "\r\n\r\n"));
        TestClient client;
        EXPECT_EQ(client.Get(UrlOf(server)).Body, "");
    }
}

TEST(HttpReply, BodyBeyondTheBoundIsReceivedAndDropped) {
    const std::size_t size = THttpClient::kMaxBodyBytes + 1024 * 1024;
    std::string body(size, '\0');
    for (std::size_t index = 0; index < size; ++index) {
        body[index] = static_cast<char>('a' + index % 23);
    }
    LoopbackServer server(AnswerAndClose("HTTP/1.0 200 OK\r\n\r\n" + body));
    TestClient client;
    const HttpReply reply = client.Get(UrlOf(server));
    EXPECT_EQ(reply.Body.size(), THttpClient::kMaxBodyBytes);
    EXPECT_TRUE(reply.Body == body.substr(0, THttpClient::kMaxBodyBytes));
    EXPECT_EQ(client.BytesRecvd, static_cast<std::int32_t>(size));
}

TEST(HttpReply, EndlessBodyKeepsTheBoundAndEndsWithTheTimeOut) {
    // The stream never pauses, so only the bound stops the time-out from
    // being restarted by arriving data.
    LoopbackServer server(ServerScript()
                              .ReadUntil("\r\n\r\n")
                              .Send("HTTP/1.0 200 OK\r\n\r\n")
                              .Trickle(std::string(64 * 1024, 'x'), 1ms, 0));
    HttpClientSettings settings = TestSettings();
    settings.TimeOut = 1000;
    TestClient client(settings);
    // The reply as far as it came stays with the failure.
    const HttpReply reply = client.Exchange(RequestOf(UrlOf(server), HttpMethod::Get));
    try {
        std::rethrow_exception(reply.Failure);
    } catch (const EAbortError& error) {
        EXPECT_EQ(error.Message(), "Socket capture aborted");
    }
    EXPECT_EQ(reply.Number, 200);
    EXPECT_EQ(reply.Body.size(), THttpClient::kMaxBodyBytes);
    EXPECT_FALSE(client.Connected);
}

TEST(HttpReply, EndlessHeaderStopsAtItsBound) {
    LoopbackServer server(ServerScript()
                              .ReadUntil("\r\n\r\n")
                              .Send("HTTP/1.0 200 OK\r\n")
                              .Trickle("X-Filler: " + std::string(1000, 'f') + "\r\n", 0ms, 0));
    TestClient client;
    const HttpReply reply = client.Head(UrlOf(server));
    EXPECT_EQ(reply.Number, 200);
    EXPECT_GE(reply.Header.size(), THttpClient::kMaxHeaderBytes);
    EXPECT_LT(reply.Header.size(), THttpClient::kMaxHeaderBytes + 2000);
}

TEST(HttpReply, OutcomeEventsAndTheCompletionReport) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\n", {"success 2", "Transaction Completed"}},
        {"HTTP/1.0 404 Not Found\r\n\r\n", {"failure 2"}},
        // No status line at all is no success, nor a number outside 100-999.
        {"", {"failure 2"}},
        {"HTTP/1.0 2 OK\r\n\r\n", {"failure 2"}},
    };
    for (const auto& [reply, expected] : cases) {
        SCOPED_TRACE(reply);
        LoopbackServer server(AnswerAndClose(reply));
        TestClient client;
        std::vector<std::string> events;
        client.ReportLevel = 2;
        client.OnStatus = [&](QObject*, const std::string& text) { events.push_back(text); };
        client.OnSuccess = [&](HttpMethod kind) {
            events.push_back("success " + std::to_string(static_cast<int>(kind)));
        };
        client.OnFailure = [&](HttpMethod kind) {
            events.push_back("failure " + std::to_string(static_cast<int>(kind)));
        };
        const HttpReply answer = client.Head(UrlOf(server));
        EXPECT_EQ(events, expected);
        if (reply.empty()) {
            EXPECT_EQ(answer.Number, 0);
        }
    }
}

TEST(HttpReply, UnauthorizedFiresFailureThenAuthenticationNeeded) {
    LoopbackServer server(AnswerAndClose("HTTP/1.0 401 Unauthorized\r\n\r\n"));
    TestClient client;
    std::vector<std::string> events;
    client.OnFailure = [&](HttpMethod kind) {
        events.push_back("failure " + std::to_string(static_cast<int>(kind)));
    };
    client.OnAuthenticationNeeded = [&](QObject* sender) {
        EXPECT_EQ(sender, &client);
        events.push_back("authentication");
    };
    EXPECT_EQ(client.Get(UrlOf(server)).Number, 401);
    EXPECT_EQ(events, (std::vector<std::string>{"failure 0", "authentication"}));
    EXPECT_EQ(server.ConnectionsAccepted(), 1);
}

TEST(HttpReply, FailedConnectIsKeptWithThePassAndTheServerThatFailed) {
    RefusingPort refusing;
    TestClient client;
    const std::string url = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/";
    EXPECT_THROW(client.Head(url), ESockError);
    const HttpReply reply = client.Exchange(RequestOf(url));
    EXPECT_THROW(std::rethrow_exception(reply.Failure), ESockError);
    EXPECT_EQ(reply.Number, 0);
    ASSERT_EQ(reply.Hops.size(), 1U);
    EXPECT_EQ(reply.Hops[0].Url, url);
    EXPECT_EQ(reply.Host + ':' + std::to_string(reply.Port),
              "127.0.0.1:" + std::to_string(refusing.Port()));
}

TEST(HttpReply, AbortFromAButtonHandlerEndsTheRequestAndTheClientGoesOn) {
    LoopbackServer silent(ServerScript().ReadUntil("\r\n\r\n").Hold());
    THttpClient client;  // no time-out at all, as in the main window
    QTimer::singleShot(100ms, &client, [&client] { client.Abort(); });
    try {
        client.Head(UrlOf(silent));
        ADD_FAILURE() << "no exception";
    } catch (const EAbortError& error) {
        EXPECT_EQ(error.Message(), "Socket readln aborted");
    }
    EXPECT_FALSE(client.Connected);

    LoopbackServer next(Answer(kEmptyOk));
    EXPECT_EQ(client.Head(UrlOf(next)).Number, 200);
}

TEST(HttpReply, ExceptionOfAnOutcomeHandlerLeavesAfterTheDisconnect) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    client.OnSuccess = [](HttpMethod) { throw Exception("handler failed"); };
    EXPECT_THROW(client.Head(UrlOf(server)), Exception);
    EXPECT_FALSE(client.Connected);
    EXPECT_TRUE(server.WaitForFinished(1));
}

}  // namespace
}  // namespace vornakle::testing
