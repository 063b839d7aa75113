#pragma once

#include <cstdint>
#include <string>

namespace vornakle {

// What a check under current rules found about a link beyond its status,
// kept on the link node for the status column's tooltip while the program
// runs. Never written to a shortcut file: the next start knows only the
// status.
struct LinkVerdict {
    // The status it explains: once the link's status changes (by hand, by a
    // new check) the verdict no longer applies.
    std::int32_t Status = 0;
    // The image beyond the status's own: a page behind a sign-in is fine
    // whatever its reply number; a page that is probably gone, or one the
    // site keeps from programs, is in doubt.
    enum class Image { OfStatus, Fine, Doubtful };
    Image ShowAs = Image::OfStatus;
    // What the check found, for the tooltip below the status: German lines,
    // UTF-8.
    std::string Explanation;
};

}  // namespace vornakle
