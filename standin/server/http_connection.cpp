#include "standin/server/http_connection.h"

#include <cstdint>
#include <limits>

#include <boost/asio/write.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace standin {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

// How long a connection that is being closed keeps reading what the client
// still sends, so that the answer is not lost to a reset.
constexpr std::chrono::seconds kLinger{2};

bool isParseError(const beast::error_code &error) {
  return &error.category() == &beast::error_code(http::error::bad_target).category();
}

}  // namespace

HttpConnection::HttpConnection(asio::ip::tcp::socket socket, ConnectionOwner &owner,
                               const ConnectionLimits &limits)
    : stream_(std::move(socket)), owner_(owner), limits_(limits), since_(std::chrono::steady_clock::now()) {}

void HttpConnection::start() { readRequest(); }

void HttpConnection::readRequest() {
  state_ = State::Reading;
  trusted_ = false;
  since_ = std::chrono::steady_clock::now();
  parser_.emplace();
  // The parser checks a Content-Length against its limit as the header ends,
  // before the owner has said what this request may send: onHeader checks it.
  parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
  parser_->header_limit(static_cast<std::uint32_t>(limits_.maxHeader));
  // One deadline for the whole request, however its bytes trickle in.
  stream_.expires_after(limits_.readDeadline);
  // The header first: the owner may allow its body more room.
  http::async_read_header(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](beast::error_code error, std::size_t) { self->onHeader(error); });
}

void HttpConnection::onHeader(beast::error_code error) {
  if (state_ == State::Closed) return;
  if (error) return onRead(error);
  const std::size_t owned = owner_.bodyLimit(parser_->get());
  const std::size_t limit = owned > 0 ? owned : limits_.maxBody;
  const boost::optional<std::uint64_t> length = parser_->content_length();
  if (length && *length > limit) return onRead(http::error::body_limit);
  parser_->body_limit(limit);  // a chunked body is checked as it comes
  http::async_read(stream_, buffer_, *parser_,
                   [self = shared_from_this()](beast::error_code e, std::size_t) { self->onRead(e); });
}

void HttpConnection::onRead(beast::error_code error) {
  if (state_ == State::Closed) return;
  if (!error) {
    state_ = State::Working;
    stream_.expires_never();
    owner_.handle(shared_from_this(), parser_->release());
    return;
  }
  if (error == http::error::body_limit) return answer(owner_.refusal(413, "the request body is too large"));
  if (error == http::error::header_limit)
    return answer(owner_.refusal(431, "the request's header is too large"));
  // A request that is not HTTP is told so; a client that went away, or ran
  // out of time, is not.
  if (isParseError(error) && error != http::error::end_of_stream && error != http::error::partial_message)
    return answer(owner_.refusal(400, "the request is malformed"));
  close();
}

void HttpConnection::answer(HttpResponse response) {
  if (state_ == State::Closed) return;
  response.prepare_payload();  // the length first: without it the answer would need the close
  const bool close = response.need_eof() || state_ != State::Working;
  if (close) response.keep_alive(false);
  response_ = std::make_shared<HttpResponse>(std::move(response));
  state_ = State::Writing;
  stream_.expires_after(limits_.writeDeadline);
  http::async_write(stream_, *response_,
                    [self = shared_from_this(), close](beast::error_code error, std::size_t) {
                      self->onWritten(error, close);
                    });
}

void HttpConnection::onWritten(beast::error_code error, bool close) {
  response_.reset();
  if (state_ == State::Closed) return;
  if (error) return this->close();
  if (!close) return readRequest();
  // Read (and drop) what the client still sends for a while before closing,
  // so that it reads the answer rather than a reset.
  beast::error_code ignored;
  stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
  stream_.expires_after(kLinger);
  linger();
}

void HttpConnection::linger() {
  stream_.async_read_some(asio::buffer(hangUpProbe_),
                          [self = shared_from_this()](beast::error_code error, std::size_t) {
                            if (error) return self->close();
                            self->linger();
                          });
}

void HttpConnection::streamEvents(std::string header) {
  if (state_ != State::Working) return;
  state_ = State::Streaming;
  since_ = std::chrono::steady_clock::now();
  stream_.expires_never();
  eventWaiting_ = std::move(header);
  writeNextEvent();
  watchForHangUp();
}

void HttpConnection::sendEvent(std::string event) {
  if (state_ != State::Streaming) return;
  eventWaiting_ = std::move(event);
  if (eventOut_.empty()) writeNextEvent();
}

void HttpConnection::writeNextEvent() {
  if (!eventWaiting_ || state_ != State::Streaming) return;
  eventOut_ = std::move(*eventWaiting_);
  eventWaiting_.reset();
  asio::async_write(stream_, asio::buffer(eventOut_),
                    [self = shared_from_this()](beast::error_code error, std::size_t) {
                      self->eventOut_.clear();
                      if (error) return self->close();
                      self->writeNextEvent();
                    });
}

// A page sends nothing on its event stream; a read that ends is the page
// going away.
void HttpConnection::watchForHangUp() {
  stream_.async_read_some(asio::buffer(hangUpProbe_),
                          [self = shared_from_this()](beast::error_code error, std::size_t) {
                            if (error) return self->close();
                            self->watchForHangUp();
                          });
}

void HttpConnection::close() {
  if (state_ == State::Closed) return;
  state_ = State::Closed;
  beast::error_code ignored;
  stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  stream_.close();
  owner_.closed(*this);
}

}  // namespace standin
