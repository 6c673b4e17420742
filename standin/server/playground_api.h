// The playground's API: requests as text in, answers as text out, with no
// sockets (the HTTP server hands each request here, one at a time). Every
// action of the page is a session command (standin/session/command.h) in its
// JSON form; the session runs it as it runs a script's line.
//
//   GET  state          the whole scene (scene_tracker.h)
//   GET  download       the OBJ file as Save would write it
//   GET  about.png      the About panel's last picture
//   GET  script         the session's log: a script for the command line
//   POST command        a command's JSON: {"command": "press", "position": [x, y, z], ...}
//   POST NAME           the same with the command named by the route
//                       (/api/press, /api/undo, ...): the body holds its fields
//   POST open           {"file": NAME, "text": TEXT}: the page opens a mesh
//                       file of the user's (its name, no folder, and its whole
//                       text, at most kMaxOpenBytes); the server reads no file
//                       the page names. The answer is the whole new scene.
//
// Every POST body is a JSON object; it may also carry "version", the scene
// version the page holds (see SceneTracker). A body that is not a command
// (unknown fields, fields of the wrong type, positions that are not three
// finite numbers within kMaxCoordinate) is refused with 400 and
// {"error": "..."} naming the field; so is a command that names a file (the
// page never names one: Save writes the output given at the start). Nothing
// is done then. A command the session refuses as it stands (a drag with no
// handle held, a disabled control, nothing to undo) answers 409 with the
// reason; the statuses of other failures come from their kind
// (httpStatusOf). A command that was carried out answers 200 with the
// scene's changes, "messages": the boxes the tool showed during it (and only
// then: no other request gets them), "failedBuilds", and for About "about"
// with the texts and the picture as a data: URL, and "notes": what the
// host says of it (edges left out of the pairs).
//
// The scene's answers (state, and those of carried-out commands) come in the
// binary form (scene_tracker.h, content type kBinarySceneType) when the
// request's Accept header names that type, and as JSON otherwise; the small
// fields are in the binary form's header, as in JSON. Refusals are JSON.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/server/scene_tracker.h"
#include "standin/session/session.h"

namespace standin {

// Coordinates from the page are refused beyond this magnitude.
inline constexpr double kMaxCoordinate = 1e15;
// The largest mesh file the page may open.
inline constexpr std::size_t kMaxOpenBytes = std::size_t{32} << 20;

struct ApiReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

class PlaygroundApi {
 public:
  explicit PlaygroundApi(Session &session) : session_(session) {}

  // `resource` is the path after /api/. 404 for an unknown resource.
  ApiReply get(std::string_view resource, AnswerForm form = AnswerForm::Json);
  ApiReply post(std::string_view action, std::string_view body, AnswerForm form = AnswerForm::Json);

  Session &session() { return session_; }

 private:
  ApiReply answerGet(std::string_view resource, AnswerForm form);
  ApiReply answerPost(std::string_view action, std::string_view body, AnswerForm form);

  Session &session_;
  SceneTracker tracker_;
};

}  // namespace standin
