#pragma once

#include <string_view>
#include <vector>

#include "http/RequestHop.h"

namespace vornakle {

// Whether a redirection to a sign-in page leads back to the link: a hop
// after the first carries a return parameter ("next", "return_to",
// "returnUrl", "continue", "redirect_uri", "came_from", "dest", ..., of any
// letter case) whose value, percent-decoded, names the first hop's address
// (a whole URL) or its path (with or without its query), maybe inside the
// return address of a further step ("redirect_uri=/callback?next=...").
// Such a page is there for whoever signs in.
bool SignInReturnsToLink(const std::vector<RequestHop>& hops);

}  // namespace vornakle
