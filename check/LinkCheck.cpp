#include "check/LinkCheck.h"

#include "http/HttpClient.h"
#include "store/LinkStatus.h"

namespace vornakle {

std::int32_t CheckLink(THttpClient& Client, const std::string& Url) {
    Client.Host.clear();
    Client.Port = 0;
    try {
        Client.Head(Url);
        return StatusOfReply(Client.ReplyNumber);
    } catch (...) {
        // No usable answer; as in the desktop program, the status says so
        // and the error itself is not reported.
        return kStatusUnknown;
    }
}

std::string_view StatusClass(std::int32_t Status) {
    switch (StatusImageIndex(Status)) {
        case kImageOk:
            return "ok";
        case kImageInvalid:
            return "invalid";
        case kImageNotTested:
            return "untested";
        default:
            return "unknown";
    }
}

}  // namespace vornakle
