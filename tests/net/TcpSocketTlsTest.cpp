#include "net/TcpSocket.h"
#include "net/TransferSupport.h"

#include "support/LoopbackServer.h"
#include "support/TempTree.h"
#include "support/TestCertificates.h"
#include "tests/net/NetTestSupport.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

namespace vornakle::testing {
namespace {

using namespace std::chrono_literals;

// A certificate authority the client trusts through TlsCaFile, and one it
// does not know.
class TlsTest : public ::testing::Test {
protected:
    TlsTest() { files.WriteFile("trusted.pem", trusted.CertificatePem()); }

    // A component told to secure its connection to server on Connect.
    void Aim(TTcpSocket& socket, const LoopbackServer& server, const std::string& host) {
        socket.Host = host;
        socket.Port = server.Port();
        socket.UseTls = true;
        socket.TlsCaFile = files.Path("trusted.pem");
        socket.TimeOut = 10000;
    }

    static LoopbackServer::Options Presenting(TestIdentity identity) {
        LoopbackServer::Options options;
        options.tls = std::move(identity);
        return options;
    }

    TestAuthority trusted;
    TestAuthority stranger{"Unknown Test CA"};
    TempTree files;
};

TEST_F(TlsTest, CertificateIsVerifiedAgainstTheTrustedIssuerAndTheHost) {
    struct Case {
        const char* what;
        std::function<TestIdentity()> identity;
        std::string host;
        bool insecure;
        Failure expected;  // empty: the exchange works
        // Given: what the issuers' addresses serve (an address not named
        // serves nothing); a chain the server sent without them is
        // completed with what is served, from these addresses.
        std::optional<std::map<std::string, std::string>> served = std::nullopt;
    };
    const std::vector<std::string> loopback = {"localhost", "127.0.0.1"};
    const std::string address = "http://issuers.example/ca.der";
    const std::string rootAddress = "http://issuers.example/root.p7c";
    const TestAuthority intermediate("Vornakle Test Intermediate", trusted);
    const TestAuthority lower("Vornakle Lower Intermediate", intermediate, rootAddress);
    const TestAuthority strangers("Unknown Test Intermediate", stranger);
    const std::map<std::string, std::string> served = {{address, intermediate.CertificateDer()}};
    const Case cases[] = {
        {"valid, address", [&] { return trusted.Issue(loopback); }, "127.0.0.1", false, {}},
        {"valid, name", [&] { return trusted.Issue(loopback); }, "localhost", false, {}},
        {"expired",
         [&] { return trusted.Issue(loopback, Validity::Expired); },
         "127.0.0.1",
         false,
         {"TLS certificate expired", SockFailure::TlsExpired}},
        {"not yet valid",
         [&] { return trusted.Issue(loopback, Validity::NotYetValid); },
         "127.0.0.1",
         false,
         {"TLS certificate not yet valid", SockFailure::TlsNotYetValid}},
        {"other name",
         [&] { return trusted.Issue({"other.example"}); },
         "localhost",
         false,
         {"TLS certificate host name mismatch", SockFailure::TlsHostMismatch}},
        // An address is checked against the address entries, never the names.
        {"address as a name",
         [&] {
             return trusted.Issue({"127.0.0.1.example", "localhost"});
         },
         "127.0.0.1",
         false,
         {"TLS certificate host name mismatch", SockFailure::TlsHostMismatch}},
        {"unknown issuer",
         [&] { return stranger.Issue(loopback); },
         "127.0.0.1",
         false,
         {"TLS certificate issuer unknown", SockFailure::TlsUnknownIssuer}},
        {"self-signed",
         [&] { return TestAuthority::SelfSigned(loopback); },
         "127.0.0.1",
         false,
         {"TLS certificate self-signed", SockFailure::TlsSelfSigned}},
        // Insecure skips the checks, not the encryption.
        {"insecure, self-signed",
         [&] { return TestAuthority::SelfSigned({"x.example"}); },
         "127.0.0.1",
         true,
         {}},
        // The server sends its certificate only; the intermediate comes from
        // the address the certificate names, and is never an anchor.
        {"intermediate fetched",
         [&] { return intermediate.Issue(loopback, Validity::Current, address); },
         "localhost",
         false,
         {},
         served},
        {"intermediate in PEM, then its own issuer as PKCS #7",
         [&] { return lower.Issue(loopback, Validity::Current, address); },
         "127.0.0.1",
         false,
         {},
         std::map<std::string, std::string>{{address, "junk\n" + lower.CertificatePem()},
                                            {rootAddress, intermediate.CertificateBundle()}}},
        {"intermediate not fetched",
         [&] { return intermediate.Issue(loopback, Validity::Current, address); },
         "127.0.0.1",
         false,
         {"TLS certificate issuer unknown", SockFailure::TlsUnknownIssuer}},
        {"intermediate not served",
         [&] { return intermediate.Issue(loopback, Validity::Current, address); },
         "127.0.0.1",
         false,
         {"TLS certificate issuer unknown; no certificate from " + address,
          SockFailure::TlsUnknownIssuer},
         std::map<std::string, std::string>{{address, "<html>"}}},
        {"intermediate of an unknown authority fetched",
         [&] { return strangers.Issue(loopback, Validity::Current, address); },
         "127.0.0.1",
         false,
         {"TLS certificate issuer unknown", SockFailure::TlsUnknownIssuer},
         std::map<std::string, std::string>{{address, strangers.CertificateDer()}}},
        {"intermediate fetched, other name",
         [&] { return intermediate.Issue({"other.example"}, Validity::Current, address); },
         "localhost",
         false,
         {"TLS certificate host name mismatch", SockFailure::TlsHostMismatch},
         served},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        LoopbackServer server(ServerScript().ReadUntil("ping\r\n").Send("pong\r\n").Close(),
                              Presenting(test.identity()));
        TTcpSocket socket;
        Aim(socket, server, test.host);
        socket.TlsInsecure = test.insecure;
        std::vector<std::string> asked;
        if (test.served) {
            socket.TlsFetchIssuer = [&](const std::string& url) -> std::optional<std::string> {
                asked.push_back(url);
                const auto found = test.served->find(url);
                return found != test.served->end() ? std::optional(found->second) : std::nullopt;
            };
        }
        EXPECT_EQ(FailureOf<ESockError>([&] { socket.Connect(); }), test.expected);
        if (test.expected.first.empty()) {
            EXPECT_EQ(socket.TlsIssuersFetched, asked);
            EXPECT_TRUE(socket.Secured());
            socket.Writeln("ping");
            EXPECT_EQ(socket.ReadLn(), "pong\r\n");
            EXPECT_EQ(socket.ReadLn(), "");
            EXPECT_EQ(server.Received(), "ping\r\n");
        } else {
            EXPECT_FALSE(socket.Secured());
            EXPECT_FALSE(socket.Connected);
            EXPECT_TRUE(server.WaitForFinished(1));
            // A chain completed after the handshake fails after it.
            EXPECT_EQ(server.HandshakesFailed(), asked.empty() ? 1 : 0);
        }
        socket.Disconnect();
    }
}

TEST_F(TlsTest, ServerNameIsSentForNamesOnlyAndSessionsResumeForTheirOwnName) {
    // The server records the name the client indicated (SNI); RFC 6066
    // forbids one for an address. A session resumes for the name it was
    // made for only: the certificate was checked for that name.
    using enum SessionResumption;
    // The host, whether sessions may resume, whether the handshake resumed.
    const std::tuple<std::string, SessionResumption, bool> cases[] = {
        {"127.0.0.1", Never, false}, {"127.0.0.1", Never, false},  {"localhost", Resume, false},
        {"localhost", Resume, true}, {"127.0.0.1", Resume, false}, {"127.0.0.1", Resume, true}};
    LoopbackServer::Options options = Presenting(trusted.Issue({"localhost", "127.0.0.1"}));
    options.sessions = ServerSessions::Resumable;
    LoopbackServer server(ServerScript().Send("hello\n").Close(), options);
    TTcpSocket socket;
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        SCOPED_TRACE(index);
        const auto& [host, resumption, resumed] = cases[index];
        Aim(socket, server, host);
        socket.TlsResumption = resumption;
        socket.Connect();
        EXPECT_EQ(socket.ReadLn(), "hello\n");
        ASSERT_TRUE(server.WaitForFinished(static_cast<int>(index) + 1));
        EXPECT_EQ(server.ServerName(index), host == "localhost" ? "localhost" : "");
        EXPECT_EQ(server.SessionResumed(index), resumed);
        socket.Disconnect();
    }
    EXPECT_EQ(TlsContext::For({socket.TlsCaFile, false, Resume})->Handshakes(),
              (TlsContext::HandshakeCounts{2, 2}));
}

TEST_F(TlsTest, StalledHandshakeTimesOutOrIsCanceled) {
    // A server that accepts but never answers the client's hello.
    LoopbackServer silent(ServerScript().Hold());
    ProbeSocket socket;
    Aim(socket, silent, "127.0.0.1");
    socket.TimeOut = 150;
    EXPECT_EQ(FailureOf<ESockError>([&] { socket.Connect(); }),
              Failure("TLS handshake timed out", SockFailure::TimedOut));
    EXPECT_FALSE(socket.Secured());
    socket.Disconnect();

    socket.TimeOut = 0;
    RunLater(50ms, &socket, [&] { socket.Cancel(); });
    EXPECT_EQ(FailureOf<ESockError>([&] { socket.Connect(); }),
              Failure("TLS handshake canceled", SockFailure::Canceled));
    socket.Disconnect();
    ASSERT_TRUE(silent.WaitForFinished(2));
    // The client hello reached the server both times.
    EXPECT_FALSE(silent.Received(0).empty());
}

TEST_F(TlsTest, PeerThatSpeaksNoTlsIsAProtocolFailure) {
    LoopbackServer plain(ServerScript().Send("HTTP/1.0 400 Bad Request\r\n\r\n").Close());
    TTcpSocket socket;
    Aim(socket, plain, "127.0.0.1");
    const Failure failure = FailureOf<ESockError>([&] { socket.Connect(); });
    EXPECT_EQ(failure.second, SockFailure::TlsProtocol) << failure.first;
    EXPECT_EQ(failure.first.rfind("TLS protocol failure: ", 0), 0u) << failure.first;
}

TEST_F(TlsTest, LinesAndCapturesReadAcrossRecordsAsOverPlainConnections) {
    std::string body;
    for (int index = 0; body.size() < 100000; ++index) {
        body += "line " + std::to_string(index) + "\n";
    }
    // Each Send is a record of its own; a line is split across three.
    LoopbackServer server(ServerScript()
                              .Send("Hel")
                              .Pause(30ms)
                              .Send("lo\r\nB\r")
                              .Pause(30ms)
                              .Send("\n" + body)
                              .Close(),
                          Presenting(trusted.Issue({"127.0.0.1"})));
    TTcpSocket socket;
    Aim(socket, server, "127.0.0.1");
    socket.Connect();
    EXPECT_EQ(socket.ReadLn(), "Hello\r\n");
    EXPECT_EQ(socket.ReadLn(), "B\r\n");
    std::string captured;
    socket.CaptureString(captured, -1);
    EXPECT_EQ(captured, body);
    EXPECT_EQ(socket.ReadLn(), "");
}

TEST_F(TlsTest, HandshakeRunsOnAConnectionAlreadyInUse) {
    // As through a proxy's tunnel: a plain exchange, then TLS for the
    // origin's name on the same connection.
    LoopbackServer server(ServerScript()
                              .ReadUntil("CONNECT\r\n")
                              .Send("200 tunnel\r\n")
                              .StartTls()
                              .ReadUntil("inside\r\n")
                              .Send("secret\r\n")
                              .Close(),
                          Presenting(trusted.Issue({"origin.example"})));
    TTcpSocket socket;
    Aim(socket, server, "127.0.0.1");
    socket.UseTls = false;
    socket.Connect();
    socket.Writeln("CONNECT");
    EXPECT_EQ(socket.ReadLn(), "200 tunnel\r\n");
    EXPECT_FALSE(socket.Secured());
    socket.StartTls("origin.example");
    EXPECT_TRUE(socket.Secured());
    socket.Writeln("inside");
    EXPECT_EQ(socket.ReadLn(), "secret\r\n");
    socket.Disconnect();
    EXPECT_FALSE(socket.Secured());
    EXPECT_EQ(MessageOf<ESockError>([&] { socket.StartTls("origin.example"); }),
              "Socket is not connected");

    // Bytes sent in the clear behind the last line read are no server hello,
    // and must never pass for data the handshake secured.
    LoopbackServer chatty(
        ServerScript().ReadUntil("CONNECT\r\n").Send("200 tunnel\r\nplain").Close());
    Aim(socket, chatty, "127.0.0.1");
    socket.UseTls = false;
    socket.Connect();
    socket.Writeln("CONNECT");
    ASSERT_TRUE(chatty.WaitForFinished(1));
    EXPECT_EQ(socket.ReadLn(), "200 tunnel\r\n");
    EXPECT_EQ(
        FailureOf<ESockError>([&] { socket.StartTls("origin.example"); }),
        Failure("TLS handshake failure: data before the handshake", SockFailure::TlsProtocol));
    EXPECT_FALSE(socket.Secured());
}

TEST_F(TlsTest, SystemTrustStoreIsWhereSslCertFileSays) {
    LoopbackServer server(ServerScript().Send("trusted\n").Close(),
                          Presenting(trusted.Issue({"127.0.0.1"})));
    TTcpSocket socket;
    Aim(socket, server, "127.0.0.1");
    socket.TlsCaFile.clear();
    // OpenSSL's default paths, read when no component holds the context of
    // these settings.
    ASSERT_EQ(::setenv("SSL_CERT_FILE", files.Path("trusted.pem").c_str(), 1), 0);
    ScopeExit restore([] { ::unsetenv("SSL_CERT_FILE"); });
    socket.Connect();
    EXPECT_EQ(socket.ReadLn(), "trusted\n");
}

TEST_F(TlsTest, UnreadableCaFileFailsTheConnect) {
    LoopbackServer server(ServerScript().Hold(), Presenting(trusted.Issue({"127.0.0.1"})));
    TTcpSocket socket;
    Aim(socket, server, "127.0.0.1");
    socket.TlsCaFile = files.Path("missing.pem");
    EXPECT_EQ(FailureOf<ESockError>([&] { socket.Connect(); }),
              Failure("TLS CA file cannot be read: " + socket.TlsCaFile, SockFailure::TlsSetup));
}

TEST(TlsSessionCacheTest, KeepsTheNewestResumableSessionsOfTheRecentPeers) {
    // A session as far as the cache looks at one; its number is its ID.
    const auto session = [](int number, int version, long age = 0) {
        TlsSessionCache::Session made(SSL_SESSION_new());
        const auto id = static_cast<unsigned char>(number);
        EXPECT_EQ(SSL_SESSION_set1_id(made.get(), &id, 1), 1);
        EXPECT_EQ(SSL_SESSION_set_protocol_version(made.get(), version), 1);
        EXPECT_NE(SSL_SESSION_set_time(made.get(), std::time(nullptr) - age), 0);
        return made;
    };
    TlsSessionCache cache;
    const auto take = [&cache](const std::string& peer) {
        const TlsSessionCache::Session taken = cache.Take(peer);
        unsigned int length = 0;
        return taken ? SSL_SESSION_get_id(taken.get(), &length)[0] : -1;
    };
    cache.Keep("a:443", session(1, TLS1_2_VERSION));
    cache.Keep("a:443", session(2, TLS1_3_VERSION));
    cache.Keep("a:443", session(3, TLS1_3_VERSION, 24 * 3600));
    cache.Keep("b:443", session(4, TLS1_3_VERSION));
    // Expired: dropped; TLS 1.3: given once; TLS 1.2: again and again; only to its peer.
    for (const auto& [peer, number] : std::vector<std::pair<std::string, int>>{
             {"a:443", 2}, {"a:443", 1}, {"a:443", 1}, {"b:443", 4}, {"b:443", -1}, {"a:80", -1}}) {
        EXPECT_EQ(take(peer), number) << peer;
    }
    // The peer used longest ago goes first ("1", as "0" was just used), and
    // a peer keeps its newest sessions.
    for (std::size_t peer = 0; peer < TlsSessionCache::kMaxPeers; ++peer) {
        for (std::size_t number = 0; number <= TlsSessionCache::kMaxSessionsPerPeer; ++number) {
            cache.Keep(std::to_string(peer), session(static_cast<int>(number), TLS1_3_VERSION));
        }
    }
    EXPECT_EQ(take("0"), static_cast<int>(TlsSessionCache::kMaxSessionsPerPeer));
    cache.Keep("new", session(9, TLS1_3_VERSION));
    EXPECT_EQ(take("1"), -1);
    // Of the five kept the oldest was dropped.
    for (int left = static_cast<int>(TlsSessionCache::kMaxSessionsPerPeer) - 1; left >= 1; --left) {
        EXPECT_EQ(take("0"), left);
    }
    EXPECT_EQ(take("0"), -1);
}

}  // namespace
}  // namespace vornakle::testing
