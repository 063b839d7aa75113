#include "http/ClientRules.h"

#include "http/HttpClient.h"

namespace vornakle {

ConnectionStart ClientRules::OpenConnection(THttpClient& client) {
    client.Connect();
    return ConnectionStart::Fresh;
}

void ClientRules::ReleaseConnection(THttpClient& client) {
    // One request per connection.
    client.Disconnect();
}

}  // namespace vornakle
