#pragma once

// Certificates for the TLS tests and benchmarks, made on the spot with
// OpenSSL: a test certificate authority and the server certificates it
// issues (valid, expired, not yet valid, for other names), certificates that
// sign themselves, and an authority nobody trusts. EC P-256 keys, so that
// making them takes milliseconds.

#include <memory>
#include <string>
#include <vector>

using EVP_PKEY = struct evp_pkey_st;
using X509 = struct x509_st;
using SSL_CTX = struct ssl_ctx_st;

namespace vornakle::testing {

// A certificate and its private key, as PEM texts.
struct TestIdentity {
    std::string certificatePem;
    std::string keyPem;
};

enum class Validity { Current, Expired, NotYetValid };

class TestAuthority {
public:
    explicit TestAuthority(const std::string& commonName = "Vornakle Test CA");
    // An intermediate authority that issuer certifies, naming issuerAddress
    // for issuer's certificate when given.
    TestAuthority(const std::string& commonName, const TestAuthority& issuer,
                  const std::string& issuerAddress = std::string());
    ~TestAuthority();
    TestAuthority(const TestAuthority&) = delete;
    TestAuthority& operator=(const TestAuthority&) = delete;

    // What a client trusts to accept what this authority issues.
    const std::string& CertificatePem() const { return certificatePem_; }
    std::string CertificateDer() const;
    // The certificate alone in a PKCS #7 bundle, DER (".p7c").
    std::string CertificateBundle() const;
    // A server certificate for names: each an IP address ("127.0.0.1",
    // "::1"), which becomes an IP address entry, or a DNS name; given an
    // issuerAddress, its Authority Information Access names it (caIssuers).
    TestIdentity Issue(const std::vector<std::string>& names, Validity validity = Validity::Current,
                       const std::string& issuerAddress = std::string()) const;
    // A server certificate for names that is its own issuer.
    static TestIdentity SelfSigned(const std::vector<std::string>& names);

private:
    EVP_PKEY* key_ = nullptr;
    X509* certificate_ = nullptr;
    std::string certificatePem_;
};

// Whether a server lets clients resume their sessions: None has neither
// session cache nor tickets, Resumable both (OpenSSL's defaults).
enum class ServerSessions { None, Resumable };

// The server side of TLS presenting identity. Shared by the servers of one
// test; OpenSSL serves connections of one context concurrently.
std::shared_ptr<SSL_CTX> ServerTlsContext(const TestIdentity& identity,
                                          ServerSessions sessions = ServerSessions::None);

}  // namespace vornakle::testing
