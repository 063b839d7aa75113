#pragma once

#include <string>
#include <string_view>

#include "check/CheckResult.h"

namespace vornakle {

// Where a file: address points, read as a browser reads a file URL: "\" as
// "/", the host "localhost" (in any case) as none, the dot segments ("."
// and "..", also as "%2e") taken out, each segment percent-decoded, the
// query and the fragment left out.
struct FilePlace {
    enum class Kind {
        Local,        // Path names a file of this system
        OtherSystem,  // a drive letter or another computer: Where names it
        ZeroByte,     // the decoded path holds a zero byte, which no path can
    };
    Kind Is = Kind::Local;
    std::string Path;   // Local: the absolute path, bytes as the file system has them
    std::string Where;  // OtherSystem: "C:" or the computer's name
};

// The place of a URL that begins with "file:" in any case, without blanks
// or controls around it.
FilePlace FilePlaceOf(std::string_view url);

// A file: link checked on this system's file system instead of asked: a
// file or directory there that this process may read is status 200, as a
// page that is there; one missing is file-missing and one it may not read
// file-unreadable, both status 5 and bad, their detail the path. A file of
// another system is other-system and not checked (Finding::NotChecked).
CheckResult CheckFileLink(std::string_view url);

}  // namespace vornakle
