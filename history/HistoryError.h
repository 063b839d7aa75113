#pragma once

#include "platform/Exception.h"

namespace vornakle {

// A history of checks that cannot be opened, read or written. The file is
// left as it was: a history that is not ours, or not whole, is never
// overwritten.
class EHistoryError : public Exception {
public:
    enum class Reason {
        Unusable,  // cannot be opened, read or written (no permission, a full disk, ...)
        Damaged,   // no SQLite database, or one whose pages are broken
        Foreign,   // an SQLite database of another program
        Newer,     // written by a newer version of this program
        InUse,     // another run held it longer than the busy timeout
        Stopped,   // the wait for another run's hold was ended by a stop signal
        NoSpace,   // the disk (or the user's quota) is full
    };

    EHistoryError(Reason reason, const std::string& message)
        : Exception(message), reason_(reason) {}
    Reason Why() const { return reason_; }

private:
    Reason reason_;
};

}  // namespace vornakle
