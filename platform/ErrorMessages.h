#pragma once

#include <string>

namespace vornakle {

// The pieces every failure message of the file and shell operations is made
// of, so that each message reads as German text from end to end.

// The system's reason for a failure (an errno value) in German: the common
// ones in words, every other one by its number.
std::string SystemErrorText(int error);

// "<what failed>: <the reason in German>", the one shape of a failure
// message with the system's reason.
std::string FailureMessage(const std::string& whatFailed, int error);

// A path inside a message: decoded the way the windows show names and stored
// as UTF-8, so that the message stays valid UTF-8, and its own words intact,
// whatever bytes the file system holds.
std::string MessagePath(const std::string& path);

// The same in double quotes.
std::string QuotedMessagePath(const std::string& path);

}  // namespace vornakle
