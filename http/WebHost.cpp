// The URL Standard's host parser. Domains go through libidn2's UTS #46
// processing label by label where the Standard is more lenient than
// libidn2 (ASCII labels: no STD3 rules, hyphens anywhere).

#include "http/WebHost.h"

#include <idn2.h>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace vornakle {

namespace {

constexpr std::size_t kIpv6Pieces = 8;
constexpr std::size_t kIpv4Parts = 4;
// Above any IPv4 address: a number that reaches it is no address, and the
// sum stays far from overflowing.
constexpr std::uint64_t kNumberCap = std::uint64_t{1} << 40;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsForbiddenHostCharacter(unsigned char code) {
    constexpr std::string_view kForbidden("\0\t\n\r #/:<>?@[\\]^|", 18);
    return kForbidden.find(static_cast<char>(code)) != std::string_view::npos;
}

bool IsForbiddenDomainCharacter(unsigned char code) {
    return IsForbiddenHostCharacter(code) || code <= 0x1F || code == '%' || code == 0x7F;
}

std::string PercentDecoded(std::string_view input) {
    std::string out;
    out.reserve(input.size());
    for (std::size_t index = 0; index < input.size(); ++index) {
        if (input[index] == '%' && index + 2 < input.size() && HexValue(input[index + 1]) >= 0 &&
            HexValue(input[index + 2]) >= 0) {
            out += static_cast<char>(HexValue(input[index + 1]) * 16 + HexValue(input[index + 2]));
            index += 2;
        } else {
            out += input[index];
        }
    }
    return out;
}

std::vector<std::string_view> SplitOnDots(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t dot = text.find('.'); dot != std::string_view::npos; dot = text.find('.')) {
        parts.push_back(text.substr(0, dot));
        text.remove_prefix(dot + 1);
    }
    parts.push_back(text);
    return parts;
}

// The IPv4 number parser: decimal, "0x" hexadecimal or "0" octal; none for
// anything else. Values are capped at kNumberCap.
std::optional<std::uint64_t> Ipv4Number(std::string_view input) {
    if (input.empty()) {
        return std::nullopt;
    }
    int radix = 10;
    if (input.size() >= 2 && input[0] == '0' && (input[1] == 'x' || input[1] == 'X')) {
        input.remove_prefix(2);
        radix = 16;
    } else if (input.size() >= 2 && input[0] == '0') {
        input.remove_prefix(1);
        radix = 8;
    }
    std::uint64_t value = 0;
    for (const char character : input) {
        const int digit = HexValue(character);
        if (digit < 0 || digit >= radix) {
            return std::nullopt;
        }
        value =
            std::min(value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(digit),
                     kNumberCap);
    }
    return value;
}

// Whether a domain's last label is a number, which makes it an IPv4
// address or nothing.
bool EndsInNumber(std::string_view domain) {
    std::vector<std::string_view> parts = SplitOnDots(domain);
    if (parts.back().empty()) {
        if (parts.size() == 1) {
            return false;
        }
        parts.pop_back();
    }
    const std::string_view last = parts.back();
    if (!last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos) {
        return true;
    }
    return last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') &&
           Ipv4Number(last).has_value();
}

std::optional<std::string> ParseIpv4(std::string_view input) {
    std::vector<std::string_view> parts = SplitOnDots(input);
    if (parts.back().empty() && parts.size() > 1) {
        parts.pop_back();
    }
    if (parts.size() > kIpv4Parts) {
        return std::nullopt;
    }
    std::vector<std::uint64_t> numbers;
    for (const std::string_view part : parts) {
        const std::optional<std::uint64_t> number = Ipv4Number(part);
        if (!number) {
            return std::nullopt;
        }
        numbers.push_back(*number);
    }
    for (std::size_t index = 0; index + 1 < numbers.size(); ++index) {
        if (numbers[index] > 255) {
            return std::nullopt;
        }
    }
    // The last number fills the bytes the parts before it leave.
    if (numbers.back() >= (std::uint64_t{1} << (8 * (kIpv4Parts + 1 - numbers.size())))) {
        return std::nullopt;
    }
    std::uint64_t address = numbers.back();
    for (std::size_t index = 0; index + 1 < numbers.size(); ++index) {
        address += numbers[index] << (8 * (kIpv4Parts - 1 - index));
    }
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += std::to_string((address >> shift) & 0xFF);
        if (shift > 0) {
            text += '.';
        }
    }
    return text;
}

std::optional<std::array<std::uint16_t, kIpv6Pieces>> ParseIpv6(std::string_view input) {
    std::array<std::uint16_t, kIpv6Pieces> address{};
    std::size_t pieceIndex = 0;
    std::optional<std::size_t> compress;
    std::size_t pointer = 0;
    const auto at = [&input](std::size_t index) {
        return index < input.size() ? input[index] : '\0';
    };
    if (at(0) == ':') {
        if (at(1) != ':') {
            return std::nullopt;
        }
        pointer = 2;
        compress = ++pieceIndex;
    }
    while (pointer < input.size()) {
        if (pieceIndex == kIpv6Pieces) {
            return std::nullopt;
        }
        if (input[pointer] == ':') {
            if (compress) {
                return std::nullopt;
            }
            ++pointer;
            compress = ++pieceIndex;
            continue;
        }
        std::uint32_t value = 0;
        std::size_t length = 0;
        while (length < 4 && HexValue(at(pointer)) >= 0) {
            value = value * 16 + static_cast<std::uint32_t>(HexValue(at(pointer)));
            ++pointer;
            ++length;
        }
        if (at(pointer) == '.') {
            // An IPv4 address in its last two pieces.
            if (length == 0 || pieceIndex > kIpv6Pieces - 2) {
                return std::nullopt;
            }
            pointer -= length;
            std::size_t numbersSeen = 0;
            while (pointer < input.size()) {
                std::optional<std::uint32_t> ipv4Piece;
                if (numbersSeen > 0) {
                    if (input[pointer] != '.' || numbersSeen >= kIpv4Parts) {
                        return std::nullopt;
                    }
                    ++pointer;
                }
                if (pointer >= input.size() || input[pointer] < '0' || input[pointer] > '9') {
                    return std::nullopt;
                }
                while (pointer < input.size() && input[pointer] >= '0' && input[pointer] <= '9') {
                    const auto number = static_cast<std::uint32_t>(input[pointer] - '0');
                    if (!ipv4Piece) {
                        ipv4Piece = number;
                    } else if (*ipv4Piece == 0) {
                        return std::nullopt;
                    } else {
                        ipv4Piece = *ipv4Piece * 10 + number;
                    }
                    if (*ipv4Piece > 255) {
                        return std::nullopt;
                    }
                    ++pointer;
                }
                address[pieceIndex] =
                    static_cast<std::uint16_t>(address[pieceIndex] * 0x100 + *ipv4Piece);
                ++numbersSeen;
                if (numbersSeen == 2 || numbersSeen == 4) {
                    ++pieceIndex;
                }
            }
            if (numbersSeen != kIpv4Parts) {
                return std::nullopt;
            }
            break;
        }
        if (at(pointer) == ':') {
            ++pointer;
            if (pointer >= input.size()) {
                return std::nullopt;
            }
        } else if (pointer < input.size()) {
            return std::nullopt;
        }
        address[pieceIndex] = static_cast<std::uint16_t>(value);
        ++pieceIndex;
    }
    if (compress) {
        std::size_t swaps = pieceIndex - *compress;
        pieceIndex = kIpv6Pieces - 1;
        while (pieceIndex != 0 && swaps > 0) {
            std::swap(address[pieceIndex], address[*compress + swaps - 1]);
            --pieceIndex;
            --swaps;
        }
    } else if (pieceIndex != kIpv6Pieces) {
        return std::nullopt;
    }
    return address;
}

// The Standard's IPv6 serializer: lower-case hex pieces, the first longest
// run of two or more zero pieces written "::".
std::string SerializedIpv6(const std::array<std::uint16_t, kIpv6Pieces>& address) {
    std::size_t bestStart = kIpv6Pieces;
    std::size_t bestLength = 1;
    for (std::size_t start = 0; start < kIpv6Pieces;) {
        std::size_t end = start;
        while (end < kIpv6Pieces && address[end] == 0) {
            ++end;
        }
        if (end - start > bestLength) {
            bestStart = start;
            bestLength = end - start;
        }
        start = end == start ? start + 1 : end;
    }
    std::string text = "[";
    constexpr std::string_view kHex = "0123456789abcdef";
    for (std::size_t index = 0; index < kIpv6Pieces; ++index) {
        if (index == bestStart) {
            text += index == 0 ? "::" : ":";
            index += bestLength - 1;
            continue;
        }
        std::string piece;
        for (std::uint16_t value = address[index]; value != 0; value >>= 4) {
            piece.insert(piece.begin(), kHex[value & 0xF]);
        }
        text += piece.empty() ? "0" : piece;
        if (index + 1 < kIpv6Pieces) {
            text += ':';
        }
    }
    return text + ']';
}

std::optional<std::string> OpaqueHost(std::string_view input) {
    std::string host;
    for (const char character : input) {
        const auto code = static_cast<unsigned char>(character);
        if (IsForbiddenHostCharacter(code)) {
            return std::nullopt;
        }
        if (code < 0x20 || code > 0x7E) {
            constexpr std::string_view kHex = "0123456789ABCDEF";
            host += '%';
            host += kHex[code >> 4];
            host += kHex[code & 0xF];
        } else {
            host += character;
        }
    }
    return host;
}

bool IsAscii(std::string_view text) {
    for (const char character : text) {
        if (static_cast<unsigned char>(character) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& character : lower) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
    return lower;
}

bool IsAceLabel(std::string_view label) {
    return label.size() >= 4 && AsciiLower(label.substr(0, 4)) == "xn--";
}

// libidn2's UTS #46 processing of one text, non-transitional, and its
// status.
int Idn2ToAscii(const std::string& text, std::string& ascii) {
    char* output = nullptr;
    const int status =
        idn2_to_ascii_8z(text.c_str(), &output, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
    const std::unique_ptr<char, decltype(&std::free)> owned(output, &std::free);
    if (status == IDN2_OK && output != nullptr) {
        ascii = AsciiLower(output);
    }
    return status;
}

// Replaces each From in text by To.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    // Made anew rather than replaced in place: GCC 12 warns falsely
    // (-Wrestrict) on std::string::replace in optimised builds.
    std::string result;
    std::size_t done = 0;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, done)) {
        result.append(text, done, at - done);
        result.append(to);
        done = at + from.size();
    }
    if (done == 0) {
        return;
    }
    result.append(text, done, std::string::npos);
    text = std::move(result);
}

// What the mapping of UTS #46 does that Debian's libidn2 does not yet:
// since Unicode 15.1 the capital sharp s maps to the sharp s, not to "ss"
// (which would name another domain); and the full stops it maps to "."
// (ideographic, fullwidth, halfwidth ideographic) split labels.
std::string Premapped(std::string_view domain) {
    std::string text(domain);
    ReplaceAll(text, "\xE1\xBA\x9E", "\xC3\x9F");
    for (const std::string_view dot : {"\xE3\x80\x82", "\xEF\xBC\x8E", "\xEF\xBD\xA1"}) {
        ReplaceAll(text, dot, ".");
    }
    return text;
}

// One label as UTS #46 gives it under the Standard's settings. libidn2
// applies STD3 rules and IDNA2008's hyphen rules, which the Standard leaves
// off, so an ASCII label that needs no conversion is taken as it is; and it
// refuses what IDNA2008 disallows but UTS #46 keeps valid (symbols such as
// U+2603 or U+2764), for which Qt's UTS #46 conversion of the label stands.
std::optional<std::string> LabelToAscii(std::string_view label) {
    if (IsAscii(label) && !IsAceLabel(label)) {
        return AsciiLower(label);
    }
    std::string ascii;
    const int status = Idn2ToAscii(std::string(label), ascii);
    if (status == IDN2_OK) {
        return ascii;
    }
    if (status != IDN2_DISALLOWED) {
        return std::nullopt;
    }
    const QByteArray ace = QUrl::toAce(QString::fromUtf8(label.data(), std::ssize(label)));
    if (ace.isEmpty()) {
        return std::nullopt;
    }
    return AsciiLower(ace.toStdString());
}

}  // namespace

std::optional<std::string> DomainToAscii(std::string_view domain) {
    std::string result;
    const bool needsConversion = [&domain] {
        if (!IsAscii(domain)) {
            return true;
        }
        for (const std::string_view label : SplitOnDots(domain)) {
            if (IsAceLabel(label)) {
                return true;
            }
        }
        return false;
    }();
    if (!needsConversion) {
        result = AsciiLower(domain);
    } else if (const std::string mapped = Premapped(domain);
               Idn2ToAscii(mapped, result) != IDN2_OK) {
        // libidn2 refused the whole name; labels that the Standard reads
        // more leniently are taken one by one.
        result.clear();
        bool first = true;
        for (const std::string_view label : SplitOnDots(mapped)) {
            std::optional<std::string> ascii =
                label.empty() ? std::optional<std::string>(std::string()) : LabelToAscii(label);
            if (!ascii) {
                return std::nullopt;
            }
            result += first ? "" : ".";
            result += *ascii;
            first = false;
        }
    }
    if (result.empty()) {
        return std::nullopt;
    }
    for (const char character : result) {
        if (IsForbiddenDomainCharacter(static_cast<unsigned char>(character))) {
            return std::nullopt;
        }
    }
    return result;
}

std::optional<std::string> ParseWebHost(std::string_view input, HostKind kind) {
    if (input.starts_with('[')) {
        if (!input.ends_with(']')) {
            return std::nullopt;
        }
        const auto address = ParseIpv6(input.substr(1, input.size() - 2));
        if (!address) {
            return std::nullopt;
        }
        return SerializedIpv6(*address);
    }
    if (kind == HostKind::Opaque) {
        return OpaqueHost(input);
    }
    const std::optional<std::string> ascii = DomainToAscii(PercentDecoded(input));
    if (!ascii) {
        return std::nullopt;
    }
    if (EndsInNumber(*ascii)) {
        return ParseIpv4(*ascii);
    }
    return ascii;
}

}  // namespace vornakle
