// Which requests the playground's server answers: only those meant for it.
//
// The page edits a mesh and writes a file, so another site the user has open
// must not be able to drive it, and a name that an attacker's DNS points at
// this machine (DNS rebinding) must not reach it either. So:
//   - Host must name this server, with the server's port, as an address a
//     browser reaches it by. Listening on a loopback address (the default),
//     that is "localhost" or a loopback address. Listening on another
//     address (--listen), that address alone. Listening on all addresses
//     (0.0.0.0, ::), "localhost" or an address of this machine's own network
//     interfaces. Other host names are refused: that is what rebinding needs.
//   - Origin, when sent (browsers send it with every POST and with
//     cross-origin requests), must be "http://" and an allowed Host.
//   - Sec-Fetch-Site "cross-site" is refused.
//   - A POST must say Content-Type: application/json, which a plain HTML
//     form cannot send.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct GuardedRequest {
  std::string_view method;  // "GET", "POST", ...
  std::string_view host;    // the Host header; empty when missing
  std::optional<std::string_view> origin;
  std::optional<std::string_view> fetchSite;  // Sec-Fetch-Site
  std::string_view contentType;
};

// The addresses of this machine's network interfaces (getifaddrs), as text.
std::vector<std::string> machineAddresses();

class RequestGuard {
 public:
  // `listenAddress` as given to --listen (an IPv4 or IPv6 address). For an
  // address that means all of them (0.0.0.0, ::), the Host may name one of
  // `ownAddresses`; without them, machineAddresses() are asked.
  RequestGuard(std::string listenAddress, int port,
               std::optional<std::vector<std::string>> ownAddresses = std::nullopt);

  bool hostAllowed(std::string_view host) const;
  bool originAllowed(std::string_view origin) const;
  // nullopt when the request may go on; otherwise why it is refused.
  std::optional<std::string> refusal(const GuardedRequest &request) const;

 private:
  bool addressAllowed(std::string_view address) const;

  std::string listen_;
  int port_;
  bool listensEverywhere_ = false;
  bool listensOnLoopback_ = false;
  std::vector<std::string> ownAddresses_;  // in the form canonical() gives
};

}  // namespace standin
