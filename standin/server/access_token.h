// The secret that lets one user, and no other process or user of the
// machine, drive the playground: made from the system's random source when
// the server starts, shown only in the address the program prints
// (http://127.0.0.1:PORT/?token=...), as notebook servers do.
//
// The page's first request brings it in the address; the server answers with
// a cookie that holds it (HttpOnly, so the page's scripts never see it;
// SameSite=Strict, so no other site's page sends it; Path=/) and sends the
// browser to the same address without it. Every API request must then carry
// it, in that cookie or as "Authorization: Bearer TOKEN" (for programs).
//
// Cookies are kept per host name, not per port, so the cookie's name carries
// the port: two servers on one machine do not overwrite each other's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace standin {

class AccessToken {
 public:
  // A fresh token: 24 bytes of the system's random source (getrandom) as 48
  // lower-case hex digits. Throws Failure (CannotWrite) when the source fails.
  static AccessToken generate();
  // A given token (tests).
  explicit AccessToken(std::string value) : value_(std::move(value)) {}

  const std::string &value() const { return value_; }

  // Whether `presented` is the token; the time it takes does not depend on
  // how many of its characters are right.
  bool matches(std::string_view presented) const;

  // The token a request presents: from its Authorization header ("Bearer
  // TOKEN"), else from the cookie named cookieName(port) in its Cookie
  // header; nullopt when it presents none.
  static std::optional<std::string_view> presented(std::string_view authorization, std::string_view cookies,
                                                   std::string_view cookieName);

  // "elasticpull-token-PORT".
  static std::string cookieName(int port);
  // The Set-Cookie value that keeps the token in the browser.
  std::string setCookie(int port) const;

  // The value of the `token` parameter of a query ("a=1&token=X"), or nullopt.
  static std::optional<std::string_view> fromQuery(std::string_view query);

 private:
  std::string value_;
};

}  // namespace standin
