#include "standin/session/tool_panel.h"

#include <cmath>
#include <utility>
#include <vector>

#include "standin/host/failure.h"
#include "standin/host/number_text.h"

namespace standin {
namespace {

// Why a refused edit was refused, as a user needs to hear it.
std::string refusal(EditResult result, const std::optional<ControlView> &view, std::uintptr_t id) {
  std::string why = describe(result);
  if (result == EditResult::OutOfRange && view && (view->min || view->max))
    return why + " " + PanelModel::formatRange(*view);
  if (!view || view->enabled) return why;
  if (view->disabledMessage) return why + " (\"" + *view->disabledMessage + "\")";
  if (id == kFactorControl) return why + " (Factor is used in Factor mode: 'mode factor' first)";
  if (id == kOffsetControl) return why + " (Offset is used in Offset mode: 'mode offset' first)";
  return why;
}

// A computed value for reading: the reading format drops the last bits of
// rounding (2 x 1.1 - 1 is 1.2, not 1.2000000000000002).
std::string shown(double value) { return formatReadable(value); }

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

std::optional<ToolSettings> ToolPanel::read() const {
  if (!model_.exists()) return std::nullopt;
  ToolSettings s;
  if (auto v = model_.control(kModeControl); v && v->hasValue) s.mode = v->intValue;
  if (auto v = model_.control(kFactorControl); v && v->hasValue) s.factor = v->doubleValue;
  if (auto v = model_.control(kOffsetControl); v && v->hasValue) s.offset = v->doubleValue;
  if (auto v = model_.control(kSymmetryControl); v && v->hasValue) s.symmetry = v->intValue;
  return s;
}

void ToolPanel::edit(std::uintptr_t id, const std::string &label,
                     const std::function<EditResult(PanelModel &)> &change, const std::string &shown) {
  const EditResult result = change(model_);
  if (tracer_.on()) {
    tracer_("panel " + label + " = " + shown + " -> set() " + std::to_string(model_.lastSetResult()) + " (" +
            describe(result) + ")");
  }
  if (result == EditResult::Done) return;
  // A value the control cannot take is the input's fault; a control that
  // cannot be used now is the session's state.
  const bool badValue = result == EditResult::WrongType || result == EditResult::OutOfRange ||
                        result == EditResult::NotEditable || result == EditResult::BadText;
  throw Failure(badValue ? FailureKind::BadInput : FailureKind::Refused,
                "cannot set " + label + " to " + shown + ": " + refusal(result, model_.control(id), id));
}

void ToolPanel::setMode(int mode) {
  edit(
      kModeControl, "the mode", [&](PanelModel &p) { return p.edit(kModeControl, mode); },
      mode == 0 ? "Factor" : "Offset");
}

void ToolPanel::setFactor(double factor) {
  edit(
      kFactorControl, "Factor", [&](PanelModel &p) { return p.edit(kFactorControl, factor); },
      formatReadable(factor));
}

void ToolPanel::setOffset(double offset) {
  edit(
      kOffsetControl, "Offset", [&](PanelModel &p) { return p.edit(kOffsetControl, offset); },
      formatReadable(offset));
}

void ToolPanel::setSymmetry(bool on) {
  edit(
      kSymmetryControl, "Symmetry", [&](PanelModel &p) { return p.edit(kSymmetryControl, on ? 1 : 0); },
      on ? "on" : "off");
}

void ToolPanel::pressInvertHandle() {
  edit(
      kInvertHandleButton, "Invert Handle", [](PanelModel &p) { return p.press(kInvertHandleButton); },
      "pressed");
}

std::string ToolPanel::pressAbout(const std::string &pictureFile, const AboutPictureWriter &writePicture) {
  std::vector<std::string> lines;
  bool painted = false;
  std::optional<Failure> saveError;
  service_.setThumbnailSink([&](const PanelRecord &, std::uintptr_t, const ThumbnailCanvas &canvas) {
    painted = true;
    for (const CanvasCall &call : canvas.calls()) {
      if (call.op == CanvasOp::Text) lines.push_back(call.text);
    }
    if (pictureFile.empty()) return;
    try {
      writePicture(pictureFile, canvas);
    } catch (const Failure &error) {
      saveError = error;
    }
  });
  try {
    edit(
        kAboutButton, "About", [](PanelModel &p) { return p.press(kAboutButton); }, "pressed");
  } catch (...) {
    service_.setThumbnailSink({});
    throw;
  }
  service_.setThumbnailSink({});
  if (saveError) throw *saveError;
  if (!painted) throw Failure(FailureKind::ToolFailed, "About: no picture was painted");
  std::string text;
  for (const std::string &line : lines) text += (text.empty() ? "" : " / ") + line;
  return text;
}

}  // namespace standin
