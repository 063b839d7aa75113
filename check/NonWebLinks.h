#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "check/CheckResult.h"

namespace vornakle {

// The scheme a link names as a browser reads its address (blanks and
// controls around it and tabs and line breaks in it left out), in lower
// case; empty when it names none (LinkScheme).
std::string SchemeOfLink(std::string_view url);

// Under current rules, the result of a link that no request can check, so
// nothing is sent: a file: link is looked up on this system (CheckFileLink);
// any other scheme but http and https (javascript:, mailto:, data:, ftp:,
// ...) and a Windows path ("C:\x") are not checked (reason not-web or
// other-system, Finding::NotChecked, never bad). None for an http or https
// link and for one that names no scheme, which the HTTP check reads.
std::optional<CheckResult> CheckWithoutRequest(std::string_view url);

}  // namespace vornakle
