#include "http/ProxyRules.h"

#include <algorithm>
#include <cstdlib>

#include "http/UrlSplit.h"
#include "platform/AsciiCase.h"

namespace vornakle {

namespace {

constexpr std::int32_t kDefaultProxyPort = 80;

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string FirstSet(const char* preferred, const char* other) {
    std::string value = Variable(preferred);
    return value.empty() ? Variable(other) : value;
}

std::string WithoutBrackets(const std::string& host) {
    return host.size() > 1 && host.front() == '[' && host.back() == ']'
               ? host.substr(1, host.size() - 2)
               : host;
}

// Whether one no_proxy entry covers host:port.
bool Excludes(std::string entry, const std::string& host, std::int32_t port) {
    if (entry == "*") {
        return true;
    }
    const std::size_t colon = entry.rfind(':');
    const std::size_t bracket = entry.rfind(']');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket) &&
        entry.find(':') == colon) {
        if (entry.substr(colon + 1) != std::to_string(port)) {
            return false;
        }
        entry.erase(colon);
    }
    entry = WithoutBrackets(entry);
    while (!entry.empty() && entry.front() == '.') {
        entry.erase(0, 1);
    }
    if (entry.empty()) {
        return false;
    }
    return host == entry || (host.size() > entry.size() && host.ends_with(entry) &&
                             host[host.size() - entry.size() - 1] == '.');
}

}  // namespace

ProxyRules ProxyRulesFromEnvironment() {
    ProxyRules rules;
    rules.HttpProxy = Variable("http_proxy");
    rules.HttpsProxy = FirstSet("https_proxy", "HTTPS_PROXY");
    rules.NoProxy = FirstSet("no_proxy", "NO_PROXY");
    return rules;
}

std::optional<ProxyAddress> ProxyFor(const ProxyRules& rules, bool secure, const std::string& host,
                                     std::int32_t port) {
    std::string setting = secure ? rules.HttpsProxy : rules.HttpProxy;
    if (setting.empty()) {
        return std::nullopt;
    }
    const std::string lowerHost = AsciiLowerCase(WithoutBrackets(host));
    std::string entries = AsciiLowerCase(rules.NoProxy);
    for (char& character : entries) {
        if (character == ',' || character == '\t') {
            character = ' ';
        }
    }
    for (std::size_t start = 0; start < entries.size();) {
        const std::size_t end = std::min(entries.find(' ', start), entries.size());
        if (end > start && Excludes(entries.substr(start, end - start), lowerHost, port)) {
            return std::nullopt;
        }
        start = end + 1;
    }

    if (const std::size_t scheme = setting.find("://"); scheme != std::string::npos) {
        setting.erase(0, scheme + 3);
    }
    setting.erase(std::min(setting.find('/'), setting.size()));
    if (const std::size_t at = setting.rfind('@'); at != std::string::npos) {
        setting.erase(0, at + 1);
    }
    ProxyAddress address;
    address.Port = kDefaultProxyPort;
    std::string path;
    try {
        std::string url = "http://" + setting + "/";
        ParseRequestURL(url, address.Host, address.Port, path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (address.Host.empty()) {
        return std::nullopt;
    }
    return address;
}

}  // namespace vornakle
