#include "standin/server/scene_tracker.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

namespace standin {
namespace {

using nlohmann::json;

// Changed overlay calls closer than this are sent as one run.
constexpr std::size_t kRunGap = 12;

bool samePosition(const Position &a, const Position &b) {
  return std::memcmp(a.data(), b.data(), sizeof a) == 0;
}

bool sameCall(const WireCall &a, const WireCall &b) {
  return a.op == b.op && a.mode == b.mode &&
         std::memcmp(a.point.data(), b.point.data(), sizeof a.point) == 0 &&
         std::memcmp(&a.radius, &b.radius, sizeof a.radius) == 0;
}

void appendPosition(json &out, const Position &p) {
  for (double v : p) out.push_back(v);  // NaN is written as null
}

json flatPositions(const std::vector<Position> &positions) {
  json out = json::array();
  out.get_ref<json::array_t &>().reserve(positions.size() * 3);
  for (const Position &p : positions) appendPosition(out, p);
  return out;
}

void appendCall(json &out, const WireCall &call) {
  out.push_back(static_cast<int>(call.op));
  if (call.op == WireOp::Circle) {
    out.push_back(call.radius);
    out.push_back(0);
    out.push_back(0);
  } else {
    for (float v : call.point) out.push_back(static_cast<double>(v));
  }
  out.push_back(call.mode);
}

json flatCalls(const std::vector<WireCall> &calls, std::size_t first, std::size_t end) {
  json out = json::array();
  out.get_ref<json::array_t &>().reserve((end - first) * kOverlayNumbersPerCall);
  for (std::size_t i = first; i < end; ++i) appendCall(out, calls[i]);
  return out;
}

// [index, x, y, z, ...] for every position that differs from what was seen
// (positions past its end count as changed); `seen` becomes `now`, copying
// only what changed.
json changedPositions(std::vector<Position> &seen, const std::vector<Position> &now) {
  json out = json::array();
  seen.resize(now.size(), Position{std::nan(""), 0, 0});
  for (std::size_t i = 0; i < now.size(); ++i) {
    if (samePosition(seen[i], now[i])) continue;
    seen[i] = now[i];
    out.push_back(i);
    appendPosition(out, now[i]);
  }
  return out;
}

// The runs of calls that differ from what was seen; `seen` becomes `now`.
json overlayRuns(std::vector<WireCall> &seen, const std::vector<WireCall> &now) {
  const std::vector<WireCall> &before = seen;
  json runs = json::array();
  std::size_t i = 0;
  while (i < now.size()) {
    if (i < before.size() && sameCall(before[i], now[i])) {
      ++i;
      continue;
    }
    // A run ends after kRunGap unchanged calls in a row.
    const std::size_t first = i;
    std::size_t end = i + 1, unchanged = 0;
    for (std::size_t j = end; j < now.size() && unchanged < kRunGap; ++j) {
      if (j < before.size() && sameCall(before[j], now[j])) {
        ++unchanged;
      } else {
        unchanged = 0;
        end = j + 1;
      }
    }
    runs.push_back(json::array({first, flatCalls(now, first, end)}));
    i = end;
  }
  // Only the runs differ, so only they are copied.
  seen.resize(now.size());
  for (const json &run : runs) {
    const std::size_t first = run[0].get<std::size_t>();
    const std::size_t end = first + run[1].size() / kOverlayNumbersPerCall;
    std::copy(now.begin() + static_cast<std::ptrdiff_t>(first),
              now.begin() + static_cast<std::ptrdiff_t>(end),
              seen.begin() + static_cast<std::ptrdiff_t>(first));
  }
  return runs;
}

json optionalNumber(const std::optional<long long> &value) { return value ? json(*value) : json(nullptr); }

json controlJson(const ControlView &c) {
  json value = nullptr;
  if (c.hasValue) value = c.kind == ValueKind::Int ? json(c.intValue) : json(c.doubleValue);
  return {{"id", c.id},
          {"label", c.label},
          {"type", c.type},
          {"dataType", c.dataType},
          {"value", value},
          {"hidden", c.hidden},
          {"enabled", c.enabled},
          {"disabledMessage", c.disabledMessage ? json(*c.disabledMessage) : json(nullptr)},
          {"choices", c.choices},
          {"min", optionalNumber(c.min)},
          {"max", optionalNumber(c.max)},
          {"step", optionalNumber(c.step)},
          {"button", c.isButton},
          {"thumbnail", c.hasThumbnail}};
}

json panelJson(const Session &session) {
  json controls = json::array();
  for (const ControlView &c : session.panelControls()) controls.push_back(controlJson(c));
  return {{"title", session.panelTitle()}, {"controls", controls}};
}

}  // namespace

SceneTracker::SceneTracker() = default;
SceneTracker::~SceneTracker() = default;

bool SceneTracker::sameAsLastAnswer(Session &session) const {
  if (version_ == 0 || session.selection() != selection_) return false;
  const std::vector<Position> &points = session.mesh().positions();
  const std::vector<Position> handles = session.handles();
  const std::vector<WireCall> &overlay = session.overlay();
  return points.size() == points_.size() &&
         std::equal(points.begin(), points.end(), points_.begin(), samePosition) &&
         handles.size() == handles_.size() &&
         std::equal(handles.begin(), handles.end(), handles_.begin(), samePosition) &&
         overlay.size() == overlay_.size() &&
         std::equal(overlay.begin(), overlay.end(), overlay_.begin(), sameCall) &&
         panelJson(session).dump() == panelText_ && session.help() == help_;
}

void SceneTracker::addCommon(Session &session, json &answer, bool newVersion) {
  if (newVersion) ++version_;
  answer["version"] = version_;
  const std::optional<int> held = session.held();
  answer["held"] = held ? json(*held) : json(nullptr);
  answer["unsaved"] = session.unsaved();
  answer["canUndo"] = session.canUndo();
  answer["canRedo"] = session.canRedo();
}

json SceneTracker::full(Session &session) {
  json answer;
  // The scene as last answered keeps its version, so that every page that
  // holds it (one that asked for the whole scene after another page's
  // change) gets only the changes of the next answer.
  addCommon(session, answer, !sameAsLastAnswer(session));
  answer["full"] = true;
  answer["name"] = session.file().name();
  answer["output"] = session.outputPath().empty() ? json(nullptr) : json(session.outputPath());
  points_ = session.mesh().positions();
  answer["points"] = flatPositions(points_);
  answer["original"] = flatPositions(session.original());
  json edges = json::array();
  for (const auto &[a, b] : session.edges()) {
    edges.push_back(a);
    edges.push_back(b);
  }
  answer["edges"] = std::move(edges);
  selection_ = session.selection();
  answer["selected"] = selection_;
  handles_ = session.handles();
  answer["handles"] = flatPositions(handles_);
  overlay_ = session.overlay();
  answer["overlay"] = flatCalls(overlay_, 0, overlay_.size());
  json panel = panelJson(session);
  panelText_ = panel.dump();
  answer["panel"] = std::move(panel);
  help_ = session.help();
  answer["help"] = help_;
  return answer;
}

json SceneTracker::changes(Session &session) {
  json answer;
  addCommon(session, answer, true);
  answer["base"] = version_ - 1;
  answer["moved"] = changedPositions(points_, session.mesh().positions());
  const std::vector<Position> handles = session.handles();
  answer["handles"] = {{"count", handles.size()}, {"changed", changedPositions(handles_, handles)}};
  const std::vector<WireCall> &overlay = session.overlay();
  answer["overlay"] = {{"length", overlay.size()}, {"runs", overlayRuns(overlay_, overlay)}};
  json panel = panelJson(session);
  if (std::string text = panel.dump(); text != panelText_) {
    panelText_ = std::move(text);
    answer["panel"] = std::move(panel);
  }
  if (session.help() != help_) answer["help"] = help_ = session.help();
  return answer;
}

json SceneTracker::answerFor(Session &session, std::int64_t version) {
  const bool current = version == version_ && version_ > 0 && session.selection() == selection_;
  return current ? changes(session) : full(session);
}

}  // namespace standin
