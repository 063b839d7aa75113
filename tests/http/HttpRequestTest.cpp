// What THttpClient puts on the wire for each kind of request.

#include "http/HttpClient.h"

#include "tests/http/HttpTestSupport.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
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
    std::vector<CmdType> successes;
    client.OnSuccess = [&](CmdType kind) { successes.push_back(kind); };
    client.Head(UrlOf(server, "/dir/page.html?x=1"));
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(0),
              "HEAD /dir/page.html?x=1 HTTP/1.0\r\n"
              "Host: 127.0.0.1\r\n" +
                  kAcceptLines + kContentTypeLine + "\r\n");
    EXPECT_EQ(client.ReplyNumber, 200);
    EXPECT_EQ(client.Body, "");
    EXPECT_EQ(successes, std::vector<CmdType>{cmdHead});
}

TEST(HttpRequest, UrlWithoutPathAsksForTheRootAndGainsASlash) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    const std::string url = UrlOf(server, "");
    client.Head(url);
    EXPECT_EQ(server.Received(0).substr(0, 17), "HEAD / HTTP/1.0\r\n");
    EXPECT_EQ(client.CurrentURL, url + "/");
}

TEST(HttpRequest, ThroughAProxyTheRequestLineCarriesTheWholeUrl) {
    LoopbackServer proxy(Answer(kEmptyOk));
    TestClient client;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = proxy.Port();
    // The origin's name is never looked up: the proxy is connected to.
    client.Get("http://origin.invalid:8080/a/b#part");
    ASSERT_TRUE(proxy.WaitForFinished(1));
    EXPECT_EQ(proxy.Received(0),
              "GET http://origin.invalid:8080/a/b HTTP/1.0\r\n"
              "Proxy-Connection: Keep-Alive\r\n"
              "Host: origin.invalid\r\n" +
                  kAcceptLines + kContentTypeLine + "\r\n");
    EXPECT_EQ(client.Host, "origin.invalid");
    EXPECT_EQ(client.Port, 8080);
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
        TestClient client(RequestRules::Browser);
        client.AllowHttps = true;
        client.Proxies.HttpProxy = client.Proxies.HttpsProxy =
            "127.0.0.1:" + std::to_string(proxy.Port());
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
    client.HeaderInfo.LocalMailAddress = "agent/1.0";
    client.HeaderInfo.LocalProgram = "someone@example.com";
    client.HeaderInfo.Cookie = "id=7";
    client.HeaderInfo.Referer = "http://from.example/";
    client.HeaderInfo.UserId = "user";
    client.HeaderInfo.Password = "pass word";
    client.Head(UrlOf(server, "/x"));
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
    client.HeaderInfo.UserId = std::string(40, 'u');
    client.HeaderInfo.Password = std::string(60, 'p');
    client.Head(UrlOf(server));
    ASSERT_TRUE(server.WaitForFinished(1));
    const std::string expected =
        "Authorization: Basic " +
        Base64(client.HeaderInfo.UserId + ":" + client.HeaderInfo.Password) + "\r\n" +
        kContentTypeLine;
    EXPECT_NE(server.Received(0).find(kAcceptLines + expected), std::string::npos)
        << server.Received(0);
}

TEST(HttpRequest, CredentialsNeedBothUserAndPassword) {
    for (const auto& [user, password] : {std::pair<std::string, std::string>{"user", ""},
                                         std::pair<std::string, std::string>{"", "secret"}}) {
        LoopbackServer server(Answer(kEmptyOk));
        TestClient client;
        client.HeaderInfo.UserId = user;
        client.HeaderInfo.Password = password;
        client.Head(UrlOf(server));
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
    EXPECT_EQ(client.SendData, "a+b%26c%3Dd");
}

TEST(HttpRequest, PostWithoutEncodingSendsTheDataAsItIs) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    client.EncodePostData = false;
    client.Post(UrlOf(server), "a b");
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_NE(server.Received(0).find("Content-Length: 3\r\n\r\na b"), std::string::npos);
}

TEST(HttpRequest, PutPatchAndTraceSendTheirBodyUnencoded) {
    // A zero byte and more than 16 bits of length: every byte is sent, and
    // the length announced is the length sent.
    // The server answers once the whole body is in: the client closes after
    // the reply, and bytes still unread would be lost with the connection.
    const std::string body = std::string("x y\0z", 5) + std::string(70000, 'b') + "<end>";
    using Operation = void (THttpClient::*)(const std::string&, const std::string&);
    const std::pair<Operation, std::string> operations[] = {{&THttpClient::Put, "PUT "},
                                                            {&THttpClient::Patch, "PATCH "},
                                                            {&THttpClient::Trace, "TRACE "}};
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

TEST(HttpRequest, PutInFileModeSendsTheFileAndWritesTheReplyHeaderToAFile) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string bodyFile = directory.filePath("body.bin").toStdString();
    std::string bytes(200000, '\0');
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        bytes[index] = static_cast<char>(index * 31 % 251);
    }
    bytes += "<end>";
    std::ofstream(bodyFile, std::ios::binary) << bytes;

    const std::string reply = "HTTP/1.0 201 Created\r\nContent-Length: 0\r\n\r\n";
    LoopbackServer server(ServerScript().ReadUntil("<end>").Send(reply).Hold());
    TestClient client;
    client.OutputFileMode = true;
    client.Header = directory.filePath("head.txt").toStdString();
    client.Put(UrlOf(server, "/upload"), bodyFile);
    ASSERT_TRUE(server.WaitForFinished(1));
    const std::string received = server.Received(0);
    const std::string tail = "Content-Length: 200005\r\n\r\n";
    ASSERT_NE(received.find(tail), std::string::npos);
    EXPECT_TRUE(received.substr(received.find(tail) + tail.size()) == bytes);
    EXPECT_EQ(client.SendData, bodyFile);
    EXPECT_EQ(client.ReplyNumber, 201);

    std::ifstream header(client.Header, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(header)),
                              std::istreambuf_iterator<char>());
    EXPECT_EQ(written, reply);
}

TEST(HttpRequest, MissingBodyFileFailsBeforeConnecting) {
    LoopbackServer server(Answer(kEmptyOk));
    TestClient client;
    client.OutputFileMode = true;
    bool aboutToSend = false;
    client.OnAboutToSend = [&](QObject*) { aboutToSend = true; };
    EXPECT_THROW(client.Put(UrlOf(server), "/nonexistent/dir/file"), EFileError);
    EXPECT_FALSE(aboutToSend);
    EXPECT_EQ(server.ConnectionsAccepted(), 0);
}

TEST(HttpRequest, CopyAndMoveSendAUriHeaderLinkAndUnlinkALinkLine) {
    using Operation = void (THttpClient::*)(const std::string&, const std::string&);
    const std::tuple<Operation, std::string, std::string> operations[] = {
        {&THttpClient::Copy, "COPY ", "URI-header: http://to.example/b\r\n"},
        {&THttpClient::Move, "MOVE ", "URI-header: http://to.example/b\r\n"},
        {&THttpClient::Link, "LINK ", "Link: http://to.example/b\r\n"},
        {&THttpClient::Unlink, "UNLINK ", "Link: http://to.example/b\r\n"},
    };
    for (const auto& [operation, word, line] : operations) {
        SCOPED_TRACE(word);
        LoopbackServer server(Answer(kEmptyOk));
        TestClient client;
        (client.*operation)(UrlOf(server, "/a"), "http://to.example/b");
        ASSERT_TRUE(server.WaitForFinished(1));
        // Neither carries a body, so neither announces a length.
        EXPECT_EQ(server.Received(0), word + "/a HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAcceptLines +
                                          kContentTypeLine + line + "\r\n");
        EXPECT_EQ(client.HeaderArgument, "http://to.example/b");
    }
}

TEST(HttpRequest, GetHeadOptionsAndDeleteSendNoLengthAndNoBody) {
    using Operation = void (THttpClient::*)(const std::string&);
    const std::pair<Operation, std::string> operations[] = {
        {&THttpClient::Get, "GET "},
        {&THttpClient::Head, "HEAD "},
        {&THttpClient::Options, "OPTIONS "},
        {&THttpClient::Delete, "DELETE "},
    };
    for (const auto& [operation, word] : operations) {
        SCOPED_TRACE(word);
        LoopbackServer server(Answer(kEmptyOk));
        TestClient client;
        client.SendData = "left from an earlier request";
        (client.*operation)(UrlOf(server, "/r"));
        ASSERT_TRUE(server.WaitForFinished(1));
        EXPECT_EQ(server.Received(0), word + "/r HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAcceptLines +
                                          kContentTypeLine + "\r\n");
        EXPECT_EQ(client.SendData, "left from an earlier request");
    }
}

TEST(HttpRequest, PathWithoutAnyHostComposesNoHostLine) {
    TestClient client;
    EXPECT_THROW(client.Head("/only/a/path"), ESockError);
    EXPECT_EQ(client.RequestHeader.IndexOfField("Host"), -1);
    EXPECT_EQ(client.RequestHeader.Strings(0), "HEAD /only/a/path HTTP/1.0");
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
        client.OnSuccess = client.OnFailure = [&](CmdType) { fired = true; };
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
    client.HeaderInfo.Referer = "http://a.example/\r\nX-Injected: 1";
    try {
        client.Head(UrlOf(server));
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
        firstLine = client.RequestHeader.Strings(0);
    };
    client.Head(UrlOf(server, "/z"));
    EXPECT_EQ(connectionsThen, 0);
    EXPECT_EQ(firstLine, "HEAD /z HTTP/1.0");
}

}  // namespace
}  // namespace vornakle::testing
