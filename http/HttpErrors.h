#pragma once

#include "platform/Exception.h"

namespace vornakle {

// A proxy would not open the tunnel (CONNECT) to the server asked for.
class EProxyError : public Exception {
public:
    using Exception::Exception;
};

// A request header line would carry a line break or a zero byte (a host
// or a Location that holds one): the request is not sent.
class EHeaderValueError : public Exception {
public:
    using Exception::Exception;
};

// A reply whose body has no end the client can tell (its Content-Length
// lines name no single length): what follows it on the connection could be
// read as the next reply, so it is no answer and its connection is closed.
class EMalformedReply : public Exception {
public:
    using Exception::Exception;
};

}  // namespace vornakle
