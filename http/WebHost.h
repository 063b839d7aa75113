#pragma once

// The host of a URL as the WHATWG URL Standard reads it: IPv6 and IPv4
// addresses in every form it accepts, opaque hosts of other schemes, and
// domains through UTS #46 to their ASCII form. Pure functions.

#include <optional>
#include <string>
#include <string_view>

namespace vornakle {

// Whether the host is read as a special scheme's host (a domain or an
// address) or as another scheme's opaque host.
enum class HostKind { Special, Opaque };

// The host parser: Input (without the port) in its serialized form, "[::1]"
// in brackets, "127.0.0.1" dotted, a domain in lower-case ASCII; none for
// what the Standard refuses.
std::optional<std::string> ParseWebHost(std::string_view input, HostKind kind);

// The Standard's domain to ASCII with beStrict false: UTS #46 processing,
// non-transitional, hyphens and DNS lengths not checked, STD3 rules off;
// none for a domain it refuses.
std::optional<std::string> DomainToAscii(std::string_view domain);

}  // namespace vornakle
