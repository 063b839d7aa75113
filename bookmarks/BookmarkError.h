#pragma once

#include "platform/Exception.h"

namespace vornakle {

// A bookmark source that cannot be read or a target that cannot be written.
// Nothing has been written when it is raised.
class EBookmarkError : public Exception {
public:
    enum class Reason {
        Unreadable,    // missing, no permission, or an I/O failure
        Unwritable,    // the target cannot be created or written
        Unrecognised,  // no bookmark format this program reads
        Damaged,       // the format is recognised but the content is broken
        Locked,        // the database is held by a writer in a way that stops reading
        BadName,       // a name no file can carry
        TargetTaken,   // the target exists and is not empty
        NotFound,      // a browser or its profile is not there
        InUse,         // a running browser has the store open
        Unchanged,     // a change was made but did not read back as made: undone
    };

    EBookmarkError(Reason reason, const std::string& message)
        : Exception(message), reason_(reason) {}
    Reason Why() const { return reason_; }

private:
    Reason reason_;
};

}  // namespace vornakle
