#pragma once

#include <cstdint>
#include <string>

namespace vornakle {

// A link's status: a small code, or the reply number its server sent.
// 0 is never a link status; it marks a folder.
enum LinkStatusCode : std::int32_t {
    kStatusFolder = 0,
    kStatusNotTested = 1,
    kStatusOkByHand = 2,
    kStatusInvalidByHand = 3,
    kStatusBeingTested = 4,  // shown while a check runs, never stored
    kStatusUnknown = 5,      // no usable answer
};

// Indexes of the shared image list.
enum ImageIndex : int {
    kImageFolder = 0,
    kImageNotTested = 1,
    kImageOk = 2,
    kImageInvalid = 3,
    kImageBeingTested = 4,
    kImageUnknown = 5,
    kImageSortAscending = 6,
    kImageSortDescending = 7,
    // Under current rules: a link no check applies to, neither fine nor bad.
    kImageNotChecked = 8,
    kImageCount = 9,
};

// The status a check files for a server's reply number: the number itself
// when the reply had one, else "no usable answer".
inline std::int32_t StatusOfReply(int replyNumber) {
    return replyNumber > 0 ? replyNumber : kStatusUnknown;
}

// The image a link with this status shows. A temporary redirection (302) and
// "not modified" (304) count as fine, a permanent one (301) as invalid.
int StatusImageIndex(std::int32_t status);

// The German text shown in the "Status" column, UTF-8; empty for the small
// codes 1 to 5.
std::string StatusText(std::int32_t status);

// A reply of the success class, 2xx (RFC 9110 section 15.3).
inline bool IsSuccess(std::int32_t status) {
    constexpr std::int32_t kFirstSuccess = 200;
    constexpr std::int32_t kFirstRedirect = 300;
    return status >= kFirstSuccess && status < kFirstRedirect;
}

// A status that counts as fine: the OK image's. The report lists every link
// that is not fine.
inline bool IsLinkFine(std::int32_t status) {
    return StatusImageIndex(status) == kImageOk;
}

// How a link stands: fine (the OK image; the report leaves it out), in
// doubt (the warning image; listed, but not bad), bad, or not checked at
// all (a bookmarklet, a mail address: its own image; neither listed nor
// bad, since there is nothing to mend).
enum class LinkStanding { Fine, Doubtful, Bad, NotChecked };

// Whether the report lists a link that stands so: what wants a look, bad
// or in doubt.
inline bool IsReported(LinkStanding standing) {
    return standing == LinkStanding::Bad || standing == LinkStanding::Doubtful;
}

// How a link stands by its status alone.
inline LinkStanding StandingOfStatus(std::int32_t status) {
    return IsLinkFine(status) ? LinkStanding::Fine : LinkStanding::Bad;
}

// The image of a link that stands so with this status: a standing the
// status's own image would hide shows as the OK or the warning image.
int StandingImageIndex(LinkStanding standing, std::int32_t status);

}  // namespace vornakle
