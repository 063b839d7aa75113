#include "check/NonWebLinks.h"

#include "check/FileLinks.h"
#include "http/UrlReference.h"
#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

bool IsBlankOrControl(char character) {
    return static_cast<unsigned char>(character) <= ' ';
}

// The address without blanks and controls around it and without tabs and
// line breaks in it, as the URL Standard reads it before anything else.
std::string AsBrowsersReadIt(std::string_view url) {
    while (!url.empty() && IsBlankOrControl(url.front())) {
        url.remove_prefix(1);
    }
    while (!url.empty() && IsBlankOrControl(url.back())) {
        url.remove_suffix(1);
    }
    std::string address;
    address.reserve(url.size());
    for (const char character : url) {
        if (character != '\t' && character != '\n' && character != '\r') {
            address += character;
        }
    }
    return address;
}

CheckResult NotChecked(FailureReason reason, std::string detail) {
    CheckResult result = CheckResult::Failed(reason, std::move(detail));
    result.Found = Finding::NotChecked;
    return result;
}

}  // namespace

std::string SchemeOfLink(std::string_view url) {
    return LinkScheme(AsBrowsersReadIt(url));
}

std::optional<CheckResult> CheckWithoutRequest(std::string_view url) {
    const std::string address = AsBrowsersReadIt(url);
    const std::string scheme = LinkScheme(address);
    if (scheme.empty() || scheme == "http" || scheme == "https") {
        return std::nullopt;
    }
    if (scheme == "file") {
        return CheckFileLink(address);
    }
    // "C:\Users\x.pdf": a path of Windows, whose drive letter reads as a
    // scheme.
    if (scheme.size() == 1) {
        return NotChecked(FailureReason::OtherSystem,
                          "a path on drive " + AsciiUpperCase(scheme) + ": of another system");
    }
    if (scheme == "ftp") {
        // No browser opens ftp: links any more, and the checker speaks no
        // FTP: whether the file is there is not known, so not bad either.
        return NotChecked(FailureReason::NotWeb,
                          "ftp: links are not checked (browsers no longer open them)");
    }
    return NotChecked(FailureReason::NotWeb, scheme + ": links are not checked");
}

}  // namespace vornakle
