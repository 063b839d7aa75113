#include "http/UrlReference.h"

#include "http/UrlSplit.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <optional>

namespace vornakle {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::string_view kRequestableSchemes[] = {"http"};

void AppendEscaped(std::string& encoded, unsigned char code) {
    encoded += '%';
    encoded += kHexDigits[code >> 4];
    encoded += kHexDigits[code & 0xF];
}

bool IsLetter(char character) {
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
}

bool IsDigit(char character) {
    return character >= '0' && character <= '9';
}

// The length of the scheme at the start, without its ":"; 0 when none.
std::size_t SchemeLength(std::string_view text) {
    if (text.empty() || !IsLetter(text[0])) {
        return 0;
    }
    for (std::size_t index = 1; index < text.size(); ++index) {
        const char character = text[index];
        if (character == ':') {
            return index;
        }
        if (!IsLetter(character) && !IsDigit(character) && character != '+' && character != '-' &&
            character != '.') {
            return 0;
        }
    }
    return 0;
}

// The five parts of a reference (RFC 3986 section 3 and appendix B); an
// absent part differs from an empty one.
struct Reference {
    std::optional<std::string> Scheme;
    std::optional<std::string> Authority;
    std::string Path;
    std::optional<std::string> Query;
    std::optional<std::string> Fragment;
};

Reference Split(std::string_view text) {
    Reference parts;
    if (const std::size_t length = SchemeLength(text); length > 0) {
        parts.Scheme = std::string(text.substr(0, length));
        text.remove_prefix(length + 1);
    }
    if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
        parts.Fragment = std::string(text.substr(hash + 1));
        text = text.substr(0, hash);
    }
    if (const std::size_t question = text.find('?'); question != std::string_view::npos) {
        parts.Query = std::string(text.substr(question + 1));
        text = text.substr(0, question);
    }
    if (text.starts_with("//")) {
        const std::size_t end = text.find('/', 2);
        parts.Authority =
            std::string(text.substr(2, end == std::string_view::npos ? end : end - 2));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    }
    parts.Path = std::string(text);
    return parts;
}

// RFC 3986 section 5.2.4.
std::string RemoveDotSegments(std::string_view input) {
    std::string output;
    const auto dropLastSegment = [&output] {
        const std::size_t slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            dropLastSegment();
        } else if (input == "/..") {
            input = "/";
            dropLastSegment();
        } else if (input == "." || input == "..") {
            input = std::string_view();
        } else {
            const std::size_t end = input.find('/', input[0] == '/' ? 1 : 0);
            const std::size_t length = end == std::string_view::npos ? input.size() : end;
            output.append(input.substr(0, length));
            input.remove_prefix(length);
        }
    }
    return output;
}

// RFC 3986 section 5.2.3.
std::string Merge(const Reference& base, const std::string& path) {
    if (base.Authority && base.Path.empty()) {
        return "/" + path;
    }
    const std::size_t slash = base.Path.rfind('/');
    return slash == std::string::npos ? path : base.Path.substr(0, slash + 1) + path;
}

// RFC 3986 section 5.3.
std::string Recomposed(const Reference& parts) {
    std::string text;
    if (parts.Scheme) {
        text += *parts.Scheme + ":";
    }
    if (parts.Authority) {
        text += "//" + *parts.Authority;
    }
    text += parts.Path;
    if (parts.Query) {
        text += "?" + *parts.Query;
    }
    if (parts.Fragment) {
        text += "#" + *parts.Fragment;
    }
    return text;
}

}  // namespace

bool HasScheme(std::string_view reference) {
    return SchemeLength(reference) > 0;
}

std::string ResolveReference(std::string_view base, std::string_view reference) {
    const Reference from = Split(base);
    const Reference relative = Split(reference);
    Reference target;
    if (relative.Scheme) {
        target = relative;
        target.Path = RemoveDotSegments(relative.Path);
        return Recomposed(target);
    }
    target.Scheme = from.Scheme;
    target.Fragment = relative.Fragment;
    if (relative.Authority) {
        target.Authority = relative.Authority;
        target.Path = RemoveDotSegments(relative.Path);
        target.Query = relative.Query;
        return Recomposed(target);
    }
    target.Authority = from.Authority;
    if (relative.Path.empty()) {
        target.Path = from.Path;
        target.Query = relative.Query ? relative.Query : from.Query;
    } else {
        target.Path =
            RemoveDotSegments(relative.Path[0] == '/' ? relative.Path : Merge(from, relative.Path));
        target.Query = relative.Query;
    }
    return Recomposed(target);
}

std::string LinkScheme(std::string_view url) {
    const std::size_t length = SchemeLength(url);
    if (length == 0) {
        return std::string();
    }
    // "host:8080/x": digits up to the end of the authority are a port, and
    // what stands before them a host.
    const std::string_view rest = url.substr(length + 1);
    const std::size_t portEnd = std::min(rest.find_first_of("/?#"), rest.size());
    if (portEnd > 0 &&
        rest.substr(0, portEnd).find_first_not_of("0123456789") == std::string_view::npos) {
        return std::string();
    }
    return AsciiLowerCase(url.substr(0, length));
}

bool IsRequestableScheme(std::string_view scheme, SecureScheme secure) {
    if (secure == SecureScheme::Allowed && scheme == "https") {
        return true;
    }
    for (const std::string_view requestable : kRequestableSchemes) {
        if (scheme == requestable) {
            return true;
        }
    }
    return false;
}

std::string EncodedRequestTarget(std::string_view target) {
    std::string encoded;
    encoded.reserve(target.size());
    for (const char character : target) {
        const auto code = static_cast<unsigned char>(character);
        if (code <= 0x20 || code >= 0x7F) {
            AppendEscaped(encoded, code);
        } else {
            encoded += character;
        }
    }
    return encoded;
}

std::string BrowserRequestTarget(std::string_view target) {
    std::string encoded;
    encoded.reserve(target.size());
    bool inQuery = false;
    for (const char character : target) {
        const auto code = static_cast<unsigned char>(character);
        inQuery = inQuery || character == '?';
        const bool special = character == '"' || character == '<' || character == '>' ||
                             (inQuery ? character == '\''
                                      : (character == '`' || character == '{' || character == '}'));
        if (code <= 0x20 || code >= 0x7F || special) {
            AppendEscaped(encoded, code);
        } else {
            encoded += character;
        }
    }
    return encoded;
}

}  // namespace vornakle
