// The playground's web server: the page's files, the API (playground_api.h)
// and a stream of change events, over HTTP through Boost.Beast.
//
// Threads. One I/O thread (the one that calls run()) does all the network
// work asynchronously: a slow or idle client holds its own socket and nothing
// else. API requests go to the module thread (module_thread.h), which calls
// the handler, one request at a time; the answer comes back to the I/O
// thread. The page's files are answered on the I/O thread.
//
// Who is answered, in this order:
//   - the RequestGuard (request_guard.h) checks Host, Origin, Sec-Fetch-Site
//     and a POST's content type: 403 (415 for the type);
//   - an API request must present the access token (access_token.h): 401;
//   - a page address with ?token=... sets the token's cookie when it is
//     right and sends the browser on to the address without it (303), and
//     answers 401 when it is wrong; the page's files need no token.
// Bodies over maxBody (maxOpenBody for /api/open with the token) answer 413
// unread; headers over 16 KiB 431.
//
// Limits. Reading a request (from the moment the connection waits for it)
// has requestDeadline in all; writing an answer answerDeadline. At most
// maxConnections are open: a new one makes room by closing the oldest that is
// not serving a request that proved the token, or is refused. At most
// maxEventStreams event streams are open: a new one closes the oldest.
//
// Versions and pushes. The session's version starts at 0 and grows by one
// with each POST the handler answers 2xx. Every API answer says it
// (header Session-Version). A POST that sends Session-Version: N with N not
// the current version is not handed over: it answers 409 with
// {"error", "stale": true, "version": current}. GET /api/events is a stream of
// server-sent events, each {"version": N}: one when it opens, then one after
// every change (a page that is busy gets the newest only).
//
// Every answer carries headers that keep the page to its own files
// (Content-Security-Policy), out of frames and unsniffed; API answers are not
// cached.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin/server/module_thread.h"
#include "standin/server/playground_api.h"

namespace standin {

struct ServerOptions {
  std::string listenAddress = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::size_t maxBody = 64 * 1024;
  // The body of POST /api/open (a mesh file's text as JSON), from a request
  // that presents the token.
  std::size_t maxOpenBody = std::size_t{64} << 20;
  std::ostream *log = nullptr;  // refused requests and failures; null: none
  std::chrono::milliseconds requestDeadline{10'000};
  std::chrono::milliseconds answerDeadline{30'000};
  std::size_t maxConnections = 64;
  std::size_t maxEventStreams = 16;
  // The access token; default: a fresh random one (AccessToken::generate).
  std::optional<std::string> token;
  // This machine's addresses, for --listen 0.0.0.0 or ::; default: asked.
  std::optional<std::vector<std::string>> ownAddresses;
};

// An API request as the handler gets it, on the module thread.
struct ApiRequest {
  std::string method;    // "GET" or "POST"
  std::string resource;  // the path after /api/, without the query
  std::string body;
  // The request's headers, but for those that carry the token.
  std::vector<std::pair<std::string, std::string>> headers;
};
using ApiHandler = std::function<ApiReply(const ApiRequest &)>;

// One playground's API as a handler: GET to get(), POST to post(), the scene in
// the binary form when the Accept header names its type (kBinarySceneType).
ApiHandler apiHandler(PlaygroundApi &api);

class PlaygroundServer {
 public:
  // The handler runs on `moduleThread`, which must outlive the server.
  PlaygroundServer(ModuleThread &moduleThread, ApiHandler handler, ServerOptions options);
  ~PlaygroundServer();
  PlaygroundServer(const PlaygroundServer &) = delete;
  PlaygroundServer &operator=(const PlaygroundServer &) = delete;

  // Binds the listening socket; returns the port. Throws Failure when the
  // address or port cannot be had, or no token can be made.
  int bind();
  // Answers requests until stop(); returns false if it could not listen.
  // Never on the module thread (it waits for it before returning).
  bool run();
  // From any thread but a signal handler's; also before run, which then
  // returns at once.
  void stop();

  // The address to open: "http://127.0.0.1:PORT/?token=TOKEN" (an IPv6
  // address in brackets; for 0.0.0.0 or ::, the loopback address).
  std::string url() const;
  // The page's origin: "http://127.0.0.1:PORT".
  std::string origin() const;
  const std::string &token() const;
  int port() const { return port_; }

 private:
  struct Impl;
  ServerOptions options_;
  int port_ = 0;
  std::unique_ptr<Impl> impl_;
};

}  // namespace standin
