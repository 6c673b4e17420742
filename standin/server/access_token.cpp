#include "standin/server/access_token.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "standin/host/failure.h"

namespace standin {
namespace {

constexpr std::size_t kTokenBytes = 24;

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

AccessToken AccessToken::generate() {
  std::array<unsigned char, kTokenBytes> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw Failure(FailureKind::CannotWrite,
                    std::string("cannot make the access token: the system's random source failed (") +
                        std::strerror(errno) + ")");
    }
    got += static_cast<std::size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return AccessToken(std::move(text));
}

bool AccessToken::matches(std::string_view presented) const {
  // Every character is compared whatever the earlier ones were; only the
  // length, which is no secret, ends the comparison early.
  if (presented.size() != value_.size() || value_.empty()) return false;
  volatile unsigned char difference = 0;
  for (std::size_t i = 0; i < value_.size(); ++i)
    difference = difference | static_cast<unsigned char>(value_[i] ^ presented[i]);
  return difference == 0;
}

std::optional<std::string_view> AccessToken::presented(std::string_view authorization,
                                                       std::string_view cookies,
                                                       std::string_view cookieName) {
  constexpr std::string_view kBearer = "Bearer ";
  authorization = trim(authorization);
  if (authorization.size() > kBearer.size() && authorization.substr(0, kBearer.size()) == kBearer)
    return trim(authorization.substr(kBearer.size()));
  // Cookie: a=1; elasticpull-token-8080=...; b=2
  while (!cookies.empty()) {
    const std::size_t end = cookies.find(';');
    const std::string_view item = trim(cookies.substr(0, end));
    cookies = end == std::string_view::npos ? std::string_view() : cookies.substr(end + 1);
    const std::size_t equals = item.find('=');
    if (equals != std::string_view::npos && item.substr(0, equals) == cookieName)
      return item.substr(equals + 1);
  }
  return std::nullopt;
}

std::string AccessToken::cookieName(int port) { return "elasticpull-token-" + std::to_string(port); }

std::string AccessToken::setCookie(int port) const {
  return cookieName(port) + "=" + value_ + "; HttpOnly; SameSite=Strict; Path=/";
}

std::optional<std::string_view> AccessToken::fromQuery(std::string_view query) {
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view item = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    constexpr std::string_view kName = "token=";
    if (item.substr(0, kName.size()) == kName) return item.substr(kName.size());
  }
  return std::nullopt;
}

}  // namespace standin
