#include "check/SearchRedirect.h"

#include <algorithm>
#include <array>
#include <set>
#include <string>

#include "check/AddressParts.h"
#include "check/PagePhrases.h"
#include "check/QueryChoice.h"
#include "platform/AsciiCase.h"
#include "store/LinkStatus.h"

namespace vornakle {

namespace {

// Path parts of search pages, in the languages of the phrase tables.
constexpr auto kSearchParts = std::to_array<std::string_view>(
    {"search",        "s",           "find",          "suche",          "suchen",
     "recherche",     "rechercher",  "buscar",        "busca",          "busqueda",
     "cerca",         "ricerca",     "zoeken",        "zoek",           "pesquisa",
     "szukaj",        "sok",         "searchresults", "search-results", "search.php",
     "search.html",   "search.aspx", "search.asp",    "search.jsp",     "search.cgi",
     "catalogsearch", "poisk"});

// Query keys of search terms.
constexpr auto kSearchKeys = std::to_array<std::string_view>(
    {"q", "s", "query", "search", "search_query", "searchterm", "search_term", "searchtext",
     "keyword", "keywords", "k", "term", "terms", "text", "w", "wd", "suchbegriff", "qs"});

bool Contains(const auto& table, std::string_view entry) {
    return std::find(table.begin(), table.end(), entry) != table.end();
}

// The words of a text of an address: runs of letters and digits, lower case,
// three characters at least; file types and index names say nothing.
std::set<std::string> Words(std::string_view text) {
    std::set<std::string> words;
    std::string word;
    const auto take = [&] {
        if (word.size() >= 3 && word != "html" && word != "htm" && word != "php" &&
            word != "aspx" && word != "asp" && word != "index" && word != "www") {
            words.insert(word);
        }
        word.clear();
    };
    for (const char character : AsciiLowerCase(text)) {
        const auto byte = static_cast<unsigned char>(character);
        if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte >= 0x80) {
            word += character;
        } else {
            take();
        }
    }
    take();
    return words;
}

// The terms of a search address: the values of its search keys, decoded.
std::string SearchTerms(const AddressParts& parts) {
    std::string terms;
    for (const auto& [key, value] : QueryPairs(parts.Query)) {
        if (Contains(kSearchKeys, AsciiLowerCase(key))) {
            terms += PercentDecoded(value) + ' ';
        }
    }
    return terms;
}

bool IsSearch(const AddressParts& parts) {
    std::string_view path = parts.Path;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        if (Contains(kSearchParts, AsciiLowerCase(path.substr(0, slash)))) {
            return true;
        }
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    const auto pairs = QueryPairs(parts.Query);
    return std::any_of(pairs.begin(), pairs.end(), [](const auto& pair) {
        return Contains(kSearchKeys, AsciiLowerCase(pair.first));
    });
}

}  // namespace

bool IsSearchAddress(std::string_view url) {
    const std::optional<AddressParts> parts = SplitAddress(url);
    return parts && IsSearch(*parts);
}

std::optional<Clue> SearchRedirectSuspicion(const std::vector<RequestHop>& hops,
                                            const PageSample* page) {
    if (hops.size() < 2 || !IsSuccess(hops.back().Status) || !IsDeepLink(hops.front().Url)) {
        return std::nullopt;
    }
    const std::optional<AddressParts> first = SplitAddress(hops.front().Url);
    const std::optional<AddressParts> last = SplitAddress(hops.back().Url);
    if (!first || !last || SiteOf(first->Host) != SiteOf(last->Host) || IsSearch(*first) ||
        !IsSearch(*last)) {
        return std::nullopt;
    }
    const std::set<std::string> linkWords = Words(PercentDecoded(first->Path + first->Query));
    const std::set<std::string> termWords = Words(SearchTerms(*last));
    const bool repeats =
        std::any_of(termWords.begin(), termWords.end(),
                    [&](const std::string& word) { return linkWords.contains(word); });
    const bool nothingFound =
        page != nullptr && (NoResultsPhrase(page->Title) || NoResultsPhrase(page->Heading) ||
                            NoResultsPhrase(page->Text));
    if (repeats || nothingFound) {
        return Clue{Signal::SearchRedirect, hops.back().Url};
    }
    return std::nullopt;
}

}  // namespace vornakle
