// The tool's options panel as a user works it: the mode, Factor, Offset and
// Symmetry fields, the Invert Handle and About buttons, and the panel as
// text. Controls are found as the panel's own description names them: by
// the first word of their label ("Factor", "Invert Handle"), and the mode
// as the choice whose items are "Factor" and "Offset". Every edit goes through the panel model, so the
// panel's own rules (disabled controls, ranges) apply; an edit the panel refuses throws Failure saying why.
// After each edit or press that reached the tool the model's change callback runs the host's cycle.
//
// Lifetimes: the PanelService and the tool instance behind the panel must
// outlive this object.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_abi.h"
#include "standin/host/panel_model.h"
#include "standin/host/panel_service.h"
#include "standin/host/trace.h"

namespace standin {

// The options panel's values when they were last read.
struct ToolSettings {
  int mode = 0;  // 0 Factor, 1 Offset
  double factor = 1.0;
  double offset = 0.0;
  int symmetry = 0;
};

// What the settings do to every pair's length, in plain words: "each pair
// becomes 1.5 times as long (the handle end moves)"; with Symmetry both ends
// move, so Factor f gives 2f - 1 times the length and Offset d adds 2d: "each
// pair becomes 1 longer (both ends move: 2 x 0.5)".
std::string describeLengthRule(const ToolSettings &settings);

// Told what the About panel painted, while it is shown.
using AboutPainted = std::function<void(const ThumbnailCanvas &canvas)>;

class ToolPanel {
 public:
  ToolPanel(PanelService &service, LWXPanelID panel, void *instance, PanelModel::ChangeCallback onChange,
            const Tracer &tracer);

  bool exists() const { return model_.exists(); }
  // The values as the panel shows them now; nullopt once the panel is gone.
  std::optional<ToolSettings> read() const;
  std::string render() const { return model_.render(); }

  void setMode(int mode);
  void setFactor(double factor);
  void setOffset(double offset);
  void setSymmetry(bool on);
  void pressInvertHandle();

  // Presses About. The About panel paints its picture while it is shown
  // (`painted` sees it); the texts it drew are returned, joined by " / ".
  // Throws Failure when nothing was painted.
  std::string pressAbout(const AboutPainted &painted);

  const PanelModel &model() const { return model_; }

 private:
  // A control found by a word: its ID, and for a choice found by its item,
  // the item's index.
  struct Found {
    std::uintptr_t id = 0;
    int item = 0;
  };
  struct Lookup {
    std::string_view word;  // one of this class's own literal words
    bool choiceItem = false;
    std::optional<Found> found;
  };
  // The first shown control whose label's first word is `word` (any case),
  // or the first shown choice with the item `word`. Looked up once while the
  // panel's description does not change: the session asks for the same few
  // controls at every pick and every read of the settings.
  std::optional<Found> find(std::string_view word, bool choiceItem) const;
  static std::optional<Found> search(const PanelRecord &record, std::string_view word, bool choiceItem);
  // As find; Failure(Refused) naming `what` when there is none.
  Found required(std::string_view word, bool choiceItem, const std::string &what) const;
  // Makes the change and traces it; `shown` (the value as the user gave it)
  // is formatted only for the trace or a refusal.
  void edit(std::uintptr_t id, const std::string &label,
            const std::function<EditResult(PanelModel &)> &change, const std::function<std::string()> &shown);

  PanelService &service_;
  PanelModel model_;
  const Tracer &tracer_;
  // What find found, and the record's revision then.
  mutable std::vector<Lookup> lookups_;
  mutable std::optional<unsigned> lookupsRevision_;
};

}  // namespace standin
