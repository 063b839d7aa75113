#pragma once

#include <optional>
#include <vector>

#include "check/CheckResult.h"
#include "check/RotRules.h"

namespace vornakle {

// Whether an address is its site's search: a path part named for search
// ("/search", "/s", "/suche", "/catalogsearch/result") or a query key
// named so ("?q=", "?s=", "query=", "keywords=", ...).
bool IsSearchAddress(std::string_view url);

// A deep link whose redirections ended with 2xx on its own site's search,
// when the search's terms repeat words of the link's address ("/shop/red-
// boots" to "/search?q=red+boots") or its page (title, first heading or
// first text; none when not read) says it found nothing ("0 results",
// "keine Treffer"): the site looks for what it no longer has
// (search-redirect, the final URL as detail). A bookmarked search that
// moved is none.
std::optional<Clue> SearchRedirectSuspicion(const std::vector<RequestHop>& hops,
                                            const PageSample* page);

}  // namespace vornakle
