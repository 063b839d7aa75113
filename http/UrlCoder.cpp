#include "http/UrlCoder.h"

#include <exception>

namespace vornakle {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsAlphanumeric(unsigned char byte) {
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= 'a' && byte <= 'z');
}

}  // namespace

TUrlCoder::TUrlCoder(QObject* Owner) : QObject(Owner) {}

std::string TUrlCoder::EncodeString(const std::string& PlainText) {
    try {
        std::string encoded;
        encoded.reserve(PlainText.size());
        for (const char character : PlainText) {
            const auto byte = static_cast<unsigned char>(character);
            if (byte == ' ') {
                encoded += '+';
            } else if (IsAlphanumeric(byte)) {
                encoded += character;
            } else {
                encoded += '%';
                encoded += kHexDigits[byte >> 4];
                encoded += kHexDigits[byte & 0x0F];
            }
        }
        return encoded;
    } catch (const std::exception& error) {
        if (OnError) {
            OnError(this, "Error during encode", error.what());
        }
        return PlainText;
    }
}

}  // namespace vornakle
