#include "check/QueryChoice.h"

#include <algorithm>
#include <array>

#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

// Keys whose value names the page shown: videos, articles, posts, items,
// topics, products, documents.
constexpr auto kChoosingKeys = std::to_array<std::string_view>(
    {"v",      "id",      "p",        "page_id",   "article",    "articleid", "article_id",
     "aid",    "post",    "postid",   "post_id",   "story",      "storyid",   "item",
     "itemid", "item_id", "product",  "productid", "product_id", "pid",       "sku",
     "topic",  "thread",  "threadid", "tid",       "showtopic",  "video",     "video_id",
     "vid",    "doc",     "docid",    "doc_id",    "news",       "newsid",    "news_id",
     "nid",    "entry",   "title",    "curid",     "node",       "q_id",      "questionid"});

// Last path parts of handlers that show whatever their query names.
constexpr auto kHandlers = std::to_array<std::string_view>(
    {"watch",          "view",        "show",         "item",        "read",
     "details",        "detail",      "play",         "article",     "story",
     "post",           "entry",       "node",         "item.php",    "index.php",
     "view.php",       "show.php",    "article.php",  "story.php",   "viewtopic.php",
     "showthread.php", "product.php", "details.php",  "detail.php",  "page.php",
     "display.php",    "thread.php",  "forum.php",    "news.php",    "index.cfm",
     "default.aspx",   "view.aspx",   "article.aspx", "default.asp", "index.asp",
     "view.asp",       "article.asp", "index.jsp",    "view.jsp",    "viewarticle.php",
     "viewstory.php",  "wiki.pl"});

// Keys that only note where a visitor came from.
bool IsTrackingKey(const std::string& key) {
    return key.starts_with("utm_") || key == "fbclid" || key == "gclid" || key == "mc_cid" ||
           key == "mc_eid";
}

bool IsChoosingKey(const std::string& key) {
    return std::find(kChoosingKeys.begin(), kChoosingKeys.end(), key) != kChoosingKeys.end();
}

std::string LastPathPart(const std::string& path) {
    return AsciiLowerCase(std::string_view(path).substr(path.rfind('/') + 1));
}

int HexDigit(char character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    const char lower = AsciiLower(character);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> QueryPairs(std::string_view query) {
    if (!query.empty() && query.front() == '?') {
        query.remove_prefix(1);
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    while (!query.empty()) {
        const std::size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        if (!pair.empty()) {
            const std::size_t equals = pair.find('=');
            pairs.emplace_back(std::string(pair.substr(0, equals)),
                               equals == std::string_view::npos
                                   ? std::string()
                                   : std::string(pair.substr(equals + 1)));
        }
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    }
    return pairs;
}

std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '%' && index + 2 < text.size() && HexDigit(text[index + 1]) >= 0 &&
            HexDigit(text[index + 2]) >= 0) {
            decoded +=
                static_cast<char>(HexDigit(text[index + 1]) * 16 + HexDigit(text[index + 2]));
            index += 2;
        } else {
            decoded += text[index];
        }
    }
    return decoded;
}

bool IsQueryChosen(const AddressParts& parts) {
    const auto pairs = QueryPairs(parts.Query);
    if (pairs.empty()) {
        return false;
    }
    const std::string handler = LastPathPart(parts.Path);
    return std::find(kHandlers.begin(), kHandlers.end(), handler) != kHandlers.end() ||
           std::any_of(pairs.begin(), pairs.end(), [](const auto& pair) {
               return !pair.second.empty() && IsChoosingKey(AsciiLowerCase(pair.first));
           });
}

std::string MadeUpQuery(const AddressParts& parts, std::string_view token) {
    if (!IsQueryChosen(parts)) {
        return std::string();
    }
    const auto pairs = QueryPairs(parts.Query);
    const bool keyChooses = std::any_of(pairs.begin(), pairs.end(), [](const auto& pair) {
        return !pair.second.empty() && IsChoosingKey(AsciiLowerCase(pair.first));
    });
    std::string query;
    for (const auto& [key, value] : pairs) {
        const std::string folded = AsciiLowerCase(key);
        if (IsTrackingKey(folded)) {
            continue;
        }
        query += query.empty() ? '?' : '&';
        if (!keyChooses || (IsChoosingKey(folded) && !value.empty())) {
            // A handler's query of one bare word ("?12345-title") is its
            // page's name.
            query += value.empty() && !keyChooses ? MadeUpValue(key, token)
                                                  : key + '=' + MadeUpValue(value, token);
        } else {
            query += value.empty() ? key : key + '=' + value;
        }
    }
    return query;
}

std::string MadeUpValue(std::string_view value, std::string_view token) {
    if (token.empty()) {
        return std::string();
    }
    constexpr std::size_t kLongValue = 8;
    constexpr std::size_t kMinDigits = 9;
    constexpr std::size_t kMaxDigits = 18;
    const bool digits = !value.empty() && value.find_first_not_of("0123456789") == value.npos;
    if (digits) {
        // Two more digits than the site's own numbers, starting with 9.
        const std::size_t length = std::clamp(value.size() + 2, kMinDigits, kMaxDigits);
        std::string number = "9";
        for (std::size_t index = 0; number.size() < length; ++index) {
            number += static_cast<char>(
                '0' + static_cast<unsigned char>(token[index % token.size()]) % 10);
        }
        return number;
    }
    if (value.size() >= kLongValue && value.size() < token.size()) {
        return std::string(token.substr(0, value.size()));
    }
    return std::string(token);
}

}  // namespace vornakle
