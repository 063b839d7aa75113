#include "check/LanguageCodes.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

// ISO 639-1, every two-letter code of a language, sorted for the search.
constexpr auto kLanguageCodes = std::to_array<std::string_view>(
    {"aa", "ab", "ae", "af", "ak", "am", "an", "ar", "as", "av", "ay", "az", "ba", "be", "bg", "bi",
     "bm", "bn", "bo", "br", "bs", "ca", "ce", "ch", "co", "cr", "cs", "cu", "cv", "cy", "da", "de",
     "dv", "dz", "ee", "el", "en", "eo", "es", "et", "eu", "fa", "ff", "fi", "fj", "fo", "fr", "fy",
     "ga", "gd", "gl", "gn", "gu", "gv", "ha", "he", "hi", "ho", "hr", "ht", "hu", "hy", "hz", "ia",
     "id", "ie", "ig", "ii", "ik", "io", "is", "it", "iu", "ja", "jv", "ka", "kg", "ki", "kj", "kk",
     "kl", "km", "kn", "ko", "kr", "ks", "ku", "kv", "kw", "ky", "la", "lb", "lg", "li", "ln", "lo",
     "lt", "lu", "lv", "mg", "mh", "mi", "mk", "ml", "mn", "mr", "ms", "mt", "my", "na", "nb", "nd",
     "ne", "ng", "nl", "nn", "no", "nr", "nv", "ny", "oc", "oj", "om", "or", "os", "pa", "pi", "pl",
     "ps", "pt", "qu", "rm", "rn", "ro", "ru", "rw", "sa", "sc", "sd", "se", "sg", "si", "sk", "sl",
     "sm", "sn", "so", "sq", "sr", "ss", "st", "su", "sv", "sw", "ta", "te", "tg", "th", "ti", "tk",
     "tl", "tn", "to", "tr", "ts", "tt", "tw", "ty", "ug", "uk", "ur", "uz", "ve", "vi", "vo", "wa",
     "wo", "xh", "yi", "yo", "za", "zh", "zu"});

static_assert(std::is_sorted(kLanguageCodes.begin(), kLanguageCodes.end()));

bool IsLetters(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char character) {
        return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
    });
}

bool IsDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char character) {
        return character >= '0' && character <= '9';
    });
}

// The scripts sites name in their language paths ("zh-hant", "sr-latn").
// Any four letters would make "de-news" or "it-jobs" a language.
constexpr auto kScripts =
    std::to_array<std::string_view>({"arab", "cyrl", "deva", "hans", "hant", "latn"});

// A subtag after the language (RFC 5646 section 2.1): a script ("Hant") or
// a region of two letters or three digits ("BR", "419").
bool IsScriptOrRegion(std::string_view subtag) {
    return (subtag.size() == 2 && IsLetters(subtag)) || (subtag.size() == 3 && IsDigits(subtag)) ||
           std::find(kScripts.begin(), kScripts.end(), AsciiLowerCase(subtag)) != kScripts.end();
}

}  // namespace

bool IsLanguageCode(std::string_view code) {
    if (code.size() != 2 || !IsLetters(code)) {
        return false;
    }
    return std::binary_search(kLanguageCodes.begin(), kLanguageCodes.end(),
                              std::string_view(AsciiLowerCase(code)));
}

bool IsLanguageTag(std::string_view tag) {
    constexpr std::size_t kMostSubtags = 2;
    const std::size_t separator = tag.find_first_of("-_");
    if (!IsLanguageCode(tag.substr(0, separator))) {
        return false;
    }
    std::size_t subtags = 0;
    for (std::string_view rest = separator == std::string_view::npos ? std::string_view()
                                                                     : tag.substr(separator);
         !rest.empty(); ++subtags) {
        rest.remove_prefix(1);
        const std::size_t next = rest.find_first_of("-_");
        if (subtags == kMostSubtags || !IsScriptOrRegion(rest.substr(0, next))) {
            return false;
        }
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next);
    }
    return true;
}

}  // namespace vornakle
