#include "standin/host/panel_model.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "standin/host/number_text.h"

namespace standin {

namespace {

ValueKind kindOf(std::string_view dataType) {
  if (dataType == "integer") return ValueKind::Int;
  if (dataType == "percent" || dataType == "distance" || dataType == "float") return ValueKind::Double;
  return ValueKind::None;
}

// What a panel's field shows: rounded for reading.
std::string number(double v) { return formatReadable(v); }

// A bound as the value is printed: a "percent" control is bounded in
// percent, and its value printed as the fraction first.
std::string bound(const ControlView &view, const std::optional<long long> &limit) {
  if (!limit) return "..";
  if (view.type == "percent") return number(static_cast<double>(*limit) / 100.0);
  return std::to_string(*limit);
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

std::optional<double> parseValue(const std::string &text) {
  double value = 0.0;
  if (parseNumber(text, value) != NumberParse::Ok) return std::nullopt;
  return value;
}

bool isWhole(double v) { return std::isfinite(v) && v == std::floor(v) && std::abs(v) <= 2147483647.0; }

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

}  // namespace

const char *describe(EditResult result) {
  switch (result) {
    case EditResult::Done:
      return "done";
    case EditResult::NoPanel:
      return "the panel no longer exists";
    case EditResult::NoControl:
      return "no such control";
    case EditResult::Hidden:
      return "the control is hidden";
    case EditResult::Disabled:
      return "the control is disabled";
    case EditResult::NotEditable:
      return "the control cannot be edited that way";
    case EditResult::WrongType:
      return "the value does not fit the control's type";
    case EditResult::OutOfRange:
      return "the value is out of the control's range";
    case EditResult::BadText:
      return "the text is not a value for the control";
  }
  return "?";
}

PanelModel::PanelModel(PanelService &service, LWXPanelID panel, void *instance, ChangeCallback onChange)
    : service_(service), panel_(panel), instance_(instance), onChange_(std::move(onChange)) {}

std::string PanelModel::title() const {
  const PanelRecord *panel = record();
  if (panel == nullptr) return "";
  return panel->title().value_or("");
}

std::optional<double> PanelModel::readNumber(const PanelRecord &panel, std::uintptr_t id) const {
  const PanelEntry *data = panel.dataEntry(id);
  if (data == nullptr || panel.get == nullptr) return std::nullopt;
  const ValueKind kind = data->type ? kindOf(*data->type) : ValueKind::None;
  if (kind == ValueKind::None) return std::nullopt;
  void *value = panel.get(instance_, id);
  if (value == nullptr) return std::nullopt;
  return kind == ValueKind::Int ? static_cast<double>(*static_cast<const int *>(value))
                                : *static_cast<const double *>(value);
}

ControlValue PanelModel::readValue(const PanelRecord &panel, ValueKind kind, std::uintptr_t id) const {
  ControlValue v;
  if (kind == ValueKind::None || panel.get == nullptr) return v;
  void *value = panel.get(instance_, id);
  if (value == nullptr) return v;
  v.hasValue = true;
  if (kind == ValueKind::Int) {
    v.intValue = *static_cast<const int *>(value);
    v.doubleValue = v.intValue;
  } else {
    v.doubleValue = *static_cast<const double *>(value);
  }
  return v;
}

ControlView PanelModel::layoutView(const PanelRecord &panel, const PanelEntry &entry) {
  ControlView v;
  v.id = entry.id;
  v.label = entry.name.value_or("");
  v.type = entry.type.value_or("");
  if (const PanelEntry *data = panel.dataEntry(entry.id)) {
    v.dataType = data->type.value_or("");
    v.kind = kindOf(v.dataType);
  }
  if (const ControlHints *h = panel.hintsFor(entry.id)) {
    v.hidden = h->hidden;
    if (h->title) v.label = *h->title;
    if (h->choiceItems) v.choices = *h->choiceItems;
    v.min = h->min;
    v.max = h->max;
    v.step = h->step;
    v.isButton = h->buttonClick != nullptr;
    v.hasThumbnail = h->draw != nullptr;
  }
  return v;
}

ControlView PanelModel::view(const PanelRecord &panel, const PanelEntry &entry) const {
  ControlView v = layoutView(panel, entry);
  const ControlValue own = readValue(panel, v.kind, entry.id);
  v.hasValue = own.hasValue;
  v.intValue = own.intValue;
  v.doubleValue = own.doubleValue;
  for (const EnableLink &link : panel.links) {
    if (std::find(link.controlled.begin(), link.controlled.end(), entry.id) == link.controlled.end())
      continue;
    const double value = readNumber(panel, link.controller).value_or(0.0);
    bool met = false;
    if (!link.hasMap) {
      met = value != 0.0;
    } else if (isWhole(value) && value >= 0) {
      const auto index = static_cast<std::size_t>(value);
      if (link.map) {
        met = index < link.map->size() && (*link.map)[index] != 0;
      } else {
        // The map's length is unknown: only the two values of a switch are looked up.
        const ControlHints *controller = panel.hintsFor(link.controller);
        const std::size_t length =
            controller != nullptr && controller->choiceItems ? controller->choiceItems->size() : 2;
        met = index < length && link.mapAddress[index] != 0;
      }
    }
    if (!met) {
      v.enabled = false;
      if (!v.disabledMessage && link.message) v.disabledMessage = link.message;
    }
  }
  return v;
}

std::vector<ControlView> PanelModel::controls() const {
  std::vector<ControlView> out;
  const PanelRecord *panel = record();
  if (panel == nullptr) return out;
  out.reserve(panel->controls.size());
  for (const PanelEntry &entry : panel->controls) out.push_back(view(*panel, entry));
  return out;
}

std::optional<ControlView> PanelModel::control(std::uintptr_t id) const {
  const PanelRecord *panel = record();
  if (panel == nullptr) return std::nullopt;
  const PanelEntry *entry = panel->control(id);
  if (entry == nullptr) return std::nullopt;
  return view(*panel, *entry);
}

ControlValue PanelModel::value(std::uintptr_t id) const {
  const PanelRecord *panel = record();
  if (panel == nullptr || panel->control(id) == nullptr) return {};
  const PanelEntry *data = panel->dataEntry(id);
  if (data == nullptr || !data->type) return {};
  return readValue(*panel, kindOf(*data->type), id);
}

EditResult PanelModel::checkEditable(const ControlView &view) const {
  if (view.hidden) return EditResult::Hidden;
  if (!view.enabled) return EditResult::Disabled;
  if (view.kind == ValueKind::None) return EditResult::NotEditable;
  return EditResult::Done;
}

EditResult PanelModel::store(const PanelRecord &panel, const ControlView &view, int *intValue,
                             double *doubleValue) {
  if (panel.set == nullptr) return EditResult::NotEditable;
  const double shown =
      intValue != nullptr ? *intValue : *doubleValue * (view.type == "percent" ? 100.0 : 1.0);
  if ((view.min && shown < static_cast<double>(*view.min)) ||
      (view.max && shown > static_cast<double>(*view.max)))
    return EditResult::OutOfRange;
  if (intValue != nullptr) {
    if (!view.choices.empty() &&
        (*intValue < 0 || static_cast<std::size_t>(*intValue) >= view.choices.size()))
      return EditResult::OutOfRange;
    if (view.type == "iBoolean" && *intValue != 0 && *intValue != 1) return EditResult::OutOfRange;
    lastSetResult_ = panel.set(instance_, view.id, intValue);
  } else {
    lastSetResult_ = panel.set(instance_, view.id, doubleValue);
  }
  if (onChange_) onChange_(view.id);
  return EditResult::Done;
}

EditResult PanelModel::edit(std::uintptr_t id, int value) {
  const PanelRecord *panel = record();
  if (panel == nullptr) return EditResult::NoPanel;
  const std::optional<ControlView> v = control(id);
  if (!v) return EditResult::NoControl;
  if (EditResult r = checkEditable(*v); r != EditResult::Done) return r;
  if (v->kind == ValueKind::Double) {
    double d = value;
    return store(*panel, *v, nullptr, &d);
  }
  return store(*panel, *v, &value, nullptr);
}

EditResult PanelModel::edit(std::uintptr_t id, double value) {
  const PanelRecord *panel = record();
  if (panel == nullptr) return EditResult::NoPanel;
  const std::optional<ControlView> v = control(id);
  if (!v) return EditResult::NoControl;
  if (EditResult r = checkEditable(*v); r != EditResult::Done) return r;
  if (v->kind == ValueKind::Int) {
    if (!isWhole(value)) return EditResult::WrongType;
    int i = static_cast<int>(value);
    return store(*panel, *v, &i, nullptr);
  }
  if (!std::isfinite(value)) return EditResult::WrongType;
  return store(*panel, *v, nullptr, &value);
}

EditResult PanelModel::editText(std::uintptr_t id, std::string_view text) {
  const std::optional<ControlView> v = control(id);
  if (!v) return record() == nullptr ? EditResult::NoPanel : EditResult::NoControl;
  const std::string t = trimmed(text);
  if (!v->choices.empty()) {
    for (std::size_t i = 0; i < v->choices.size(); ++i)
      if (lower(v->choices[i]) == lower(t)) return edit(id, static_cast<int>(i));
  }
  if (v->type == "iBoolean") {
    const std::string l = lower(t);
    if (l == "on" || l == "true" || l == "yes") return edit(id, 1);
    if (l == "off" || l == "false" || l == "no") return edit(id, 0);
  }
  if (v->type == "percent" && !t.empty() && t.back() == '%') {
    const std::optional<double> p = parseValue(trimmed(std::string_view(t).substr(0, t.size() - 1)));
    if (!p) return EditResult::BadText;
    return edit(id, *p / 100.0);
  }
  const std::optional<double> n = parseValue(t);
  if (!n) return EditResult::BadText;
  return edit(id, *n);
}

EditResult PanelModel::press(std::uintptr_t id) {
  const PanelRecord *panel = record();
  if (panel == nullptr) return EditResult::NoPanel;
  const std::optional<ControlView> v = control(id);
  if (!v) return EditResult::NoControl;
  if (v->hidden) return EditResult::Hidden;
  if (!v->enabled) return EditResult::Disabled;
  const ControlHints *h = panel->hintsFor(id);
  if (h == nullptr || h->buttonClick == nullptr) return EditResult::NotEditable;
  // The handler may build and post other panels; nothing of `panel` is used after it.
  h->buttonClick(panel_, static_cast<int>(id));
  if (onChange_) onChange_(id);
  return EditResult::Done;
}

std::string PanelModel::formatValue(const ControlView &view) {
  if (!view.hasValue) return "";
  if (!view.choices.empty()) {
    if (view.intValue >= 0 && static_cast<std::size_t>(view.intValue) < view.choices.size())
      return view.choices[static_cast<std::size_t>(view.intValue)];
    return number(view.intValue) + " (no such item)";
  }
  if (view.type == "iBoolean") return view.intValue != 0 ? "on" : "off";
  if (view.type == "percent") return formatFactorReadable(view.doubleValue);
  return number(view.doubleValue);
}

std::string PanelModel::formatRange(const ControlView &view) {
  if (!view.min && !view.max) return "";
  // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict overlap
  // for a string literal + std::string chain here.
  std::string range = "[";
  range += bound(view, view.min);
  range += ", ";
  range += bound(view, view.max);
  range += ']';
  return range;
}

std::string PanelModel::render() const {
  const PanelRecord *panel = record();
  if (panel == nullptr) return "(no panel)\n";
  std::string out = "Panel \"" + title() + "\"\n";
  for (const ControlView &v : controls()) {
    if (v.hidden) continue;
    std::string label = v.label.empty() ? "(" + v.type + ")" : v.label;
    std::string value;
    if (v.isButton) {
      label = "[" + label + "]";
      value = "button";
    } else if (v.hasThumbnail) {
      value = "picture";
    } else {
      value = formatValue(v);
      if (!v.choices.empty()) {
        std::string items;
        for (const std::string &c : v.choices) items += (items.empty() ? "" : " | ") + c;
        value += "  {" + items + "}";
      }
      if (v.min || v.max) value += "  " + formatRange(v);
    }
    std::string state = v.enabled ? "enabled" : "disabled";
    if (!v.enabled && v.disabledMessage) state += ": " + *v.disabledMessage;
    out += "  " + padded(label, 18) + padded(value, 40) + state + "\n";
  }
  return out;
}

}  // namespace standin
