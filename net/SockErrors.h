#pragma once

#include "platform/Exception.h"

namespace vornakle {

// A failure of the socket layer: a WinSock error turned into its text, or one
// of the component's fixed messages ("Connection Failed", ...).
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// A transfer ended by a cancel request or the time-out.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// A count or number outside the range its field can hold (a line longer than
// the transfer buffer, a reply number beyond 16 bits, a negative time-out).
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
};

}  // namespace vornakle
