#include "check/PageLandmarks.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>

#include "platform/AsciiCase.h"

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

// Appends text with its blanks collapsed to one; Blank says whether a
// blank is owed before the next word, across the pieces appended.
void AppendCollapsed(std::string& collapsed, const xmlChar* text, bool& blank) {
    for (const xmlChar* character = text; *character != 0; ++character) {
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
}

std::string Collapsed(const xmlNode* node) {
    const std::unique_ptr<xmlChar, TextFreer> content(xmlNodeGetContent(node));
    std::string collapsed;
    bool blank = false;
    if (content) {
        AppendCollapsed(collapsed, content.get(), blank);
    }
    return collapsed;
}

bool Named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE &&
           xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

std::unique_ptr<xmlChar, TextFreer> Attribute(const xmlNode* node, const char* name) {
    return std::unique_ptr<xmlChar, TextFreer>(
        xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
}

// Depth first, so the first title, heading and refresh in document order
// are kept.
class LandmarkReader {
public:
    explicit LandmarkReader(PageLandmarks& landmarks) : landmarks_(landmarks) {}

    void Visit(const xmlNode* node, bool shown) {
        for (; node != nullptr; node = node->next) {
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                if (shown && landmarks_.Text.size() < kLandmarkTextBytes && node->content) {
                    AppendCollapsed(landmarks_.Text, node->content, blank_);
                }
                continue;
            }
            if (node->type != XML_ELEMENT_NODE) {
                continue;
            }
            if (Named(node, "title")) {
                if (!haveTitle_) {
                    landmarks_.Title = Collapsed(node);
                    haveTitle_ = true;
                }
                continue;
            }
            if (Named(node, "h1") && !haveHeading_) {
                landmarks_.Heading = Collapsed(node);
                haveHeading_ = true;
            }
            if (Named(node, "meta") && landmarks_.Refresh.empty() &&
                xmlStrcasecmp(Attribute(node, "http-equiv").get(),
                              reinterpret_cast<const xmlChar*>("refresh")) == 0) {
                const std::unique_ptr<xmlChar, TextFreer> content = Attribute(node, "content");
                if (content) {
                    landmarks_.Refresh = reinterpret_cast<const char*>(content.get());
                }
            }
            // A browser that runs scripts neither shows nor obeys what
            // <noscript> holds; scripts, styles and templates are no text.
            if (Named(node, "noscript")) {
                continue;
            }
            if (Named(node, "script")) {
                TakeScript(node);
            } else if (shown && ShowsWithoutText(node)) {
                showsMore_ = true;
            }
            Visit(node->children, shown && !Named(node, "script") && !Named(node, "style") &&
                                      !Named(node, "template") && !Named(node, "head"));
            blank_ = !landmarks_.Text.empty();
        }
    }

    // The only script's code, when the page shows nothing else.
    std::string LoneScript() const {
        return scripts_ == 1 && !showsMore_ && landmarks_.Text.empty() ? script_ : std::string();
    }

private:
    // Elements a person sees without any text in them.
    static bool ShowsWithoutText(const xmlNode* node) {
        static constexpr const char* kShown[] = {
            "img",      "picture", "svg",   "canvas", "video",  "audio",  "iframe",   "frame",
            "frameset", "object",  "embed", "input",  "button", "select", "textarea",
        };
        return std::any_of(std::begin(kShown), std::end(kShown),
                           [node](const char* name) { return Named(node, name); });
    }

    // A script counts when it runs: one of a data type (JSON, a template)
    // does not. One loaded from elsewhere may do anything.
    void TakeScript(const xmlNode* node) {
        const std::unique_ptr<xmlChar, TextFreer> type = Attribute(node, "type");
        if (type) {
            const std::string kind = AsciiLowerCase(reinterpret_cast<const char*>(type.get()));
            if (!kind.empty() && kind.find("javascript") == std::string::npos &&
                kind.find("ecmascript") == std::string::npos && kind != "module") {
                return;
            }
        }
        ++scripts_;
        const std::unique_ptr<xmlChar, TextFreer> source = Attribute(node, "src");
        const std::unique_ptr<xmlChar, TextFreer> code(xmlNodeGetContent(node));
        script_ = source || !code ? std::string() : reinterpret_cast<const char*>(code.get());
    }

    PageLandmarks& landmarks_;
    int scripts_ = 0;
    std::string script_;
    bool showsMore_ = false;
    bool haveTitle_ = false;
    bool haveHeading_ = false;
    bool blank_ = false;
};

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
    LandmarkReader reader(landmarks);
    reader.Visit(xmlDocGetRootElement(document.get()), true);
    landmarks.Script = reader.LoneScript();
    // Cut at a character's start, so the text stays UTF-8.
    std::size_t end = std::min(landmarks.Text.size(), kLandmarkTextBytes);
    while (end > 0 && end < landmarks.Text.size() &&
           (static_cast<unsigned char>(landmarks.Text[end]) & 0xC0) == 0x80) {
        --end;
    }
    landmarks.Text.resize(end);
    return landmarks;
}

}  // namespace vornakle
