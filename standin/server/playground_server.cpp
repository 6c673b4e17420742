#include "standin/server/playground_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "standin/host/failure.h"
#include "standin/server/playground_api.h"
#include "standin/server/request_guard.h"
#include "standin/server/web_assets.h"

namespace standin {
namespace {

// The page loads only its own files and talks only to this server.
constexpr const char *kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data: blob:; connect-src "
    "'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// Sends a body as it is. (The library would compress text bodies with the
// client's preferred encoding on every request, which costs more than it
// saves on this machine's loopback; a body given by a provider is sent
// unchanged.)
void send(httplib::Response &res, int status, std::string body, const std::string &type) {
  res.status = status;
  auto shared = std::make_shared<const std::string>(std::move(body));
  res.set_content_provider(shared->size(), type,
                           [shared](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
                             sink.write(shared->data() + offset, length);
                             return true;
                           });
}

void sendError(httplib::Response &res, int status, const std::string &message) {
  send(res, status,
       nlohmann::json{{"error", message}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
       "application/json");
}

std::optional<std::string_view> header(const httplib::Request &req, const char *name) {
  if (!req.has_header(name)) return std::nullopt;
  auto it = req.headers.find(name);
  return std::string_view(it->second);
}

const char *statusText(int status) {
  switch (status) {
    case 400:
      return "the request is malformed";
    case 404:
      return "not found";
    case 405:
      return "the method is not allowed";
    case 413:
      return "the request body is too large";
    case 414:
      return "the request's address is too long";
    default:
      return "the request failed";
  }
}

}  // namespace

struct PlaygroundServer::Impl {
  Impl(Session &session, const ServerOptions &serverOptions) : api(session), options(serverOptions) {}

  void routes();
  httplib::Server::HandlerResponse guard(const httplib::Request &req, httplib::Response &res);
  void serveAsset(const httplib::Request &req, httplib::Response &res);
  void answerApi(const ApiReply &reply, httplib::Response &res);
  void log(const std::string &line) {
    if (options.log == nullptr) return;
    std::lock_guard<std::mutex> lock(logMutex);
    *options.log << line << std::endl;
  }

  httplib::Server http;
  PlaygroundApi api;
  std::mutex apiMutex;  // one request at a time reaches the session
  std::mutex logMutex;
  const ServerOptions &options;
  std::unique_ptr<RequestGuard> requestGuard;
};

httplib::Server::HandlerResponse PlaygroundServer::Impl::guard(const httplib::Request &req,
                                                               httplib::Response &res) {
  std::optional<std::string> why;
  if (req.get_header_value_count("Host") != 1 || req.get_header_value_count("Origin") > 1) {
    why = "the request must have one Host header and at most one Origin header";
  } else {
    GuardedRequest g;
    g.method = req.method;
    g.host = header(req, "Host").value_or("");
    g.origin = header(req, "Origin");
    g.fetchSite = header(req, "Sec-Fetch-Site");
    g.contentType = header(req, "Content-Type").value_or("");
    why = requestGuard->refusal(g);
  }
  if (!why) return httplib::Server::HandlerResponse::Unhandled;
  const bool wrongType = why->find("Content-Type") != std::string::npos;
  log("refused " + req.method + " " + req.path + ": " + *why);
  sendError(res, wrongType ? 415 : 403, "refused: " + *why);
  return httplib::Server::HandlerResponse::Handled;
}

void PlaygroundServer::Impl::serveAsset(const httplib::Request &req, httplib::Response &res) {
  const WebAsset *asset = findWebAsset(req.path);
  if (asset == nullptr) return sendError(res, 404, "not found: " + req.path);
  send(res, 200, std::string(asset->bytes), std::string(asset->contentType));
}

void PlaygroundServer::Impl::answerApi(const ApiReply &reply, httplib::Response &res) {
  for (const auto &[name, value] : reply.headers) res.set_header(name, value);
  res.set_header("Cache-Control", "no-store");
  send(res, reply.status, reply.body, reply.contentType);
}

void PlaygroundServer::Impl::routes() {
  http.set_pre_routing_handler([this](const auto &req, auto &res) { return guard(req, res); });
  http.Get(R"(/api/([a-z.]+))", [this](const httplib::Request &req, httplib::Response &res) {
    std::lock_guard<std::mutex> lock(apiMutex);
    answerApi(api.get(req.matches[1].str()), res);
  });
  http.Post(R"(/api/([a-z]+))", [this](const httplib::Request &req, httplib::Response &res) {
    if (req.body.size() > options.maxBody) return sendError(res, 413, statusText(413));
    std::lock_guard<std::mutex> lock(apiMutex);
    const ApiReply reply = api.post(req.matches[1].str(), req.body);
    if (reply.status >= 500) log("POST " + req.path + ": " + reply.body);
    answerApi(reply, res);
  });
  http.Get(R"(/[A-Za-z0-9._/-]*)", [this](const auto &req, auto &res) { serveAsset(req, res); });
  // Answers the library makes itself (an unknown route, a body over the
  // limit) get a JSON body too; answers made here already have one.
  http.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &res) {
        if (res.has_header("Content-Type")) return httplib::Server::HandlerResponse::Unhandled;
        sendError(res, res.status, statusText(res.status));
        return httplib::Server::HandlerResponse::Handled;
      }));
  http.set_exception_handler(
      [this](const httplib::Request &req, httplib::Response &res, std::exception_ptr e) {
        std::string what = "unknown error";
        try {
          std::rethrow_exception(e);
        } catch (const std::exception &error) {
          what = error.what();
        } catch (...) {
        }
        log(req.method + " " + req.path + " failed: " + what);
        sendError(res, 500, what);
      });
}

PlaygroundServer::PlaygroundServer(Session &session, ServerOptions options)
    : options_(std::move(options)), impl_(std::make_unique<Impl>(session, options_)) {
  httplib::Server &http = impl_->http;
  http.set_payload_max_length(options_.maxBody);
  http.set_keep_alive_max_count(1000);
  // A drag frame's small answer goes out at once, not after the client's ACK.
  http.set_tcp_nodelay(true);
  // The port may be taken again right after a stop (SO_REUSEADDR), but never
  // shared with a server already listening on it: the library's default would
  // also set SO_REUSEPORT, and the kernel would then split the requests
  // between two sessions.
  http.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // An idle connection is closed soon, so that stopping waits little for it.
  http.set_keep_alive_timeout(2);
  http.set_read_timeout(10, 0);
  http.set_write_timeout(10, 0);
  http.set_default_headers({{"Content-Security-Policy", kContentSecurityPolicy},
                            {"X-Content-Type-Options", "nosniff"},
                            {"X-Frame-Options", "DENY"},
                            {"Referrer-Policy", "no-referrer"},
                            {"Cross-Origin-Resource-Policy", "same-origin"},
                            {"Cross-Origin-Opener-Policy", "same-origin"}});
  impl_->routes();
}

PlaygroundServer::~PlaygroundServer() { stop(); }

int PlaygroundServer::bind() {
  const bool v6 = options_.listenAddress.find(':') != std::string::npos;
  impl_->http.set_address_family(v6 ? AF_INET6 : AF_INET);
  if (options_.port == 0) {
    port_ = impl_->http.bind_to_any_port(options_.listenAddress);
  } else {
    port_ = impl_->http.bind_to_port(options_.listenAddress, options_.port) ? options_.port : -1;
  }
  if (port_ <= 0) {
    throw Failure(FailureKind::CannotWrite,
                  "cannot listen on " + options_.listenAddress +
                      (options_.port == 0 ? "" : " port " + std::to_string(options_.port)) +
                      " (is the port in use, or the address not this machine's?)");
  }
  impl_->requestGuard = std::make_unique<RequestGuard>(options_.listenAddress, port_);
  return port_;
}

bool PlaygroundServer::run() {
  std::unique_lock<std::mutex> lock(stopMutex_);
  if (stopRequested_) return true;
  running_ = true;
  // The library forgets a stop that comes before it runs, so a watcher stops
  // it until it has returned.
  std::thread watcher([this] {
    std::unique_lock<std::mutex> watch(stopMutex_);
    stopChanged_.wait(watch, [this] { return stopRequested_ || !running_; });
    while (running_) {
      impl_->http.stop();
      stopChanged_.wait_for(watch, std::chrono::milliseconds(20), [this] { return !running_; });
    }
  });
  lock.unlock();
  const bool listened = impl_->http.listen_after_bind();
  lock.lock();
  running_ = false;
  lock.unlock();
  stopChanged_.notify_all();
  watcher.join();
  return listened;
}

void PlaygroundServer::stop() {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopRequested_ = true;
  }
  stopChanged_.notify_all();
}

std::string PlaygroundServer::url() const {
  std::string host = options_.listenAddress;
  if (host == "0.0.0.0") host = "127.0.0.1";
  if (host == "::") host = "::1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(port_) + "/";
}

}  // namespace standin
