// The tool options panel: mode, Factor, Offset, Symmetry, Invert Handle and
// About, with its values read and written in the tool's instance.
#pragma once

#include <cstdint>

#include "host/host_abi.h"

namespace ep {

enum OptionsControl : std::uintptr_t {
  kControlActive = 0x8001,  // hidden; carries `active` for the enable link
  kControlMode = 0x8002,
  kControlFactor = 0x8003,
  kControlOffset = 0x8004,
  kControlSymmetry = 0x8005,
  kControlInvertHandle = 0x8006,
  kControlAbout = 0x8007,
};

// Hint tags the options and About panels send. The low byte counts the fixed
// argument words; 0x80 in it adds a 0-ended list of control IDs.
inline constexpr LWXPanelHint kHintHide = 0x3D000E01;
inline constexpr LWXPanelHint kHintLabel = 0x3D000B03;
inline constexpr LWXPanelHint kHintEnableLink = 0x3D01F984;
inline constexpr LWXPanelHint kHintChoiceItems = 0x3D014503;
inline constexpr LWXPanelHint kHintMax = 0x3D014102;
inline constexpr LWXPanelHint kHintMin = 0x3D014002;
inline constexpr LWXPanelHint kHintStep = 0x3D014202;
inline constexpr LWXPanelHint kHintButtonLayout = 0x3D021481;
inline constexpr LWXPanelHint kHintButtonClick = 0x3D015F02;
inline constexpr LWXPanelHint kHintDrawFunc = 0x3D016502;
inline constexpr LWXPanelHint kHintPanelSetting = 0x3D02BD01;
inline constexpr LWXPanelHint kHintThumbnailSetting = 0x3D017403;

inline constexpr int kOptionsHintWords = 55;

// The options panel's hint list, with the mode choice items' address filled
// in; both arrays need live only during the host's hint call.
void fillOptionsHints(LWXPanelHint (&hints)[kOptionsHintWords], const char *(&modeItems)[3]);

}  // namespace ep

extern "C" {
// The callback table's panel slot: a new panel on every call, owned by the host.
void *toolPanel(void *instance);
void *optionsPanelGet(void *instance, std::uintptr_t id);
int optionsPanelSet(void *instance, std::uintptr_t id, void *value);
// Swaps the handle end of every pair of the newest live instance.
void onInvertHandle(LWXPanelID panel, int id);
void onAbout(LWXPanelID panel, int id);
}
