#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vornakle {

// The address a page's script sends the browser to at once, when the whole
// script is one such statement with the address as a string literal in
// single or double quotes:
//   location = '…'   location.href = '…'   location.replace('…')
//   location.assign('…'), each also after "window.", "self.", "top.",
//   "document." or "window.document.", with an optional ";" and the
// "<!--" "//-->" wrapping of old pages around it. None for anything else:
// an address that is computed, joined or read from the page, a statement
// more, or an escape other than \\ \' \" \/, since only a literal can be
// known without running the script.
std::optional<std::string> ScriptAddress(std::string_view script);

}  // namespace vornakle
