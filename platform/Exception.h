#pragma once

#include <stdexcept>
#include <string>

namespace vornakle {

// The base of every failure the system raises: a message text meant for the
// user. Operations report failure by throwing, never by returning codes.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// An index outside a list's bounds.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A typed accessor met an object of another class.
class EInvalidCast : public Exception {
public:
    using Exception::Exception;
};

// A file could not be opened, read or written.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace vornakle
