// A live view of one panel as a user would see it: each control with its label, type, current value (read
// through the panel's `get` with the tool instance the host passes), enabled and hidden state, choice items
// and bounds; edits go through `set`, button presses to the button's handler.
//
// After every edit or press that reached the tool the model calls the change callback, where the session
// runs the host's test / build / draw cycle.
//
// Enabled state: a control is enabled unless an enable link naming it is unmet. A link is met while the
// controller's value is non-zero or, with a value map, while map[value] is non-zero; a value outside the map
// (negative, or past the controller's choice items when those are known) leaves it unmet. A controller whose
// value cannot be read counts as 0. A disabled control shows the message of the first unmet link that has
// one.
//
// Values: data type "integer" is read as an int; "percent", "distance" and "float" as a double; controls
// without a data entry (buttons, thumbnails) have no value. Edits are refused for hidden or disabled
// controls, for a choice outside its items, a boolean other than 0 or 1, and a value outside the min / max
// hints. Bounds apply to the value as shown: a "percent" control shows (and is bounded in) value x 100.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/panel_service.h"

namespace standin {

enum class ValueKind { None, Int, Double };

struct ControlView {
  std::uintptr_t id = 0;
  std::string label;     // "" for an empty or null label
  std::string type;      // control type, e.g. "percent"
  std::string dataType;  // "" without a data entry
  ValueKind kind = ValueKind::None;
  bool hasValue = false;  // false also when `get` answered NULL
  int intValue = 0;
  double doubleValue = 0.0;
  bool hidden = false;
  bool enabled = true;
  std::optional<std::string> disabledMessage;
  std::vector<std::string> choices;
  std::optional<long long> min, max, step;
  bool isButton = false;      // has a click handler
  bool hasThumbnail = false;  // has a draw callback
};

// A control's value alone, as its view holds it.
struct ControlValue {
  bool hasValue = false;
  int intValue = 0;
  double doubleValue = 0.0;
};

enum class EditResult {
  Done,
  NoPanel,
  NoControl,
  Hidden,
  Disabled,
  NotEditable,
  WrongType,
  OutOfRange,
  BadText
};
const char *describe(EditResult result);

class PanelModel {
 public:
  using ChangeCallback = std::function<void(std::uintptr_t controlId)>;

  // `instance` is what the host passes to get / set: the instance whose panel callback built the panel.
  PanelModel(PanelService &service, LWXPanelID panel, void *instance, ChangeCallback onChange = {});

  LWXPanelID panelId() const { return panel_; }
  void *instance() const { return instance_; }
  bool exists() const { return record() != nullptr; }
  std::string title() const;

  // Every control of the table, in order (hidden ones included, marked).
  std::vector<ControlView> controls() const;
  std::optional<ControlView> control(std::uintptr_t id) const;
  // What control(id)'s value fields would hold, without the rest of the view.
  ControlValue value(std::uintptr_t id) const;

  EditResult edit(std::uintptr_t id, int value);
  EditResult edit(std::uintptr_t id, double value);  // also for integer controls holding a whole number
  // Parses as a user types: a choice item's text or its index, "on"/"off"/"1"/"0" for booleans, a number,
  // and for percent controls "150%" (150 % = 1.5).
  EditResult editText(std::uintptr_t id, std::string_view text);
  EditResult press(std::uintptr_t id);

  // `set`'s answer to the last edit that reached it.
  int lastSetResult() const { return lastSetResult_; }

  // The panel as text: the title, then each visible control with its value and enabled state.
  std::string render() const;
  // One control's value as shown: "1.5 (150%)", "Factor", "on", "0.25"; "" without a value.
  static std::string formatValue(const ControlView &view);
  // The values a control takes, in the unit its value is shown in: "[-210000, 210000]" for a
  // "percent" control bounded at -21000000% and 21000000%; "" without bounds.
  static std::string formatRange(const ControlView &view);

 private:
  const PanelRecord *record() const { return service_.panel(panel_); }
  std::optional<double> readNumber(const PanelRecord &panel, std::uintptr_t id) const;
  ControlValue readValue(const PanelRecord &panel, ValueKind kind, std::uintptr_t id) const;
  static ControlView layoutView(const PanelRecord &panel, const PanelEntry &entry);
  ControlView view(const PanelRecord &panel, const PanelEntry &entry) const;
  EditResult checkEditable(const ControlView &view) const;
  EditResult store(const PanelRecord &panel, const ControlView &view, int *intValue, double *doubleValue);

  PanelService &service_;
  LWXPanelID panel_;
  void *instance_;
  ChangeCallback onChange_;
  int lastSetResult_ = 0;
};

}  // namespace standin
