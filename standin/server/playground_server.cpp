#include "standin/server/playground_server.h"

#include <algorithm>
#include <cctype>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/http/field.hpp>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>

#include "standin/host/failure.h"
#include "standin/server/access_token.h"
#include "standin/server/http_connection.h"
#include "standin/server/request_guard.h"
#include "standin/server/web_assets.h"

namespace standin {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// The page loads only its own files and talks only to this server.
constexpr const char *kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data: blob:; connect-src "
    "'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

constexpr std::pair<const char *, const char *> kGuardingHeaders[] = {
    {"Content-Security-Policy", kContentSecurityPolicy},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Cross-Origin-Opener-Policy", "same-origin"},
};

constexpr const char *kVersionHeader = "Session-Version";

std::string_view text(beast::string_view v) { return {v.data(), v.size()}; }

std::optional<std::string_view> field(const HttpRequest &r, std::string_view name) {
  const auto it = r.find(beast::string_view(name.data(), name.size()));
  if (it == r.end()) return std::nullopt;
  return text(it->value());
}

std::string jsonText(const nlohmann::json &body) {
  // Invalid UTF-8 from a file (a name, a message box) is replaced rather than refused.
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

HttpResponse response(unsigned status, const std::string &type, std::string body) {
  HttpResponse r;
  r.version(11);
  r.result(status);
  for (const auto &[name, value] : kGuardingHeaders) r.set(name, value);
  r.set(http::field::content_type, type);
  r.body() = std::move(body);
  return r;
}

HttpResponse errorResponse(unsigned status, const std::string &message) {
  return response(status, "application/json", jsonText({{"error", message}}));
}

HttpResponse apiResponse(ApiReply reply, std::int64_t version) {
  HttpResponse r = response(static_cast<unsigned>(reply.status), reply.contentType, std::move(reply.body));
  for (const auto &[name, value] : reply.headers) r.set(name, value);
  r.set(http::field::cache_control, "no-store");
  r.set(kVersionHeader, std::to_string(version));
  return r;
}

ApiReply staleReply(std::int64_t basedOn, std::int64_t version) {
  ApiReply reply;
  reply.status = 409;
  reply.body =
      jsonText({{"error", "another page changed the session since version " + std::to_string(basedOn) +
                              " (it is at " + std::to_string(version) + "): nothing was done"},
                {"stale", true},
                {"version", version}});
  return reply;
}

// "a-z" then "a-z" and dots: the API's resource names.
bool isResourceName(std::string_view name, bool dots) {
  if (name.empty() || name.front() < 'a' || name.front() > 'z') return false;
  return std::all_of(name.begin(), name.end(),
                     [dots](char c) { return (c >= 'a' && c <= 'z') || (dots && c == '.'); });
}

std::optional<std::int64_t> parseVersion(std::string_view digits) {
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

struct PlaygroundServer::Impl final : ConnectionOwner {
  Impl(ModuleThread &thread, ApiHandler apiHandler, const ServerOptions &serverOptions)
      : moduleThread(thread), handler(std::move(apiHandler)), options(serverOptions) {
    limits.maxBody = options.maxBody;
    limits.readDeadline = options.requestDeadline;
    limits.writeDeadline = options.answerDeadline;
  }

  void handle(const std::shared_ptr<HttpConnection> &connection, HttpRequest request) override;
  HttpResponse refusal(unsigned status, const std::string &message) override {
    return errorResponse(status, message);
  }
  void closed(HttpConnection &connection) override;
  std::size_t bodyLimit(const HttpRequest &header) override {
    const std::string_view target = text(header.target());
    const bool open = target.substr(0, target.find('?')) == "/api/open";
    return open && presentsToken(header) ? options.maxOpenBody : 0;
  }

  void accept();
  void admit(tcp::socket socket);
  bool makeRoom();
  std::optional<std::pair<unsigned, std::string>> guardRefusal(const HttpRequest &request) const;
  bool presentsToken(const HttpRequest &request) const;
  HttpResponse pageAnswer(const HttpRequest &request, std::string_view path, std::string_view query);
  void answerApi(const std::shared_ptr<HttpConnection> &connection, HttpRequest request,
                 std::string_view resource);
  void dispatch(const std::shared_ptr<HttpConnection> &connection, ApiRequest request,
                std::optional<std::int64_t> basedOn, bool keepAlive);
  void openEvents(const std::shared_ptr<HttpConnection> &connection);
  void publish(std::int64_t version);
  void shutdown();
  void log(const std::string &line) {
    if (options.log == nullptr) return;
    std::lock_guard<std::mutex> lock(logMutex);
    *options.log << line << std::endl;
  }

  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  asio::steady_timer acceptRetry{io};
  ModuleThread &moduleThread;
  ApiHandler handler;
  const ServerOptions &options;
  ConnectionLimits limits;
  std::optional<AccessToken> token;
  std::unique_ptr<RequestGuard> guard;
  int port = 0;
  std::vector<std::shared_ptr<HttpConnection>> connections;  // I/O thread
  std::int64_t published = 0;                                // I/O thread: the newest version pushed
  std::int64_t version = 0;                                  // module thread
  std::mutex logMutex;
};

void PlaygroundServer::Impl::accept() {
  acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
    if (!acceptor.is_open()) return;
    if (!error) {
      admit(std::move(socket));
      return accept();
    }
    // Out of file descriptors, most likely: try again in a moment rather
    // than spin.
    log("cannot accept a connection: " + error.message());
    acceptRetry.expires_after(std::chrono::milliseconds(100));
    acceptRetry.async_wait([this](beast::error_code e) {
      if (!e) accept();
    });
  });
}

void PlaygroundServer::Impl::admit(tcp::socket socket) {
  if (connections.size() >= options.maxConnections && !makeRoom()) {
    beast::error_code ignored;
    socket.close(ignored);
    return;
  }
  // A drag frame's small answer goes out at once, not after the client's ACK.
  beast::error_code ignored;
  socket.set_option(tcp::no_delay(true), ignored);
  auto connection = std::make_shared<HttpConnection>(std::move(socket), *this, limits);
  connections.push_back(connection);
  connection->start();
}

// Closes the connection that has waited longest without proving the token.
bool PlaygroundServer::Impl::makeRoom() {
  std::shared_ptr<HttpConnection> oldest;
  for (const auto &c : connections) {
    if (c->trusted() || c->state() == HttpConnection::State::Closed) continue;
    if (oldest == nullptr || c->since() < oldest->since()) oldest = c;
  }
  if (oldest == nullptr) return false;
  oldest->close();
  return true;
}

void PlaygroundServer::Impl::closed(HttpConnection &connection) {
  const auto it = std::find_if(connections.begin(), connections.end(),
                               [&](const auto &c) { return c.get() == &connection; });
  if (it != connections.end()) connections.erase(it);
}

std::optional<std::pair<unsigned, std::string>> PlaygroundServer::Impl::guardRefusal(
    const HttpRequest &r) const {
  if (r.count(http::field::host) != 1 || r.count(http::field::origin) > 1)
    return std::pair(403u,
                     std::string("the request must have one Host header and at most one Origin header"));
  GuardedRequest g;
  g.method = text(r.method_string());
  g.host = field(r, "Host").value_or("");
  g.origin = field(r, "Origin");
  g.fetchSite = field(r, "Sec-Fetch-Site");
  g.contentType = field(r, "Content-Type").value_or("");
  std::optional<std::string> why = guard->refusal(g);
  if (!why) return std::nullopt;
  const bool wrongType = why->find("Content-Type") != std::string::npos;
  return std::pair(wrongType ? 415u : 403u, *why);
}

bool PlaygroundServer::Impl::presentsToken(const HttpRequest &r) const {
  const auto presented = AccessToken::presented(
      field(r, "Authorization").value_or(""), field(r, "Cookie").value_or(""), AccessToken::cookieName(port));
  return presented && token->matches(*presented);
}

void PlaygroundServer::Impl::handle(const std::shared_ptr<HttpConnection> &connection, HttpRequest request) {
  const bool keepAlive = request.keep_alive();
  const std::string_view target = text(request.target());
  const std::string_view path = target.substr(0, target.find('?'));
  const std::string_view query = path.size() < target.size() ? target.substr(path.size() + 1) : "";
  HttpResponse answer;
  if (auto why = guardRefusal(request)) {
    log("refused " + std::string(text(request.method_string())) + " " + std::string(path) + ": " +
        why->second);
    answer = errorResponse(why->first, "refused: " + why->second);
  } else if (path.substr(0, 5) == "/api/") {
    return answerApi(connection, std::move(request), path.substr(5));
  } else {
    connection->setTrusted(presentsToken(request));
    answer = pageAnswer(request, path, query);
  }
  answer.keep_alive(keepAlive);
  connection->answer(std::move(answer));
}

// The page's files; an address with the token sets its cookie first.
HttpResponse PlaygroundServer::Impl::pageAnswer(const HttpRequest &request, std::string_view path,
                                                std::string_view query) {
  if (request.method() != http::verb::get) return errorResponse(405, "the method is not allowed");
  if (const auto presented = AccessToken::fromQuery(query)) {
    if (!token->matches(*presented)) {
      log("refused GET " + std::string(path) + ": a wrong access token");
      return errorResponse(401,
                           "the access token in this address is wrong: open the address "
                           "elasticpull-host serve printed");
    }
    HttpResponse moved = response(303, "text/plain; charset=utf-8", "");
    moved.set(http::field::location, std::string(path));
    moved.set(http::field::set_cookie, token->setCookie(port));
    moved.set(http::field::cache_control, "no-store");
    return moved;
  }
  const WebAsset *asset = findWebAsset(path);
  if (asset == nullptr) return errorResponse(404, "not found: " + std::string(path));
  return response(200, std::string(asset->contentType), std::string(asset->bytes));
}

void PlaygroundServer::Impl::answerApi(const std::shared_ptr<HttpConnection> &connection, HttpRequest request,
                                       std::string_view resource) {
  const bool keepAlive = request.keep_alive();
  const std::string method(text(request.method_string()));
  auto refuse = [&](unsigned status, const std::string &message) {
    HttpResponse answer = errorResponse(status, message);
    answer.set(http::field::cache_control, "no-store");
    answer.keep_alive(keepAlive);
    connection->answer(std::move(answer));
  };
  if (!presentsToken(request)) {
    log("refused " + method + " /api/" + std::string(resource) + ": no valid access token");
    return refuse(401, "this server needs its access token: open the address elasticpull-host serve printed");
  }
  connection->setTrusted(true);
  const bool get = request.method() == http::verb::get;
  if (!get && request.method() != http::verb::post) return refuse(405, "the method is not allowed");
  if (resource == "events" && get) return openEvents(connection);
  if (!isResourceName(resource, get)) return refuse(404, "not found: /api/" + std::string(resource));
  std::optional<std::int64_t> basedOn;
  if (const auto sent = field(request, kVersionHeader); sent && !get) {
    basedOn = parseVersion(*sent);
    if (!basedOn) return refuse(400, std::string(kVersionHeader) + " must be a whole number");
  }
  ApiRequest api{method, std::string(resource), std::move(request.body()), {}};
  for (const auto &f : request) {
    if (f.name() == http::field::cookie || f.name() == http::field::authorization) continue;
    api.headers.emplace_back(std::string(text(f.name_string())), std::string(text(f.value())));
  }
  dispatch(connection, std::move(api), basedOn, keepAlive);
}

// Hands the request to the module thread; the answer comes back to this one.
void PlaygroundServer::Impl::dispatch(const std::shared_ptr<HttpConnection> &connection, ApiRequest request,
                                      std::optional<std::int64_t> basedOn, bool keepAlive) {
  moduleThread.post([this, connection, request = std::move(request), basedOn, keepAlive] {
    ApiReply reply;
    bool changed = false;
    if (basedOn && *basedOn != version) {
      reply = staleReply(*basedOn, version);
    } else {
      try {
        reply = handler(request);
      } catch (const std::exception &error) {
        reply = ApiReply{500, "application/json", jsonText({{"error", error.what()}}), {}};
      } catch (...) {
        reply = ApiReply{500, "application/json", jsonText({{"error", "unknown failure"}}), {}};
      }
      changed = request.method == "POST" && reply.status >= 200 && reply.status < 300;
    }
    if (changed) ++version;
    if (reply.status >= 500) log(request.method + " /api/" + request.resource + ": " + reply.body);
    auto answer = std::make_shared<HttpResponse>(apiResponse(std::move(reply), version));
    answer->keep_alive(keepAlive);
    asio::post(io, [this, connection, answer, changed, now = version] {
      if (changed) publish(now);
      connection->answer(std::move(*answer));
    });
  });
}

void PlaygroundServer::Impl::openEvents(const std::shared_ptr<HttpConnection> &connection) {
  std::vector<std::shared_ptr<HttpConnection>> streams;
  for (const auto &c : connections)
    if (c->state() == HttpConnection::State::Streaming) streams.push_back(c);
  std::sort(streams.begin(), streams.end(),
            [](const auto &a, const auto &b) { return a->since() < b->since(); });
  for (std::size_t i = 0; i + options.maxEventStreams <= streams.size(); ++i) streams[i]->close();
  std::string header = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n";
  for (const auto &[name, value] : kGuardingHeaders) header += std::string(name) + ": " + value + "\r\n";
  // The events last as long as the connection: no length, nothing after.
  header += "Connection: close\r\n\r\n";
  // Reconnect soon after a break; then the version the page must catch up to.
  header += "retry: 1000\n\n";
  header += "data: {\"version\":" + std::to_string(published) + "}\n\n";
  connection->streamEvents(std::move(header));
}

void PlaygroundServer::Impl::publish(std::int64_t now) {
  if (now <= published) return;
  published = now;
  const std::string event = "data: {\"version\":" + std::to_string(now) + "}\n\n";
  for (const auto &c : connections)
    if (c->state() == HttpConnection::State::Streaming) c->sendEvent(event);
}

void PlaygroundServer::Impl::shutdown() {
  beast::error_code ignored;
  acceptor.close(ignored);
  acceptRetry.cancel();
  const auto all = connections;
  for (const auto &c : all) c->close();
  connections.clear();
}

// The binary form when the request's Accept header names its type.
static AnswerForm answerForm(const ApiRequest &r) {
  for (const auto &[name, value] : r.headers) {
    if (name.size() != 6 || !std::equal(name.begin(), name.end(), "accept", [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
      continue;
    if (value.find(kBinarySceneType) != std::string::npos) return AnswerForm::Binary;
  }
  return AnswerForm::Json;
}

ApiHandler apiHandler(PlaygroundApi &api) {
  return [&api](const ApiRequest &r) {
    if (r.method == "GET") return api.get(r.resource, answerForm(r));
    if (r.method == "POST") return api.post(r.resource, r.body, answerForm(r));
    return ApiReply{405, "application/json", jsonText({{"error", "the method is not allowed"}}), {}};
  };
}

PlaygroundServer::PlaygroundServer(ModuleThread &moduleThread, ApiHandler handler, ServerOptions options)
    : options_(std::move(options)),
      impl_(std::make_unique<Impl>(moduleThread, std::move(handler), options_)) {}

PlaygroundServer::~PlaygroundServer() { stop(); }

int PlaygroundServer::bind() {
  const std::string where = "cannot listen on " + options_.listenAddress +
                            (options_.port == 0 ? "" : " port " + std::to_string(options_.port));
  beast::error_code error;
  const auto address = asio::ip::make_address(options_.listenAddress, error);
  if (error) throw Failure(FailureKind::BadInput, where + ": not an IP address");
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(options_.port));
  tcp::acceptor &acceptor = impl_->acceptor;
  acceptor.open(endpoint.protocol(), error);
  // The port may be taken again right after a stop (SO_REUSEADDR), but is
  // never shared with a server already listening on it.
  if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    beast::error_code ignored;
    acceptor.close(ignored);
    throw Failure(FailureKind::CannotWrite,
                  where + " (is the port in use, or the address not this machine's?)");
  }
  port_ = impl_->port = acceptor.local_endpoint().port();
  impl_->token = options_.token ? AccessToken(*options_.token) : AccessToken::generate();
  impl_->guard = std::make_unique<RequestGuard>(options_.listenAddress, port_, options_.ownAddresses);
  return port_;
}

bool PlaygroundServer::run() {
  if (!impl_->acceptor.is_open()) return false;
  impl_->accept();
  for (;;) {
    try {
      impl_->io.run();
      break;
    } catch (const std::exception &error) {
      impl_->log(std::string("the server's I/O failed: ") + error.what());
    } catch (...) {
      impl_->log("the server's I/O failed");
    }
  }
  // Every task that answers through this server has run before it may go.
  impl_->moduleThread.call([] {});
  return true;
}

void PlaygroundServer::stop() {
  asio::post(impl_->io, [impl = impl_.get()] { impl->shutdown(); });
}

std::string PlaygroundServer::origin() const {
  std::string host = options_.listenAddress;
  if (host == "0.0.0.0") host = "127.0.0.1";
  if (host == "::") host = "::1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(port_);
}

std::string PlaygroundServer::url() const { return origin() + "/?token=" + token(); }

const std::string &PlaygroundServer::token() const {
  static const std::string kNone;
  return impl_->token ? impl_->token->value() : kNone;
}

}  // namespace standin
