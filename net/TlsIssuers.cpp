#include "net/TlsIssuers.h"

#include "platform/AsciiCase.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <limits>

namespace vornakle {

void CertificateFree::operator()(X509* certificate) const {
    X509_free(certificate);
}

namespace {

struct AccessFree {
    void operator()(AUTHORITY_INFO_ACCESS* access) const { AUTHORITY_INFO_ACCESS_free(access); }
};
struct BundleFree {
    void operator()(PKCS7* bundle) const { PKCS7_free(bundle); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bundle = std::unique_ptr<PKCS7, BundleFree>;

bool IsFetchableAddress(const std::string& address) {
    return StartsWithAsciiLower(address, "http://") && address.size() <= kMaxIssuerAddressLength &&
           std::all_of(address.begin(), address.end(),
                       [](char character) { return character > ' ' && character < '\x7f'; });
}

// A signed-data bundle's certificates; the signature of such a bundle is
// empty, and the certificates are only chain material, so it is not checked.
void TakeBundle(const PKCS7* bundle, std::vector<Certificate>& certificates) {
    if (bundle == nullptr || OBJ_obj2nid(bundle->type) != NID_pkcs7_signed ||
        bundle->d.sign == nullptr) {
        return;
    }
    const STACK_OF(X509)* held = bundle->d.sign->cert;
    for (int index = 0; index < sk_X509_num(held) && certificates.size() < kMaxCertificatesPerBody;
         ++index) {
        X509* certificate = sk_X509_value(held, index);
        X509_up_ref(certificate);
        certificates.emplace_back(certificate);
    }
}

std::unique_ptr<BIO, BioFree> TextOf(const std::string& body) {
    return std::unique_ptr<BIO, BioFree>(
        BIO_new_mem_buf(body.data(), static_cast<int>(body.size())));
}

}  // namespace

std::vector<std::string> IssuerAddresses(X509* certificate) {
    std::vector<std::string> addresses;
    const std::unique_ptr<AUTHORITY_INFO_ACCESS, AccessFree> access(
        static_cast<AUTHORITY_INFO_ACCESS*>(
            X509_get_ext_d2i(certificate, NID_info_access, nullptr, nullptr)));
    // A damaged extension leaves its error behind.
    ERR_clear_error();
    for (int index = 0; access != nullptr && index < sk_ACCESS_DESCRIPTION_num(access.get()) &&
                        addresses.size() < kMaxIssuerAddresses;
         ++index) {
        const ACCESS_DESCRIPTION* entry = sk_ACCESS_DESCRIPTION_value(access.get(), index);
        if (OBJ_obj2nid(entry->method) != NID_ad_ca_issuers || entry->location->type != GEN_URI) {
            continue;
        }
        const ASN1_IA5STRING* uri = entry->location->d.uniformResourceIdentifier;
        std::string address(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                            static_cast<std::size_t>(ASN1_STRING_length(uri)));
        if (IsFetchableAddress(address) &&
            std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            addresses.push_back(std::move(address));
        }
    }
    return addresses;
}

std::vector<Certificate> CertificatesOfBody(const std::string& body) {
    std::vector<Certificate> certificates;
    if (body.empty() || body.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return certificates;
    }
    const auto* start = reinterpret_cast<const unsigned char*>(body.data());
    const auto length = static_cast<long>(body.size());
    const unsigned char* next = start;
    Certificate one(d2i_X509(nullptr, &next, length));
    if (one != nullptr) {
        certificates.push_back(std::move(one));
    } else {
        next = start;
        const Bundle bundle(d2i_PKCS7(nullptr, &next, length));
        TakeBundle(bundle.get(), certificates);
    }
    if (certificates.empty()) {
        // PEM skips what is not a certificate's block: text before it, and
        // other blocks.
        const auto text = TextOf(body);
        while (certificates.size() < kMaxCertificatesPerBody) {
            Certificate read(PEM_read_bio_X509(text.get(), nullptr, nullptr, nullptr));
            if (read == nullptr) {
                break;
            }
            certificates.push_back(std::move(read));
        }
    }
    if (certificates.empty()) {
        const auto text = TextOf(body);
        const Bundle bundle(PEM_read_bio_PKCS7(text.get(), nullptr, nullptr, nullptr));
        TakeBundle(bundle.get(), certificates);
    }
    // The formats not matched leave their errors behind.
    ERR_clear_error();
    return certificates;
}

}  // namespace vornakle
