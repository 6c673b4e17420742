// One client connection of the playground's web server (Boost.Beast on
// Asio): it reads requests, hands each to its owner, writes the owner's
// answer, and can turn into a stream of server-sent events.
//
// Nothing here blocks a thread: every read and write is asynchronous on the
// server's one I/O thread, so a slow or idle client holds only its own socket.
// Reading a request has a deadline for the whole request, counted from the
// moment the connection starts waiting for it (so the idle time of a kept-
// alive connection counts too): a client that sends one byte a second is cut
// off when it runs out, however often bytes arrive. Writing an answer has a
// deadline of its own. While the owner works on a request no deadline runs.
//
// Every member is called on the I/O thread.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace standin {

using HttpRequest = boost::beast::http::request<boost::beast::http::string_body>;
using HttpResponse = boost::beast::http::response<boost::beast::http::string_body>;

class HttpConnection;

// The server's side of its connections.
class ConnectionOwner {
 public:
  virtual ~ConnectionOwner() = default;
  // A whole request arrived. The owner answers it (answer() or
  // streamEvents()), now or later, or closes the connection.
  virtual void handle(const std::shared_ptr<HttpConnection> &connection, HttpRequest request) = 0;
  // A request that could not be read (too large, malformed): the answer to
  // send before the connection closes.
  virtual HttpResponse refusal(unsigned status, const std::string &message) = 0;
  // The connection closed: the owner forgets it.
  virtual void closed(HttpConnection &connection) = 0;
  // The largest body the request whose header this is may have; 0: the
  // limits' maxBody.
  virtual std::size_t bodyLimit(const HttpRequest &) { return 0; }
};

struct ConnectionLimits {
  std::size_t maxBody = 64 * 1024;
  std::size_t maxHeader = 16 * 1024;
  std::chrono::milliseconds readDeadline{10'000};
  std::chrono::milliseconds writeDeadline{30'000};
};

class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
 public:
  enum class State { Reading, Working, Writing, Streaming, Closed };

  HttpConnection(boost::asio::ip::tcp::socket socket, ConnectionOwner &owner, const ConnectionLimits &limits);

  // Starts reading the first request.
  void start();
  // Sends the answer to the request handed over; then reads the next one, or
  // closes when either side asked for that.
  void answer(HttpResponse response);
  // Sends `header` (a whole HTTP header block, ending in an empty line) and
  // keeps the connection as an event stream until the client goes away.
  void streamEvents(std::string header);
  // Sends one event on an event stream. An event that cannot go out at once
  // replaces any that is still waiting: each event carries the whole news.
  void sendEvent(std::string event);
  void close();

  State state() const { return state_; }
  // When the current request began to be awaited (or the stream started).
  std::chrono::steady_clock::time_point since() const { return since_; }
  // Whether the request being handled proved its access token; a connection
  // that did not may be closed to make room for others.
  bool trusted() const { return trusted_; }
  void setTrusted(bool trusted) { trusted_ = trusted; }

 private:
  void readRequest();
  void onHeader(boost::beast::error_code error);
  void onRead(boost::beast::error_code error);
  void onWritten(boost::beast::error_code error, bool close);
  void linger();
  void writeNextEvent();
  void watchForHangUp();

  boost::beast::tcp_stream stream_;
  boost::beast::flat_buffer buffer_;
  std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> parser_;
  std::shared_ptr<HttpResponse> response_;  // the answer being written
  std::string eventOut_;                    // the event being written
  std::optional<std::string> eventWaiting_;
  char hangUpProbe_[64] = {};
  ConnectionOwner &owner_;
  const ConnectionLimits &limits_;
  State state_ = State::Reading;
  std::chrono::steady_clock::time_point since_;
  bool trusted_ = false;
};

}  // namespace standin
