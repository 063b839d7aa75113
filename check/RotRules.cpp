#include "check/RotRules.h"

#include <algorithm>
#include <array>

#include "check/AddressParts.h"

namespace vornakle {

namespace {

// Lower case for ASCII and for the Latin-1 capitals in UTF-8 (C3 80 to C3
// 9E, but the sign of multiplication), which the phrases' languages use.
std::string Folded(std::string_view text) {
    std::string folded(text);
    for (std::size_t index = 0; index < folded.size(); ++index) {
        const auto byte = static_cast<unsigned char>(folded[index]);
        if (byte >= 'A' && byte <= 'Z') {
            folded[index] = static_cast<char>(byte - 'A' + 'a');
        } else if (byte == 0xC3 && index + 1 < folded.size()) {
            const auto next = static_cast<unsigned char>(folded[index + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) {
                folded[index + 1] = static_cast<char>(next + 0x20);
            }
            ++index;
        }
    }
    return folded;
}

bool IsWordByte(char character) {
    const auto byte = static_cast<unsigned char>(character);
    return (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte >= 0x80;
}

// Error pages say so in a few set phrases; each is matched as whole words.
// Lower case, as Folded gives text.
constexpr std::array<std::string_view, 30> kErrorPhrases = {
    // English
    "not found", "404", "page does not exist", "page doesn't exist", "page doesn\u2019t exist",
    "page cannot be found", "page could not be found", "page no longer exists",
    "no longer available",
    // German
    "nicht gefunden", "existiert nicht", "nicht mehr verf\u00fcgbar", "fehlerseite",
    // French
    "introuvable", "non trouv\u00e9e", "non trouv\u00e9", "n'existe pas", "n\u2019existe pas",
    "n'existe plus", "n\u2019existe plus", "page inexistante",
    // Spanish
    "no encontrada", "no encontrado", "no existe", "p\u00e1gina no disponible",
    // Italian
    "non trovata", "non trovato", "non esiste", "pagina inesistente", "pagina non disponibile"};

// The front page of a site: its root, an index file there, or a language's
// root ("/en/", "/de-de").
bool IsFrontPagePath(std::string path) {
    const std::string folded = Folded(path);
    for (const std::string_view index :
         {"index.html", "index.htm", "index.php", "index.asp", "index.aspx", "index.jsp",
          "default.aspx", "default.asp", "home"}) {
        if (folded.size() > index.size() && folded.ends_with(index) &&
            folded[folded.size() - index.size() - 1] == '/') {
            path.resize(path.size() - index.size());
            break;
        }
    }
    std::string_view rest(path);
    while (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
    }
    while (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    if (rest.empty()) {
        return true;
    }
    const auto isLetters = [](std::string_view part) {
        return part.size() == 2 && std::all_of(part.begin(), part.end(), [](char character) {
                   return (character >= 'a' && character <= 'z') ||
                          (character >= 'A' && character <= 'Z');
               });
    };
    // "en" or "en-us"
    return isLetters(rest) || (rest.size() == 5 && (rest[2] == '-' || rest[2] == '_') &&
                               isLetters(rest.substr(0, 2)) && isLetters(rest.substr(3)));
}

bool IsSignInAddress(const AddressParts& parts) {
    const std::string where = Folded(parts.Path + parts.Query);
    constexpr std::array<std::string_view, 14> kSignInWords = {
        "login",    "log-in",    "log_in",    "signin",       "sign-in", "sign_in",        "logon",
        "anmelden", "anmeldung", "connexion", "se-connecter", "accedi",  "iniciar-sesion", "sso"};
    return std::any_of(kSignInWords.begin(), kSignInWords.end(), [&](std::string_view word) {
        for (std::size_t found = where.find(word); found != std::string::npos;
             found = where.find(word, found + 1)) {
            const bool startsWord = found == 0 || !IsWordByte(where[found - 1]);
            const std::size_t end = found + word.size();
            const bool endsWord = end == where.size() || !IsWordByte(where[end]);
            if (startsWord && endsWord) {
                return true;
            }
        }
        return false;
    });
}

// The key of an address less a trailing slash: moving "/a" to "/a/" is no
// move the user needs to follow.
std::string LooseKey(std::string_view url) {
    std::string key = AddressKey(url);
    const std::size_t question = key.find('?');
    const std::size_t pathEnd = question == std::string::npos ? key.size() : question;
    if (pathEnd > 0 && key[pathEnd - 1] == '/') {
        key.erase(pathEnd - 1, 1);
    }
    return key;
}

bool IsSuccess(std::int32_t status) {
    constexpr std::int32_t kFirstSuccess = 200;
    constexpr std::int32_t kFirstRedirect = 300;
    return status >= kFirstSuccess && status < kFirstRedirect;
}

}  // namespace

bool IsDeepLink(std::string_view url) {
    const std::optional<AddressParts> parts = SplitAddress(url);
    return parts && parts->Path != "/";
}

bool IsPermanentMove(const std::vector<CheckHop>& hops) {
    constexpr std::int32_t kMovedPermanently = 301;
    constexpr std::int32_t kPermanentRedirect = 308;
    if (hops.size() < 2 || !IsSuccess(hops.back().Status)) {
        return false;
    }
    for (std::size_t index = 0; index + 1 < hops.size(); ++index) {
        if (hops[index].Status != kMovedPermanently && hops[index].Status != kPermanentRedirect) {
            return false;
        }
    }
    return LooseKey(hops.front().Url) != LooseKey(hops.back().Url);
}

std::optional<std::string> RedirectSuspicion(const std::vector<CheckHop>& hops) {
    if (hops.size() < 2 || !IsSuccess(hops.back().Status)) {
        return std::nullopt;
    }
    const std::optional<AddressParts> first = SplitAddress(hops.front().Url);
    const std::optional<AddressParts> last = SplitAddress(hops.back().Url);
    if (!first || !last || first->Path == "/" || SiteOf(first->Host) != SiteOf(last->Host)) {
        return std::nullopt;
    }
    if (IsSignInAddress(*last) && !IsSignInAddress(*first)) {
        return std::string(kSignInSignal) + ": " + hops.back().Url;
    }
    if (IsFrontPagePath(last->Path) && !IsFrontPagePath(first->Path)) {
        return std::string(kFrontPageSignal) + ": " + hops.back().Url;
    }
    return std::nullopt;
}

std::pair<RotClass, std::string> RotOfHops(const std::vector<CheckHop>& hops) {
    if (std::optional<std::string> suspicion = RedirectSuspicion(hops)) {
        return {RotClass::Suspect, std::move(*suspicion)};
    }
    return {IsPermanentMove(hops) ? RotClass::Moved : RotClass::None, std::string()};
}

std::optional<std::string_view> ErrorPagePhrase(std::string_view text) {
    const std::string folded = Folded(text);
    for (const std::string_view phrase : kErrorPhrases) {
        for (std::size_t found = folded.find(phrase); found != std::string::npos;
             found = folded.find(phrase, found + 1)) {
            const std::size_t end = found + phrase.size();
            if ((found == 0 || !IsWordByte(folded[found - 1])) &&
                (end == folded.size() || !IsWordByte(folded[end]))) {
                return phrase;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> ErrorPageSuspicion(const PageSample& page) {
    if (ErrorPagePhrase(page.Title)) {
        return std::string(kErrorTitleSignal) + ": " + page.Title;
    }
    if (ErrorPagePhrase(page.Heading)) {
        return std::string(kErrorHeadingSignal) + ": " + page.Heading;
    }
    return std::nullopt;
}

bool SameAsMadeUp(const PageSample& page, const PageSample& madeUp) {
    // Pages that repeat the address asked in their text differ by a few bytes.
    constexpr std::size_t kSlackBytes = 64;
    constexpr std::size_t kSlackDivisor = 20;
    const std::size_t larger = std::max(page.Size, madeUp.Size);
    const std::size_t difference = larger - std::min(page.Size, madeUp.Size);
    // Two untitled answers (an empty 200 to anything) show no page at all.
    return !page.Title.empty() && page.Status == madeUp.Status && page.Title == madeUp.Title &&
           difference <= kSlackBytes + larger / kSlackDivisor;
}

std::string MadeUpSibling(std::string_view url, std::string_view token) {
    const std::optional<AddressParts> parts = SplitAddress(url);
    if (!parts) {
        return std::string();
    }
    std::string sibling = parts->Scheme + "://" + parts->UserInfo + parts->Host;
    if (!parts->Port.empty()) {
        sibling += ':' + parts->Port;
    }
    const std::string& path = parts->Path;
    return sibling + path.substr(0, path.rfind('/') + 1) + std::string(token);
}

}  // namespace vornakle
