#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using X509 = struct x509_st;

namespace vornakle {

// Fetches what the http address a certificate names for its issuer's
// certificate serves (Authority Information Access, caIssuers; RFC 5280
// section 4.2.2.1): the body, or none when no usable reply came. Called on
// the connection's thread once its handshake is through, and may wait
// there for the network.
using IssuerFetch = std::function<std::optional<std::string>(const std::string& url)>;

// A certificate names one or two such addresses; a certificate naming more
// gets no more fetches for them.
inline constexpr std::size_t kMaxIssuerAddresses = 4;
// An issuer's address serves its certificate, a bundle of a few at most.
inline constexpr std::size_t kMaxCertificatesPerBody = 8;

struct CertificateFree {
    void operator()(X509* certificate) const;
};
using Certificate = std::unique_ptr<X509, CertificateFree>;

// The http addresses certificate names for its issuer's certificate, in its
// order, at most kMaxIssuerAddresses; an address that is not printable
// ASCII or longer than kMaxIssuerAddressLength is left out, since it goes
// into a request line and into what the programs print.
std::vector<std::string> IssuerAddresses(X509* certificate);
inline constexpr std::size_t kMaxIssuerAddressLength = 2048;

// The certificates of an issuer's address's body, at most
// kMaxCertificatesPerBody: one in DER, one or more in PEM, or a PKCS #7
// bundle of certificates in DER or PEM (".p7c", which some authorities
// serve). None for anything else.
std::vector<Certificate> CertificatesOfBody(const std::string& body);

}  // namespace vornakle
