#include "http/ClientRules.h"

#include <algorithm>
#include <limits>

#include "net/TcpSocket.h"

namespace vornakle {

namespace {

constexpr std::int16_t kNoContent = 204;
constexpr std::int16_t kNotModified = 304;

}  // namespace

ConnectionStart ClientRules::OpenConnection(TTcpSocket& socket, const HttpPass& /*pass*/) {
    socket.Connect();
    return ConnectionStart::Fresh;
}

void ClientRules::ReleaseConnection(TTcpSocket& socket, const HttpPass& /*pass*/,
                                    bool /*reusable*/) {
    // One request per connection.
    socket.Disconnect();
}

bool ReplyHasBody(HttpMethod method, std::int16_t reply) {
    return method != HttpMethod::Head && reply != kNoContent && reply != kNotModified;
}

void SendBytes(TTcpSocket& socket, const std::string& bytes) {
    // A length of 0 would mean "up to the first zero byte"; explicit pieces
    // send every byte.
    constexpr std::size_t kPiece = std::numeric_limits<std::uint16_t>::max();
    for (std::size_t offset = 0; offset < bytes.size(); offset += kPiece) {
        const std::size_t length = std::min(kPiece, bytes.size() - offset);
        socket.SendBuffer(bytes.data() + offset, static_cast<std::uint16_t>(length));
    }
}

}  // namespace vornakle
