#include "check/FileLinks.h"

#include <vector>

#include "platform/AsciiCase.h"
#include "platform/FileSystem.h"

namespace vornakle {

namespace {

constexpr std::string_view kFileScheme = "file:";
constexpr int kHexBase = 16;
constexpr int kDecimalDigits = 10;
// What a file that is there gets: the status of a page that is there.
constexpr std::int32_t kFileThereStatus = 200;

bool IsSlash(char character) {
    return character == '/' || character == '\\';
}

bool IsAsciiLetter(char character) {
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
}

int HexValue(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + kDecimalDigits;
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + kDecimalDigits;
    }
    return -1;
}

// "%XX" as its byte; a "%" without two hex digits stays as it is.
std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '%' && index + 2 < text.size() && HexValue(text[index + 1]) >= 0 &&
            HexValue(text[index + 2]) >= 0) {
            decoded +=
                static_cast<char>(HexValue(text[index + 1]) * kHexBase + HexValue(text[index + 2]));
            index += 2;
        } else {
            decoded += text[index];
        }
    }
    return decoded;
}

// "C:" or "C|", which Windows paths begin with.
bool IsDriveLetter(std::string_view segment) {
    return segment.size() == 2 && IsAsciiLetter(segment[0]) &&
           (segment[1] == ':' || segment[1] == '|');
}

bool IsSingleDot(std::string_view segment) {
    return segment == "." || AsciiLowerCase(segment) == "%2e";
}

bool IsDoubleDot(std::string_view segment) {
    const std::string lower = AsciiLowerCase(segment);
    return lower == ".." || lower == ".%2e" || lower == "%2e." || lower == "%2e%2e";
}

FilePlace OtherSystem(std::string where) {
    FilePlace place;
    place.Is = FilePlace::Kind::OtherSystem;
    place.Where = std::move(where);
    return place;
}

}  // namespace

FilePlace FilePlaceOf(std::string_view url) {
    std::string_view rest = url.substr(std::min(url.size(), kFileScheme.size()));
    rest = rest.substr(0, std::min(rest.find_first_of("?#"), rest.size()));
    if (rest.size() >= 2 && IsSlash(rest[0]) && IsSlash(rest[1])) {
        rest.remove_prefix(2);
        const std::size_t hostEnd = std::min(rest.find_first_of("/\\"), rest.size());
        const std::string_view host = rest.substr(0, hostEnd);
        // "file://C:/x" names a drive, not a computer.
        if (!IsDriveLetter(host)) {
            const std::string name = AsciiLowerCase(PercentDecoded(host));
            if (!name.empty() && name != "localhost") {
                return OtherSystem(name);
            }
            rest.remove_prefix(hostEnd);
        }
    }
    std::vector<std::string_view> segments;
    bool trailingSlash = false;
    while (!rest.empty()) {
        if (IsSlash(rest.front())) {
            rest.remove_prefix(1);
        }
        const std::size_t end = std::min(rest.find_first_of("/\\"), rest.size());
        const std::string_view segment = rest.substr(0, end);
        rest.remove_prefix(end);
        trailingSlash = segment.empty() || IsSingleDot(segment) || IsDoubleDot(segment);
        if (IsDoubleDot(segment)) {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!IsSingleDot(segment) && !segment.empty()) {
            segments.push_back(segment);
        }
    }
    if (!segments.empty() && IsDriveLetter(segments.front())) {
        return OtherSystem(AsciiUpperCase(segments.front().substr(0, 1)) + ":");
    }
    FilePlace place;
    for (const std::string_view segment : segments) {
        place.Path += '/';
        place.Path += PercentDecoded(segment);
    }
    if (place.Path.empty() || trailingSlash) {
        place.Path += '/';
    }
    if (place.Path.find('\0') != std::string::npos) {
        place.Is = FilePlace::Kind::ZeroByte;
    }
    return place;
}

CheckResult CheckFileLink(std::string_view url) {
    const FilePlace place = FilePlaceOf(url);
    switch (place.Is) {
        case FilePlace::Kind::OtherSystem: {
            CheckResult result = CheckResult::Failed(
                FailureReason::OtherSystem,
                IsDriveLetter(place.Where)
                    ? "a path on drive " + place.Where + " of another system"
                    : "a file of the computer " + place.Where + ", not of this one");
            result.Found = Finding::NotChecked;
            return result;
        }
        case FilePlace::Kind::ZeroByte:
            return CheckResult::Failed(FailureReason::InvalidUrl, "a zero byte in the path");
        case FilePlace::Kind::Local:
            break;
    }
    switch (PathReadAccess(place.Path)) {
        case ReadAccess::Readable:
            return CheckResult::Answered(LinkStatus::Reply(kFileThereStatus));
        case ReadAccess::Missing:
            return CheckResult::Failed(FailureReason::FileMissing, place.Path);
        case ReadAccess::Unreadable:
            break;
    }
    return CheckResult::Failed(FailureReason::FileUnreadable, place.Path);
}

}  // namespace vornakle
