#pragma once

#include <string>
#include <string_view>

namespace vornakle {

// What becomes of the control characters a text holds (other than tab and
// line breaks): kept, as a file that is read back must keep them, or shown
// as U+FFFD, since HTML does not allow them as they are.
enum class HtmlControls { Keep, Replace };

// UTF-8 text as HTML text or a quoted attribute's value: & < > " as
// references.
std::string EscapeHtml(std::string_view utf8, HtmlControls controls);

}  // namespace vornakle
