#include "http/ClientRules.h"

#include "http/HttpClient.h"

namespace vornakle {

void ClientRules::OpenConnection(THttpClient& client) {
    client.Connect();
}

void ClientRules::ReleaseConnection(THttpClient& client) {
    // One request per connection.
    client.Disconnect();
}

}  // namespace vornakle
