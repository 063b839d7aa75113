#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/CheckResult.h"

namespace vornakle {

// The rules that tell rot a reply number does not show, as pure functions
// over what a current check found: the hops, the page's title and first
// heading, and the page of a made-up address next to it.

// What a GET of a page showed: the reply number, the body bytes read (at most
// kRotPageBytes), and the title and first heading as text (blanks collapsed).
struct PageSample {
    std::string Url;  // the address asked
    std::int32_t Status = 0;
    std::size_t Size = 0;
    std::string Title;
    std::string Heading;
};

// A page is read this far: titles and first headings come early, and a
// server streaming without end must not hold the check.
inline constexpr std::size_t kRotPageBytes = 256 * 1024;

// The signals RotReason starts with, stable for scripts as reason tokens are.
inline constexpr std::string_view kFrontPageSignal = "front-page-redirect";
inline constexpr std::string_view kSignInSignal = "sign-in-redirect";
inline constexpr std::string_view kErrorTitleSignal = "soft-404-title";
inline constexpr std::string_view kErrorHeadingSignal = "soft-404-heading";
inline constexpr std::string_view kMadeUpSignal = "same-as-made-up-address";

// Whether the path of url goes beyond the site's root ("/x", not "/" or "/?q").
bool IsDeepLink(std::string_view url);

// The hops went through permanent redirections only (301, 308), ended on a
// 2xx reply, and at an address that differs from the first by more than a
// trailing slash or the letter case of scheme and host, a default port or a
// fragment: the bookmark should point there.
bool IsPermanentMove(const std::vector<CheckHop>& hops);

// For a deep link whose redirections ended with 2xx on the front page or on
// a sign-in page of the same site: the RotReason ("signal: final URL").
std::optional<std::string> RedirectSuspicion(const std::vector<CheckHop>& hops);

// What the hops alone say, RedirectSuspicion deciding before
// IsPermanentMove (a move for good to the front page is a removal): the
// class, and for Suspect its reason.
std::pair<RotClass, std::string> RotOfHops(const std::vector<CheckHop>& hops);

// The phrase of the error-page table (English, German, French, Spanish,
// Italian) that text holds as whole words, compared without the letter case
// of ASCII and of the accented letters the phrases use.
std::optional<std::string_view> ErrorPagePhrase(std::string_view text);

// The RotReason of a page whose title or first heading says it is an error
// page.
std::optional<std::string> ErrorPageSuspicion(const PageSample& page);

// Whether page is what the site serves for any address: the made-up sibling
// got the same status, the same title (not none) and a size within a few
// percent.
bool SameAsMadeUp(const PageSample& page, const PageSample& madeUp);

// The address next to url that no site has: its last path part replaced by
// token (the query dropped).
std::string MadeUpSibling(std::string_view url, std::string_view token);

}  // namespace vornakle
