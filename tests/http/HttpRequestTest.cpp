// What THttpClient puts on the wire for each kind of request.

#include "http/HttpClient.h"

#include "tests/http/HttpTestSupport.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornakle::testing {
namespace {

std::string Base64(const std::string& text) {
    return QByteArray::fromStdString(text).toBase64().toStdString();
}

TEST(HttpRequest, HeadSendsExactlyTheRequestLineHostAcceptAndContentType) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    std::vector<HttpMethod> successes;
    client.OnSuccess = [&](HttpMethod kind) { successes.push_back(kind); };
    const HttpReply reply = client.Head(UrlOf(server, "/dir/page.html?x=1"));
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(0),
              "HEAD /dir/page.html?x=1 HTTP/1.0\r\n"
              "Host: 127.0.0.1\r\n" +
                  kAcceptLines + kContentTypeLine + "\r\n");
    EXPECT_EQ(reply.Number, 200);
    EXPECT_EQ(reply.Body, "");
    EXPECT_EQ(successes, std::vector<HttpMethod>{HttpMethod::Head});
}

TEST(HttpRequest, UrlWithoutPathAsksForTheRootAndGainsASlash) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    const std::string url = UrlOf(server, "");
    const HttpReply reply = client.Head(url);
    EXPECT_EQ(server.Received(0).substr(0, 17), "HEAD / HTTP/1.0\r\n");
    EXPECT_EQ(reply.Hops.back().Url, url + "/");
}

TEST(HttpRequest, ThroughAProxyTheRequestLineCarriesTheWholeUrl) {
    LoopbackServer proxy(Answer(kEmptyOk));
    HttpClientSettings settings = TestSettings();
    settings.Proxy = "127.0.0.1";
    settings.ProxyPort = proxy.Port();
    TestClient client(settings);
    // The origin's name is never looked up: the proxy is connected to.
    const HttpReply reply = client.Get("http://origin.invalid:8080/a/b#part");
    ASSERT_TRUE(proxy.WaitForFinished(1));
    EXPECT_EQ(proxy.Received(0),
              "GET http://origin.invalid:8080/a/b HTTP/1.0\r\n"
              "Proxy-Connection: Keep-Alive\r\n"
              "Host: origin.invalid\r\n" +
                  kAcceptLines + kContentTypeLine + "\r\n");
    EXPECT_EQ(reply.Host, "origin.invalid");
    EXPECT_EQ(reply.Port, 8080);
}

// Under browser rules an address is asked as the URL Standard reads it; a
// proxy sees the whole of it, and no origin name is looked up.
TEST(HttpRequest, BrowserRulesAskEachAddressAsTheUrlStandardReadsIt) {
    const std::pair<std::string, std::string> cases[] = {
        {" https://secure.invalid/x ", "CONNECT secure.invalid:443 HTTP/1.1"},
        {"http://h.invalid/a\tb/\nc d ", "GET http://h.invalid/ab/c%20d HTTP/1.1"},
        {"http://h.invalid/docs\\install\\windows.html",
         "GET http://h.invalid/docs/install/windows.html HTTP/1.1"},
        {"http://h.invalid/a/b/../c/%2e/.%2E/d?q=%2e.", "GET http://h.invalid/a/d?q=%2e. HTTP/1.1"},
        {"http:/h.invalid:80/x", "GET http://h.invalid/x HTTP/1.1"},
        {"http://0x7f.1/", "GET http://127.0.0.1/ HTTP/1.1"},
        {"http://192.0x00A80001/", "GET http://192.168.0.1/ HTTP/1.1"},
        {"https://%e2%98%83", "CONNECT xn--n3h:443 HTTP/1.1"},
        {"http://\xe1\xba\x9e.invalid/", "GET http://xn--zca.invalid/ HTTP/1.1"},
        {"HTTP://[0:0::0:1]:8080/'\"", "GET http://[::1]:8080/'%22 HTTP/1.1"},
    };
    // A refusal ends a tunnel's request at once.
    std::vector<ServerScript> scripts(
        std::size(cases), Answer("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n"));
    LoopbackServer proxy(scripts);
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        HttpClientSettings settings = TestSettings(RequestRules::Browser);
        settings.AllowHttps = true;
        settings.Proxies.HttpProxy = settings.Proxies.HttpsProxy =
            "127.0.0.1:" + std::to_string(proxy.Port());
        TestClient client(settings);
        try {
            client.Get(cases[index].first);
        } catch (const EProxyError&) {
            // No tunnel opened.
        }
        ASSERT_TRUE(proxy.WaitForFinished(static_cast<int>(index) + 1));
        const std::string received = proxy.Received(index);
        EXPECT_EQ(received.substr(0, received.find("\r\n")), cases[index].second)
            << cases[index].first;
    }
}

TEST(HttpRequest, HeaderInfoLinesInTheirOrder) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    THeaderInfo info;
    info.LocalMailAddress = "agent/1.0";
    info.LocalProgram = "someone@example.com";
    info.Cookie = "id=7";
    info.Referer = "http://from.example/";
    info.UserId = "user";
    info.Password = "pass word";
    client.Send(RequestOf(UrlOf(server, "/x"), HttpMethod::Head, info));
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(0),
              "HEAD /x HTTP/1.0\r\n"
              "Host: 127.0.0.1\r\n" +
                  kAcceptLines +
                  "User-Agent: agent/1.0\r\n"
                  "From: someone@example.com\r\n"
                  "Cookie: id=7\r\n"
                  "Referer: http://from.example/\r\n"
                  "Authorization: Basic " +
                  Base64("user:pass word") + "\r\n" + kContentTypeLine + "\r\n");
}

TEST(HttpRequest, LongCredentialsStayOnOneAuthorizationLine) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    THeaderInfo info;
    info.UserId = std::string(40, 'u');
    info.Password = std::string(60, 'p');
    client.Send(RequestOf(UrlOf(server), HttpMethod::Head, info));
    ASSERT_TRUE(server.WaitForFinished(1));
    const std::string expected = "Authorization: Basic " +
                                 Base64(info.UserId + ":" + info.Password) + "\r\n" +
                                 kContentTypeLine;
    EXPECT_NE(server.Received(0).find(kAcceptLines + expected), std::string::npos)
        << server.Received(0);
}

TEST(HttpRequest, CredentialsNeedBothUserAndPassword) {
    for (const auto& [user, password] : {std::pair<std::string, std::string>{"user", ""},
                                         std::pair<std::string, std::string>{"", "secret"}}) {
        LoopbackServer server(Answer(kEmptyOk));
        TestClient client;
        THeaderInfo info;
        info.UserId = user;
        info.Password = password;
        client.Send(RequestOf(UrlOf(server), HttpMethod::Head, info));
        ASSERT_TRUE(server.WaitForFinished(1));
        EXPECT_EQ(server.Received(0).find("Authorization"), std::string::npos);
    }
}

TEST(HttpRequest, PostSendsItsDataFormEncodedAndCountsTheEncodedBytes) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    client.Post(UrlOf(server, "/form"), "a b&c=d");
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(0),
              "POST /form HTTP/1.0\r\n"
              "Host: 127.0.0.1\r\n" +
                  kAcceptLines + kContentTypeLine +
                  "Content-Length: 11\r\n"
                  "\r\n"
                  "a+b%26c%3Dd");
}

TEST(HttpRequest, PutAndPatchSendTheirBodyUnencoded) {
    // A zero byte and more than 16 bits of length: every byte is sent, and
    // the length announced is the length sent.
    // The server answers once the whole body is in: the client closes after
    // the reply, and bytes still unread would be lost with the connection.
    const std::string body = std::string("x y\0z", 5) + std::string(70000, 'b') + "<end>";
    using Operation = HttpReply (THttpClient::*)(const std::string&, const std::string&);
    const std::pair<Operation, std::string> operations[] = {{&THttpClient::Put, "PUT "},
                                                            {&THttpClient::Patch, "PATCH "}};
    for (const auto& [operation, word] : operations) {
        SCOPED_TRACE(word);
        LoopbackServer server(ServerScript().ReadUntil("<end>").Send(kEmptyOk).Hold());
        TestClient client;
        (client.*operation)(UrlOf(server, "/doc"), body);
        ASSERT_TRUE(server.WaitForFinished(1));
        const std::string received = server.Received(0);
        EXPECT_EQ(received.substr(0, word.size() + 4), word + "/doc");
        const std::string tail = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
        ASSERT_NE(received.find(tail), std::string::npos);
        EXPECT_EQ(received.substr(received.find(tail) + tail.size()), body);
    }
}

TEST(HttpRequest, GetHeadOptionsAndDeleteSendNoLengthAndNoBody) {
    const std::pair<HttpMethod, std::string> operations[] = {
        {HttpMethod::Get, "GET "},
        {HttpMethod::Head, "HEAD "},
        {HttpMethod::Options, "OPTIONS "},
        {HttpMethod::Delete, "DELETE "},
    };
    for (const auto& [method, word] : operations) {
        SCOPED_TRACE(word);
        LoopbackServer server(Answer(kEmptyOk));
        TestClient client;
        HttpRequest request = RequestOf(UrlOf(server, "/r"), method);
        request.Body = "a body no such request carries";
        client.Send(request);
        ASSERT_TRUE(server.WaitForFinished(1));
        EXPECT_EQ(server.Received(0), word + "/r HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAcceptLines +
                                          kContentTypeLine + "\r\n");
    }
}

TEST(HttpRequest, PathWithoutAnyHostComposesNoHostLine) {
    TestClient client;
    EXPECT_THROW(client.Head("/only/a/path"), ESockError);
    EXPECT_EQ(client.CurrentPass().RequestHeader.IndexOfField("Host"), -1);
    EXPECT_EQ(client.CurrentPass().RequestHeader.Strings(0), "HEAD /only/a/path HTTP/1.0");
}

TEST(HttpRequest, RefusedUrlsMakeNoConnectionAndFireNothing) {
    LoopbackServer server(Answer(kEmptyOk));
    const std::pair<std::string, std::string> cases[] = {
        {"", "Empty URL"},
        {"https://127.0.0.1:" + std::to_string(server.Port()) + "/",
         "HTTP Secure Socket is not supported"},
        {"mailto:someone@example.com", "'someone@example.com' is not a valid integer value"},
    };
    // Under browser rules: what the URL Standard refuses, and what it reads
    // as another scheme than http(s).
    const std::pair<std::string, std::string> browserCases[] = {
        {"http://127.0.0.1:+" + std::to_string(server.Port()) + "/",
         "'http://127.0.0.1:+" + std::to_string(server.Port()) + "/' is not a valid address"},
        {"localhost:" + std::to_string(server.Port()) + "/new",
         "'localhost:" + std::to_string(server.Port()) + "/new' is not a web address"},
    };
    for (const auto& [url, message] : cases) {
        SCOPED_TRACE(url);
        TestClient client;
        bool fired = false;
        client.OnAboutToSend = [&](QObject*) { fired = true; };
        client.OnSuccess = client.OnFailure = [&](HttpMethod) { fired = true; };
        try {
            client.Head(url);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), message);
        }
        EXPECT_FALSE(fired);
    }
    for (const auto& [url, message] : browserCases) {
        TestClient client(RequestRules::Browser);
        try {
            client.Get(url);
            ADD_FAILURE() << "no exception for " << url;
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), message);
        }
    }
    EXPECT_EQ(server.ConnectionsAccepted(), 0);
}

TEST(HttpRequest, LineBreakInsideAValueIsNeverSent) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    THeaderInfo info;
    info.Referer = "http://a.example/\r\nX-Injected: 1";
    try {
        client.Send(RequestOf(UrlOf(server), HttpMethod::Head, info));
        ADD_FAILURE() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "Invalid character in request header");
    }
    EXPECT_EQ(server.ConnectionsAccepted(), 0);
}

TEST(HttpRequest, AboutToSendSeesTheComposedRequestBeforeTheConnection) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    int connectionsThen = -1;
    std::string firstLine;
    client.OnAboutToSend = [&](QObject* sender) {
        EXPECT_EQ(sender, &client);
        connectionsThen = server.ConnectionsAccepted();
        firstLine = client.CurrentPass().RequestHeader.Strings(0);
    };
    client.Head(UrlOf(server, "/z"));
    EXPECT_EQ(connectionsThen, 0);
    EXPECT_EQ(firstLine, "HEAD /z HTTP/1.0");
}

}  // namespace
}  // namespace vornakle::testing
