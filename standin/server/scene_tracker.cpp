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

// Sorted, unless already (a draw and a build go through the points in order,
// so they almost always are: checking costs less than sorting).
template <typename T>
void sortIfNeeded(std::vector<T> &values) {
  if (!std::is_sorted(values.begin(), values.end())) std::sort(values.begin(), values.end());
}

// The runs of calls that differ from what was last sent, from the places the
// recorder saw change since (ascending); a run ends after kRunGap unchanged
// calls in a row.
json overlayRuns(const std::vector<std::uint32_t> &changed, const std::vector<WireCall> &now) {
  json runs = json::array();
  std::size_t k = 0;
  while (k < changed.size()) {
    const std::size_t first = changed[k];
    std::size_t end = first + 1;
    while (++k < changed.size() && changed[k] - end < kRunGap) end = changed[k] + 1;
    runs.push_back(json::array({first, flatCalls(now, first, end)}));
  }
  return runs;
}

// The places of the calls that differ now from what they were when last
// taken: the recorder lists each place that was written since, with what it
// held then.
std::vector<std::uint32_t> changedCalls(Session &session) {
  const std::vector<WireCall> &now = session.overlay();
  std::vector<std::uint32_t> changed;
  for (const WireChange &change : session.takeOverlayChanges())
    if (change.slot < now.size() && (!change.existed || !sameWireCall(change.before, now[change.slot])))
      changed.push_back(change.slot);
  sortIfNeeded(changed);
  return changed;
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

// Whether the scene is the one last answered. Takes what the session kept of
// the changes since, as the whole scene follows.
bool SceneTracker::sameAsLastAnswer(Session &session) {
  const std::vector<std::uint32_t> written = session.takeWrittenPoints();
  const bool overlaySame = changedCalls(session).empty() && session.overlay().size() == overlayLength_;
  if (version_ == 0 || session.selectionStamp() != selectionStamp_ || session.selection() != selection_)
    return false;
  const std::vector<Position> &points = session.mesh().positions();
  const std::vector<Position> handles = session.handles();
  const bool pointsSame = points.size() == points_.size() &&
                          std::all_of(written.begin(), written.end(),
                                      [&](std::uint32_t i) { return samePosition(points[i], points_[i]); });
  return pointsSame && overlaySame && handles.size() == handles_.size() &&
         std::equal(handles.begin(), handles.end(), handles_.begin(), samePosition) &&
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
  // From the first answer on, the session keeps what changes between answers.
  session.watchChanges();
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
  lastWasDrag_ = false;
  selection_ = session.selection();
  selectionStamp_ = session.selectionStamp();
  handleOf_.assign(points_.size(), kNoHandle);
  for (std::size_t k = 0; k < selection_.size(); ++k)
    handleOf_[selection_[k]] = static_cast<std::uint32_t>(k);
  answer["selected"] = selection_;
  handles_ = session.handles();
  answer["handles"] = flatPositions(handles_);
  const std::vector<WireCall> &overlay = session.overlay();
  overlayLength_ = overlay.size();
  answer["overlay"] = flatCalls(overlay, 0, overlay.size());
  json panel = panelJson(session);
  panelText_ = panel.dump();
  answer["panel"] = std::move(panel);
  help_ = session.help();
  answer["help"] = help_;
  return answer;
}

// [index, x, y, z, ...] for each written point whose position differs from
// the one last sent, ascending; the positions kept become the new ones.
json SceneTracker::movedPoints(const std::vector<Position> &now, std::vector<std::uint32_t> &written) {
  if (points_.size() != now.size()) return changedPositions(points_, now);
  sortIfNeeded(written);
  json out = json::array();
  for (std::uint32_t i : written) {
    if (samePosition(points_[i], now[i])) continue;
    points_[i] = now[i];
    out.push_back(i);
    appendPosition(out, now[i]);
  }
  return out;
}

// The handles that changed. From one drag to the next only the held one and
// those of the points the build wrote can have moved (a handle is a point of
// the edit, at its place in the selection); any other command, and the first
// drag after one (the tool may read the points afresh then), lists every
// handle.
json SceneTracker::changedHandles(Session &session, bool dragging,
                                  const std::vector<std::uint32_t> &written) {
  const int count = session.handleCount();
  const bool afterDrag = lastWasDrag_;
  lastWasDrag_ = dragging;
  if (!dragging || !afterDrag || static_cast<std::size_t>(count) != handles_.size())
    return {{"count", count}, {"changed", changedPositions(handles_, session.handles())}};
  std::vector<std::uint32_t> asked;
  if (const std::optional<int> held = session.held(); held && *held >= 0 && *held < count)
    asked.push_back(static_cast<std::uint32_t>(*held));
  for (std::uint32_t point : written)
    if (point < handleOf_.size() && handleOf_[point] < static_cast<std::uint32_t>(count))
      asked.push_back(handleOf_[point]);
  sortIfNeeded(asked);
  asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
  json changed = json::array();
  for (std::uint32_t index : asked) {
    const Position now = session.handle(static_cast<int>(index));
    if (samePosition(handles_[index], now)) continue;
    handles_[index] = now;
    changed.push_back(index);
    appendPosition(changed, now);
  }
  return {{"count", count}, {"changed", std::move(changed)}};
}

json SceneTracker::changes(Session &session, bool dragging) {
  json answer;
  addCommon(session, answer, true);
  answer["base"] = version_ - 1;
  std::vector<std::uint32_t> written = session.takeWrittenPoints();
  answer["moved"] = movedPoints(session.mesh().positions(), written);
  answer["handles"] = changedHandles(session, dragging, written);
  const std::vector<WireCall> &overlay = session.overlay();
  overlayLength_ = overlay.size();
  answer["overlay"] = {{"length", overlay.size()}, {"runs", overlayRuns(changedCalls(session), overlay)}};
  json panel = panelJson(session);
  if (std::string text = panel.dump(); text != panelText_) {
    panelText_ = std::move(text);
    answer["panel"] = std::move(panel);
  }
  if (session.help() != help_) answer["help"] = help_ = session.help();
  return answer;
}

json SceneTracker::answerFor(Session &session, std::int64_t version, bool dragging) {
  const bool current = version == version_ && version_ > 0 && session.selectionStamp() == selectionStamp_ &&
                       session.mesh().size() == points_.size();
  return current ? changes(session, dragging) : full(session);
}

}  // namespace standin
