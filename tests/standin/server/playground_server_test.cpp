// The playground's server on the loopback: who it answers (Host, Origin,
// content type, the access token), how it guards the session (body size,
// slow clients, one module thread), the versions and pushes that keep pages
// in agreement, the page's files and its headers.
#include "standin/server/playground_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "standin/host/failure.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/server/request_guard.h"
#include "standin/session/obj_file.h"

namespace {

using standin::GuardedRequest;
using standin::RequestGuard;

TEST(PlaygroundRequestGuard, HostAndOriginMustNameTheAddressItListensOn) {
  struct Case {
    const char *listen;
    const char *host;
    bool allowed;
  };
  const Case cases[] = {
      {"127.0.0.1", "127.0.0.1:8080", true},
      {"127.0.0.1", "localhost:8080", true},
      {"127.0.0.1", "LOCALHOST:8080", true},
      {"127.0.0.1", "127.0.0.2:8080", true},  // the loopback range
      {"127.0.0.1", "[::1]:8080", true},
      {"127.0.0.1", "127.0.0.1:8081", false},  // another port is another server
      {"127.0.0.1", "127.0.0.1", false},       // no port means 80
      {"127.0.0.1", "evil.example:8080", false},
      {"127.0.0.1", "localhost.evil.example:8080", false},
      {"127.0.0.1", "192.168.1.20:8080", false},
      {"127.0.0.1", "::1:8080", false},  // IPv6 without brackets
      {"127.0.0.1", "", false},
      {"127.0.0.1", ":8080", false},
      {"127.0.0.1", "127.0.0.1:80800", false},
      // --listen ADDR: that address alone.
      {"192.168.1.20", "192.168.1.20:8080", true},
      {"192.168.1.20", "192.168.1.21:8080", false},
      {"192.168.1.20", "127.0.0.1:8080", false},
      {"192.168.1.20", "localhost:8080", false},
      // --listen 0.0.0.0 or ::: this machine's own addresses (here 10.0.0.7
      // and fe80::1), loopback and localhost, nothing else.
      {"0.0.0.0", "10.0.0.7:8080", true},
      {"0.0.0.0", "127.0.0.1:8080", true},
      {"0.0.0.0", "localhost:8080", true},
      {"0.0.0.0", "10.0.0.8:8080", false},
      {"0.0.0.0", "192.0.2.1:8080", false},
      {"0.0.0.0", "nas.local:8080", false},
      {"::", "[fe80::1]:8080", true},
      {"::", "[fe80:0::1]:8080", true},  // another spelling of the same address
      {"::", "[fe80::2]:8080", false},
  };
  const std::vector<std::string> own{"10.0.0.7", "127.0.0.1", "fe80::1", "::1"};
  for (const Case &c : cases) {
    const RequestGuard guard(c.listen, 8080, own);
    EXPECT_EQ(guard.hostAllowed(c.host), c.allowed) << c.listen << " / " << c.host;
    EXPECT_EQ(guard.originAllowed(std::string("http://") + c.host), c.allowed) << c.listen << " / " << c.host;
  }
  const RequestGuard guard("127.0.0.1", 8080);
  EXPECT_FALSE(guard.originAllowed("https://127.0.0.1:8080"));
  EXPECT_FALSE(guard.originAllowed("null"));
}

TEST(PlaygroundRequestGuard, RefusesCrossSiteRequestsAndPostsThatAreNotJson) {
  const RequestGuard guard("127.0.0.1", 8080);
  GuardedRequest r;
  r.method = "POST";
  r.host = "127.0.0.1:8080";
  r.contentType = "application/json; charset=utf-8";
  EXPECT_FALSE(guard.refusal(r));
  r.origin = "http://127.0.0.1:8080";
  r.fetchSite = "same-origin";
  EXPECT_FALSE(guard.refusal(r));
  r.fetchSite = "cross-site";
  EXPECT_TRUE(guard.refusal(r));
  r.fetchSite.reset();
  r.origin = "http://localhost:3000";
  EXPECT_TRUE(guard.refusal(r));
  r.origin.reset();
  for (const char *type : {"text/plain", "application/x-www-form-urlencoded", "multipart/form-data", ""}) {
    r.contentType = type;
    EXPECT_TRUE(guard.refusal(r)) << type;
  }
  r.method = "GET";  // a GET sends no body, whatever its type
  EXPECT_FALSE(guard.refusal(r));
}

constexpr const char *kMesh = "v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\n";
constexpr const char *kToken = "0123456789abcdef0123456789abcdef0123456789abcdef";

// A raw connection to the server, for clients no library would be.
class RawClient {
 public:
  RawClient(const char *address, int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address, &to.sin_addr);
    connected_ = connect(fd_, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0;
  }
  ~RawClient() { close(fd_); }
  RawClient(const RawClient &) = delete;
  RawClient &operator=(const RawClient &) = delete;

  bool connected() const { return connected_; }
  bool send(std::string_view bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // What arrives until the server closes or `until` shows up.
  std::string receive(std::string_view until = {}) {
    std::string got;
    char chunk[4096];
    while (until.empty() || got.find(until) == std::string::npos) {
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
  bool connected_ = false;
};

class PlaygroundServerTest : public ::testing::Test {
 protected:
  void SetUp() override { start({}); }
  void TearDown() override { finish(); }

  // Starts a server with `options` (the test's token and log added); every
  // callback of the tool and every handler call records the thread it ran on.
  void start(standin::ServerOptions options) {
    globals_.messages().setEcho(nullptr);
    globals_.tracer().setSink([this](const std::string &) { noteThread(); });
    moduleThread_.call([&] {
      obj_ = std::make_unique<standin::ObjFile>(standin::ObjFile::parse(kMesh, "pairs.obj"));
      standin::SessionSetup setup;
      setup.out = &silent_;
      setup.liveViewport = true;
      playground_ = std::make_unique<standin::Session>(module_, globals_, *obj_, setup);
      playground_->run(standin::parseCommand("select 0-3"));
      playground_->run(standin::parseCommand("pick"));
      playground_->beginHistoryHere();
      api_ = std::make_unique<standin::PlaygroundApi>(*playground_);
    });
    options.log = &log_;
    options.token = kToken;
    if (options.maxBody == standin::ServerOptions{}.maxBody) options.maxBody = 4096;
    const standin::ApiHandler inner = standin::apiHandler(*api_);
    server_ = std::make_unique<standin::PlaygroundServer>(
        moduleThread_,
        [this, inner](const auto &request) {
          noteThread();
          return handler_ ? handler_(request) : inner(request);
        },
        options);
    port_ = server_->bind();
    thread_ = std::thread([this] { server_->run(); });
    client_ = std::make_unique<httplib::Client>(options.listenAddress, port_);
    client_->set_read_timeout(20, 0);
    client_->set_bearer_token_auth(kToken);
  }

  void finish() {
    server_->stop();
    thread_.join();
    server_.reset();
    moduleThread_.call([this] {
      api_.reset();
      playground_.reset();
    });
  }

  void noteThread() {
    std::lock_guard<std::mutex> lock(threadsMutex_);
    threads_.insert(std::this_thread::get_id());
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  httplib::Result post(const std::string &path, const std::string &body, httplib::Headers headers = {},
                       const char *type = "application/json") {
    return client_->Post(path.c_str(), headers, body, type);
  }

  std::string script() {
    return moduleThread_.call([this] { return playground_->log(); });
  }

  std::ostringstream log_;
  standin::HostGlobals globals_;
  standin::LoadedModule module_ = standin::LoadedModule::open(EP_MODULE_PATH);
  standin::ModuleThread moduleThread_;
  std::ostream silent_{nullptr};
  std::unique_ptr<standin::ObjFile> obj_;
  std::unique_ptr<standin::Session> playground_;
  std::unique_ptr<standin::PlaygroundApi> api_;
  standin::ApiHandler handler_;  // replaces the API when set
  std::unique_ptr<standin::PlaygroundServer> server_;
  std::thread thread_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> client_;
  std::mutex threadsMutex_;
  std::set<std::thread::id> threads_;
};

TEST_F(PlaygroundServerTest, ServesThePageItsModulesAndTheSceneWithGuardingHeaders) {
  httplib::Client anyone("127.0.0.1", port_);  // the page's files need no token
  auto page = anyone.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("/app.js"), std::string::npos);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  for (const char *path : {"/app.js", "/vendor/three.module.js", "/vendor/three.core.js"}) {
    auto file = anyone.Get(path);
    ASSERT_TRUE(file) << path;
    EXPECT_EQ(file->status, 200) << path;
    EXPECT_EQ(file->get_header_value("Content-Type"), "text/javascript; charset=utf-8") << path;
    EXPECT_FALSE(file->has_header("Content-Encoding")) << path;
  }
  for (const char *path : {"/nothing.js", "/../CMakeLists.txt", "/api/nothing", "/api/Bad"}) {
    auto missing = client_->Get(path);
    ASSERT_TRUE(missing) << path;
    EXPECT_EQ(missing->status, 404) << path;
  }
  auto state = client_->Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->status, 200);
  EXPECT_EQ(state->get_header_value("Cache-Control"), "no-store");
  EXPECT_EQ(state->get_header_value("Session-Version"), "0");
  EXPECT_NE(state->body.find("\"selected\":[0,1,2,3]"), std::string::npos);
}

TEST_F(PlaygroundServerTest, RefusesForeignHostsOriginsAndContentTypesBeforeTheSessionSeesThem) {
  struct Case {
    httplib::Headers headers;
    const char *type;
    int status;
  };
  const Case cases[] = {
      {{{"Origin", "http://evil.example"}}, "application/json", 403},
      {{{"Origin", "null"}}, "application/json", 403},
      {{{"Host", "evil.example:" + std::to_string(port_)}}, "application/json", 403},
      {{{"Sec-Fetch-Site", "cross-site"}}, "application/json", 403},
      {{}, "text/plain", 415},
      {{}, "application/x-www-form-urlencoded", 415},
  };
  for (const Case &c : cases) {
    auto r = post("/api/reset", "{}", c.headers, c.type);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status) << c.type;
    EXPECT_NE(r->body.find("refused"), std::string::npos) << r->body;
  }
  // A page of another origin cannot read the scene either (DNS rebinding).
  auto read = client_->Get("/api/state", {{"Host", "attacker.example:" + std::to_string(port_)}});
  ASSERT_TRUE(read);
  EXPECT_EQ(read->status, 403);
  EXPECT_EQ(script().find("reset"), std::string::npos) << "a refused request reached the tool";
  EXPECT_NE(log_.str().find("refused POST /api/reset"), std::string::npos);
  // The page's own origin is welcome.
  auto own = post("/api/reset", "{}", {{"Origin", "http://" + host()}});
  ASSERT_TRUE(own);
  EXPECT_EQ(own->status, 200);
}

TEST_F(PlaygroundServerTest, EveryApiRequestNeedsTheTokenInItsCookieOrAuthorization) {
  const std::string cookie = "elasticpull-token-" + std::to_string(port_);
  const std::string wrong(std::string(kToken).replace(47, 1, "0"));
  struct Case {
    httplib::Headers headers;
    std::string path;
    int status;
  };
  const Case cases[] = {
      {{}, "/api/state", 401},
      {{{"Cookie", cookie + "=" + wrong}}, "/api/state", 401},
      {{{"Cookie", cookie + "=" + std::string(kToken).substr(0, 47)}}, "/api/state", 401},
      {{{"Cookie", "elasticpull-token-1=" + std::string(kToken)}}, "/api/state", 401},  // another server's
      {{{"Authorization", "Bearer " + wrong}}, "/api/state", 401},
      {{}, std::string("/api/state?token=") + kToken, 401},  // not in an API address
      {{{"Cookie", "theme=dark; " + cookie + "=" + kToken + "; x=1"}}, "/api/state", 200},
      {{{"Authorization", std::string("Bearer ") + kToken}}, "/api/state", 200},
  };
  httplib::Client anyone("127.0.0.1", port_);
  for (const Case &c : cases) {
    auto r = anyone.Get(c.path, c.headers);
    ASSERT_TRUE(r) << c.path;
    EXPECT_EQ(r->status, c.status) << c.path << " " << (c.headers.empty() ? "" : c.headers.begin()->second);
  }
  auto refused = anyone.Post("/api/reset", "{}", "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 401);
  EXPECT_EQ(script().find("reset"), std::string::npos) << "a request without the token reached the tool";

  // The address printed: the page moves the token into its cookie.
  EXPECT_EQ(server_->url(), "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + kToken);
  auto moved = anyone.Get(std::string("/?token=") + kToken);
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->status, 303);
  EXPECT_EQ(moved->get_header_value("Location"), "/");
  EXPECT_EQ(moved->get_header_value("Set-Cookie"),
            cookie + "=" + kToken + "; HttpOnly; SameSite=Strict; Path=/");
  auto wrongAddress = anyone.Get("/?token=" + wrong);
  ASSERT_TRUE(wrongAddress);
  EXPECT_EQ(wrongAddress->status, 401);
  EXPECT_FALSE(wrongAddress->has_header("Set-Cookie"));
}

TEST_F(PlaygroundServerTest, ListeningOnAllAddressesHostAndOriginMustNameOneOfThisMachines) {
  finish();
  standin::ServerOptions options;
  options.listenAddress = "0.0.0.0";
  options.ownAddresses = std::vector<std::string>{"192.0.2.7"};  // as if this machine had that address
  start(options);
  client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
  client_->set_bearer_token_auth(kToken);
  const std::string port = std::to_string(port_);
  struct Case {
    httplib::Headers headers;
    int status;
  };
  const Case cases[] = {
      {{}, 200},
      {{{"Host", "192.0.2.7:" + port}}, 200},
      {{{"Host", "localhost:" + port}}, 200},
      {{{"Host", "192.0.2.8:" + port}}, 403},
      {{{"Host", "10.1.2.3:" + port}}, 403},
      {{{"Origin", "http://198.51.100.1:" + port}}, 403},
      {{{"Origin", "http://192.0.2.7:" + port}}, 200},
  };
  for (const Case &c : cases) {
    auto r = client_->Get("/api/state", c.headers);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status) << (c.headers.empty() ? "" : c.headers.begin()->second);
  }
  httplib::Client noToken("127.0.0.1", port_);
  auto r = noToken.Get("/api/state", {{"Host", "192.0.2.7:" + port}});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 401);
}

TEST_F(PlaygroundServerTest, BodiesOverTheLimitAreRefusedUnread) {
  const std::string padding(5000, ' ');
  auto r = post("/api/release", "{}" + padding);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 413);
  EXPECT_NE(r->body.find("too large"), std::string::npos) << r->body;
  auto fine = post("/api/release", "{}" + std::string(100, ' '));
  ASSERT_TRUE(fine);
  EXPECT_EQ(fine->status, 200) << fine->body;
  // A mesh file's text: larger than a command's body, taken on its own route
  // from a request with the token only.
  const std::string mesh = "v 0 0 0\\nv 0 1 0\\n# " + std::string(8000, 'x') + "\\n";
  const std::string open = R"({"file":"big.obj","text":")" + mesh + R"("})";
  auto opened = post("/api/open", open);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->status, 200) << opened->body;
  auto asCommand = post("/api/command", R"({"command":"open","file":"big.obj","text":")" + mesh + R"("})");
  ASSERT_TRUE(asCommand);
  EXPECT_EQ(asCommand->status, 413);
  httplib::Client noToken("127.0.0.1", port_);
  auto refused = noToken.Post("/api/open", {{"Host", host()}}, open, "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 413);
}

TEST_F(PlaygroundServerTest, ManySlowClientsDoNotHoldUpOthers) {
  finish();
  standin::ServerOptions options;
  options.maxConnections = 16;
  start(options);
  // Sixty connections, more than the server keeps, each sending a long
  // request a byte every 100 ms: a server that gave each a worker until it
  // had read it (or until one read took too long) would answer nobody else
  // for forty seconds, longer than the client below waits.
  const std::string request =
      "GET /api/state HTTP/1.1\r\nHost: " + host() + "\r\nX-Padding: " + std::string(400, 'x') + "\r\n\r\n";
  std::vector<std::unique_ptr<RawClient>> slow;
  for (int i = 0; i < 60; ++i) slow.push_back(std::make_unique<RawClient>("127.0.0.1", port_));
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    for (std::size_t i = 0; i < request.size() && !done; ++i) {
      for (auto &c : slow) c->send(request.substr(i, 1));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // they have begun
  for (int i = 0; i < 3; ++i) {
    auto r = client_->Get("/api/state");
    ASSERT_TRUE(r) << "request " << i << " was not answered: " << httplib::to_string(r.error());
    EXPECT_EQ(r->status, 200);
    auto drag = post("/api/release", "{}");
    ASSERT_TRUE(drag);
    EXPECT_EQ(drag->status, 200);
  }
  done = true;
  trickle.join();
}

TEST_F(PlaygroundServerTest, ARequestMustArriveWholeWithinItsDeadline) {
  finish();
  standin::ServerOptions options;
  options.requestDeadline = std::chrono::milliseconds(500);
  start(options);
  // A byte every 50 ms keeps every single read short, but the whole request
  // would take five seconds: the server closes the connection unanswered.
  const std::string request =
      "GET /api/state HTTP/1.1\r\nHost: " + host() + "\r\nAuthorization: Bearer " + kToken + "\r\n\r\n";
  RawClient client("127.0.0.1", port_);
  ASSERT_TRUE(client.connected());
  bool refusedBytes = false;
  for (char c : request) {
    if (!client.send(std::string_view(&c, 1))) {
      refusedBytes = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string answer = client.receive();
  EXPECT_TRUE(refusedBytes || answer.empty()) << answer;
  EXPECT_EQ(answer.find("200 OK"), std::string::npos) << answer;
  // The same request sent at once is answered.
  RawClient prompt("127.0.0.1", port_);
  ASSERT_TRUE(prompt.send(request));
  EXPECT_NE(prompt.receive("\r\n\r\n").find("200 OK"), std::string::npos);
}

TEST_F(PlaygroundServerTest, APortInUseIsNotSharedWithASecondServer) {
  standin::ServerOptions options;
  options.port = port_;
  standin::PlaygroundServer second(moduleThread_, standin::apiHandler(*api_), options);
  EXPECT_THROW(second.bind(), standin::Failure);
  // The first one still answers every request.
  for (int i = 0; i < 4; ++i) {
    auto state = client_->Get("/api/state");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->status, 200);
  }
}

TEST_F(PlaygroundServerTest, EveryCallIntoTheModuleIsMadeOnTheModuleThread) {
  auto press = post("/api/press", R"({"position": [0, 2, 0]})");
  ASSERT_TRUE(press);
  EXPECT_EQ(press->status, 200) << press->body;
  auto drag = post("/api/drag", R"({"position": [0, 5, 0]})");
  ASSERT_TRUE(drag);
  EXPECT_EQ(drag->status, 200) << drag->body;
  for (const char *action : {"/api/release", "/api/reset", "/api/undo"}) {
    auto r = post(action, "{}");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << action << r->body;
  }
  auto panel = post("/api/factor", R"({"value": 1.5})");
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->status, 200) << panel->body;
  for (const char *resource : {"/api/state", "/api/download", "/api/script"}) {
    auto r = client_->Get(resource);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << resource;
  }
  EXPECT_EQ(moduleThread_.call([this] { return playground_->mesh().position(0); }),
            (standin::Position{0, 3, 0}));
  std::lock_guard<std::mutex> lock(threadsMutex_);
  EXPECT_EQ(threads_, std::set<std::thread::id>{moduleThread_.id()});
}

TEST_F(PlaygroundServerTest, AHandlerThatThrowsAnswers500AndTheServerGoesOn) {
  int calls = 0;
  moduleThread_.call([&] {
    handler_ = [&calls](const standin::ApiRequest &request) -> standin::ApiReply {
      if (++calls == 1) throw std::runtime_error("the session broke");
      if (calls == 2) throw 42;
      return standin::ApiReply{200, "text/plain", request.method + " " + request.resource, {}};
    };
  });
  auto first = client_->Get("/api/state");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 500);
  EXPECT_NE(first->body.find("the session broke"), std::string::npos);
  auto second = post("/api/press", "{}");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 500);
  auto third = post("/api/press", "{}");
  ASSERT_TRUE(third);
  EXPECT_EQ(third->status, 200);
  EXPECT_EQ(third->body, "POST press");
}

TEST_F(PlaygroundServerTest, AnActionOnAnOldVersionIsRefusedAndEveryChangeIsPushed) {
  // A page listens to the events.
  std::mutex eventsMutex;
  std::string events;
  std::atomic<bool> listening{true};
  httplib::Client listener("127.0.0.1", port_);
  listener.set_bearer_token_auth(kToken);
  std::thread stream([&] {
    listener.Get("/api/events", [&](const char *data, std::size_t length) {
      std::lock_guard<std::mutex> lock(eventsMutex);
      events.append(data, length);
      return listening.load();
    });
  });
  auto waitFor = [&](const std::string &event) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard<std::mutex> lock(eventsMutex);
        if (events.find(event) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };
  EXPECT_TRUE(waitFor("data: {\"version\":0}\n\n")) << events;
  auto first = post("/api/factor", R"({"value": 1.5})", {{"Session-Version", "0"}});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 200) << first->body;
  EXPECT_EQ(first->get_header_value("Session-Version"), "1");
  EXPECT_TRUE(waitFor("data: {\"version\":1}\n\n")) << events;
  // Another page, still at version 0, is told rather than obeyed.
  auto stale = post("/api/factor", R"({"value": 3})", {{"Session-Version", "0"}});
  ASSERT_TRUE(stale);
  EXPECT_EQ(stale->status, 409);
  EXPECT_NE(stale->body.find("\"stale\":true"), std::string::npos) << stale->body;
  EXPECT_NE(stale->body.find("\"version\":1"), std::string::npos) << stale->body;
  EXPECT_EQ(moduleThread_.call([this] { return playground_->mesh().position(0); }),
            (standin::Position{0, 3, 0}));
  auto malformed = post("/api/release", "{}", {{"Session-Version", "one"}});
  ASSERT_TRUE(malformed);
  EXPECT_EQ(malformed->status, 400);
  // Reads and refusals change nothing, and push nothing.
  client_->Get("/api/state");
  post("/api/drag", R"({"position": [0, 5, 0]})");
  auto release = post("/api/release", "{}");
  ASSERT_TRUE(release);
  EXPECT_EQ(release->get_header_value("Session-Version"), "2");
  EXPECT_TRUE(waitFor("data: {\"version\":2}\n\n")) << events;
  listening = false;
  post("/api/release", "{}");  // an event the listener stops at
  stream.join();
}

}  // namespace
