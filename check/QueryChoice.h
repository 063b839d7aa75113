#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/AddressParts.h"

namespace vornakle {

// Pages chosen by their query ("/watch?v=...", "/item.php?id=...",
// "/?p=123"): which keys choose, and the query a made-up sibling of such a
// page asks with.

// The pairs of a query ("?a=1&b" or "a=1&b"): each key and its value as
// written, a key without "=" with an empty value.
std::vector<std::pair<std::string, std::string>> QueryPairs(std::string_view query);

// Text with each "%XX" read as its byte; a "%" not followed by two hex
// digits stays.
std::string PercentDecoded(std::string_view text);

// Whether the page an address names is chosen by its query: a key that
// names a page ("v", "id", "p", "article", ...), or a handler that shows
// what its query names ("watch", "item.php", "view", ...) with a query. A
// search ("?q="), a page number ("?page=2") or a tracking note choose none.
bool IsQueryChosen(const AddressParts& parts);

// The query a made-up sibling of a page chosen by its query asks with: the
// same keys in their order, the choosing ones (every one, when only the
// handler tells) with a value made up from token, tracking keys
// ("utm_source", "fbclid") left out; with "?". Empty for a page not chosen
// by its query.
std::string MadeUpQuery(const AddressParts& parts, std::string_view token);

// A value no site has, shaped like value: digits for digits (longer than
// value, so it lies beyond the numbers a site has given out), else letters
// and digits of token, as long as value when that is long; empty for an
// empty token.
std::string MadeUpValue(std::string_view value, std::string_view token);

}  // namespace vornakle
