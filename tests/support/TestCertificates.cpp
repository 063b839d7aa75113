#include "support/TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <atomic>
#include <stdexcept>

namespace vornakle::testing {

namespace {

constexpr long kDaySeconds = 24L * 60 * 60;
constexpr long kLifetimeDays = 30;

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using KeyHandle = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertificateHandle = std::unique_ptr<X509, CertificateFree>;

void Require(bool done, const char* what) {
    if (!done) {
        throw std::runtime_error(std::string("test certificate: ") + what);
    }
}

KeyHandle NewKey() {
    KeyHandle key(EVP_EC_gen("P-256"));
    Require(key != nullptr, "key generation failed");
    return key;
}

bool IsAddress(const std::string& name) {
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, name.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    Require(extension != nullptr, "extension refused");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for subjectKey, signed by issuerKey as issuer (itself when
// issuer is null).
CertificateHandle MakeCertificate(EVP_PKEY* subjectKey, const std::string& commonName,
                                  const std::vector<std::string>& names, bool authority,
                                  X509* issuer, EVP_PKEY* issuerKey, Validity validity,
                                  const std::string& issuerAddress = std::string()) {
    static std::atomic<long> serial{1};
    CertificateHandle certificate(X509_new());
    X509* made = certificate.get();
    X509_set_version(made, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(made), serial++);
    long from = -kDaySeconds;
    if (validity == Validity::Expired) {
        from = -kLifetimeDays * kDaySeconds;
    } else if (validity == Validity::NotYetValid) {
        from = kDaySeconds;
    }
    X509_gmtime_adj(X509_getm_notBefore(made), from);
    X509_gmtime_adj(X509_getm_notAfter(made),
                    validity == Validity::Expired ? -kDaySeconds : kLifetimeDays * kDaySeconds);
    X509_set_pubkey(made, subjectKey);
    X509_NAME* subject = X509_get_subject_name(made);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509* signer = issuer != nullptr ? issuer : made;
    X509_set_issuer_name(made, X509_get_subject_name(signer));
    AddExtension(made, signer, NID_basic_constraints,
                 authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    AddExtension(made, signer, NID_key_usage,
                 authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    AddExtension(made, signer, NID_subject_key_identifier, "hash");
    if (!issuerAddress.empty()) {
        AddExtension(made, signer, NID_info_access, "caIssuers;URI:" + issuerAddress);
    }
    if (!authority) {
        AddExtension(made, signer, NID_ext_key_usage, "serverAuth");
        std::string alternatives;
        for (const std::string& name : names) {
            if (!alternatives.empty()) {
                alternatives += ',';
            }
            alternatives += IsAddress(name) ? "IP:" : "DNS:";
            alternatives += name;
        }
        if (!alternatives.empty()) {
            AddExtension(made, signer, NID_subject_alt_name, alternatives);
        }
    }
    Require(X509_sign(made, issuerKey, EVP_sha256()) > 0, "signing failed");
    return certificate;
}

std::string TextOf(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::string CertificateText(X509* certificate) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    Require(PEM_write_bio_X509(bio.get(), certificate) == 1, "certificate not written");
    return TextOf(bio.get());
}

std::string KeyText(EVP_PKEY* key) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    Require(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
            "key not written");
    return TextOf(bio.get());
}

}  // namespace

TestAuthority::TestAuthority(const std::string& commonName) {
    KeyHandle key = NewKey();
    CertificateHandle certificate =
        MakeCertificate(key.get(), commonName, {}, true, nullptr, key.get(), Validity::Current);
    certificatePem_ = CertificateText(certificate.get());
    key_ = key.release();
    certificate_ = certificate.release();
}

TestAuthority::TestAuthority(const std::string& commonName, const TestAuthority& issuer,
                             const std::string& issuerAddress) {
    KeyHandle key = NewKey();
    CertificateHandle certificate =
        MakeCertificate(key.get(), commonName, {}, true, issuer.certificate_, issuer.key_,
                        Validity::Current, issuerAddress);
    certificatePem_ = CertificateText(certificate.get());
    key_ = key.release();
    certificate_ = certificate.release();
}

template <typename Object>
std::string Der(Object* object, int (*encode)(const Object*, unsigned char**)) {
    unsigned char* bytes = nullptr;
    const int length = encode(object, &bytes);
    Require(length > 0, "not encoded");
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

std::string TestAuthority::CertificateDer() const {
    return Der(certificate_, i2d_X509);
}

std::string TestAuthority::CertificateBundle() const {
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> bundle(PKCS7_new(), PKCS7_free);
    Require(bundle != nullptr && PKCS7_set_type(bundle.get(), NID_pkcs7_signed) == 1 &&
                PKCS7_content_new(bundle.get(), NID_pkcs7_data) == 1 &&
                PKCS7_add_certificate(bundle.get(), certificate_) == 1,
            "bundle not made");
    return Der(bundle.get(), i2d_PKCS7);
}

TestAuthority::~TestAuthority() {
    X509_free(certificate_);
    EVP_PKEY_free(key_);
}

TestIdentity TestAuthority::Issue(const std::vector<std::string>& names, Validity validity,
                                  const std::string& issuerAddress) const {
    KeyHandle key = NewKey();
    CertificateHandle certificate =
        MakeCertificate(key.get(), names.empty() ? "server" : names.front(), names, false,
                        certificate_, key_, validity, issuerAddress);
    return {CertificateText(certificate.get()), KeyText(key.get())};
}

std::shared_ptr<SSL_CTX> ServerTlsContext(const TestIdentity& identity, ServerSessions sessions) {
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> certificateText(
        BIO_new_mem_buf(identity.certificatePem.data(),
                        static_cast<int>(identity.certificatePem.size())),
        BIO_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> keyText(
        BIO_new_mem_buf(identity.keyPem.data(), static_cast<int>(identity.keyPem.size())),
        BIO_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(
        PEM_read_bio_X509(certificateText.get(), nullptr, nullptr, nullptr), X509_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(keyText.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    if (!context || !certificate || !key ||
        SSL_CTX_use_certificate(context.get(), certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1) {
        throw std::runtime_error("TLS server context failed");
    }
    if (sessions == ServerSessions::None) {
        SSL_CTX_set_session_cache_mode(context.get(), SSL_SESS_CACHE_OFF);
        SSL_CTX_set_num_tickets(context.get(), 0);
        SSL_CTX_set_options(context.get(), SSL_OP_NO_TICKET);
    }
    return context;
}

TestIdentity TestAuthority::SelfSigned(const std::vector<std::string>& names) {
    KeyHandle key = NewKey();
    CertificateHandle certificate =
        MakeCertificate(key.get(), names.empty() ? "server" : names.front(), names, false, nullptr,
                        key.get(), Validity::Current);
    return {CertificateText(certificate.get()), KeyText(key.get())};
}

}  // namespace vornakle::testing
