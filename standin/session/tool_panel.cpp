#include "standin/session/tool_panel.h"

#include <cmath>
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
      change = "each pair becomes " + shown(std::abs(added)) + (added > 0.0 ? " longer" : " shorter");
    if (both) how += shown(s.offset);
  }
  return change + " (" + how + ")";
}

ToolPanel::ToolPanel(PanelService &service, LWXPanelID panel, void *instance,
                     PanelModel::ChangeCallback onChange, const Tracer &tracer)
    : service_(service), model_(service, panel, instance, std::move(onChange)), tracer_(tracer) {}

std::optional<std::uintptr_t> ToolPanel::find(std::string_view word, bool choiceItem) const {
  const PanelRecord *record = service_.panel(model_.panelId());
  if (record == nullptr) return std::nullopt;
  if (record->revision != layoutRevision_) {
    layout_ = model_.layout();
    layoutRevision_ = record->revision;
  }
  for (const ControlView &c : layout_) {
    if (c.hidden) continue;
    if (!choiceItem && !c.label.empty() && firstWord(c.label) == word) return c.id;
    if (choiceItem && c.type == "iChoice")
      for (const std::string &item : c.choices)
        if (lowerCase(item) == word) return c.id;
  }
  return std::nullopt;
}

ControlView ToolPanel::labelled(std::string_view word, const std::string &what) const {
  const bool mode = word == kModes[0] || word == kModes[1];
  if (auto id = find(word, mode && what == "the mode")) {
    if (auto control = model_.control(*id)) return *control;
  }
  throw Failure(FailureKind::Refused, "the options panel has no " + what + " control");
}

std::optional<ToolSettings> ToolPanel::read() const {
  if (!model_.exists()) return std::nullopt;
  ToolSettings s;
  auto take = [&](std::string_view word, bool choiceItem, auto &into) {
    const std::optional<std::uintptr_t> id = find(word, choiceItem);
    if (!id) return;
    const ControlValue v = model_.value(*id);
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

void ToolPanel::edit(const ControlView &control, const std::string &label,
                     const std::function<EditResult(PanelModel &)> &change, const std::string &shownValue) {
  const EditResult result = change(model_);
  if (tracer_.on()) {
    tracer_("panel " + label + " = " + shownValue + " -> set() " + std::to_string(model_.lastSetResult()) +
            " (" + describe(result) + ")");
  }
  if (result == EditResult::Done) return;
  // A value the control cannot take is the input's fault; a control that
  // cannot be used now is the session's state.
  const bool badValue = result == EditResult::WrongType || result == EditResult::OutOfRange ||
                        result == EditResult::NotEditable || result == EditResult::BadText;
  throw Failure(
      badValue ? FailureKind::BadInput : FailureKind::Refused,
      "cannot set " + label + " to " + shownValue + ": " + refusal(result, model_.control(control.id)));
}

// The mode is the choice's item of that name.
void ToolPanel::setMode(int mode) {
  const ControlView c = labelled(kModes[mode == 0 ? 0 : 1], "the mode");
  int index = 0;
  while (index < static_cast<int>(c.choices.size()) &&
         lowerCase(c.choices[index]) != kModes[mode == 0 ? 0 : 1])
    ++index;
  edit(
      c, "the mode", [&](PanelModel &p) { return p.edit(c.id, index); }, mode == 0 ? "Factor" : "Offset");
}

void ToolPanel::setFactor(double factor) {
  const ControlView c = labelled("factor", "Factor");
  edit(
      c, "Factor", [&](PanelModel &p) { return p.edit(c.id, factor); }, formatReadable(factor));
}

void ToolPanel::setOffset(double offset) {
  const ControlView c = labelled("offset", "Offset");
  edit(
      c, "Offset", [&](PanelModel &p) { return p.edit(c.id, offset); }, formatReadable(offset));
}

void ToolPanel::setSymmetry(bool on) {
  const ControlView c = labelled("symmetry", "Symmetry");
  edit(
      c, "Symmetry", [&](PanelModel &p) { return p.edit(c.id, on ? 1 : 0); }, on ? "on" : "off");
}

void ToolPanel::pressInvertHandle() {
  const ControlView c = labelled("invert", "Invert Handle");
  edit(
      c, "Invert Handle", [&](PanelModel &p) { return p.press(c.id); }, "pressed");
}

std::string ToolPanel::pressAbout(const AboutPainted &painted) {
  const ControlView c = labelled("about", "About");
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
        c, "About", [&](PanelModel &p) { return p.press(c.id); }, "pressed");
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
