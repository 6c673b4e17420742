// The playground's web server: the page's files and the API (playground_api.h)
// over HTTP, through cpp-httplib.
//
// One editing session per server: every API request goes to the same
// PlaygroundApi, one at a time (a mutex), whichever connection it came on.
// Before a request is routed, the RequestGuard (request_guard.h) checks its
// Host, Origin, Sec-Fetch-Site and, for a POST, its content type; a refused
// request answers 403 (415 for a wrong content type) and is reported on the
// log stream. Bodies longer than maxBody bytes answer 413 unread.
//
// Every answer carries headers that keep the page to its own files
// (Content-Security-Policy), out of frames and unsniffed; API answers are not
// cached.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>

#include "standin/session/session.h"

namespace standin {

struct ServerOptions {
  std::string listenAddress = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::size_t maxBody = 64 * 1024;
  std::ostream *log = nullptr;  // refused requests and failures; null: none
};

class PlaygroundServer {
 public:
  PlaygroundServer(Session &session, ServerOptions options);
  ~PlaygroundServer();
  PlaygroundServer(const PlaygroundServer &) = delete;
  PlaygroundServer &operator=(const PlaygroundServer &) = delete;

  // Binds the listening socket; returns the port. Throws Failure (CannotWrite) when the
  // address or port cannot be had.
  int bind();
  // Answers requests until stop(); returns false if it could not listen.
  bool run();
  // From any thread but a signal handler's; also before run, which then
  // returns at once.
  void stop();

  // "http://127.0.0.1:PORT/" (an IPv6 address in brackets).
  std::string url() const;
  int port() const { return port_; }

 private:
  struct Impl;
  ServerOptions options_;
  int port_ = 0;
  std::unique_ptr<Impl> impl_;
  std::mutex stopMutex_;
  std::condition_variable stopChanged_;
  bool stopRequested_ = false;
  bool running_ = false;
};

}  // namespace standin
