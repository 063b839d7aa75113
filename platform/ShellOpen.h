#pragma once

#include <optional>
#include <string>

namespace vornakle {

// The address the desktop's default handler is given for a link's URL (the
// bytes of its shortcut file), read the way the shell reads what it is asked
// to open:
// - an absolute URL as it is;
// - a text beginning with "www." in any case as a web address, "http://" in
//   front: the form browsers and link creation leave without a scheme;
// - an absolute path as the local file it names.
// Nothing for what cannot be a web or file address: a relative text, which
// the desktop would look for in the current directory, or a Windows drive
// path, which names nothing here. Nothing either for a local program or
// launcher, which the desktop would start rather than show.
std::optional<std::string> AddressToOpen(const std::string& url);

}  // namespace vornakle
