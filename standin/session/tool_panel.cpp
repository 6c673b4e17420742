#include "standin/session/tool_panel.h"

#include <cmath>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "standin/host/failure.h"
#include "standin/host/number_text.h"

namespace standin {
namespace {

std::string lowerCase(std::string_view text) {
  std::string lower(text);
  for (char &c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

std::string firstWord(const std::string &label) { return lowerCase(label.substr(0, label.find(' '))); }

// Whether `text` is `lower` (in lower case) in any case.
bool sameLetters(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

// Why a refused edit was refused, as a user needs to hear it.
std::string refusal(EditResult result, const std::optional<ControlView> &view) {
  std::string why = describe(result);
  if (result == EditResult::OutOfRange && view && (view->min || view->max))
    return why + " " + PanelModel::formatRange(*view);
  if (!view || view->enabled) return why;
  if (view->disabledMessage) return why + " (\"" + *view->disabledMessage + "\")";
  const std::string word = firstWord(view->label);
  if (word == "factor") return why + " (Factor is used in Factor mode: 'mode factor' first)";
  if (word == "offset") return why + " (Offset is used in Offset mode: 'mode offset' first)";
  return why;
}

// A computed value for reading: the reading format drops the last bits of
// rounding (2 x 1.1 - 1 is 1.2, not 1.2000000000000002).
std::string shown(double value) { return formatReadable(value); }

const char *const kModes[] = {"factor", "offset"};

}  // namespace

std::string describeLengthRule(const ToolSettings &s) {
  const bool both = s.symmetry == 1;
  std::string change;
  std::string how = both ? "both ends move: 2 x " : "the handle end moves";
  if (s.mode == 0) {
    const double times = both ? 2.0 * s.factor - 1.0 : s.factor;
    if (times == 1.0)
      change = "each pair keeps its length";
    else if (times == 0.0)
      change = "each pair's ends meet, length 0";
    else if (times < 0.0)
      change = "each pair's ends change sides and it becomes " + shown(-times) + " times as long";
    else
      change = "each pair becomes " + shown(times) + " times as long";
    if (both) how += shown(s.factor) + " - 1";
  } else {
    const double added = both ? 2.0 * s.offset : s.offset;
    if (added == 0.0)
      change = "each pair keeps its length";
    else
      change = "each pair becomes " +
               // Twice an Offset near the largest double is past it.
               (std::isinf(added) ? "more than " + shown(std::numeric_limits<double>::max())
                                  : shown(std::abs(added))) +
               (added > 0.0 ? " longer" : " shorter");
    if (both) how += shown(s.offset);
  }
  return change + " (" + how + ")";
}

ToolPanel::ToolPanel(PanelService &service, LWXPanelID panel, void *instance,
                     PanelModel::ChangeCallback onChange, const Tracer &tracer)
    : service_(service), model_(service, panel, instance, std::move(onChange)), tracer_(tracer) {}

std::optional<ToolPanel::Found> ToolPanel::find(std::string_view word, bool choiceItem) const {
  const PanelRecord *record = service_.panel(model_.panelId());
  if (record == nullptr) return std::nullopt;
  if (record->revision != lookupsRevision_) {
    lookups_.clear();
    lookups_.reserve(8);
    lookupsRevision_ = record->revision;
  }
  for (const Lookup &l : lookups_)
    if (l.choiceItem == choiceItem && l.word == word) return l.found;
  const std::optional<Found> found = search(*record, word, choiceItem);
  lookups_.push_back({word, choiceItem, found});
  return found;
}

std::optional<ToolPanel::Found> ToolPanel::search(const PanelRecord &record, std::string_view word,
                                                  bool choiceItem) {
  for (const PanelEntry &entry : record.controls) {
    const ControlHints *hints = record.hintsFor(entry.id);
    if (hints != nullptr && hints->hidden) continue;
    if (!choiceItem) {
      const std::string_view label = entry.name ? std::string_view(*entry.name) : std::string_view();
      if (!label.empty() && sameLetters(label.substr(0, label.find(' ')), word)) return Found{entry.id, 0};
      continue;
    }
    if (entry.type != "iChoice" || hints == nullptr || !hints->choiceItems) continue;
    const std::vector<std::string> &items = *hints->choiceItems;
    for (std::size_t i = 0; i < items.size(); ++i)
      if (sameLetters(items[i], word)) return Found{entry.id, static_cast<int>(i)};
  }
  return std::nullopt;
}

ToolPanel::Found ToolPanel::required(std::string_view word, bool choiceItem, const std::string &what) const {
  if (auto found = find(word, choiceItem)) return *found;
  throw Failure(FailureKind::Refused, "the options panel has no " + what + " control");
}

std::optional<ToolSettings> ToolPanel::read() const {
  if (!model_.exists()) return std::nullopt;
  ToolSettings s;
  auto take = [&](std::string_view word, bool choiceItem, auto &into) {
    const std::optional<Found> found = find(word, choiceItem);
    if (!found) return;
    const ControlValue v = model_.value(found->id);
    if (!v.hasValue) return;
    if constexpr (std::is_same_v<std::remove_reference_t<decltype(into)>, int>) {
      into = v.intValue;
    } else {
      into = v.doubleValue;
    }
  };
  take(kModes[0], true, s.mode);
  take("factor", false, s.factor);
  take("offset", false, s.offset);
  take("symmetry", false, s.symmetry);
  return s;
}

void ToolPanel::edit(std::uintptr_t id, const std::string &label,
                     const std::function<EditResult(PanelModel &)> &change,
                     const std::function<std::string()> &shownValue) {
  const EditResult result = change(model_);
  if (tracer_.on()) {
    tracer_("panel " + label + " = " + shownValue() + " -> set() " + std::to_string(model_.lastSetResult()) +
            " (" + describe(result) + ")");
  }
  if (result == EditResult::Done) return;
  // A value the control cannot take is the input's fault; a control that
  // cannot be used now is the session's state.
  const bool badValue = result == EditResult::WrongType || result == EditResult::OutOfRange ||
                        result == EditResult::NotEditable || result == EditResult::BadText;
  throw Failure(badValue ? FailureKind::BadInput : FailureKind::Refused,
                "cannot set " + label + " to " + shownValue() + ": " + refusal(result, model_.control(id)));
}

// The mode is the choice's item of that name.
void ToolPanel::setMode(int mode) {
  const Found c = required(kModes[mode == 0 ? 0 : 1], true, "the mode");
  edit(
      c.id, "the mode", [&](PanelModel &p) { return p.edit(c.id, c.item); },
      [mode] { return std::string(mode == 0 ? "Factor" : "Offset"); });
}

void ToolPanel::setFactor(double factor) {
  const Found c = required("factor", false, "Factor");
  edit(
      c.id, "Factor", [&](PanelModel &p) { return p.edit(c.id, factor); },
      [factor] { return formatReadable(factor); });
}

void ToolPanel::setOffset(double offset) {
  const Found c = required("offset", false, "Offset");
  edit(
      c.id, "Offset", [&](PanelModel &p) { return p.edit(c.id, offset); },
      [offset] { return formatReadable(offset); });
}

void ToolPanel::setSymmetry(bool on) {
  const Found c = required("symmetry", false, "Symmetry");
  edit(
      c.id, "Symmetry", [&](PanelModel &p) { return p.edit(c.id, on ? 1 : 0); },
      [on] { return std::string(on ? "on" : "off"); });
}

void ToolPanel::pressInvertHandle() {
  const Found c = required("invert", false, "Invert Handle");
  edit(
      c.id, "Invert Handle", [&](PanelModel &p) { return p.press(c.id); },
      [] { return std::string("pressed"); });
}

std::string ToolPanel::pressAbout(const AboutPainted &painted) {
  const Found c = required("about", false, "About");
  std::vector<std::string> lines;
  bool wasPainted = false;
  service_.setThumbnailSink([&](const PanelRecord &, std::uintptr_t, const ThumbnailCanvas &canvas) {
    wasPainted = true;
    for (const CanvasCall &call : canvas.calls()) {
      if (call.op == CanvasOp::Text) lines.push_back(call.text);
    }
    if (painted) painted(canvas);
  });
  try {
    edit(
        c.id, "About", [&](PanelModel &p) { return p.press(c.id); }, [] { return std::string("pressed"); });
  } catch (...) {
    service_.setThumbnailSink({});
    throw;
  }
  service_.setThumbnailSink({});
  if (!wasPainted) throw Failure(FailureKind::ToolFailed, "About: no picture was painted");
  std::string text;
  for (const std::string &line : lines) text += (text.empty() ? "" : " / ") + line;
  return text;
}

}  // namespace standin
