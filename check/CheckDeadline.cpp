#include "check/CheckDeadline.h"

#include <algorithm>
#include <limits>

#include "http/HttpClient.h"

namespace vornakle {

CheckDeadline::CheckDeadline(THttpClient& client, std::int64_t milliseconds) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &client, [this, &client] {
        expired_ = true;
        client.Abort();
    });
    if (milliseconds > 0) {
        timer_.start(static_cast<int>(
            std::min<std::int64_t>(milliseconds, std::numeric_limits<int>::max())));
    }
}

}  // namespace vornakle
