#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vornakle {

// What a page says it is: the text of its title and of its first heading
// (h1), blanks collapsed and trimmed, in UTF-8 whatever the page's own
// encoding. Read leniently by libxml2's HTML parser, so a page cut off after
// its first bytes still gives what those hold.
struct PageLandmarks {
    std::string Title;
    std::string Heading;
    // What a person reads first: the text outside scripts, styles and what
    // only a browser without scripts shows, up to kLandmarkTextBytes.
    std::string Text;
    // The content of the first <meta http-equiv="refresh"> that a browser
    // running scripts obeys (none inside <noscript>): "5; url=/next".
    std::string Refresh;
    // The code of the page's only script (one that runs: inline, of no type
    // or a JavaScript one) when the page shows nothing else: no text, no
    // image, frame, media or form control. Such a page is a step a browser
    // passes through.
    std::string Script;
};

// Text is kept this far: the words that say what a page is come first.
inline constexpr std::size_t kLandmarkTextBytes = 4096;

// Encoding names the page's encoding when its own markup may not; empty:
// what the page declares, else Latin-1.
PageLandmarks ReadPageLandmarks(std::string_view html, const std::string& encoding = {});

}  // namespace vornakle
