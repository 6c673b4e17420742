// The playground's request handling: a sequence of requests as the server
// hands them over (an action or resource and a body; and the headers its
// request guard judges), on one editing session with the module linked in.
//
//  - Nothing escapes the API: every request gets an answer, and a JSON answer
//    is a JSON object; one that refuses the request names why ("error").
//  - A request is answered 200, 400 (a malformed request), 404 (no such
//    action or resource) or 409 (not now); nothing the page can send makes
//    the server fail (500). The session has no output file, so nothing is
//    ever written.
//  - A refused request changes nothing: the mesh and the session's log stay.
//  - The guard lets a request through only when its Host and Origin are
//    allowed, a POST says application/json and the fetch is not cross-site.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/invariant.h"
#include "host/host_abi.h"
#include "standin/host/host_globals.h"
#include "standin/host/module_loader.h"
#include "standin/server/playground_api.h"
#include "standin/server/request_guard.h"
#include "standin/session/obj_file.h"
#include "standin/session/session.h"

extern "C" const ModuleDescriptor _mod_descrip;

namespace {

using fuzz::violated;
using nlohmann::json;

// Two pairs on a face and a line, and a point that is not selected.
constexpr const char *kMesh = "v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\nv 6 1 2\nf 1 2 4 3\nl 3 5\n";
constexpr int kPort = 8080;
constexpr int kMaxRequests = 32;
constexpr std::size_t kMaxBody = 512;

const char *const kActions[] = {"press",    "drag",   "release", "keep",   "drop",     "reset",
                                "activate", "factor", "offset",  "mode",   "symmetry", "invert",
                                "about",    "undo",   "redo",    "revert", "save",     "pairs",
                                "select",   "pick",   "close",   "command"};
const char *const kResources[] = {"state", "download", "script", "about.png"};

void checkReply(const standin::ApiReply &reply, const std::string &request) {
  const int s = reply.status;
  if (s != 200 && s != 400 && s != 404 && s != 409)
    violated("%s answered %d: %s", request.c_str(), s, reply.body.c_str());
  if (reply.contentType != "application/json") {
    if (s != 200) violated("%s refused (%d) with a %s answer", request.c_str(), s, reply.contentType.c_str());
    return;
  }
  const json answer = json::parse(reply.body, nullptr, false);
  if (answer.is_discarded() || !answer.is_object())
    violated("%s answered %d with no JSON object: %s", request.c_str(), s, reply.body.c_str());
  if (s != 200 && !(answer.contains("error") && answer["error"].is_string() && !answer["error"].empty()))
    violated("%s refused (%d) without saying why: %s", request.c_str(), s, reply.body.c_str());
}

void post(standin::PlaygroundApi &api, const std::string &action, const std::string &body) {
  const standin::Session &p = api.session();
  const std::vector<standin::Position> before = p.mesh().positions();
  const std::string scriptBefore = p.log();
  const std::string request = "POST " + action + " " + body;
  standin::ApiReply reply;
  try {
    reply = api.post(action, body);
  } catch (const std::exception &error) {
    violated("%s threw: %s", request.c_str(), error.what());
  }
  checkReply(reply, request);
  if ((reply.status == 400 || reply.status == 404) &&
      (p.mesh().positions() != before || p.log() != scriptBefore))
    violated("%s was refused (%d) but changed the session", request.c_str(), reply.status);
}

void get(standin::PlaygroundApi &api, const std::string &resource) {
  standin::ApiReply reply;
  try {
    reply = api.get(resource);
  } catch (const std::exception &error) {
    violated("GET %s threw: %s", resource.c_str(), error.what());
  }
  checkReply(reply, "GET " + resource);
}

// A media type names JSON whatever its letters' case, and may carry
// parameters after a ';'.
bool isJsonMediaType(const std::string &contentType) {
  const std::string type = contentType.substr(0, contentType.find(';'));
  constexpr std::string_view kJson = "application/json";
  return type.size() == kJson.size() &&
         std::equal(type.begin(), type.end(), kJson.begin(),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

void guard(FuzzedDataProvider &in) {
  static const standin::RequestGuard kGuard("127.0.0.1", kPort);
  const std::string method = in.ConsumeBool() ? "POST" : in.ConsumeRandomLengthString(8);
  const std::string host = in.ConsumeRandomLengthString(64);
  const std::optional<std::string> origin =
      in.ConsumeBool() ? std::optional(in.ConsumeRandomLengthString(64)) : std::nullopt;
  const std::optional<std::string> site =
      in.ConsumeBool() ? std::optional(in.ConsumeRandomLengthString(16)) : std::nullopt;
  const std::string contentType = in.ConsumeRandomLengthString(40);
  standin::GuardedRequest request{method, host, origin, site, contentType};
  std::optional<std::string> refusal;
  try {
    refusal = kGuard.refusal(request);
  } catch (const std::exception &error) {
    violated("the guard threw: %s", error.what());
  }
  if (refusal) return;
  if (!kGuard.hostAllowed(host)) violated("the guard let Host '%s' through", host.c_str());
  if (origin && !kGuard.originAllowed(*origin))
    violated("the guard let Origin '%s' through", origin->c_str());
  if (site == "cross-site") violated("the guard let a cross-site fetch through");
  if (method == "POST" && !isJsonMediaType(contentType))
    violated("the guard let a POST of '%s' through", contentType.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const standin::LoadedModule module = standin::LoadedModule::linked(&_mod_descrip);
  FuzzedDataProvider in(data, size);
  standin::HostGlobals globals;
  globals.messages().setEcho(nullptr);
  standin::ObjFile file = standin::ObjFile::parse(kMesh, "pairs.obj");
  std::ostream silent(nullptr);
  standin::SessionSetup setup;  // no output path: saving is refused, nothing is written
  setup.out = &silent;
  setup.liveViewport = true;
  standin::Session session(module, globals, file, setup);
  session.run(standin::parseCommand("select 0-3"));
  session.run(standin::parseCommand("pick"));
  session.beginHistoryHere();
  standin::PlaygroundApi api(session);

  for (int i = 0; i < kMaxRequests && in.remaining_bytes() > 0; ++i) {
    const auto kind = in.ConsumeIntegral<std::uint8_t>();
    if (kind < 200) {
      const std::string action = kActions[kind % std::size(kActions)];
      post(api, action, in.ConsumeRandomLengthString(kMaxBody));
    } else if (kind < 216) {
      const std::string action = in.ConsumeRandomLengthString(16);
      post(api, action, in.ConsumeRandomLengthString(kMaxBody));
    } else if (kind < 240) {
      get(api, kind < 236 ? kResources[kind % std::size(kResources)] : in.ConsumeRandomLengthString(16));
    } else {
      guard(in);
    }
  }
  return 0;
}
