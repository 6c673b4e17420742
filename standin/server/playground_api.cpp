#include "standin/server/playground_api.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "standin/host/failure.h"
#include "standin/media/png_file.h"
#include "standin/session/atomic_file.h"
#include "standin/session/obj_file.h"

namespace standin {
namespace {

using nlohmann::json;

ApiReply jsonReply(int status, const json &body) {
  ApiReply reply;
  reply.status = status;
  // Invalid UTF-8 from a file (a name, a message box) is replaced rather than refused.
  reply.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
  return reply;
}

ApiReply errorReply(int status, const std::string &message) {
  return jsonReply(status, {{"error", message}});
}

// The fields of one POST body, checked against what its action takes.
class Fields {
 public:
  Fields(std::string_view action, std::string_view body, const std::vector<const char *> &allowed)
      : action_(action) {
    json parsed = json::parse(body.empty() ? std::string_view("{}") : body, nullptr, false);
    if (parsed.is_discarded()) throw Failure(FailureKind::BadInput, "the body is not valid JSON");
    if (!parsed.is_object()) throw Failure(FailureKind::BadInput, "the body must be a JSON object");
    std::string names;
    for (const char *name : allowed) names += std::string(names.empty() ? "" : ", ") + name;
    for (const auto &[key, value] : parsed.items()) {
      bool known = key == "version";
      for (const char *name : allowed) known = known || key == name;
      if (!known) {
        throw Failure(FailureKind::BadInput,
                      "unknown field '" + key + "'" +
                          (names.empty() ? " (it takes none)" : " (it takes " + names + ")"));
      }
    }
    body_ = std::move(parsed);
  }

  bool has(const char *name) const { return body_.contains(name); }

  Position position(const char *name) const {
    const json *v = find(name);
    if (v == nullptr) throw bad(name, "is required: [x, y, z]");
    if (!v->is_array() || v->size() != 3) throw bad(name, "must be three numbers [x, y, z]");
    Position p{};
    for (std::size_t i = 0; i < 3; ++i) p[i] = number((*v)[i], name, -kMaxCoordinate, kMaxCoordinate);
    return p;
  }

  bool flag(const char *name) const {
    const json *v = find(name);
    if (v == nullptr) return false;
    if (!v->is_boolean()) throw bad(name, "must be true or false");
    return v->get<bool>();
  }

  double number(const char *name, double low, double high, double fallback) const {
    const json *v = find(name);
    return v == nullptr ? fallback : number(*v, name, low, high);
  }

  // A non-negative integer that fits in 32 bits (control IDs).
  std::uintptr_t id(const char *name) const {
    const json *v = find(name);
    if (v == nullptr) throw bad(name, "is required");
    if (!v->is_number_integer() || v->get<double>() < 0 || v->get<double>() > 4294967295.0)
      throw bad(name, "must be a whole number from 0 to 4294967295");
    return static_cast<std::uintptr_t>(v->get<std::uint64_t>());
  }

  // A number, or true / false as 1 / 0 (a switch).
  double value(const char *name) const {
    const json *v = find(name);
    if (v == nullptr) throw bad(name, "is required");
    if (v->is_boolean()) return v->get<bool>() ? 1.0 : 0.0;
    return number(*v, name, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
  }

  // The scene version the page holds; -1 when it sent none.
  std::int64_t version() const {
    const json *v = find("version");
    if (v == nullptr) return -1;
    if (!v->is_number_integer()) throw bad("version", "must be a whole number");
    return v->get<std::int64_t>();
  }

 private:
  const json *find(const char *name) const {
    auto it = body_.find(name);
    return it == body_.end() ? nullptr : &*it;
  }

  Failure bad(const char *name, const std::string &what) const {
    return Failure(FailureKind::BadInput, "'" + std::string(name) + "' " + what);
  }

  double number(const json &v, const char *name, double low, double high) const {
    if (!v.is_number()) throw bad(name, "must be a number");
    const double d = v.get<double>();
    if (!std::isfinite(d) || d < low || d > high) {
      throw bad(name, "is out of range (" + v.dump() + "; allowed " + json(low).dump() + " to " +
                          json(high).dump() + ")");
    }
    return d;
  }

  std::string action_;
  json body_;
};

std::string controlName(const Playground &p, std::uintptr_t id) {
  for (const ControlView &c : p.panelControls())
    if (c.id == id) return c.label.empty() ? "the " + c.type + " control" : c.label;
  return "control " + std::to_string(id);
}

void requireControl(const Playground &p, std::uintptr_t id, bool button) {
  for (const ControlView &c : p.panelControls()) {
    if (c.id != id) continue;
    if (button != c.isButton)
      throw Failure(FailureKind::BadInput,
                    "control " + std::to_string(id) + (button ? " is not a button" : " is a button"));
    return;
  }
  throw Failure(FailureKind::BadInput, "the options panel has no control " + std::to_string(id));
}

void checkEdit(const Playground &p, std::uintptr_t id, EditResult result) {
  if (result == EditResult::Done) return;
  std::string why = describe(result);
  for (const ControlView &c : p.panelControls())
    if (c.id == id && !c.enabled && c.disabledMessage) why += " (\"" + *c.disabledMessage + "\")";
  // A value the control cannot take is the request's fault; a control that
  // cannot be used now is the session's state.
  const bool badValue = result == EditResult::WrongType || result == EditResult::OutOfRange ||
                        result == EditResult::NotEditable || result == EditResult::BadText;
  throw Failure(badValue ? FailureKind::BadInput : FailureKind::Refused, controlName(p, id) + ": " + why);
}

using Action = std::function<void(Playground &, const Fields &)>;

struct ActionEntry {
  std::vector<const char *> fields;
  Action run;
};

const std::map<std::string, ActionEntry, std::less<>> &actions() {
  static const std::map<std::string, ActionEntry, std::less<>> table{
      {"press",
       {{"position", "ctrl", "right", "pickRadius"},
        [](Playground &p, const Fields &f) {
          p.press(f.position("position"), f.flag("ctrl"), f.flag("right"),
                  f.number("pickRadius", 0.0, kMaxCoordinate, Playground::kDefaultPickRadius));
        }}},
      {"drag",
       {{"position", "ctrl"},
        [](Playground &p, const Fields &f) {
          if (!p.drag(f.position("position"), f.flag("ctrl")))
            throw Failure(FailureKind::Refused, "no handle is held (press first)");
        }}},
      {"release", {{}, [](Playground &p, const Fields &) { p.release(); }}},
      {"keep",
       {{"position"},
        [](Playground &p, const Fields &f) {
          p.keep(f.has("position") ? f.position("position") : Position{});
        }}},
      {"drop", {{}, [](Playground &p, const Fields &) { p.hostEvent(LWT_EVENT_DROP); }}},
      {"reset", {{}, [](Playground &p, const Fields &) { p.hostEvent(LWT_EVENT_RESET); }}},
      {"activate", {{}, [](Playground &p, const Fields &) { p.hostEvent(LWT_EVENT_ACTIVATE); }}},
      {"panel",
       {{"id", "value"},
        [](Playground &p, const Fields &f) {
          const std::uintptr_t id = f.id("id");
          const double value = f.value("value");
          requireControl(p, id, false);
          checkEdit(p, id, p.editControl(id, value));
        }}},
      {"button",
       {{"id"},
        [](Playground &p, const Fields &f) {
          const std::uintptr_t id = f.id("id");
          requireControl(p, id, true);
          checkEdit(p, id, p.pressButton(id));
        }}},
      {"undo", {{}, [](Playground &p, const Fields &) { p.undoToFile(); }}},
      {"save", {{}, [](Playground &p, const Fields &) { p.save(); }}},
  };
  return table;
}

ApiReply aboutPng(const Playground &p) {
  const auto &about = p.aboutPicture();
  if (!about) return errorReply(404, "the About panel has not been opened");
  std::string error;
  auto bytes = encodePng(about->image, &error);
  if (!bytes) return errorReply(500, error);
  ApiReply reply;
  reply.contentType = "image/png";
  reply.body = std::move(*bytes);
  return reply;
}

ApiReply download(const Playground &p) {
  ApiReply reply;
  reply.contentType = "model/obj";
  reply.body = p.objText();
  std::string name =
      std::filesystem::path(p.outputPath().empty() ? p.file().name() : p.outputPath()).filename().string();
  // Only plain characters go into the header; anything else becomes '_'.
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  if (name.empty()) name = "mesh.obj";
  reply.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name + "\"");
  return reply;
}

}  // namespace

ApiReply PlaygroundApi::get(std::string_view resource) {
  try {
    return answerGet(resource);
  } catch (...) {
    const Failure failure = caughtFailure();
    return errorReply(httpStatusOf(failure.kind()), failure.at(std::string(resource)).what());
  }
}

ApiReply PlaygroundApi::answerGet(std::string_view resource) {
  if (resource == "state") return jsonReply(200, tracker_.full(playground_));
  if (resource == "download") return download(playground_);
  if (resource == "about.png") return aboutPng(playground_);
  if (resource == "script") {
    ApiReply reply;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = playground_.script();
    return reply;
  }
  return errorReply(404, "no such resource: " + std::string(resource));
}

ApiReply PlaygroundApi::post(std::string_view action, std::string_view body) {
  const auto &table = actions();
  const auto it = table.find(action);
  if (it == table.end()) return errorReply(404, "no such action: " + std::string(action));
  try {
    const Fields fields(action, body, it->second.fields);
    const std::int64_t version = fields.version();
    it->second.run(playground_, fields);
    return jsonReply(200, tracker_.answerFor(playground_, version));
  } catch (...) {
    const Failure failure = caughtFailure();
    return errorReply(httpStatusOf(failure.kind()), failure.at(std::string(action)).what());
  }
}

}  // namespace standin
