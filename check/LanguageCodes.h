#pragma once

#include <string_view>

namespace vornakle {

// Whether code is a language's two-letter code of ISO 639-1 ("en", "DE"),
// letter case aside.
bool IsLanguageCode(std::string_view code);

// Whether tag names a language as sites put it into their paths: an ISO
// 639-1 code, optionally followed by a script and a region, each after "-"
// or "_" ("en", "pt_BR", "en-us", "zh-Hant-TW", "es-419").
bool IsLanguageTag(std::string_view tag);

}  // namespace vornakle
