// The playground's API: requests as text in, answers as text out, with no
// sockets (the HTTP server hands each request here, one at a time).
//
//   GET  state          the whole scene (scene_tracker.h)
//   GET  download       the OBJ file as Save would write it
//   GET  about.png      the About panel's last picture
//   GET  script         the session so far as a command line session script
//   POST press          {"position": [x, y, z], "ctrl", "right", "pickRadius"}
//   POST drag           {"position": [x, y, z], "ctrl"}
//   POST release        {}
//   POST keep           {"position": [x, y, z]}  right click: keep, new stretch
//   POST drop | reset | activate    the host's events 0, 1, 2
//   POST panel          {"id": control, "value": number or true / false}
//   POST button         {"id": control}
//   POST undo           {}  every point back where the file has it
//   POST save           {}  writes the output file given at start
//
// Every POST body is a JSON object; it may also carry "version", the scene
// version the page holds (see SceneTracker). Fields other than the listed
// ones, fields of the wrong type, positions that are not three finite numbers
// within kMaxCoordinate, and control IDs the panel does not have are refused
// with 400 and {"error": "..."} naming the field; nothing is done then. An
// action the session refuses as it stands (a drag with no handle held, a
// disabled control, saving without an output file) answers 409 with the
// reason. A POST that was carried out answers 200 with the scene's changes.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/server/playground.h"
#include "standin/server/scene_tracker.h"

namespace standin {

// Coordinates from the page are refused beyond this magnitude.
inline constexpr double kMaxCoordinate = 1e15;

struct ApiReply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

class PlaygroundApi {
 public:
  explicit PlaygroundApi(Playground &playground) : playground_(playground) {}

  // `resource` is the path after /api/. 404 for an unknown resource.
  ApiReply get(std::string_view resource);
  ApiReply post(std::string_view action, std::string_view body);

  Playground &playground() { return playground_; }

 private:
  ApiReply answerGet(std::string_view resource);

  Playground &playground_;
  SceneTracker tracker_;
};

}  // namespace standin
