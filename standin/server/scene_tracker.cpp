#include "standin/server/scene_tracker.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace standin {

static_assert(std::endian::native == std::endian::little,
              "the binary answers are written as the memory holds them");
static_assert(sizeof(Position) == 3 * sizeof(double), "positions are sent as they lie in memory");

namespace {

using nlohmann::json;

// Changed overlay calls closer than this are sent as one run.
constexpr std::size_t kRunGap = 12;

template <typename T>
constexpr const char *typeName() {
  static_assert(std::is_same_v<T, double> || std::is_same_v<T, float> || std::is_same_v<T, std::uint32_t> ||
                    std::is_same_v<T, std::int32_t> || std::is_same_v<T, std::uint8_t>,
                "a type the binary form has");
  if constexpr (std::is_same_v<T, double>)
    return "f64";
  else if constexpr (std::is_same_v<T, float>)
    return "f32";
  else if constexpr (std::is_same_v<T, std::uint32_t>)
    return "u32";
  else if constexpr (std::is_same_v<T, std::int32_t>)
    return "i32";
  else
    return "u8";
}

// Bit for bit (word by word: a call to memcmp costs more than the compare).
bool samePosition(const Position &a, const Position &b) {
  return std::bit_cast<std::uint64_t>(a[0]) == std::bit_cast<std::uint64_t>(b[0]) &&
         std::bit_cast<std::uint64_t>(a[1]) == std::bit_cast<std::uint64_t>(b[1]) &&
         std::bit_cast<std::uint64_t>(a[2]) == std::bit_cast<std::uint64_t>(b[2]);
}

// A point as the calls that sit on it hold it.
struct DrawPoint {
  explicit DrawPoint(const Position &p) : xyz{drawnFloat(p[0]), drawnFloat(p[1]), drawnFloat(p[2])} {}
  std::array<float, 3> xyz;
};

// Whether a call that draws at a point sits on `p`.
bool callAt(const WireCall &call, const DrawPoint &p) {
  return call.op != WireOp::Circle && std::memcmp(p.xyz.data(), call.point.data(), sizeof p.xyz) == 0;
}
bool callAt(const WireCall &call, const Position &p) {
  return call.op != WireOp::Circle && callAt(call, DrawPoint(p));
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

json flatCalls(const WireRecorder &calls, std::size_t first, std::size_t end) {
  json out = json::array();
  out.get_ref<json::array_t &>().reserve((end - first) * kOverlayNumbersPerCall);
  for (std::size_t i = first; i < end; ++i) appendCall(out, calls.at(i));
  return out;
}

// Sorted, unless already (a draw and a build go through the points in order,
// so they almost always are: checking costs less than sorting).
template <typename T>
void sortIfNeeded(std::vector<T> &values) {
  if (!std::is_sorted(values.begin(), values.end())) std::sort(values.begin(), values.end());
}

// The runs of calls that differ from what was last sent, from the places
// that changed (ascending); a run ends after kRunGap unchanged calls in a row.
json overlayRuns(const std::vector<std::uint32_t> &changed, const WireRecorder &now) {
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

template <typename T>
T *BinaryArrays::add(const char *name, std::size_t count) {
  const std::size_t offset = (bytes_.size() + 7) / 8 * 8;
  bytes_.resize(offset + count * sizeof(T));
  index_[name] = {{"type", typeName<T>()}, {"offset", offset}, {"count", count}};
  return reinterpret_cast<T *>(bytes_.data() + offset);
}

template <typename T>
void BinaryArrays::add(const char *name, const T *values, std::size_t count) {
  const std::size_t offset = (bytes_.size() + 7) / 8 * 8;
  bytes_.append(offset - bytes_.size(), '\0');
  if (count > 0) bytes_.append(reinterpret_cast<const char *>(values), count * sizeof(T));
  index_[name] = {{"type", typeName<T>()}, {"offset", offset}, {"count", count}};
}

std::string SceneAnswer::text() const {
  // Invalid UTF-8 from a file (a name, a message box) is replaced rather than refused.
  constexpr auto kReplace = json::error_handler_t::replace;
  if (form == AnswerForm::Json) return header.dump(-1, ' ', false, kReplace);
  json withIndex = header;
  withIndex["arrays"] = arrays.index();
  std::string head = withIndex.dump(-1, ' ', false, kReplace);
  head.append((8 - (4 + head.size()) % 8) % 8, ' ');
  const auto length = static_cast<std::uint32_t>(head.size());
  std::string out;
  out.reserve(4 + head.size() + arrays.bytes().size());
  out.append(reinterpret_cast<const char *>(&length), sizeof length);
  out += head;
  out += arrays.bytes();
  return out;
}

SceneTracker::SceneTracker() = default;
SceneTracker::~SceneTracker() = default;

// Whether the scene is the one last answered. Takes what the session kept of
// the changes since, as the whole scene follows.
bool SceneTracker::sameAsLastAnswer(Session &session) {
  const std::vector<std::uint32_t> written = session.takeWrittenPoints();
  const WireRecorder &overlay = session.overlayRecord();
  bool overlaySame = overlay.size() == overlayLength_;
  for (const WireChange &change : session.takeOverlayChanges())
    if (change.slot < overlay.size() && (!change.existed || !change.same(overlay.at(change.slot))))
      overlaySame = false;
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

// The point a handle sits on: its own point, when it is there.
std::uint32_t SceneTracker::handleLink(std::size_t index, const Position &position) const {
  if (index >= selection_.size()) return kNoLink;
  const std::size_t point = selection_[index];
  return point < points_.size() && samePosition(points_[point], position) ? static_cast<std::uint32_t>(point)
                                                                          : kNoLink;
}

// The point a call sits on, looked for among the selected points next to
// the place `cursor` in the selection (a tool draws at its handles in their
// order); the cursor moves to the one found.
std::uint32_t SceneTracker::findCallLink(const WireCall &call, std::size_t &cursor) const {
  if (call.op == WireOp::Circle || selection_.empty()) return kNoLink;
  const std::size_t tries[] = {cursor, cursor ^ 1, cursor + 1, cursor + 2, cursor + 3, cursor - 1};
  for (std::size_t place : tries) {
    if (place >= selection_.size()) continue;  // cursor - 1 at 0 wraps past the end
    const std::size_t point = selection_[place];
    if (point < points_.size() && callAt(call, points_[point])) {
      cursor = place;
      return static_cast<std::uint32_t>(point);
    }
  }
  return kNoLink;
}

// Links every call afresh.
void SceneTracker::relinkOverlay(const WireRecorder &calls) {
  std::vector<std::uint32_t> &callLinks = links_->calls;
  callLinks.assign(calls.size(), kNoLink);
  std::size_t cursor = 0;
  for (std::size_t slot = 0; slot < calls.size(); ++slot)
    callLinks[slot] = findCallLink(calls.at(slot), cursor);
  relinkIndex();
}

// Indexes the calls linked to each point.
void SceneTracker::relinkIndex() {
  const std::vector<std::uint32_t> &callLinks = links_->calls;
  callsFrom_.assign(points_.size() + 1, 0);
  for (std::uint32_t link : callLinks)
    if (link != kNoLink) ++callsFrom_[link + 1];
  for (std::size_t p = 0; p < points_.size(); ++p) callsFrom_[p + 1] += callsFrom_[p];
  callsAt_.resize(callsFrom_.back());
  std::vector<std::uint32_t> next(callsFrom_.begin(), callsFrom_.end() - 1);
  for (std::size_t slot = 0; slot < callLinks.size(); ++slot)
    if (callLinks[slot] != kNoLink) callsAt_[next[callLinks[slot]]++] = static_cast<std::uint32_t>(slot);
  laterLinks_.clear();
}

void SceneTracker::noteCallLink(std::uint32_t slot, std::uint32_t link) {
  links_->calls[slot] = link;
  if (link != kNoLink) laterLinks_.emplace_back(link, slot);
}

// The list of calls of the binary form (see the top): `slots` names them,
// or every call in order when null.
void SceneTracker::addCallList(BinaryArrays &arrays, const WireRecorder &calls,
                               const std::vector<std::uint32_t> *slots) const {
  const std::size_t count = slots != nullptr ? slots->size() : calls.size();
  std::vector<std::uint8_t> ops(count);
  std::vector<std::int32_t> modes(count);
  std::vector<std::uint32_t> links(count);
  std::vector<float> xyz;
  std::vector<double> radii;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t slot = slots != nullptr ? (*slots)[i] : i;
    const WireCall call = calls.at(slot);
    ops[i] = static_cast<std::uint8_t>(call.op);
    modes[i] = call.mode;
    links[i] = links_->calls[slot];
    if (call.op == WireOp::Circle)
      radii.push_back(call.radius);
    else if (links[i] == kNoLink)
      xyz.insert(xyz.end(), call.point.begin(), call.point.end());
  }
  if (slots != nullptr) arrays.add("overlaySlots", *slots);
  arrays.add("overlayOps", ops);
  // The modes in a byte each when they all fit (the tool's are 0, 1 and 101).
  if (std::all_of(modes.begin(), modes.end(), [](std::int32_t m) { return m >= 0 && m <= 255; })) {
    const std::vector<std::uint8_t> small(modes.begin(), modes.end());
    arrays.add("overlayModes", small);
  } else {
    arrays.add("overlayModes", modes);
  }
  arrays.add("overlayLinks", links);
  arrays.add("overlayXyz", xyz);
  arrays.add("overlayRadii", radii);
}

SceneAnswer SceneTracker::whole(Session &session, AnswerForm form) {
  SceneAnswer out;
  out.form = form;
  json &answer = out.header;
  const bool binary = form == AnswerForm::Binary;
  // From the first answer on, the session keeps what changes between answers.
  session.watchChanges();
  // The scene as last answered keeps its version, so that every page that
  // holds it (one that asked for the whole scene after another page's
  // change) gets only the changes of the next answer.
  const bool same = sameAsLastAnswer(session);
  addCommon(session, answer, !same);
  answer["full"] = true;
  answer["name"] = session.file().name();
  answer["output"] = session.outputPath().empty() ? json(nullptr) : json(session.outputPath());
  points_ = session.mesh().positions();
  const std::vector<Position> original = session.original();
  std::vector<std::uint32_t> edges;
  edges.reserve(2 * session.edges().size());
  for (const auto &[a, b] : session.edges()) {
    edges.push_back(static_cast<std::uint32_t>(a));
    edges.push_back(static_cast<std::uint32_t>(b));
  }
  lastWasDrag_ = false;
  selection_ = session.selection();
  selectionStamp_ = session.selectionStamp();
  handleOf_.assign(points_.size(), kNoLink);
  for (std::size_t k = 0; k < selection_.size(); ++k)
    handleOf_[selection_[k]] = static_cast<std::uint32_t>(k);
  handles_ = session.handles();
  // Links are a function of the scene and the answers before: a scene
  // answered before keeps the links the pages holding it have.
  handleLinks_.resize(handles_.size());
  for (std::size_t k = 0; k < handles_.size(); ++k) handleLinks_[k] = handleLink(k, handles_[k]);
  const WireRecorder &overlay = session.overlayRecord();
  overlayLength_ = overlay.size();
  links_ = &session.editOverlayLinks();
  if (!same || links_->calls.size() != overlay.size()) relinkOverlay(overlay);
  relinkPoints({}, true);
  if (binary) {
    BinaryArrays &arrays = out.arrays;
    arrays.add("points", points_.data()->data(), 3 * points_.size());
    arrays.add("original", original.data()->data(), 3 * original.size());
    arrays.add("edges", edges);
    std::vector<std::uint32_t> selected(selection_.begin(), selection_.end());
    arrays.add("selected", selected);
    answer["handleCount"] = handles_.size();
    std::vector<double> own;
    for (std::size_t k = 0; k < handles_.size(); ++k)
      if (handleLinks_[k] == kNoLink) own.insert(own.end(), handles_[k].begin(), handles_[k].end());
    arrays.add("handleLinks", handleLinks_);
    arrays.add("handleOwn", own);
    addCallList(arrays, overlay, nullptr);
  } else {
    answer["points"] = flatPositions(points_);
    answer["original"] = flatPositions(original);
    answer["edges"] = edges;
    answer["selected"] = selection_;
    answer["handles"] = flatPositions(handles_);
    answer["overlay"] = flatCalls(overlay, 0, overlay.size());
  }
  json panel = panelJson(session);
  panelText_ = panel.dump();
  answer["panel"] = std::move(panel);
  help_ = session.help();
  answer["help"] = help_;
  return out;
}

// Each written point whose position differs from the one last sent,
// ascending; the positions kept become the new ones.
std::vector<std::uint32_t> SceneTracker::movedPoints(const std::vector<Position> &now,
                                                     std::vector<std::uint32_t> &written) {
  std::vector<std::uint32_t> moved;
  if (points_.size() != now.size()) {
    points_.resize(now.size(), Position{std::nan(""), 0, 0});
    for (std::size_t i = 0; i < now.size(); ++i)
      if (!samePosition(points_[i], now[i])) moved.push_back(static_cast<std::uint32_t>(i));
  } else {
    sortIfNeeded(written);
    for (std::uint32_t i : written)
      if (!samePosition(points_[i], now[i])) moved.push_back(i);
  }
  for (std::uint32_t i : moved) points_[i] = now[i];
  return moved;
}

// The handles that changed. From one drag to the next only the held one and
// those of the points the build wrote can have moved (a handle is a point of
// the edit, at its place in the selection); any other command, and the first
// drag after one (the tool may read the points afresh then), asks every
// handle. Each entry says whether its position changed since the last answer
// (the JSON form names those) and whether the binary form must name it: its
// position is not where its link puts it, or its link changes. Only the
// handles with a bit of `wanted` are listed (with CTRL every handle moves,
// and the binary form names none of them).
std::vector<SceneTracker::HandleChange> SceneTracker::changedHandles(
    Session &session, bool dragging, const std::vector<std::uint32_t> &written, unsigned wanted,
    std::int64_t &count) {
  count = session.handleCount();
  const bool afterDrag = lastWasDrag_;
  lastWasDrag_ = dragging;
  std::vector<std::uint32_t> &asked = asked_;
  asked.clear();
  const auto n = static_cast<std::size_t>(count);
  if (!dragging || !afterDrag || n != handles_.size()) {
    handles_.resize(n, Position{std::nan(""), std::nan(""), std::nan("")});
    handleLinks_.resize(n, kNoLink);
    asked.resize(n);
    for (std::size_t k = 0; k < n; ++k) asked[k] = static_cast<std::uint32_t>(k);
  } else {
    if (const std::optional<int> held = session.held(); held && *held >= 0 && *held < count)
      asked.push_back(static_cast<std::uint32_t>(*held));
    for (std::uint32_t point : written)
      if (point < handleOf_.size() && handleOf_[point] < n) asked.push_back(handleOf_[point]);
    sortIfNeeded(asked);
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
  }
  session.handlesAt(asked, askedAt_);
  std::vector<HandleChange> out;
  for (std::size_t k = 0; k < asked.size(); ++k) {
    const std::uint32_t index = asked[k];
    const Position &now = askedAt_[k];
    const std::uint32_t link = handleLinks_[index];
    const std::uint32_t newLink = handleLink(index, now);
    const unsigned what =
        (samePosition(handles_[index], now) ? 0u : 1u) |
        (newLink != link || !samePosition(link == kNoLink ? handles_[index] : points_[link], now) ? 2u : 0u);
    handles_[index] = now;
    handleLinks_[index] = newLink;
    if ((what & wanted) != 0) out.push_back({index, what, newLink, now});
  }
  return out;
}

// The calls the binary form names (ascending): those whose call is not where
// the page's copy puts it (its link following the moved points); and in
// `changedSlots`, unless null, the calls that differ from what was last sent
// (ascending).
std::vector<std::uint32_t> SceneTracker::namedCalls(Session &session, const std::vector<std::uint32_t> &moved,
                                                    std::vector<std::uint32_t> *changedSlots) {
  const WireRecorder &calls = session.overlayRecord();
  const std::size_t oldLength = overlayLength_;
  overlayLength_ = calls.size();
  // The links as the last answer left them, until the changes are taken
  // (the calls marked as following their points were marked against them).
  const std::vector<std::uint32_t> &lastLinks = session.overlayLinks().calls;
  std::vector<std::uint32_t> named;
  // The point last looked at as a float (a tool draws at a point several
  // times in a row).
  std::uint32_t lastPoint = kNoLink;
  DrawPoint last(Position{});
  auto at = [&](std::uint32_t point) -> const DrawPoint & {
    if (point != lastPoint) {
      lastPoint = point;
      last = DrawPoint(points_[point]);
    }
    return last;
  };
  // First the calls that did not change but are linked to a point that
  // moved, or are new to the page (the session lists every call that
  // changed since the last answer, each once, and those are looked at after).
  auto linked = [&](std::uint32_t point, std::uint32_t slot) {
    if (slot >= calls.size() || slot >= lastLinks.size() || session.overlayChanged(slot) || lastLinks[slot] != point)
      return;
    if (!callAt(calls.at(slot), at(point))) named.push_back(slot);
  };
  if (!moved.empty() && callsFrom_.size() == points_.size() + 1) {
    for (std::uint32_t point : moved)
      for (std::uint32_t k = callsFrom_[point]; k < callsFrom_[point + 1]; ++k) linked(point, callsAt_[k]);
  }
  if (!moved.empty() && !laterLinks_.empty()) {
    std::vector<unsigned char> movedMark(points_.size(), 0);
    for (std::uint32_t point : moved) movedMark[point] = 1;
    for (const auto &[point, slot] : laterLinks_)
      if (point < movedMark.size() && movedMark[point]) linked(point, slot);
  }
  for (std::size_t slot = oldLength; slot < calls.size(); ++slot)
    if (!session.overlayChanged(slot)) named.push_back(static_cast<std::uint32_t>(slot));
  // A call that changed is named when it is new to the page; one that was
  // there follows its link when it is still the same kind of call at the
  // point it follows, or, without a link, when it is the call the page has.
  // The binary form leaves out the calls that follow their points; the JSON
  // form sends every call that changed.
  if (changedSlots != nullptr) session.takeOverlayChanges(overlayChanges_);
  else session.takeUnfollowedOverlayChanges(overlayChanges_);
  links_ = &session.editOverlayLinks();
  std::vector<std::uint32_t> &callLinks = links_->calls;
  callLinks.resize(calls.size(), kNoLink);
  for (const WireChange &change : overlayChanges_) {
    const std::uint32_t slot = change.slot;
    if (slot >= calls.size()) continue;
    if (changedSlots != nullptr && (!change.existed || !change.same(calls.at(slot))))
      changedSlots->push_back(slot);
    if (!change.existed || slot >= oldLength) {
      named.push_back(slot);
      continue;
    }
    const std::uint32_t link = callLinks[slot];
    if (link != kNoLink && change.sameKind) {
      // The usual change, a call that follows its point, is told by the
      // note alone (the call itself is not read).
      if (std::memcmp(change.nowPoint.data(), at(link).xyz.data(), sizeof change.nowPoint) != 0)
        named.push_back(slot);
      continue;
    }
    const WireCall now = calls.at(slot);
    const bool follows = link == kNoLink
                             ? change.same(now)
                             : change.op == now.op && change.mode == now.mode && callAt(now, at(link));
    if (!follows) named.push_back(slot);
  }
  // A call linked to a point twice over (in the index and since) is looked at twice.
  sortIfNeeded(named);
  named.erase(std::unique(named.begin(), named.end()), named.end());
  if (changedSlots != nullptr) sortIfNeeded(*changedSlots);
  relinkNamed(calls, named);
  relinkPoints(moved, false);
  return named;
}

// Each point's floats as the calls on it hold them, for the points that
// moved (every point when the mesh's size changed, or `moved` is empty and
// `all`): what the links say the calls were, until the next answer.
void SceneTracker::relinkPoints(const std::vector<std::uint32_t> &moved, bool all) {
  std::vector<std::array<float, 3>> &pointsAt = links_->pointsAt;
  if (all || pointsAt.size() != points_.size()) {
    pointsAt.resize(points_.size());
    for (std::size_t p = 0; p < points_.size(); ++p) pointsAt[p] = DrawPoint(points_[p]).xyz;
    return;
  }
  for (std::uint32_t p : moved) pointsAt[p] = DrawPoint(points_[p]).xyz;
}

// What the page is told of the named calls is linked anew: the old link when
// the call is still there, else one found next to the call before it.
void SceneTracker::relinkNamed(const WireRecorder &calls, const std::vector<std::uint32_t> &named) {
  for (std::uint32_t slot : named) {
    const WireCall call = calls.at(slot);
    std::uint32_t link = links_->calls[slot];
    if (link == kNoLink || !callAt(call, points_[link])) {
      const std::uint32_t before = slot > 0 ? links_->calls[slot - 1] : kNoLink;
      std::size_t cursor = before < handleOf_.size() && handleOf_[before] != kNoLink ? handleOf_[before] : 0;
      link = findCallLink(call, cursor);
    }
    noteCallLink(slot, link);
  }
  // Links made since the index are looked through at every move: past a
  // share of the calls, the index is made anew.
  if (laterLinks_.size() > calls.size() / 8 + 64) relinkIndex();
}

SceneAnswer SceneTracker::changed(Session &session, bool dragging, AnswerForm form) {
  SceneAnswer out;
  out.form = form;
  json &answer = out.header;
  const bool binary = form == AnswerForm::Binary;
  addCommon(session, answer, true);
  answer["base"] = version_ - 1;
  session.takeWrittenPoints(written_);
  const std::vector<std::uint32_t> moved = movedPoints(session.mesh().positions(), written_);
  std::int64_t handleCount = 0;
  const std::vector<HandleChange> handles =
      changedHandles(session, dragging, written_, binary ? 2u : 1u, handleCount);
  std::vector<std::uint32_t> changedSlots;
  const std::vector<std::uint32_t> named = namedCalls(session, moved, binary ? nullptr : &changedSlots);
  const WireRecorder &overlay = session.overlayRecord();
  if (binary) {
    BinaryArrays &arrays = out.arrays;
    arrays.add("movedIndex", moved);
    double *xyz = arrays.add<double>("movedXyz", 3 * moved.size());
    for (std::uint32_t i : moved) {
      std::memcpy(xyz, points_[i].data(), sizeof(Position));
      xyz += 3;
    }
    answer["handleCount"] = handleCount;
    std::vector<std::uint32_t> index, links;
    std::vector<double> own;
    for (const HandleChange &h : handles) {
      if ((h.what & 2u) == 0) continue;
      index.push_back(h.index);
      links.push_back(h.link);
      if (h.link == kNoLink) own.insert(own.end(), h.position.begin(), h.position.end());
    }
    arrays.add("handleIndex", index);
    arrays.add("handleLinks", links);
    arrays.add("handleOwn", own);
    answer["overlayLength"] = overlay.size();
    addCallList(arrays, overlay, &named);
  } else {
    json flatMoved = json::array();
    for (std::uint32_t i : moved) {
      flatMoved.push_back(i);
      appendPosition(flatMoved, points_[i]);
    }
    answer["moved"] = std::move(flatMoved);
    json changedHandles = json::array();
    for (const HandleChange &h : handles) {
      if ((h.what & 1u) == 0) continue;
      changedHandles.push_back(h.index);
      appendPosition(changedHandles, h.position);
    }
    answer["handles"] = {{"count", handleCount}, {"changed", std::move(changedHandles)}};
    answer["overlay"] = {{"length", overlay.size()}, {"runs", overlayRuns(changedSlots, overlay)}};
  }
  json panel = panelJson(session);
  if (std::string text = panel.dump(); text != panelText_) {
    panelText_ = std::move(text);
    answer["panel"] = std::move(panel);
  }
  if (session.help() != help_) answer["help"] = help_ = session.help();
  return out;
}

SceneAnswer SceneTracker::answer(Session &session, std::int64_t version, bool dragging, AnswerForm form) {
  const bool current = version == version_ && version_ > 0 && session.selectionStamp() == selectionStamp_ &&
                       session.mesh().size() == points_.size();
  return current ? changed(session, dragging, form) : whole(session, form);
}

}  // namespace standin
