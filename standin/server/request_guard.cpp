#include "standin/server/request_guard.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace standin {
namespace {

// An IP address in binary form (IPv4 addresses as 4 bytes, IPv6 as 16).
struct Address {
  int family = 0;
  std::array<unsigned char, 16> bytes{};
  bool operator==(const Address &) const = default;
};

std::optional<Address> parseAddress(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
  const std::string s(text);
  Address a;
  if (inet_pton(AF_INET, s.c_str(), a.bytes.data()) == 1) {
    a.family = AF_INET;
    return a;
  }
  if (inet_pton(AF_INET6, s.c_str(), a.bytes.data()) == 1) {
    a.family = AF_INET6;
    return a;
  }
  return std::nullopt;
}

bool isLoopback(const Address &a) {
  if (a.family == AF_INET) return a.bytes[0] == 127;
  static const std::array<unsigned char, 16> kLoopback6{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  return a.bytes == kLoopback6;
}

bool isAny(const Address &a) { return a.bytes == std::array<unsigned char, 16>{}; }

// One text for each address ("::ffff:1.2.3.4" and "0:0::1" have others).
std::string canonical(const Address &a) {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(a.family, a.bytes.data(), text, sizeof text);
  return std::string(a.family == AF_INET ? "4 " : "6 ") + text;
}

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// Splits "name:port" and "[v6]:port"; a missing port is port 80.
bool splitHost(std::string_view host, std::string_view &name, int &port) {
  std::size_t colon = std::string_view::npos;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    if (close + 1 < host.size() && host[close + 1] != ':') return false;
    colon = close + 1 < host.size() ? close + 1 : std::string_view::npos;
  } else {
    colon = host.rfind(':');
  }
  name = host.substr(0, colon);
  port = 80;
  if (colon == std::string_view::npos) return !name.empty();
  const std::string_view digits = host.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return false;
  port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  return !name.empty();
}

}  // namespace

std::vector<std::string> machineAddresses() {
  std::vector<std::string> out;
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  for (const ifaddrs *i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr) continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (i->ifa_addr->sa_family == AF_INET) {
      const auto *v4 = reinterpret_cast<const sockaddr_in *>(i->ifa_addr);
      inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (i->ifa_addr->sa_family == AF_INET6) {
      const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(i->ifa_addr);
      inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    } else {
      continue;
    }
    out.emplace_back(text);
  }
  freeifaddrs(list);
  return out;
}

RequestGuard::RequestGuard(std::string listenAddress, int port,
                           std::optional<std::vector<std::string>> ownAddresses)
    : listen_(std::move(listenAddress)), port_(port) {
  const auto a = parseAddress(listen_);
  listensEverywhere_ = a && isAny(*a);
  listensOnLoopback_ = a && isLoopback(*a);
  if (!listensEverywhere_) return;
  for (const std::string &text : ownAddresses ? *ownAddresses : machineAddresses())
    if (const auto own = parseAddress(text)) ownAddresses_.push_back(canonical(*own));
}

bool RequestGuard::addressAllowed(std::string_view text) const {
  const auto a = parseAddress(text);
  if (!a) return false;
  if (listensOnLoopback_) return isLoopback(*a);
  if (listensEverywhere_) {
    return isLoopback(*a) ||
           std::find(ownAddresses_.begin(), ownAddresses_.end(), canonical(*a)) != ownAddresses_.end();
  }
  return a == parseAddress(listen_);
}

bool RequestGuard::hostAllowed(std::string_view host) const {
  std::string_view name;
  int port = 0;
  if (!splitHost(host, name, port) || port != port_) return false;
  if (lower(name) == "localhost") return listensOnLoopback_ || listensEverywhere_;
  // An IPv6 address is written in brackets in a Host header.
  if (name.find(':') != std::string_view::npos && name.front() != '[') return false;
  return addressAllowed(name);
}

bool RequestGuard::originAllowed(std::string_view origin) const {
  constexpr std::string_view kScheme = "http://";
  if (origin.substr(0, kScheme.size()) != kScheme) return false;
  return hostAllowed(origin.substr(kScheme.size()));
}

std::optional<std::string> RequestGuard::refusal(const GuardedRequest &r) const {
  if (!hostAllowed(r.host)) {
    return "the Host header '" + std::string(r.host) +
           "' does not name this server (use the address it printed)";
  }
  if (r.origin && !originAllowed(*r.origin))
    return "requests from the origin '" + std::string(*r.origin) + "' are not accepted";
  if (r.fetchSite && *r.fetchSite == "cross-site") return "cross-site requests are not accepted";
  if (r.method == "POST") {
    const std::string type = lower(r.contentType.substr(0, r.contentType.find(';')));
    if (type != "application/json") return "a POST must have Content-Type: application/json";
  }
  return std::nullopt;
}

}  // namespace standin
