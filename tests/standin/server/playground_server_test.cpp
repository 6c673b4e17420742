// The playground's server on the loopback: who it answers, and how it guards
// the session (Host, Origin, content type, body size), the page's files and
// its headers.
#include "standin/server/playground_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

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

TEST(PlaygroundRequestGuard, HostAndOriginMustNameThisServer) {
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
      {"192.168.1.20", "192.168.1.20:8080", true},
      {"192.168.1.20", "192.168.1.21:8080", false},
      {"0.0.0.0", "10.0.0.7:8080", true},
      {"0.0.0.0", "nas.local:8080", false},
      {"::", "[fe80::1]:8080", true},
  };
  for (const Case &c : cases) {
    const RequestGuard guard(c.listen, 8080);
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

class PlaygroundServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    globals_.messages().setEcho(nullptr);
    obj_ = std::make_unique<standin::ObjFile>(standin::ObjFile::parse(kMesh, "pairs.obj"));
    standin::SessionSetup setup;
    setup.out = &silent_;
    setup.liveViewport = true;
    playground_ = std::make_unique<standin::Session>(module_, globals_, *obj_, setup);
    playground_->run(standin::parseCommand("select 0-3"));
    playground_->run(standin::parseCommand("pick"));
    playground_->beginHistoryHere();
    standin::ServerOptions options;
    options.maxBody = 4096;
    options.log = &log_;
    server_ = std::make_unique<standin::PlaygroundServer>(*playground_, options);
    port_ = server_->bind();
    thread_ = std::thread([this] { server_->run(); });
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
  }
  void TearDown() override {
    server_->stop();
    thread_.join();
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  httplib::Result post(const std::string &path, const std::string &body, httplib::Headers headers = {},
                       const char *type = "application/json") {
    return client_->Post(path.c_str(), headers, body, type);
  }

  std::ostringstream log_;
  standin::HostGlobals globals_;
  standin::LoadedModule module_ = standin::LoadedModule::open(EP_MODULE_PATH);
  std::ostream silent_{nullptr};
  std::unique_ptr<standin::ObjFile> obj_;
  std::unique_ptr<standin::Session> playground_;
  std::unique_ptr<standin::PlaygroundServer> server_;
  std::thread thread_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(PlaygroundServerTest, ServesThePageItsModulesAndTheSceneWithGuardingHeaders) {
  auto page = client_->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->body.find("/app.js"), std::string::npos);
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
  EXPECT_EQ(page->get_header_value("X-Frame-Options"), "DENY");
  EXPECT_EQ(page->get_header_value("X-Content-Type-Options"), "nosniff");
  for (const char *path : {"/app.js", "/vendor/three.module.js", "/vendor/three.core.js"}) {
    auto file = client_->Get(path);
    ASSERT_TRUE(file) << path;
    EXPECT_EQ(file->status, 200) << path;
    EXPECT_EQ(file->get_header_value("Content-Type"), "text/javascript; charset=utf-8") << path;
    EXPECT_FALSE(file->has_header("Content-Encoding")) << path;
  }
  for (const char *path : {"/nothing.js", "/../CMakeLists.txt", "/api/nothing"}) {
    auto missing = client_->Get(path);
    ASSERT_TRUE(missing) << path;
    EXPECT_EQ(missing->status, 404) << path;
  }
  auto state = client_->Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->status, 200);
  EXPECT_EQ(state->get_header_value("Cache-Control"), "no-store");
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
  EXPECT_EQ(playground_->log().find("reset"), std::string::npos) << "a refused request reached the tool";
  EXPECT_NE(log_.str().find("refused POST /api/reset"), std::string::npos);
  // The page's own origin is welcome.
  auto own = post("/api/reset", "{}", {{"Origin", "http://" + host()}});
  ASSERT_TRUE(own);
  EXPECT_EQ(own->status, 200);
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
}

TEST_F(PlaygroundServerTest, APortInUseIsNotSharedWithASecondServer) {
  standin::ServerOptions options;
  options.port = port_;
  standin::PlaygroundServer second(*playground_, options);
  EXPECT_THROW(second.bind(), standin::Failure);
  // The first one still answers every request.
  for (int i = 0; i < 4; ++i) {
    auto state = client_->Get("/api/state");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->status, 200);
  }
}

TEST_F(PlaygroundServerTest, ADragOverHttpMovesThePoint) {
  auto press = post("/api/press", R"({"position": [0, 2, 0]})");
  ASSERT_TRUE(press);
  EXPECT_EQ(press->status, 200) << press->body;
  auto drag = post("/api/drag", R"({"position": [0, 5, 0]})");
  ASSERT_TRUE(drag);
  EXPECT_EQ(drag->status, 200) << drag->body;
  EXPECT_EQ(playground_->mesh().position(0), (standin::Position{0, 5, 0}));
}

}  // namespace
