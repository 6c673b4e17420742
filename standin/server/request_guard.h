// Which requests the playground's server answers: only those meant for it.
//
// The page edits a mesh and writes a file, so another site the user has open
// must not be able to drive it, and a name that an attacker's DNS points at
// this machine (DNS rebinding) must not reach it either. So:
//   - Host must name this server: "localhost" or an IP address, with the
//     server's port. An IP address is this server's when it is a loopback
//     address, the address it listens on, or, when it listens on all
//     addresses (0.0.0.0, ::), any address. Host names other than localhost
//     are refused: that is what rebinding needs.
//   - Origin, when sent (browsers send it with every POST and with
//     cross-origin requests), must be "http://" and an allowed Host.
//   - Sec-Fetch-Site "cross-site" is refused.
//   - A POST must say Content-Type: application/json, which a plain HTML
//     form cannot send.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace standin {

struct GuardedRequest {
  std::string_view method;  // "GET", "POST", ...
  std::string_view host;    // the Host header; empty when missing
  std::optional<std::string_view> origin;
  std::optional<std::string_view> fetchSite;  // Sec-Fetch-Site
  std::string_view contentType;
};

class RequestGuard {
 public:
  // `listenAddress` as given to --listen (an IPv4 or IPv6 address).
  RequestGuard(std::string listenAddress, int port);

  bool hostAllowed(std::string_view host) const;
  bool originAllowed(std::string_view origin) const;
  // nullopt when the request may go on; otherwise why it is refused.
  std::optional<std::string> refusal(const GuardedRequest &request) const;

 private:
  bool addressAllowed(std::string_view address) const;

  std::string listen_;
  int port_;
  bool listensEverywhere_;
};

}  // namespace standin
