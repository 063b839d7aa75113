#include "check/PageLandmarks.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <limits>
#include <memory>

namespace vornakle {

namespace {

constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_NODEFDTD;

struct DocumentFreer {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct TextFreer {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

std::string Collapsed(const xmlNode* node) {
    const std::unique_ptr<xmlChar, TextFreer> content(xmlNodeGetContent(node));
    std::string collapsed;
    if (!content) {
        return collapsed;
    }
    bool blank = false;
    for (const xmlChar* character = content.get(); *character != 0; ++character) {
        if (*character == ' ' || *character == '\t' || *character == '\n' || *character == '\r' ||
            *character == '\f') {
            blank = !collapsed.empty();
            continue;
        }
        if (blank) {
            collapsed += ' ';
            blank = false;
        }
        collapsed += static_cast<char>(*character);
    }
    return collapsed;
}

bool Named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

// Depth first, so the first title and the first heading in document order
// are kept.
void Visit(const xmlNode* node, PageLandmarks& landmarks, bool& haveTitle, bool& haveHeading) {
    for (; node != nullptr && !(haveTitle && haveHeading); node = node->next) {
        if (!haveTitle && Named(node, "title")) {
            landmarks.Title = Collapsed(node);
            haveTitle = true;
        } else if (!haveHeading && Named(node, "h1")) {
            landmarks.Heading = Collapsed(node);
            haveHeading = true;
        } else {
            Visit(node->children, landmarks, haveTitle, haveHeading);
        }
    }
}

}  // namespace

PageLandmarks ReadPageLandmarks(std::string_view html, const std::string& encoding) {
    PageLandmarks landmarks;
    if (html.empty()) {
        return landmarks;
    }
    html = html.substr(0, std::numeric_limits<int>::max());
    const std::unique_ptr<xmlDoc, DocumentFreer> document(
        htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr,
                       encoding.empty() ? nullptr : encoding.c_str(), kParseOptions));
    if (!document) {
        return landmarks;
    }
    bool haveTitle = false;
    bool haveHeading = false;
    Visit(xmlDocGetRootElement(document.get()), landmarks, haveTitle, haveHeading);
    return landmarks;
}

}  // namespace vornakle
