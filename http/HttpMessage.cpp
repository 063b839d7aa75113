#include "http/HttpMessage.h"

#include <iterator>

#include "http/UrlCoder.h"

namespace vornakle {

namespace {

constexpr std::string_view kRequestWords[] = {
    "GET", "OPTIONS", "HEAD", "POST", "PUT", "PATCH", "DELETE",
};

}  // namespace

bool SendsBody(HttpMethod method) {
    return method == HttpMethod::Post || method == HttpMethod::Put || method == HttpMethod::Patch;
}

std::string_view RequestWord(HttpMethod method) {
    return kRequestWords[static_cast<std::size_t>(method)];
}

std::string FormEncoded(const std::string& text) {
    TUrlCoder coder;
    coder.InputString = text;
    return coder.EncodedInput();
}

}  // namespace vornakle
