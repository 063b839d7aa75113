#pragma once

#include <cstdint>
#include <string>

namespace vornakle {

// The checker's own codes of a link's status. 0 is never a link's; it
// marks a folder.
enum LinkStatusCode : std::int32_t {
    kStatusFolder = 0,
    kStatusNotTested = 1,
    kStatusOkByHand = 2,
    kStatusInvalidByHand = 3,
    kStatusBeingTested = 4,  // shown while a check runs, never stored
    kStatusUnknown = 5,      // no usable answer
};

// A link's status in memory: one of the checker's own codes, or the reply
// number its server sent, told apart by kind, so that a broken server's
// reply 2 is never "OK by hand". An own code stands for itself wherever a
// status is wanted; a bare number never does, it is a Reply or read with
// FromStored.
class LinkStatus {
public:
    constexpr LinkStatus(LinkStatusCode code = kStatusFolder) : number_(code) {}
    static constexpr LinkStatus Own(LinkStatusCode code) { return LinkStatus(code); }
    static constexpr LinkStatus Reply(std::int32_t number) {
        LinkStatus status;
        status.number_ = number;
        status.reply_ = true;
        return status;
    }
    // A number as the checker prints it and the history keeps it. That form
    // is the specified one and has no room for the kind: 0 to 5 are read as
    // the own codes, as they always were, whoever sent them.
    static constexpr LinkStatus FromStored(std::int32_t stored) {
        return stored >= kStatusFolder && stored <= kStatusUnknown
                   ? Own(static_cast<LinkStatusCode>(stored))
                   : Reply(stored);
    }

    constexpr bool IsReply() const { return reply_; }
    // The server's reply number; 0 for an own code.
    constexpr std::int32_t ReplyNumber() const { return reply_ ? number_ : 0; }
    // The own code; kStatusUnknown for a reply, which has none.
    constexpr LinkStatusCode OwnCode() const {
        return reply_ ? kStatusUnknown : static_cast<LinkStatusCode>(number_);
    }
    // The one number of either kind: what the checker prints and the
    // history keeps (read back by FromStored). The lists show and sort by
    // its text (StatusText).
    constexpr std::int32_t Shown() const { return number_; }

    constexpr bool operator==(const LinkStatus&) const = default;

private:
    std::int32_t number_;
    bool reply_ = false;
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
inline LinkStatus StatusOfReply(int replyNumber) {
    return replyNumber > 0 ? LinkStatus::Reply(replyNumber) : LinkStatus(kStatusUnknown);
}

// The image a link with this status shows. A temporary redirection (302) and
// "not modified" (304) count as fine, a permanent one (301) as invalid.
int StatusImageIndex(LinkStatus status);

// The German text shown in the "Status" column, UTF-8; empty for a link's
// own codes.
std::string StatusText(LinkStatus status);

// A reply number of the success class, 2xx (RFC 9110 section 15.3).
inline bool IsSuccess(std::int32_t replyNumber) {
    constexpr std::int32_t kFirstSuccess = 200;
    constexpr std::int32_t kFirstRedirect = 300;
    return replyNumber >= kFirstSuccess && replyNumber < kFirstRedirect;
}
inline bool IsSuccess(LinkStatus status) {
    return status.IsReply() && IsSuccess(status.ReplyNumber());
}

// A status that counts as fine: the OK image's. The report lists every link
// that is not fine.
inline bool IsLinkFine(LinkStatus status) {
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
inline LinkStanding StandingOfStatus(LinkStatus status) {
    return IsLinkFine(status) ? LinkStanding::Fine : LinkStanding::Bad;
}

// The image of a link that stands so with this status: a standing the
// status's own image would hide shows as the OK or the warning image.
int StandingImageIndex(LinkStanding standing, LinkStatus status);

}  // namespace vornakle
