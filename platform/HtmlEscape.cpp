#include "platform/HtmlEscape.h"

namespace vornakle {

std::string EscapeHtml(std::string_view utf8, HtmlControls controls) {
    std::string escaped;
    escaped.reserve(utf8.size());
    for (const char character : utf8) {
        const auto code = static_cast<unsigned char>(character);
        switch (character) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\t':
            case '\n':
            case '\r':
                escaped += character;
                break;
            default:
                if (controls == HtmlControls::Replace && (code < 0x20 || code == 0x7F)) {
                    escaped += "\uFFFD";
                } else {
                    escaped += character;
                }
        }
    }
    return escaped;
}

}  // namespace vornakle
