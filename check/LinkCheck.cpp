#include "check/LinkCheck.h"

#include "http/HttpClient.h"
#include "store/LinkStatus.h"

namespace vornakle {

std::int32_t CheckLink(THttpClient& client, const std::string& url) {
    client.Host.clear();
    client.Port = 0;
    try {
        client.Head(url);
        return StatusOfReply(client.ReplyNumber);
    } catch (...) {
        // No usable answer; as in the desktop program, the status says so
        // and the error itself is not reported.
        return kStatusUnknown;
    }
}

std::string_view StatusClass(std::int32_t status) {
    switch (StatusImageIndex(status)) {
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
