#include "store/LinkStatus.h"

namespace vornakle {

namespace {

// The reply numbers the image table decides on (RFC 9110, section 15).
enum ReplyNumber : std::int32_t {
    kReplyOk = 200,
    kReplyMovedPermanently = 301,
    kReplyFound = 302,
    kReplyNotModified = 304,
    kReplyUnauthorized = 401,
    kReplyForbidden = 403,
    kReplyNotFound = 404,
    kReplyInternalServerError = 500,
    kReplyNotImplemented = 501,
};

}  // namespace

int StatusImageIndex(LinkStatus status) {
    if (!status.IsReply()) {
        switch (status.OwnCode()) {
            case kStatusNotTested:
                return kImageNotTested;
            case kStatusOkByHand:
                return kImageOk;
            case kStatusInvalidByHand:
                return kImageInvalid;
            case kStatusBeingTested:
                return kImageBeingTested;
            case kStatusFolder:
            case kStatusUnknown:
                break;
        }
        return kImageUnknown;
    }
    switch (status.ReplyNumber()) {
        case kReplyOk:
        // A temporary redirection still reaches the page, and "not modified"
        // confirms it is there; a permanent one means the link is outdated.
        case kReplyFound:
        case kReplyNotModified:
            return kImageOk;
        case kReplyMovedPermanently:
        case kReplyUnauthorized:
        case kReplyForbidden:
        case kReplyNotFound:
        case kReplyInternalServerError:
        case kReplyNotImplemented:
            return kImageInvalid;
        default:
            return kImageUnknown;
    }
}

int StandingImageIndex(LinkStanding standing, LinkStatus status) {
    const int image = StatusImageIndex(status);
    switch (standing) {
        case LinkStanding::Fine:
            return kImageOk;
        case LinkStanding::Doubtful:
            return kImageUnknown;
        case LinkStanding::NotChecked:
            return kImageNotChecked;
        case LinkStanding::Bad:
            break;
    }
    // A bad link with a fine status (a page that answers but is gone) must
    // not look fine.
    return image == kImageOk ? kImageUnknown : image;
}

// The reply numbers here are the table's own data: each names itself in its
// German text.
std::string StatusText(LinkStatus status) {
    if (!status.IsReply()) {
        // A folder has no status to show; asked all the same, it reads as
        // unknown, as it always has.
        return status == kStatusFolder ? std::string("Unbekannt") : std::string();
    }
    switch (status.ReplyNumber()) {
        case 200:
            return "OK";
        case 201:
            return "Erstellt";
        case 202:
            return "Akzeptiert";
        case 206:
            return "Partielle Information";
        case 301:
            return "Verzogen";
        case 302:
            return "Gefunden";
        case 304:
            return "Nicht geändert";
        case 400:
            return "Fehlerhafte Anfrage";
        case 401:
            return "Nicht autorisiert";
        case 403:
            return "Verboten";
        case 404:
            return "Nicht gefunden";
        case 500:
            return "Interner Fehler";
        case 501:
            return "Nicht implementiert";
        // 502 is "Bad Gateway" (RFC 9110, 15.6.3), but this is the text the
        // lists, the report and the checker's output show for it, and what
        // users and scripts reading that output look for.
        case 502:
            return "Gateway-Zeitüberschreitung";
        case 503:
            return "Vorübergehend nicht verfügbar";
        default:
            return "Unbekannt";
    }
}

}  // namespace vornakle
