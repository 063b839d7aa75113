#include "check/RotRules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

#include "check/AddressParts.h"
#include "check/LanguageCodes.h"
#include "check/QueryChoice.h"
#include "check/ScriptNavigation.h"
#include "check/SignInReturn.h"
#include "http/WebUrl.h"
#include "platform/AsciiCase.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

bool IsWordByte(char character) {
    const auto byte = static_cast<unsigned char>(character);
    return (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte >= 0x80;
}

// The words of an address's part, in lower case: runs of letters and digits.
std::vector<std::string> AddressWords(std::string_view part) {
    std::vector<std::string> words;
    std::string word;
    for (const char character : AsciiLowerCase(part)) {
        if (IsWordByte(character)) {
            word += character;
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

bool IsSignInAddress(const AddressParts& parts) {
    const std::string where = AsciiLowerCase(parts.Path + parts.Query);
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

// Whether one path part or query key is named for an error: made of error
// words ("error", "404", "notfound", "not" and "found") and words that go
// with them in such names ("page", "html"), and nothing else. "/error",
// "/404.html", "/page-not-found" and "?aspxerrorpath=" are; "/error-handling"
// and "/room-404" are not.
bool IsErrorName(std::string_view part) {
    constexpr auto kErrorWords = std::to_array<std::string_view>(
        {"error", "errors", "404", "410", "notfound", "pagenotfound", "error404", "404error",
         "errorpage", "aspxerrorpath", "fehler", "fehlerseite", "erreur", "errore"});
    constexpr auto kCompanions = std::to_array<std::string_view>(
        {"page", "not", "found", "http", "custom", "default", "generic", "status", "code", "html",
         "htm", "php", "asp", "aspx", "jsp", "cfm", "shtml"});
    const std::vector<std::string> words = AddressWords(part);
    bool named = false;
    for (std::size_t index = 0; index < words.size(); ++index) {
        const std::string& word = words[index];
        if (std::find(kErrorWords.begin(), kErrorWords.end(), word) != kErrorWords.end() ||
            (word == "not" && index + 1 < words.size() && words[index + 1] == "found")) {
            named = true;
        } else if (std::find(kCompanions.begin(), kCompanions.end(), word) == kCompanions.end()) {
            return false;
        }
    }
    return named;
}

// Whether a key of the address's query names an error ("?aspxerrorpath=").
bool QueryNamesAnError(const AddressParts& parts) {
    std::string_view query =
        parts.Query.empty() ? std::string_view() : std::string_view(parts.Query).substr(1);
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        if (IsErrorName(pair.substr(0, pair.find('=')))) {
            return true;
        }
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    }
    return false;
}

// Whether an address names an error in a part of its path or a key of its
// query.
bool NamesAnError(const AddressParts& parts) {
    std::string_view path = parts.Path;
    for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
         slash = path.find('/')) {
        if (IsErrorName(path.substr(0, slash))) {
            return true;
        }
        path.remove_prefix(slash + 1);
    }
    return IsErrorName(path) || QueryNamesAnError(parts);
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

// Whether an address is its site's front page: its path says so, and no
// query chooses another page ("/?p=123", "/index.php?title=Boots" do).
bool IsFrontPage(const AddressParts& parts) {
    return IsFrontPagePath(parts.Path) && !IsQueryChosen(parts);
}

// The first and last hop of a deep link whose redirections ended with 2xx.
std::optional<std::pair<AddressParts, AddressParts>> RedirectedDeepLink(
    const std::vector<RequestHop>& hops) {
    if (hops.size() < 2 || !IsSuccess(hops.back().Status)) {
        return std::nullopt;
    }
    std::optional<AddressParts> first = SplitAddress(hops.front().Url);
    std::optional<AddressParts> last = SplitAddress(hops.back().Url);
    if (!first || !last || IsFrontPage(*first)) {
        return std::nullopt;
    }
    return std::pair(std::move(*first), std::move(*last));
}

// Whether two texts share nine in ten of their words, counted with their
// repetitions.
bool MostlySameWords(std::string_view first, std::string_view second) {
    constexpr std::size_t kShareTenths = 9;
    std::map<std::string_view, std::size_t> words;
    std::size_t firstCount = 0;
    std::size_t secondCount = 0;
    std::size_t shared = 0;
    const auto forEachWord = [](std::string_view text, const auto& take) {
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find(' ', start), text.size());
            if (end > start) {
                take(text.substr(start, end - start));
            }
            start = end + 1;
        }
    };
    forEachWord(first, [&](std::string_view word) {
        ++words[word];
        ++firstCount;
    });
    forEachWord(second, [&](std::string_view word) {
        ++secondCount;
        if (const auto found = words.find(word); found != words.end() && found->second > 0) {
            --found->second;
            ++shared;
        }
    });
    return shared * 10 >= std::max(firstCount, secondCount) * kShareTenths;
}

std::string WithoutTrailingSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// Whether an address is an error page's own: its last path part names an
// error ("/error", "/404.html", "/errors/not-found") or a key of its query
// does. A section about errors ("/docs/errors", "/errors/", "/error/codes")
// is an ordinary page that a redirection may well lead to.
bool IsErrorPageAddress(const AddressParts& parts) {
    const std::string path = WithoutTrailingSlash(parts.Path);
    const std::string_view last = std::string_view(path).substr(path.rfind('/') + 1);
    return (IsErrorName(last) && AddressWords(last) != std::vector<std::string>{"errors"}) ||
           QueryNamesAnError(parts);
}

// What a made-up sibling keeps of a path: the folder of its last part (a
// path ending in "/" names its last folder: "/blog/post/" names "post" in
// "/blog/"), the part's extension (one to five letters and digits, not
// digits only: "/v1.2" has none) and the trailing slash.
struct PathShape {
    std::string Folder;
    std::string Extension;
    bool FolderLike = false;
};

PathShape ShapeOfPath(std::string path) {
    PathShape shape;
    shape.FolderLike = path.size() > 1 && path.back() == '/';
    if (shape.FolderLike) {
        path.pop_back();
    }
    const std::size_t slash = path.rfind('/');
    shape.Folder = path.substr(0, slash + 1);
    const std::string_view last = std::string_view(path).substr(slash + 1);
    constexpr std::size_t kMaxExtension = 5;
    const std::size_t dot = last.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || last.size() == dot + 1 ||
        last.size() - dot - 1 > kMaxExtension) {
        return shape;
    }
    const std::string_view type = last.substr(dot + 1);
    const bool alphanumeric = std::all_of(type.begin(), type.end(), [](char character) {
        return std::isalnum(static_cast<unsigned char>(character)) != 0;
    });
    const bool letter = std::any_of(type.begin(), type.end(), [](char character) {
        return std::isalpha(static_cast<unsigned char>(character)) != 0;
    });
    if (alphanumeric && letter) {
        shape.Extension = std::string(last.substr(dot));
    }
    return shape;
}

}  // namespace

bool IsFrontPagePath(std::string_view path) {
    std::string_view rest = path;
    const std::string folded = AsciiLowerCase(path);
    for (const std::string_view index :
         {"index.html", "index.htm", "index.php", "index.asp", "index.aspx", "index.jsp",
          "default.aspx", "default.asp", "home"}) {
        if (folded.size() > index.size() && folded.ends_with(index) &&
            folded[folded.size() - index.size() - 1] == '/') {
            rest.remove_suffix(index.size());
            break;
        }
    }
    while (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
    }
    while (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    return rest.empty() || IsLanguageTag(rest);
}

bool IsDeepLink(std::string_view url) {
    const std::optional<AddressParts> parts = SplitAddress(url);
    return parts && !IsFrontPage(*parts);
}

bool IsPermanentMove(const std::vector<RequestHop>& hops) {
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

std::optional<Clue> RedirectSuspicion(const std::vector<RequestHop>& hops, LastPage lastPage) {
    const auto ends = RedirectedDeepLink(hops);
    if (!ends) {
        return std::nullopt;
    }
    const auto& [first, last] = *ends;
    const std::string& finalUrl = hops.back().Url;
    const bool sameSite = SiteOf(first.Host) == SiteOf(last.Host);
    if (sameSite && IsSignInAddress(last) && !IsSignInAddress(first)) {
        return Clue{Signal::SignInRedirect, finalUrl};
    }
    if (IsFrontPage(last) || lastPage == LastPage::SameAsRoot) {
        return Clue{sameSite ? Signal::FrontPageRedirect : Signal::MovedAway, finalUrl};
    }
    // A page about errors that moved ("/docs/errors" to "/docs/errors/"),
    // or the page itself with a note in its query, is no error page.
    if (IsErrorPageAddress(last) && !NamesAnError(first) &&
        WithoutTrailingSlash(first.Path) != WithoutTrailingSlash(last.Path)) {
        return Clue{Signal::ErrorPageRedirect, finalUrl};
    }
    return std::nullopt;
}

std::pair<Finding, Clue> RotOfHops(const std::vector<RequestHop>& hops, LastPage lastPage) {
    if (std::optional<Clue> suspicion = RedirectSuspicion(hops, lastPage)) {
        // A sign-in page that names the link as the way back: the page is
        // there, for whoever signs in.
        if (suspicion->Kind == Signal::SignInRedirect && SignInReturnsToLink(hops)) {
            return {Finding::Login, Clue{Signal::SignInReturn, std::move(suspicion->Detail)}};
        }
        return {Finding::Suspect, std::move(*suspicion)};
    }
    return {IsPermanentMove(hops) ? Finding::Moved : Finding::None, Clue()};
}

bool NeedsRootComparison(const std::vector<RequestHop>& hops) {
    const auto ends = RedirectedDeepLink(hops);
    return ends && !IsFrontPage(ends->second) &&
           WithoutTrailingSlash(ends->first.Path) != WithoutTrailingSlash(ends->second.Path);
}

std::optional<Clue> ErrorPageSuspicion(const PageSample& page, const PageSample* madeUp) {
    const auto says = [madeUp](const std::string& text, const std::string PageSample::*field) {
        const std::optional<std::vector<std::string>> rest = ErrorTextRest(text);
        if (!rest) {
            return false;
        }
        if (rest->empty()) {
            return true;
        }
        // Beside a topic, a product or an article's words, "not found" is
        // the site's own error page only where a made-up address of the
        // same shape gets a page like it: 2xx, and the same words beside.
        if (madeUp == nullptr || !IsSuccess(madeUp->Status)) {
            return false;
        }
        const std::optional<std::vector<std::string>> madeUpRest = ErrorTextRest(madeUp->*field);
        return madeUpRest && *madeUpRest == *rest;
    };
    if (says(page.Title, &PageSample::Title)) {
        return Clue{Signal::ErrorTitle, page.Title};
    }
    if (says(page.Heading, &PageSample::Heading)) {
        return Clue{Signal::ErrorHeading, page.Heading};
    }
    return std::nullopt;
}

std::optional<Clue> EmptyPageSuspicion(const PageSample& madeUp) {
    constexpr std::int32_t kNotFound = 404;
    constexpr std::int32_t kGone = 410;
    if (madeUp.Status == kNotFound || madeUp.Status == kGone) {
        return Clue{Signal::EmptyPage, madeUp.Url + " " + std::to_string(madeUp.Status)};
    }
    return std::nullopt;
}

std::optional<Clue> ParkedSuspicion(const PageSample& page) {
    for (const std::string* text : {&page.Title, &page.Heading, &page.Text}) {
        if (const std::optional<std::string_view> phrase = ParkedDomainPhrase(*text)) {
            return Clue{Signal::ParkedDomain, std::string(*phrase)};
        }
    }
    return std::nullopt;
}

bool SameAsMadeUp(const PageSample& page, const PageSample& madeUp) {
    // Pages that repeat the address asked in their text differ by a few bytes.
    constexpr std::size_t kSlackBytes = 64;
    constexpr std::size_t kSlackDivisor = 20;
    const std::size_t larger = std::max(page.Size, madeUp.Size);
    const std::size_t difference = larger - std::min(page.Size, madeUp.Size);
    // Two untitled answers (an empty 200 to anything) show no page at all,
    // and a page without a heading or text of its own is a shell its
    // scripts fill (a single-page application serves it for every address):
    // what a person sees there cannot be told from here.
    const bool showsItself = !page.Heading.empty() || !page.Text.empty();
    return !page.Title.empty() && showsItself && page.Status == madeUp.Status &&
           page.Title == madeUp.Title && difference <= kSlackBytes + larger / kSlackDivisor;
}

bool SameAsRoot(const PageSample& page, const PageSample& root) {
    // Pages of one template share title, heading and size; the front page
    // itself has the front page's words as well, most of them, as a few
    // change from one request to the next (news, a clock).
    return (!page.FinalUrl.empty() && LooseKey(page.FinalUrl) == LooseKey(root.FinalUrl)) ||
           (SameAsMadeUp(page, root) && page.Heading == root.Heading &&
            MostlySameWords(page.Text, root.Text));
}

namespace {

// Reference read against url as a browser reads a link of its page; empty
// where that gives no web address.
std::string WebAddressFrom(std::string_view url, std::string_view reference) {
    const std::optional<WebUrl> target = ResolveWebUrl(url, reference);
    return target && target->IsWebAddress() ? target->Href() : std::string();
}

}  // namespace

std::string MadeUpSibling(std::string_view url, std::string_view token) {
    const std::string root = RootOf(url);
    if (root.empty()) {
        return root;
    }
    const std::optional<AddressParts> split = SplitAddress(url);
    if (!split) {
        return std::string();
    }
    const AddressParts& parts = *split;
    if (IsQueryChosen(parts)) {
        return WebAddressFrom(root + parts.Path.substr(1) + MadeUpQuery(parts, token), "");
    }
    const PathShape shape = ShapeOfPath(parts.Path);
    return WebAddressFrom(root + shape.Folder.substr(1) + std::string(token) + shape.Extension +
                              (shape.FolderLike ? "/" : ""),
                          "");
}

std::string MadeUpShape(std::string_view url) {
    const std::optional<AddressParts> parts = SplitAddress(url);
    if (!parts) {
        return std::string();
    }
    if (IsQueryChosen(*parts)) {
        return MadeUpSibling(url, std::string_view());
    }
    const PathShape shape = ShapeOfPath(parts->Path);
    return RootOf(url) + std::to_string(std::count(shape.Folder.begin(), shape.Folder.end(), '/')) +
           shape.Extension + (shape.FolderLike ? "/" : "");
}

std::string RootOf(std::string_view url) {
    return WebAddressFrom(url, "/");
}

namespace {

// Where address leads from the page at pageUrl; none when nowhere, or back
// to that page.
std::optional<std::string> OtherAddress(std::string_view address, std::string_view pageUrl) {
    if (address.empty()) {
        return std::nullopt;
    }
    // Only a web address can be followed; anything else ends the steps.
    std::string target = WebAddressFrom(pageUrl, address);
    if (target.empty() || AddressKey(target) == AddressKey(pageUrl)) {
        return std::nullopt;
    }
    return target;
}

}  // namespace

std::optional<std::string> RefreshTarget(std::string_view refresh, std::string_view pageUrl) {
    // The HTML standard's "shared declarative refresh steps": a number of
    // seconds (its fraction ignored), then ";" or ",", then the URL, maybe
    // after "url=" and in quotes.
    const auto skipBlanks = [&refresh] {
        while (!refresh.empty() &&
               (refresh.front() == ' ' || refresh.front() == '\t' || refresh.front() == '\n' ||
                refresh.front() == '\r' || refresh.front() == '\f')) {
            refresh.remove_prefix(1);
        }
    };
    skipBlanks();
    long seconds = 0;
    std::size_t digits = 0;
    for (; digits < refresh.size() && refresh[digits] >= '0' && refresh[digits] <= '9'; ++digits) {
        seconds = std::min<long>(seconds * 10 + (refresh[digits] - '0'), kMaxRefreshSeconds + 1);
    }
    if (digits == 0 && (refresh.empty() || refresh.front() != '.')) {
        return std::nullopt;
    }
    refresh.remove_prefix(digits);
    while (!refresh.empty() &&
           ((refresh.front() >= '0' && refresh.front() <= '9') || refresh.front() == '.')) {
        refresh.remove_prefix(1);
    }
    skipBlanks();
    if (!refresh.empty() && (refresh.front() == ';' || refresh.front() == ',')) {
        refresh.remove_prefix(1);
    }
    skipBlanks();
    if (seconds > kMaxRefreshSeconds || refresh.empty()) {
        return std::nullopt;
    }
    if (AsciiLowerCase(refresh.substr(0, 3)) == "url") {
        std::string_view rest = refresh.substr(3);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
            rest.remove_prefix(1);
        }
        if (!rest.empty() && rest.front() == '=') {
            refresh = rest.substr(1);
            skipBlanks();
        }
    }
    if (!refresh.empty() && (refresh.front() == '"' || refresh.front() == '\'')) {
        const char quote = refresh.front();
        refresh.remove_prefix(1);
        refresh = refresh.substr(0, refresh.find(quote));
    }
    while (!refresh.empty() && (refresh.back() == ' ' || refresh.back() == '\t')) {
        refresh.remove_suffix(1);
    }
    return OtherAddress(refresh, pageUrl);
}

std::optional<std::string> ScriptTarget(std::string_view script, std::string_view pageUrl) {
    const std::optional<std::string> address = ScriptAddress(script);
    return address ? OtherAddress(*address, pageUrl) : std::nullopt;
}

}  // namespace vornakle
