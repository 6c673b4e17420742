// The tool's options panel as a user works it: the mode, Factor, Offset and
// Symmetry fields, the Invert Handle and About buttons, and the panel as
// text. Every edit goes through the panel model, so the panel's own rules
// (disabled controls, ranges) apply; an edit the panel refuses throws
// Failure saying why. After each edit or press that reached the tool the
// model's change callback runs the host's cycle.
//
// Lifetimes: the PanelService and the tool instance behind the panel must
// outlive this object.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "host/host_abi.h"
#include "standin/host/panel_model.h"
#include "standin/host/panel_service.h"
#include "standin/host/trace.h"

namespace standin {

// The tool's options panel controls, as its panel callback describes them.
inline constexpr std::uintptr_t kModeControl = 0x8002;
inline constexpr std::uintptr_t kFactorControl = 0x8003;
inline constexpr std::uintptr_t kOffsetControl = 0x8004;
inline constexpr std::uintptr_t kSymmetryControl = 0x8005;
inline constexpr std::uintptr_t kInvertHandleButton = 0x8006;
inline constexpr std::uintptr_t kAboutButton = 0x8007;

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

// Writes the About panel's painted thumbnail as a picture file; throws
// Failure when it cannot.
using AboutPictureWriter = std::function<void(const std::string &path, const ThumbnailCanvas &canvas)>;

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

  // Presses About. The About panel paints its picture while it is shown; the
  // texts it drew are returned, joined by " / ", and the picture is written to
  // `pictureFile` unless that is empty. Throws Failure when nothing was
  // painted or the picture cannot be written.
  std::string pressAbout(const std::string &pictureFile, const AboutPictureWriter &writePicture);

 private:
  void edit(std::uintptr_t id, const std::string &label,
            const std::function<EditResult(PanelModel &)> &change, const std::string &shown);

  PanelService &service_;
  PanelModel model_;
  const Tracer &tracer_;
};

}  // namespace standin
